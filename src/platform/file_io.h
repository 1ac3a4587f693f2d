#pragma once

// Whole-file reads and atomic whole-file writes. Every stored file of the
// program is replaced through a temporary file in the same folder that is
// flushed and renamed over the target, so a crash or a full disk leaves the
// old file or the new one, never a truncated mix.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace nurak::platform {

// Reads a regular file of at most `limit` bytes. False (errno set) when it is
// missing, unreadable, not a regular file or larger than the limit.
bool ReadWholeFile(const std::filesystem::path& file, std::uintmax_t limit, std::string& out);

// Replaces the file's content; the permissions of an existing file are kept.
// False (errno set, the old file untouched) on failure.
bool ReplaceFileContents(const std::filesystem::path& file, std::string_view text);

// Copies the bytes of `from` over `to` the same way.
bool CopyFileContents(const std::filesystem::path& from, const std::filesystem::path& to,
                      std::uintmax_t limit = 16u * 1024u * 1024u);

}  // namespace nurak::platform

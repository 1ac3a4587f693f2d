#pragma once

// Whole files as text, for tests that set up and inspect stored files.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace nurak::testing {

// The file's bytes; empty when it cannot be read.
inline std::string ReadFileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file's bytes, creating missing parent folders.
inline void WriteFileText(const std::filesystem::path& file, const std::string& text) {
    std::error_code error;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace nurak::testing

#pragma once

// Every JSON file of the program is read and written through JsonFileStore.
// Files are UTF-8. A write replaces the file atomically, so a crash or a full
// disk leaves either the old or the new file, never a truncated one.
//
// Stored files come from disk and may have been edited by hand, so readers
// use the Json* accessors below: a member of the wrong type reads like a
// missing one and nothing throws.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include <json/value.h>

namespace nurak::profile {

// Larger files are refused unread: real stored files are a few KiB, and the
// parsed tree takes many times the text's size in memory.
inline constexpr std::uintmax_t kMaxJsonFileSize = 16u * 1024u * 1024u;

// Deeper input is refused; the parser recurses once per level.
inline constexpr int kMaxJsonDepth = 256;

// Parses JSON text (comments allowed). Text that does not parse, or nests
// deeper than kMaxJsonDepth, gives a null value.
Json::Value ParseJsonText(std::string_view text);

// Turns a value into the stored text: indented, one member per line, UTF-8,
// ending with one line feed.
std::string FormatJsonText(const Json::Value& value);

// The same value on one line without spaces, UTF-8 unescaped.
std::string CompactJsonText(const Json::Value& value);

class JsonFileStore {
public:
    // Null when the file is missing, unreadable, not a regular file, empty,
    // larger than kMaxJsonFileSize or not parsable.
    Json::Value ReadJsonFile(const std::filesystem::path& file);

    // 0 on success, 1 on failure; on failure the old file is left unchanged.
    int WriteJsonFile(const std::filesystem::path& file, const Json::Value& value);
};

// Safe access. Each returns the fallback (or a null value) when the value is
// missing, of another type, or out of the result's range.
const Json::Value& JsonMember(const Json::Value& object, const char* name);
const Json::Value& JsonArrayItem(const Json::Value& array, std::size_t index);

// Integers only: a string, a bool, a fraction or a number beyond the range
// gives the fallback.
int JsonInt(const Json::Value& value, int fallback);
int JsonInt(const Json::Value& object, const char* member, int fallback);
unsigned JsonUInt(const Json::Value& value, unsigned fallback);
unsigned JsonUInt(const Json::Value& object, const char* member, unsigned fallback);

// A truth value: true/false, or an integer (non-zero is true).
bool JsonBool(const Json::Value& value, bool fallback);
bool JsonBool(const Json::Value& object, const char* member, bool fallback);
// A member name would silently convert to the bool fallback.
bool JsonBool(const Json::Value& object, const char* member) = delete;

std::string JsonString(const Json::Value& value, std::string fallback);
std::string JsonString(const Json::Value& object, const char* member, std::string fallback);

// Write access that never throws: a value of another type (a number where an
// object or array belongs) is first replaced by an empty object or array, and
// a missing member or element is created as null.
Json::Value& JsonObjectMember(Json::Value& object, const char* name);
Json::Value& JsonArrayElement(Json::Value& array, std::size_t index);

}  // namespace nurak::profile

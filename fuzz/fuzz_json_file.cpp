// Parses the input as a stored JSON file would be, then writes the result
// back to text and parses that again: what was stored must read back alike.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "profile/json_file_store.h"

using namespace nurak::profile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Json::Value value = ParseJsonText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (value.isNull()) return 0;
    const std::string text = FormatJsonText(value);
    const Json::Value again = ParseJsonText(text);
    if (!(again == value)) std::abort();
    (void)JsonInt(value, 0);
    (void)JsonBool(value, false);
    (void)JsonString(value, std::string());
    const Json::Value& first = JsonArrayItem(value, 0);
    (void)JsonInt(first, "a", 0);
    (void)JsonUInt(JsonMember(value, "a"), 0u);
    return 0;
}

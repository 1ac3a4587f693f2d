#include "profile/macro_event.h"

#include <string>

#include "profile/json_file_store.h"

namespace nurak::profile {

namespace {

// The low bits of an integer value, negative ones in two's complement; 0 for
// anything that is not a whole number.
std::uint64_t IntegerBits(const Json::Value& value) {
    if (value.isInt64()) return static_cast<std::uint64_t>(value.asInt64());
    if (value.isUInt64()) return value.asUInt64();
    return 0;
}

}  // namespace

std::optional<DelayNumber> ParseDelayText(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint32_t low = 0;
    std::uint32_t exact = 0;  // only meaningful while not above 16 bits
    bool above = false;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint32_t>(c - '0');
        // Working modulo 65536 keeps the low 16 bits exact for any length.
        low = (low * 10 + digit) & 0xFFFFu;
        if (!above) {
            exact = exact * 10 + digit;
            above = exact > 0xFFFFu;
        }
    }
    return DelayNumber{static_cast<std::uint16_t>(low), above};
}

std::optional<DelayNumber> ReadDelay(const Json::Value& delay) {
    if (delay.isString()) return ParseDelayText(JsonString(delay, std::string()));
    // A negative number would be a signed text, which a delay text is not.
    if (delay.isUInt64()) {
        const std::uint64_t value = delay.asUInt64();
        return DelayNumber{static_cast<std::uint16_t>(value & 0xFFFFu), value > 0xFFFFu};
    }
    return std::nullopt;
}

MacroEvent ToMacroEvent(const Json::Value& event) {
    MacroEvent out;
    const std::uint16_t delay = ReadDelay(JsonMember(event, "Delay")).value_or(DelayNumber{}).low16;
    out.delayLow = static_cast<std::uint8_t>(delay & 0xFFu);
    out.delayHigh = static_cast<std::uint8_t>(delay >> 8);
    out.type = static_cast<std::uint8_t>(IntegerBits(JsonMember(event, "Type")) & 0x7Fu);
    if (JsonString(event, "Action", std::string()) == "down") out.type |= 0x80u;
    out.button = static_cast<std::uint8_t>(IntegerBits(JsonMember(event, "Button")) & 0xFFu);
    return out;
}

}  // namespace nurak::profile

#pragma once

// One key or mouse event of a macro, as the device stores it, and the
// conversion from the stored JSON event record.

#include <cstdint>
#include <optional>
#include <string_view>

#include <json/value.h>

namespace nurak::profile {

// Four bytes: the delay in milliseconds (low byte first), the event type in
// bits 0-6 with bit 7 set for a press, and the key or mouse button code.
struct MacroEvent {
    std::uint8_t delayLow = 0;
    std::uint8_t delayHigh = 0;
    std::uint8_t type = 0;
    std::uint8_t button = 0;

    std::uint16_t Delay() const { return static_cast<std::uint16_t>(delayLow | (delayHigh << 8)); }
    bool IsPress() const { return (type & 0x80) != 0; }
    friend bool operator==(const MacroEvent&, const MacroEvent&) = default;
};
static_assert(sizeof(MacroEvent) == 4);

// A delay read from a stored event. The device keeps 16 bits; the editor
// shows values above that range as 65535.
struct DelayNumber {
    std::uint16_t low16 = 0;   // the number modulo 65536
    bool above16Bits = false;  // the number is above 65535

    std::uint16_t Clamped() const { return above16Bits ? std::uint16_t{0xFFFF} : low16; }
};

// A delay text is ASCII decimal digits and nothing else: no sign, no spaces,
// no fraction, not empty. Leading zeros are allowed and any length is read.
std::optional<DelayNumber> ParseDelayText(std::string_view text);

// The "Delay" member as stored: a delay text, or a whole non-negative JSON
// number (the recoil files store integers). Anything else gives nullopt.
std::optional<DelayNumber> ReadDelay(const Json::Value& delay);

// "Action" exactly "down" (letter case counts) is a press, anything else a
// release; "Button" and "Type" are integers cut to 8 and 7 bits; a delay that
// cannot be read is 0. Any JSON value is accepted; nothing throws.
MacroEvent ToMacroEvent(const Json::Value& event);

}  // namespace nurak::profile

#pragma once

// The keyboard profile: key repeat and switches, and the per-key colours of
// the custom light groups, on top of the light and key sections.

#include <cstdint>
#include <vector>

#include "profile/basic_profile_data.h"

namespace nurak::profile {

// Three packed words: Repeat | RepeatDelay << 16, Key6Flag | PollingRate << 16,
// WFlag | WinFlag << 16.
struct KeyboardSystemSettings {
    std::uint32_t word0 = 0;
    std::uint32_t word1 = 0;
    std::uint32_t word2 = 0;

    static KeyboardSystemSettings FromValues(std::uint16_t repeat, std::uint16_t repeatDelay,
                                             std::uint16_t key6Flag, std::uint16_t pollingRate,
                                             std::uint16_t wFlag, std::uint16_t winFlag) {
        return {Pack(repeat, repeatDelay), Pack(key6Flag, pollingRate), Pack(wFlag, winFlag)};
    }
    std::uint16_t Repeat() const { return Low(word0); }
    std::uint16_t RepeatDelay() const { return High(word0); }
    std::uint16_t Key6Flag() const { return Low(word1); }
    std::uint16_t PollingRate() const { return High(word1); }
    std::uint16_t WFlag() const { return Low(word2); }
    std::uint16_t WinFlag() const { return High(word2); }

    bool operator==(const KeyboardSystemSettings&) const = default;

  private:
    static std::uint32_t Pack(std::uint16_t low, std::uint16_t high) {
        return std::uint32_t{low} | (std::uint32_t{high} << 16);
    }
    static std::uint16_t Low(std::uint32_t word) { return static_cast<std::uint16_t>(word); }
    static std::uint16_t High(std::uint32_t word) { return static_cast<std::uint16_t>(word >> 16); }
};

struct CustomLightColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 0;

    bool operator==(const CustomLightColor&) const = default;
};

class CKeyboardProfiledata : public CBasicProfiledata {
  public:
    // Zeros for a missing "SystemStages".
    KeyboardSystemSettings ReadKeyboardSystemSettings();
    void WriteKeyboardSystemSettings(std::uint32_t word0, std::uint32_t word1, std::uint32_t word2);

    // `count` colours of the group. A missing group or colour reads as zero
    // and is written as a zero colour into the device object, so the next
    // save stores complete groups. A negative count gives none; a group
    // outside 0..kMaxWritableIndex gives zeros and writes nothing.
    std::vector<CustomLightColor> ReadCustomLightColors(int group, int count);
    void WriteCustomLightColors(const std::vector<CustomLightColor>& colours, int group);

    // 0, also written into the device object, when the index is missing.
    int ReadCustomLightGroupIndex();
    void WriteCustomLightGroupIndex(int group);

  private:
    KeyboardSystemSettings systemSettings_;
    std::vector<CustomLightColor> colours_;
    int selectedGroup_ = 0;
};

}  // namespace nurak::profile

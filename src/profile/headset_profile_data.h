#pragma once

// The headset profile: the audio settings, the preset and user equaliser
// bands and the user equaliser names, on top of the light and key sections.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "profile/basic_profile_data.h"

namespace nurak::profile {

inline constexpr std::size_t kEqBandCount = 10;
using EqBands = std::array<std::int32_t, kEqBandCount>;

// The "EQHzValueInfo" slot of an equaliser type: 1..12 their own slot, 13
// none (it has no preset), any other type slot 1.
std::optional<std::size_t> EqSlot(int eqType);

// The values of "SystemSetStages", in its order.
struct HeadsetSystemSettings {
    std::int32_t magicEnable = 0;
    std::int32_t magicType = 0;
    std::int32_t eqType = 0;
    std::int32_t customEqSeletIndex = 0;
    std::int32_t micInSelect = 0;
    std::int32_t micInValue = 0;
    std::int32_t micMoniterSelect = 0;
    std::int32_t micMoniterValue = 0;

    bool operator==(const HeadsetSystemSettings&) const = default;
};

class CHs6533Profiledata : public CBasicProfiledata {
  public:
    // Zeros for a missing "SystemSetStages".
    HeadsetSystemSettings ReadHeadsetSystemSettings();
    void WriteHeadsetSystemSettings(const HeadsetSystemSettings& settings);

    // The ten bands of the type's preset slot; empty for a type without a
    // slot. A missing band reads 0 and is written as {"value": 0}.
    std::vector<std::int32_t> ReadEqBands(int eqType);
    void WriteEqBands(int eqType, const EqBands& bands);

    // The same on user equaliser `index`; an index outside
    // 0..kMaxWritableIndex reads zeros and writes nothing.
    std::vector<std::int32_t> ReadCustomEqBands(int index);
    void WriteCustomEqBands(int index, const EqBands& bands);

    std::vector<std::string> ReadCustomEqNames();
    // Replaces the whole name list.
    void WriteCustomEqNames(const std::vector<std::string>& names);

  private:
    std::vector<std::int32_t> ReadBands(const char* section, std::size_t slot);
    void WriteBands(const char* section, std::size_t slot, const EqBands& bands);

    HeadsetSystemSettings systemSettings_;
};

}  // namespace nurak::profile

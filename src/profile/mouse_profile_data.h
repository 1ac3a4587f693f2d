#pragma once

// The mouse profile: DPI stages, pointer and wheel settings, report rate and
// the sensor correction list, on top of the light and key sections.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "profile/basic_profile_data.h"

namespace nurak::profile {

inline constexpr std::uint32_t kSensor3335 = 0x3335;
inline constexpr std::uint32_t kSensor3327 = 0x3327;
inline constexpr std::uint32_t kSensor3360 = 0x3360;
inline constexpr std::uint32_t kSensor3389 = 0x3389;

// The stage array a sensor model uses: "StageDPIs" or "StageDPIs_3360";
// none for a sensor the program does not know.
std::optional<const char*> StageArrayName(std::uint32_t sensorModel);

struct DpiStageRecord {
    std::uint8_t stageActive = 0;
    std::uint8_t stageXY = 0;
    std::uint8_t dpiXLow = 0;
    std::uint8_t dpiXHigh = 0;
    std::uint8_t dpiYLow = 0;
    std::uint8_t dpiYHigh = 0;
    std::uint8_t colorR = 0;
    std::uint8_t colorG = 0;
    std::uint8_t colorB = 0;

    std::uint16_t DpiX() const { return static_cast<std::uint16_t>(dpiXLow | (dpiXHigh << 8)); }
    std::uint16_t DpiY() const { return static_cast<std::uint16_t>(dpiYLow | (dpiYHigh << 8)); }
    void SetDpiX(std::uint16_t dpi) {
        dpiXLow = static_cast<std::uint8_t>(dpi);
        dpiXHigh = static_cast<std::uint8_t>(dpi >> 8);
    }
    void SetDpiY(std::uint16_t dpi) {
        dpiYLow = static_cast<std::uint8_t>(dpi);
        dpiYHigh = static_cast<std::uint8_t>(dpi >> 8);
    }
    bool operator==(const DpiStageRecord&) const = default;
};
static_assert(sizeof(DpiStageRecord) == 9);

// Four packed words: DoubleClickTime | MouseSpeed << 16, PointerPrecision |
// ScorllPage << 16, WheelScorlllinse | report-rate index << 16, MSHSelectItem.
struct MouseSystemSettings {
    std::uint32_t word0 = 0;
    std::uint32_t word1 = 0;
    std::uint32_t word2 = 0;
    std::uint32_t word3 = 0;

    static MouseSystemSettings FromValues(std::uint16_t doubleClickTime, std::uint16_t mouseSpeed,
                                          std::uint16_t pointerPrecision, std::uint16_t scrollPage,
                                          std::uint16_t wheelLines, std::uint16_t reportRateIndex,
                                          std::uint16_t mshSelectItem) {
        return {Pack(doubleClickTime, mouseSpeed), Pack(pointerPrecision, scrollPage),
                Pack(wheelLines, reportRateIndex), mshSelectItem};
    }
    std::uint16_t DoubleClickTime() const { return Low(word0); }
    std::uint16_t MouseSpeed() const { return High(word0); }
    std::uint16_t PointerPrecision() const { return Low(word1); }
    std::uint16_t ScrollPage() const { return High(word1); }
    std::uint16_t WheelLines() const { return Low(word2); }
    std::uint16_t ReportRateIndex() const { return High(word2); }
    std::uint16_t MshSelectItem() const { return Low(word3); }

    bool operator==(const MouseSystemSettings&) const = default;

  private:
    static std::uint32_t Pack(std::uint16_t low, std::uint16_t high) {
        return std::uint32_t{low} | (std::uint32_t{high} << 16);
    }
    static std::uint16_t Low(std::uint32_t word) { return static_cast<std::uint16_t>(word); }
    static std::uint16_t High(std::uint32_t word) { return static_cast<std::uint16_t>(word >> 16); }
};

struct CorrectInfoEntry {
    std::uint8_t pixThresh = 0;
    std::uint8_t minSq = 0;
    std::uint8_t select = 0;
    std::string name;

    bool operator==(const CorrectInfoEntry&) const = default;
};

class CMouseProfiledata : public CBasicProfiledata {
  public:
    // Stage k of the file replaces member k or is appended; members beyond
    // the stages read stay. Unchanged when "DPIStages" is missing.
    std::vector<DpiStageRecord> ReadDpiStages();
    // Writes the stages into the sensor's array; "StageActive" of the
    // section is SetActiveDpiStage's.
    void WriteDpiStages(const std::vector<DpiStageRecord>& stages);
    void SetActiveDpiStage(int stage);
    int GetActiveDpiStage() const { return activeStage_; }

    // Zeros for a missing "SystemStages"; a missing "ReportStages" gives a
    // report-rate index of 0 and leaves the other values read.
    MouseSystemSettings ReadMouseSystemSettings();
    void WriteMouseSystemSettings(std::uint32_t word0, std::uint32_t word1, std::uint32_t word2,
                                  std::uint32_t word3);

    std::vector<CorrectInfoEntry> ReadCorrectInfo();

    void SetSensorModel(std::uint32_t sensorModel) { sensorModel_ = sensorModel; }
    std::uint32_t GetSensorModel() const { return sensorModel_; }

  private:
    std::vector<DpiStageRecord> stages_;
    int activeStage_ = 0;
    MouseSystemSettings systemSettings_;
    std::vector<CorrectInfoEntry> correctInfo_;
    std::uint32_t sensorModel_ = kSensor3335;
};

}  // namespace nurak::profile

#pragma once

// Our own parser of HID report descriptors: top-level collections, report
// lengths counted the way Windows' HID class driver counts them, button and
// value capabilities, and the decoding of received reports.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nurak::hid {

enum class ReportType : uint8_t { Input = 0, Output = 1, Feature = 2 };
inline constexpr int kReportTypeCount = 3;

// Status words of the decoding calls; the numbers follow HidP so that traces
// read the same as on Windows.
inline constexpr uint32_t kStatusSuccess = 0x00110000;
inline constexpr uint32_t kStatusNull = 0x80110001;
inline constexpr uint32_t kStatusInvalidReportType = 0xC0110002;
inline constexpr uint32_t kStatusInvalidReportLength = 0xC0110003;
inline constexpr uint32_t kStatusUsageNotFound = 0xC0110004;
inline constexpr uint32_t kStatusValueOutOfRange = 0xC0110005;
inline constexpr uint32_t kStatusBadLogPhyValues = 0xC0110006;
inline constexpr uint32_t kStatusBufferTooSmall = 0xC0110007;
inline constexpr uint32_t kStatusIncompatibleReportId = 0xC011000A;

// Where a main item's fields sit in a report and how they are read.
struct FieldLocation {
    uint8_t reportId = 0;        // 0 when the descriptor uses no report ids
    uint32_t bitOffset = 0;      // from the first bit after the report-id byte
    uint16_t bitSize = 0;        // Report Size
    uint16_t reportCount = 0;    // Report Count
    bool isArray = false;        // selector array (Input/Output/Feature bit 1 clear)
    int32_t logicalMin = 0;
    int32_t logicalMax = 0;
};

struct ButtonCaps {
    uint16_t usagePage = 0;
    uint8_t reportId = 0;
    uint16_t linkCollection = 0;  // index into the collection's nodes, 0 = the top level
    uint16_t linkUsagePage = 0;
    uint16_t linkUsage = 0;
    bool isRange = false;
    uint16_t usageMin = 0;  // equal to usageMax when not a range
    uint16_t usageMax = 0;
    uint16_t dataIndexMin = 0;
    uint16_t dataIndexMax = 0;
    bool isAbsolute = true;
    FieldLocation field;
};

struct ValueCaps {
    uint16_t usagePage = 0;
    uint8_t reportId = 0;
    uint16_t linkCollection = 0;
    uint16_t linkUsagePage = 0;
    uint16_t linkUsage = 0;
    bool isRange = false;
    uint16_t usageMin = 0;
    uint16_t usageMax = 0;
    uint16_t dataIndexMin = 0;
    uint16_t dataIndexMax = 0;
    bool isAbsolute = true;
    bool hasNull = false;
    int32_t physicalMin = 0;
    int32_t physicalMax = 0;
    uint32_t units = 0;
    uint32_t unitExponent = 0;
    FieldLocation field;
};

// The counterpart of HIDP_CAPS.
struct Capabilities {
    uint16_t usage = 0;
    uint16_t usagePage = 0;
    uint16_t inputReportByteLength = 0;
    uint16_t outputReportByteLength = 0;
    uint16_t featureReportByteLength = 0;
    uint16_t numberLinkCollectionNodes = 0;
    uint16_t numberInputButtonCaps = 0;
    uint16_t numberInputValueCaps = 0;
    uint16_t numberInputDataIndices = 0;
    uint16_t numberOutputButtonCaps = 0;
    uint16_t numberOutputValueCaps = 0;
    uint16_t numberOutputDataIndices = 0;
    uint16_t numberFeatureButtonCaps = 0;
    uint16_t numberFeatureValueCaps = 0;
    uint16_t numberFeatureDataIndices = 0;
};

// One top-level collection: what Windows keeps as the preparsed data of one
// interface path.
struct Collection {
    int index = 0;  // 1, 2, ... in descriptor order
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    bool usesReportIds = false;      // the descriptor as a whole uses report ids
    std::vector<uint8_t> reportIds;  // ids used by this collection, ascending; empty without ids
    Capabilities caps;
    std::vector<ButtonCaps> buttonCaps[kReportTypeCount];
    std::vector<ValueCaps> valueCaps[kReportTypeCount];

    const std::vector<ButtonCaps>& Buttons(ReportType t) const { return buttonCaps[static_cast<int>(t)]; }
    const std::vector<ValueCaps>& Values(ReportType t) const { return valueCaps[static_cast<int>(t)]; }
    // True when an input report starting with this id belongs here (always
    // true for a descriptor without report ids).
    bool OwnsReportId(uint8_t id) const;
};

struct ReportDescriptor {
    bool usesReportIds = false;
    std::vector<Collection> collections;
};

// Parses a descriptor. On failure returns false, leaves `out` empty and puts a
// one-line reason into `error` (when given). Never reads past `bytes`.
bool ParseReportDescriptor(std::span<const uint8_t> bytes, ReportDescriptor& out, std::string* error = nullptr);

// Decoding of one report of the given type. `report` starts with the
// report-id byte (0 when the descriptor uses no ids), as Windows hands it out.
// usagePage 0 in MaxUsageListLength means every page.
uint32_t MaxUsageListLength(const Collection& c, ReportType type, uint16_t usagePage);
// The usages of the buttons that are on, on that page, in report order.
uint32_t GetUsages(const Collection& c, ReportType type, uint16_t usagePage, std::span<const uint8_t> report,
                   std::vector<uint16_t>& usages);
uint32_t GetUsageValue(const Collection& c, ReportType type, uint16_t usagePage, uint16_t usage,
                       std::span<const uint8_t> report, uint32_t& value);
uint32_t GetScaledUsageValue(const Collection& c, ReportType type, uint16_t usagePage, uint16_t usage,
                             std::span<const uint8_t> report, int32_t& value);

}  // namespace nurak::hid

// Parses the input as a report descriptor and, when it parses, decodes
// reports built from the input's tail with every collection, report type,
// report id and usage the descriptor declares.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/hid_descriptor.h"

using namespace nurak::hid;

namespace {

void DecodeAll(const Collection& c, ReportType type, std::span<const uint8_t> report) {
    std::vector<uint16_t> usages;
    const int t = static_cast<int>(type);
    for (const ButtonCaps& b : c.buttonCaps[t]) {
        (void)MaxUsageListLength(c, type, b.usagePage);
        (void)GetUsages(c, type, b.usagePage, report, usages);
    }
    for (const ValueCaps& v : c.valueCaps[t]) {
        uint32_t raw = 0;
        int32_t scaled = 0;
        (void)GetUsageValue(c, type, v.usagePage, v.usageMin, report, raw);
        (void)GetScaledUsageValue(c, type, v.usagePage, v.usageMax, report, scaled);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);
    ReportDescriptor d;
    std::string error;
    if (!ParseReportDescriptor(input, d, &error)) return 0;

    std::vector<uint8_t> report;
    const uint16_t* lengths[kReportTypeCount] = {nullptr, nullptr, nullptr};
    for (const Collection& c : d.collections) {
        lengths[0] = &c.caps.inputReportByteLength;
        lengths[1] = &c.caps.outputReportByteLength;
        lengths[2] = &c.caps.featureReportByteLength;
        for (int t = 0; t < kReportTypeCount; ++t) {
            const size_t length = *lengths[t];
            if (length == 0) continue;
            // The report body is the input's tail, repeated when the input is shorter.
            report.assign(length, 0);
            for (size_t i = 0; i < length; ++i) report[i] = input[size - 1 - (i % size)];
            std::vector<uint8_t> ids = c.reportIds;
            if (ids.empty()) ids.push_back(0);
            for (uint8_t id : ids) {
                report[0] = id;
                DecodeAll(c, static_cast<ReportType>(t), report);
                // One byte short: every call must refuse, not read past the end.
                DecodeAll(c, static_cast<ReportType>(t), std::span(report).first(length - 1));
            }
        }
    }
    return 0;
}

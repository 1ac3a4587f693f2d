// nurakctl descriptor: the top-level collections of a report descriptor.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "commands.h"
#include "device/device_path.h"
#include "device/hid_descriptor.h"
#include "device/hid_enumerate.h"

namespace nurak::ctl {

namespace {

// A file of raw bytes, or a node / interface path whose descriptor sysfs holds.
std::vector<uint8_t> LoadDescriptor(const HidRoot& root, const std::string& source) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(source, ec)) {
        std::ifstream in(source, std::ios::binary);
        if (!in) throw CtlError("cannot read " + source);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    const std::string node(PathNode(source));
    const std::string name = std::filesystem::path(node).filename().string();
    HidNodeInfo info;
    if (name.starts_with("hidraw") && ReadHidNodeInfo(root, name, info)) return info.descriptor;
    throw CtlError("no descriptor file or HID node named " + source);
}

std::string IdList(const std::vector<uint8_t>& ids, const char* sep) {
    std::string out;
    for (size_t i = 0; i < ids.size(); ++i) out += (i ? sep : "") + std::to_string(ids[i]);
    return out;
}

}  // namespace

int RunDescriptor(const Args& args) {
    OptionReader options(args.words);
    const bool json = options.Flag("--json");
    const auto rest = options.Positionals();
    if (rest.size() != 1) throw UsageError("descriptor takes one FILE or PATH");

    const auto bytes = LoadDescriptor(args.root, rest[0]);
    hid::ReportDescriptor descriptor;
    std::string error;
    if (!hid::ParseReportDescriptor(bytes, descriptor, &error)) {
        if (json) {
            std::printf("{\"error\":%s}\n", JsonString(error).c_str());
            return 1;
        }
        throw CtlError("malformed descriptor: " + error);
    }

    // When a path names one collection, show that one only.
    std::error_code ec;
    const bool isFile = std::filesystem::is_regular_file(rest[0], ec);
    const int only = isFile ? 0 : static_cast<int>(PathCollectionNumber(rest[0]));
    std::string out = json ? "{\"collections\":[" : "";
    bool first = true;
    for (const auto& c : descriptor.collections) {
        if (only > 0 && c.index != only) continue;
        const auto& caps = c.caps;
        if (json) {
            out += first ? "" : ",";
            out += "{\"index\":" + std::to_string(c.index) + ",\"usage_page\":" + std::to_string(c.usagePage) +
                   ",\"usage\":" + std::to_string(c.usage) + ",\"report_ids\":[" + IdList(c.reportIds, ",") +
                   "],\"input_len\":" + std::to_string(caps.inputReportByteLength) +
                   ",\"output_len\":" + std::to_string(caps.outputReportByteLength) +
                   ",\"feature_len\":" + std::to_string(caps.featureReportByteLength) + "}";
        } else {
            char line[256];
            std::snprintf(line, sizeof line,
                          "collection %d: usage page %s usage %s  report ids [%s]  in %u out %u feature %u  "
                          "buttons %zu/%zu/%zu values %zu/%zu/%zu  link collections %u\n",
                          c.index, Hex4(c.usagePage).c_str(), Hex4(c.usage).c_str(), IdList(c.reportIds, " ").c_str(),
                          caps.inputReportByteLength, caps.outputReportByteLength, caps.featureReportByteLength,
                          c.buttonCaps[0].size(), c.buttonCaps[1].size(), c.buttonCaps[2].size(),
                          c.valueCaps[0].size(), c.valueCaps[1].size(), c.valueCaps[2].size(),
                          caps.numberLinkCollectionNodes);
            out += line;
        }
        first = false;
    }
    // A path naming a collection the node lacks names nothing: not an empty success.
    if (only > 0 && first)
        throw CtlError("the descriptor has no collection " + std::to_string(only) + " (" + rest[0] + ")");
    if (json) out += "]}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}

}  // namespace nurak::ctl

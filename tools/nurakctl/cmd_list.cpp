// nurakctl list: every interface path with what identifies it.
#include <cstdio>

#include "commands.h"
#include "device/device_tables.h"
#include "device/hid_enumerate.h"

namespace nurak::ctl {

namespace {

const char* RoleName(InterfaceRole role) { return role == InterfaceRole::Command ? "command" : "notification"; }

}  // namespace

int RunList(const Args& args) {
    OptionReader options(args.words);
    const bool json = options.Flag("--json");
    if (!options.Positionals().empty()) throw UsageError("list takes no arguments");

    std::vector<HidInterfaceInfo> interfaces;
    if (!EnumerateHidInterfaces(args.root, interfaces))
        throw CtlError("cannot list HID devices under " + args.root.sys.string());

    std::string out = json ? "{\"interfaces\":[" : "";
    bool first = true;
    for (const auto& i : interfaces) {
        DeviceMatchEntry entry = MatchEntryFromPath(i.path);
        entry.usagePage = i.tlc.usagePage;
        entry.usage = i.tlc.usage;
        const auto row = FindIdentificationRow(entry);
        const auto& caps = i.tlc.caps;
        if (json) {
            out += first ? "" : ",";
            out += "{\"path\":" + JsonString(i.path) + ",\"vendor_id\":" + std::to_string(i.vendorId) +
                   ",\"product_id\":" + std::to_string(i.productId) +
                   ",\"interface\":" + std::to_string(i.interfaceNumber) +
                   ",\"collection\":" + std::to_string(i.collection) +
                   ",\"usage_page\":" + std::to_string(i.tlc.usagePage) + ",\"usage\":" + std::to_string(i.tlc.usage) +
                   ",\"input_len\":" + std::to_string(caps.inputReportByteLength) +
                   ",\"output_len\":" + std::to_string(caps.outputReportByteLength) +
                   ",\"feature_len\":" + std::to_string(caps.featureReportByteLength) +
                   ",\"version\":" + std::to_string(i.version) + ",\"row\":";
            if (row) {
                const auto& r = IdentificationTable()[*row];
                out += std::to_string(*row) + ",\"kind\":" + JsonString(DeviceKindName(r.kind)) +
                       ",\"role\":" + JsonString(RoleName(r.role));
            } else {
                out += "null";
            }
            out += "}";
        } else {
            char line[256];
            std::snprintf(line, sizeof line,
                          "  vid %s pid %s  interface %d  collection %d  usage page %s usage %s  "
                          "in %u out %u feature %u  version %s\n",
                          Hex4(i.vendorId).c_str(), Hex4(i.productId).c_str(), i.interfaceNumber, i.collection,
                          Hex4(i.tlc.usagePage).c_str(), Hex4(i.tlc.usage).c_str(), caps.inputReportByteLength,
                          caps.outputReportByteLength, caps.featureReportByteLength, Hex4(i.version).c_str());
            out += i.path + "\n" + line;
            if (row) {
                const auto& r = IdentificationTable()[*row];
                out += "  supported: row " + std::to_string(*row) + ", " + DeviceKindName(r.kind) + " " +
                       RoleName(r.role) + " interface\n";
            }
        }
        first = false;
    }
    if (json) out += "]}\n";
    else if (interfaces.empty()) out = "no HID interfaces found\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}

}  // namespace nurak::ctl

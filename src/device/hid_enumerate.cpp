#include "device/hid_enumerate.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "device/device_path.h"

namespace nurak {

namespace {

namespace fs = std::filesystem;

// Larger than any descriptor the kernel hands out (4096).
constexpr size_t kMaxFileBytes = 8192;

bool ReadSmallFile(const std::string& path, std::string& out) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[1024];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() >= kMaxFileBytes) break;
    }
    ::close(fd);
    return true;
}

bool ParseHex(std::string_view text, uint32_t& value) {
    value = 0;
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const size_t start = i;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else break;
        if (i - start >= 8) return false;
        value = (value << 4) | static_cast<uint32_t>(d);
    }
    return i > start;
}

bool ReadHexFile(const std::string& path, uint32_t& value) {
    std::string text;
    return ReadSmallFile(path, text) && ParseHex(text, value);
}

// "HID_ID=0003:00000C45:00007643" and "HID_PHYS=usb-0000:00:14.0-1/input1".
void ParseUevent(std::string_view text, HidNodeInfo& info, int& physInterface) {
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        const std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        if (line.starts_with("HID_ID=")) {
            std::string_view v = line.substr(7);
            uint32_t bus = 0, vid = 0, pid = 0;
            const size_t c1 = v.find(':');
            const size_t c2 = c1 == std::string_view::npos ? c1 : v.find(':', c1 + 1);
            if (c2 != std::string_view::npos && ParseHex(v.substr(0, c1), bus) &&
                ParseHex(v.substr(c1 + 1, c2 - c1 - 1), vid) && ParseHex(v.substr(c2 + 1), pid)) {
                info.bus = static_cast<uint16_t>(bus);
                info.vendorId = static_cast<uint16_t>(vid);
                info.productId = static_cast<uint16_t>(pid);
            }
        } else if (line.starts_with("HID_NAME=")) {
            info.hidName = std::string(line.substr(9));
        } else if (line.starts_with("HID_PHYS=")) {
            const std::string_view phys = line.substr(9);
            const size_t at = phys.rfind("/input");
            uint32_t n = 0;
            if (at != std::string_view::npos) {
                const std::string_view digits = phys.substr(at + 6);
                if (!digits.empty() && std::all_of(digits.begin(), digits.end(),
                                                   [](char c) { return c >= '0' && c <= '9'; })) {
                    for (char c : digits) n = n * 10 + static_cast<uint32_t>(c - '0');
                    if (n < 256) physInterface = static_cast<int>(n);
                }
            }
        }
    }
}

int NodeNumber(const std::string& name) {
    int n = 0;
    for (size_t i = 6; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > 1000000) return -1;
        n = n * 10 + (name[i] - '0');
    }
    return name.size() > 6 ? n : -1;
}

std::string Parent(const std::string& dir) {
    const size_t slash = dir.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : dir.substr(0, slash);
}

}  // namespace

bool ReadHidNodeInfo(const HidRoot& root, const std::string& name, HidNodeInfo& out) {
    out = HidNodeInfo{};
    out.name = name;
    out.node = root.dev / name;
    // realpath in place of std::filesystem::canonical: the listing runs every
    // 100 ms and the path objects cost more than the system calls.
    const std::string link = (root.sys / "class" / "hidraw" / name / "device").string();
    char resolved[PATH_MAX];
    if (!::realpath(link.c_str(), resolved)) return false;
    const std::string hidDir = resolved;

    std::string text;
    if (!ReadSmallFile(hidDir + "/uevent", text)) return false;
    int physInterface = -1;
    ParseUevent(text, out, physInterface);

    if (!ReadSmallFile(hidDir + "/report_descriptor", text)) return false;
    out.descriptor.assign(text.begin(), text.end());

    // A USB HID device sits in its interface folder, which sits in the device folder.
    const std::string interfaceDir = Parent(hidDir);
    uint32_t value = 0;
    if (ReadHexFile(interfaceDir + "/bInterfaceNumber", value) && value < 256) {
        out.interfaceNumber = static_cast<int>(value);
        if (ReadHexFile(Parent(interfaceDir) + "/bcdDevice", value)) out.version = static_cast<uint16_t>(value);
    } else {
        out.interfaceNumber = physInterface;
    }
    return true;
}

bool EnumerateHidNodes(const HidRoot& root, std::vector<HidNodeInfo>& out) {
    out.clear();
    const fs::path classDir = root.sys / "class" / "hidraw";
    DIR* dir = ::opendir(classDir.c_str());
    if (!dir) return errno == ENOENT || errno == ENOTDIR;  // no hidraw devices at all

    std::vector<std::pair<int, std::string>> names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (!name.starts_with("hidraw")) continue;
        const int n = NodeNumber(name);
        if (n >= 0) names.emplace_back(n, std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());

    out.reserve(names.size());
    for (const auto& [number, name] : names) {
        HidNodeInfo info;
        if (ReadHidNodeInfo(root, name, info)) out.push_back(std::move(info));
    }
    return true;
}

bool EnumerateHidInterfaces(const HidRoot& root, std::vector<HidInterfaceInfo>& out) {
    out.clear();
    std::vector<HidNodeInfo> nodes;
    if (!EnumerateHidNodes(root, nodes)) return false;
    for (auto& node : nodes) {
        hid::ReportDescriptor descriptor;
        if (!hid::ParseReportDescriptor(node.descriptor, descriptor)) continue;  // unusable node
        const size_t count = descriptor.collections.size();
        for (size_t i = 0; i < count; ++i) {
            HidInterfaceInfo info;
            InterfacePathParts parts;
            parts.node = node.node.string();
            parts.vendorId = node.vendorId;
            parts.productId = node.productId;
            parts.interfaceNumber = node.interfaceNumber;
            parts.collection = count > 1 ? static_cast<int>(i + 1) : 0;
            info.path = FormatInterfacePath(parts);
            info.node = node.node;
            info.vendorId = node.vendorId;
            info.productId = node.productId;
            info.version = node.version;
            info.interfaceNumber = node.interfaceNumber;
            info.collection = parts.collection;
            info.tlc = std::move(descriptor.collections[i]);
            out.push_back(std::move(info));
        }
    }
    return true;
}

}  // namespace nurak

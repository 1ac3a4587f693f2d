#include "ctl_common.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device/device_tables.h"
#include "device/hid_enumerate.h"

namespace nurak::ctl {

bool OptionReader::Flag(std::string_view name) {
    for (auto it = words_.begin(); it != words_.end(); ++it) {
        if (*it == name) {
            words_.erase(it);
            return true;
        }
    }
    return false;
}

std::optional<std::string> OptionReader::Value(std::string_view name) {
    for (auto it = words_.begin(); it != words_.end(); ++it) {
        if (*it == name) {
            if (it + 1 == words_.end()) throw UsageError(std::string(name) + " needs a value");
            std::string value = *(it + 1);
            words_.erase(it, it + 2);
            return value;
        }
        const std::string prefix = std::string(name) + "=";
        if (it->starts_with(prefix)) {
            std::string value = it->substr(prefix.size());
            words_.erase(it);
            return value;
        }
    }
    return std::nullopt;
}

std::vector<std::string> OptionReader::Positionals() {
    for (const auto& w : words_)
        if (w.size() > 1 && w[0] == '-') throw UsageError("unknown option " + w);
    return words_;
}

uint32_t ParseNumber(std::string_view text, std::string_view what, uint32_t max) {
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (s.empty() || *end != '\0' || errno != 0 || v > max || s[0] == '-')
        throw UsageError("bad " + std::string(what) + " '" + s + "' (0.." + std::to_string(max) + ")");
    return static_cast<uint32_t>(v);
}

std::vector<uint8_t> ParseHexBytes(std::string_view text) {
    std::vector<uint8_t> out;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == ',' || c == '-') continue;
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else throw UsageError("bad hex data '" + std::string(text) + "'");
        if (high < 0) {
            high = d;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | d));
            high = -1;
        }
    }
    if (high >= 0) throw UsageError("hex data has an odd number of digits");
    return out;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

std::string Hex4(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04x", value);
    return buf;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string FindMouseCommandPath(const HidRoot& root) {
    std::vector<HidInterfaceInfo> interfaces;
    if (!EnumerateHidInterfaces(root, interfaces))
        throw CtlError("cannot list HID devices under " + root.sys.string());
    for (const auto& i : interfaces) {
        DeviceMatchEntry entry = MatchEntryFromPath(i.path);
        entry.usagePage = i.tlc.usagePage;
        entry.usage = i.tlc.usage;
        const auto row = FindIdentificationRow(entry);
        if (!row) continue;
        const auto& r = IdentificationTable()[*row];
        if (r.kind == DeviceKind::Mouse && r.role == InterfaceRole::Command) return i.path;
    }
    throw CtlError("no supported mouse found (nurakctl list shows every HID interface)");
}

void OpenChannel(DeviceCommandChannel& channel, const std::string& path) {
    std::lock_guard lock(channel.transferLock());
    HidDevice& device = channel.device();
    if (!device.Open(path, true, true, true, false)) {
        const int err = device.lastError();
        const std::string node(path.substr(0, path.find('?')));
        if (err == EACCES || err == EPERM)
            throw CtlError("permission denied on " + node +
                           ": install the udev rule packaging/udev/70-nurak.rules and replug the device");
        throw CtlError("cannot open " + path + ": " + std::strerror(err ? err : ENODEV));
    }
    channel.SetOpened(true);
}

void Check(int result, std::string_view step) {
    switch (result) {
        case kResultOk: return;
        case kResultNoReply: throw CtlError(std::string(step) + ": the device did not reply (timeout)");
        case kResultNotWritten: throw CtlError(std::string(step) + ": the request could not be written");
        case kResultStatusFF: throw CtlError(std::string(step) + ": the device refused the command (status 0xff)");
        case kResultStatusFE: throw CtlError(std::string(step) + ": the device refused the command (status 0xfe)");
        default: throw CtlError(std::string(step) + ": failed with result " + std::to_string(result));
    }
}

}  // namespace nurak::ctl

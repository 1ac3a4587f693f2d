#include "device/device_path.h"

#include <cstdio>

namespace nurak {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = Lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

size_t FindIgnoringCase(std::string_view text, std::string_view key) {
    if (key.empty() || key.size() > text.size()) return std::string_view::npos;
    for (size_t i = 0; i + key.size() <= text.size(); ++i) {
        size_t j = 0;
        while (j < key.size() && Lower(text[i + j]) == Lower(key[j])) ++j;
        if (j == key.size()) return i;
    }
    return std::string_view::npos;
}

}  // namespace

bool PathHasKey(std::string_view path, std::string_view key) {
    return FindIgnoringCase(path, key) != std::string_view::npos;
}

uint32_t ParsePathNumber(std::string_view path, std::string_view key) {
    const size_t at = FindIgnoringCase(path, key);
    if (at == std::string_view::npos) return 0;
    uint32_t value = 0;
    for (size_t i = at + key.size(); i < path.size(); ++i) {
        const int d = HexDigit(path[i]);
        if (d < 0) break;
        value = (value << 4) | static_cast<uint32_t>(d);
    }
    return value;
}

std::string_view PathNode(std::string_view path) {
    const size_t q = path.find('?');
    return q == std::string_view::npos ? path : path.substr(0, q);
}

std::string FormatInterfacePath(const InterfacePathParts& parts) {
    std::string path = parts.node;
    path += '?';
    char buf[48];
    if (parts.vendorId != 0 || parts.productId != 0) {
        std::snprintf(buf, sizeof buf, "vid_%04x&pid_%04x", parts.vendorId, parts.productId);
        path += buf;
    } else {
        path += "hid";
    }
    if (parts.interfaceNumber >= 0) {
        std::snprintf(buf, sizeof buf, "&mi_%02x", static_cast<unsigned>(parts.interfaceNumber));
        path += buf;
    }
    if (parts.collection > 0) {
        std::snprintf(buf, sizeof buf, "&col%02x", static_cast<unsigned>(parts.collection));
        path += buf;
    }
    return path;
}

}  // namespace nurak

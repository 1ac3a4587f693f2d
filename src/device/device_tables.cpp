#include "device/device_tables.h"

#include "device/device_path.h"

namespace nurak {

namespace {

DeviceMatchEntry Row(uint16_t vid, uint16_t pid, uint16_t mi, uint16_t col, DeviceKind kind, InterfaceRole role,
                     uint16_t usagePage, uint16_t usage) {
    DeviceMatchEntry e;
    e.vendorId = vid;
    e.productId = pid;
    e.interfaceNumber = mi;
    e.collectionNumber = col;
    e.kind = kind;
    e.role = role;
    e.usagePage = usagePage;
    e.usage = usage;
    return e;
}

constexpr const char* kSelectorLayout = "XML\\CustomControlXML\\DeviceOption.xml";
constexpr const char* kOptionGroup = "tab_header_device";
constexpr const char* kPowerContainer = "device_power_switch";

}  // namespace

const char* DeviceKindName(DeviceKind kind) {
    switch (kind) {
        case DeviceKind::Keyboard: return "keyboard";
        case DeviceKind::Mouse: return "mouse";
        case DeviceKind::Mousepad: return "mousepad";
        case DeviceKind::SlowLinkMouse: return "mouse (slow link)";
        case DeviceKind::Headset: return "headset";
    }
    return "unknown";
}

bool DeviceMatchEntry::SameInterface(const DeviceMatchEntry& o) const {
    return vendorId == o.vendorId && productId == o.productId && interfaceNumber == o.interfaceNumber &&
           collectionNumber == o.collectionNumber && kind == o.kind && role == o.role && usagePage == o.usagePage &&
           usage == o.usage;
}

const std::array<DeviceMatchEntry, kIdentificationRows>& IdentificationTable() {
    using K = DeviceKind;
    constexpr auto C = InterfaceRole::Command;
    constexpr auto N = InterfaceRole::Notification;
    static const std::array<DeviceMatchEntry, kIdentificationRows> table = {
        Row(0x0000, 0x0000, 1, 4, K::Keyboard, C, 0xFF1C, 0x92),
        Row(0x0000, 0x0000, 1, 3, K::Keyboard, N, 0x000C, 0x01),
        Row(0x0C45, 0x7643, 1, 4, K::Mouse, C, 0xFF1C, 0x92),
        Row(0x0C45, 0x7643, 1, 3, K::Mouse, N, 0x000C, 0x01),
        Row(0x320F, 0x21FD, 1, 4, K::Mouse, C, 0xFF1C, 0x92),
        Row(0x320F, 0x21FD, 1, 3, K::Mouse, N, 0x000C, 0x01),
        Row(0x0000, 0x0000, 1, 4, K::Mousepad, C, 0xFF1C, 0x92),
        Row(0x0000, 0x0000, 1, 3, K::Mousepad, N, 0x000C, 0x01),
        Row(0x0000, 0x0000, 3, 0, K::Headset, C, 0x000C, 0x01),
    };
    return table;
}

const std::array<DevicePageEntry, kDevicePageRows>& DevicePageTable() {
    constexpr auto C = InterfaceRole::Command;
    static const std::array<DevicePageEntry, kDevicePageRows> table = {{
        {kSelectorLayout, kOptionGroup, kPowerContainer, "mouse", 1, 0x0C45, 0x7643, DeviceKind::Mouse, C},
        {kSelectorLayout, kOptionGroup, kPowerContainer, "keyboard", 0, 0, 0, DeviceKind::Keyboard, C},
        {kSelectorLayout, kOptionGroup, kPowerContainer, "MousePad", 2, 0, 0, DeviceKind::Mousepad, C},
        {kSelectorLayout, kOptionGroup, kPowerContainer, "HD", 3, 0, 0, DeviceKind::Headset, C},
        {kSelectorLayout, kOptionGroup, kPowerContainer, "mouse3389", 1, 0x320F, 0x21FD, DeviceKind::Mouse, C},
    }};
    return table;
}

const std::array<DeviceLayoutEntry, kDevicePageRows>& DeviceLayoutTable() {
    static const std::array<DeviceLayoutEntry, kDevicePageRows> table = {{
        {7, 8, false, -1, "XML\\DeviceXml\\mousedevice.xml", "nurak_light"},
        {126, 126, false, -1, "XML\\DeviceXml\\keyboarddevice.xml", "nurak_light"},
        {15, 0, false, -1, "XML\\DeviceXml\\mousepaddevice.xml", "nurak_light"},
        {13, 0, false, -1, "XML\\DeviceXml\\hs6533device.xml", "nurak_light"},
        {6, 7, false, -1, "XML\\DeviceXml\\mousedevice.xml", "nurak_light"},
    }};
    return table;
}

DeviceMatchEntry MatchEntryFromPath(std::string_view path) {
    DeviceMatchEntry e;
    e.vendorId = PathVendorId(path);
    e.productId = PathProductId(path);
    e.interfaceNumber = static_cast<uint16_t>(PathInterfaceNumber(path));
    e.collectionNumber = static_cast<uint16_t>(PathCollectionNumber(path));
    e.path = std::string(path);
    return e;
}

std::optional<size_t> FindIdentificationRow(const DeviceMatchEntry& entry) {
    const auto& table = IdentificationTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const auto& r = table[i];
        if (r.vendorId == entry.vendorId && r.productId == entry.productId &&
            r.interfaceNumber == entry.interfaceNumber && r.collectionNumber == entry.collectionNumber &&
            r.usagePage == entry.usagePage && r.usage == entry.usage)
            return i;
    }
    return std::nullopt;
}

int FindPageRow(uint16_t vendorId, uint16_t productId, DeviceKind kind, InterfaceRole role) {
    const auto& table = DevicePageTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const auto& r = table[i];
        if (r.vendorId == vendorId && r.productId == productId && r.kind == kind && r.role == role)
            return static_cast<int>(i);
    }
    return -1;
}

int FindSlotRow(uint16_t vendorId, uint16_t productId, DeviceKind kind, InterfaceRole role) {
    const auto& table = IdentificationTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const auto& r = table[i];
        if (r.vendorId == vendorId && r.productId == productId && r.kind == kind && r.role == role)
            return static_cast<int>(i);
    }
    return -1;
}

SlotList::SlotList() : slots_(IdentificationTable()) {}

bool SlotList::SamePathNumbers(const DeviceMatchEntry& a, const DeviceMatchEntry& b) {
    return a.vendorId == b.vendorId && a.productId == b.productId && a.interfaceNumber == b.interfaceNumber &&
           a.collectionNumber == b.collectionNumber;
}

bool SlotList::SameSix(const DeviceMatchEntry& a, const DeviceMatchEntry& b) {
    return SamePathNumbers(a, b) && a.usagePage == b.usagePage && a.usage == b.usage;
}

bool SlotList::FindRowForPath(const DeviceMatchEntry& entry) const {
    bool rowExists = false;
    for (const auto& row : IdentificationTable()) rowExists = rowExists || SamePathNumbers(row, entry);
    if (!rowExists) return false;
    for (const auto& slot : slots_)
        if (SamePathNumbers(slot, entry) && IsFree(slot)) return true;
    return false;
}

std::optional<size_t> SlotList::ClaimSlot(DeviceMatchEntry& entry) {
    const auto row = FindIdentificationRow(entry);
    if (!row) return std::nullopt;
    entry.kind = IdentificationTable()[*row].kind;
    entry.role = IdentificationTable()[*row].role;
    for (size_t i = 0; i < slots_.size(); ++i) {
        auto& slot = slots_[i];
        if (SameSix(slot, entry) && IsFree(slot)) {
            slot.connected = 1;
            slot.path = entry.path;
            return i;
        }
    }
    return std::nullopt;
}

bool SlotList::AllSlotsTaken() const {
    for (const auto& slot : slots_)
        if (IsFree(slot)) return false;
    return true;
}

void SlotList::Release(size_t slot) {
    if (slot >= slots_.size()) return;
    slots_[slot].connected = 0;
    slots_[slot].path.clear();
}

}  // namespace nurak

#pragma once

// The fixed tables that say which HID interfaces the program uses and what it
// builds for each kind of device, and the run-time slot list filled by the scan.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nurak {

enum class DeviceKind : uint16_t {
    Keyboard = 1,
    Mouse = 2,
    Mousepad = 3,
    SlowLinkMouse = 6,
    Headset = 7,
};

enum class InterfaceRole : uint16_t {
    Command = 0,
    Notification = 255,
};

const char* DeviceKindName(DeviceKind kind);

struct DeviceMatchEntry {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t interfaceNumber = 0;
    uint16_t collectionNumber = 0;
    DeviceKind kind = DeviceKind::Mouse;
    InterfaceRole role = InterfaceRole::Command;
    uint16_t connected = 0;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    uint16_t paired = 0;
    uint16_t partnerSlot = 0;
    std::string path;

    // Vendor, product, interface, collection, kind, role, usage page and
    // usage: what ties a device control to a slot.
    bool SameInterface(const DeviceMatchEntry& other) const;
};

inline constexpr size_t kIdentificationRows = 9;
const std::array<DeviceMatchEntry, kIdentificationRows>& IdentificationTable();

struct DevicePageEntry {
    const char* selectorLayout;
    const char* optionGroup;
    const char* powerContainer;
    const char* kindName;
    int deviceType;  // 0 keyboard, 1 mouse, 2 mousepad, 3 headset
    uint32_t vendorId;
    uint32_t productId;
    DeviceKind kind;
    InterfaceRole role;
};

inline constexpr size_t kDevicePageRows = 5;
const std::array<DevicePageEntry, kDevicePageRows>& DevicePageTable();

struct DeviceLayoutEntry {
    int ledCount;
    int keyCount;
    bool hasStatus;
    int logoLed;  // -1 for none
    const char* layoutFile;
    const char* lightLibrary;
};

const std::array<DeviceLayoutEntry, kDevicePageRows>& DeviceLayoutTable();

// The record built from an interface path: vendor, product, interface and
// collection as the path gives them.
DeviceMatchEntry MatchEntryFromPath(std::string_view path);

// Row index of the identification table equal in all six numbers (vendor,
// product, interface, collection, usage page, usage), or nothing.
std::optional<size_t> FindIdentificationRow(const DeviceMatchEntry& entry);

int FindPageRow(uint16_t vendorId, uint16_t productId, DeviceKind kind, InterfaceRole role);
int FindSlotRow(uint16_t vendorId, uint16_t productId, DeviceKind kind, InterfaceRole role);

// The run-time copy of the identification table: one slot per row.
class SlotList {
public:
    SlotList();

    // Some row has these four path numbers and some slot with them is free.
    bool FindRowForPath(const DeviceMatchEntry& entry) const;
    // `entry` completed with usage page and usage; takes kind and role from
    // the first equal row and claims the first free equal slot.
    std::optional<size_t> ClaimSlot(DeviceMatchEntry& entry);
    bool AllSlotsTaken() const;
    // Frees a slot whose device went away.
    void Release(size_t slot);

    const DeviceMatchEntry& operator[](size_t slot) const { return slots_[slot]; }
    size_t size() const { return slots_.size(); }

private:
    static bool SamePathNumbers(const DeviceMatchEntry& a, const DeviceMatchEntry& b);
    static bool SameSix(const DeviceMatchEntry& a, const DeviceMatchEntry& b);
    static bool IsFree(const DeviceMatchEntry& slot) { return !slot.connected && slot.path.empty(); }

    std::array<DeviceMatchEntry, kIdentificationRows> slots_;
};

}  // namespace nurak

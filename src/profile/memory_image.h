#pragma once

// The macro and recoil memory images written to a device: a small header,
// one offset per macro, then each macro's events. Both are built from the
// stored files; the recoil image always holds the four gun slots.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "profile/macro_event.h"

namespace nurak::profile {

inline constexpr std::uint8_t kImageMarkerLow = 0xAA;
inline constexpr std::uint8_t kImageMarkerHigh = 0x55;
inline constexpr std::size_t kImageHeaderSize = 16;
// The header holds the total size in 16 bits.
inline constexpr std::size_t kMaxImageSize = 0xFFFF;
// The device gives its memory size in units of this many bytes.
inline constexpr std::size_t kImageCapacityUnit = 128;
inline constexpr int kRecoilSlots = 4;

// 16 + 6 per macro + 4 per event, computed without overflow.
std::size_t MemoryImageSize(const std::vector<std::vector<MacroEvent>>& macros);

// The image: 0xAA 0x55, total size, macro count (all 16-bit little-endian),
// 10 zero bytes, each macro's offset from the image start, and per macro its
// event count, 2 zero bytes and the events. Empty when the size would not
// fit the 16-bit header.
std::vector<std::uint8_t> BuildMemoryImage(const std::vector<std::vector<MacroEvent>>& macros);

// Bytes available for an image in a memory of `capacityUnits` units, never
// more than the header can describe; negative units count as 0.
std::size_t ImageCapacity(int capacityUnits);

// 0 when an image of `size` bytes fits, otherwise the number of events over
// the capacity plus one: (size - capacity) / 4 + 1, at most INT_MAX.
int ImageOverflow(std::size_t size, int capacityUnits);

// Every object of the file's "Events" in order; none for a file that is
// missing, unreadable or without events.
std::vector<MacroEvent> ReadMacroFileEvents(const std::filesystem::path& file);

struct MemoryImageBuild {
    // False when the macro library could not be read: nothing is to be sent.
    // Always true for the recoil image.
    bool libraryReadable = false;
    // Empty unless readable and fitting.
    std::vector<std::uint8_t> image;
    // As ImageOverflow: 0 when the image fits.
    int overflow = 0;
    int macroCount = 0;
    // All events of all macros, at most INT_MAX.
    int eventCount = 0;
};

// The macro image of the library in `folder`: entries in library order, each
// macro's events in file order. A broken entry or a missing ".mac" gives a
// macro without events that keeps its place, so the macro indices of key
// assignments stay right.
MemoryImageBuild BuildMacroImageFromLibrary(const std::filesystem::path& folder,
                                            std::string_view libraryFileName, int capacityUnits);

// The recoil image of "ShootData_0.Shoot" … "ShootData_3.Shoot" in `folder`;
// a missing file gives a slot without events.
MemoryImageBuild BuildRecoilImageFromFolder(const std::filesystem::path& folder, int capacityUnits);

}  // namespace nurak::profile

#pragma once

// HID report descriptors of the virtual devices, one per USB interface.

#include <cstdint>
#include <vector>

#include "emulator/model.h"

namespace nurak::emu {

// Report ids on the vendor interface (interface 1 of mice, keyboard and
// mousepad, where four top-level collections share one node).
inline constexpr uint8_t kKeyboardReportId = 1;
inline constexpr uint8_t kSystemControlReportId = 2;
inline constexpr uint8_t kConsumerReportId = 3;
inline constexpr uint8_t kCommandReportId = 4;

// The descriptor of one interface of a model; empty when the model has no
// such interface. Mice: 0 = boot mouse, 1 = keyboard, system control,
// consumer control and vendor command collections (report ids 1-4).
// Keyboard: 0 = boot keyboard, 1 as the mice. Mousepad: 1 only. Headset: 3
// only, one consumer collection carrying the 64-byte command reports (id 4).
std::vector<uint8_t> DescriptorFor(Model model, int interfaceNumber);

}  // namespace nurak::emu

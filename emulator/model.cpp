#include "emulator/model.h"

namespace nurak::emu {

namespace {

constexpr int kBootAndVendor[] = {0, 1};
constexpr int kVendorOnly[] = {1};
constexpr int kHeadsetOnly[] = {3};

// The keyboard, mousepad and headset report ids 0:0 on the bus, as the
// devices they stand for do.
const ModelInfo kModels[] = {
    {Model::Mouse, "mouse", 0x0C45, 0x7643, "NURAK", "Gaming Mouse", kBootAndVendor, 1, 1, 7},
    {Model::Mouse3389, "mouse3389", 0x320F, 0x21FD, "NURAK", "Gaming Mouse 3389", kBootAndVendor, 1, 1, 6},
    {Model::Keyboard, "keyboard", 0x0000, 0x0000, "NURAK", "Gaming Keyboard", kBootAndVendor, 1, 1, 126},
    {Model::Mousepad, "mousepad", 0x0000, 0x0000, "NURAK", "Gaming Mousepad", kVendorOnly, 1, 1, 15},
    {Model::Headset, "headset", 0x0000, 0x0000, "NURAK", "Gaming Headset", kHeadsetOnly, 3, -1, 13},
};

}  // namespace

const ModelInfo& InfoFor(Model model) {
    for (const ModelInfo& info : kModels) {
        if (info.model == model) return info;
    }
    return kModels[0];  // unreachable for a valid enumerator
}

std::string_view ModelName(Model model) {
    return InfoFor(model).name;
}

std::optional<Model> ParseModel(std::string_view name) {
    for (const ModelInfo& info : kModels) {
        if (info.name == name) return info.model;
    }
    return std::nullopt;
}

}  // namespace nurak::emu

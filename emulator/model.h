#pragma once

// The kinds of virtual device and what identifies each on the bus.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace nurak::emu {

enum class Model { Mouse, Mouse3389, Keyboard, Mousepad, Headset };

inline constexpr Model kAllModels[] = {Model::Mouse, Model::Mouse3389, Model::Keyboard, Model::Mousepad,
                                       Model::Headset};

struct ModelInfo {
    Model model;
    std::string_view name;  // as given on the command line: "mouse", "mouse3389", ...
    uint16_t vendorId;
    uint16_t productId;
    std::string_view manufacturer;
    std::string_view product;
    std::span<const int> interfaces;  // USB interface numbers that carry a hidraw node
    int commandInterface;             // the node that serves the vendor commands
    int notifyInterface;              // the node with the consumer collection, -1 when none
    int ledCount;                     // 3 bytes per LED in a light frame
};

const ModelInfo& InfoFor(Model model);
std::string_view ModelName(Model model);
std::optional<Model> ParseModel(std::string_view name);

}  // namespace nurak::emu

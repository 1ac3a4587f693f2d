#include "profile/keyboard_profile_data.h"

#include <algorithm>

namespace nurak::profile {

namespace {

void PutColour(Json::Value& element, const CustomLightColor& colour) {
    if (!element.isObject()) element = Json::Value(Json::objectValue);
    element["Red"] = static_cast<int>(colour.red);
    element["Green"] = static_cast<int>(colour.green);
    element["Blue"] = static_cast<int>(colour.blue);
    element["Alpha"] = static_cast<int>(colour.alpha);
}

bool IsWritableGroup(int group) {
    return group >= 0 && group <= kMaxWritableIndex;
}

}  // namespace

KeyboardSystemSettings CKeyboardProfiledata::ReadKeyboardSystemSettings() {
    // A missing section reads as zeros: its members are then all missing.
    const Json::Value& system = ObjectSection("SystemStages");
    systemSettings_ = KeyboardSystemSettings::FromValues(
        HalfMember(system, "Repeat"), HalfMember(system, "RepeatDelay"), HalfMember(system, "Key6Flag"),
        HalfMember(system, "PollingRate"), HalfMember(system, "WFlag"), HalfMember(system, "WinFlag"));
    return systemSettings_;
}

void CKeyboardProfiledata::WriteKeyboardSystemSettings(std::uint32_t word0, std::uint32_t word1,
                                                       std::uint32_t word2) {
    systemSettings_ = {word0, word1, word2};
    Json::Value& system = WritableObjectSection("SystemStages");
    SetMember(system, "Repeat", systemSettings_.Repeat());
    SetMember(system, "RepeatDelay", systemSettings_.RepeatDelay());
    SetMember(system, "Key6Flag", systemSettings_.Key6Flag());
    SetMember(system, "PollingRate", systemSettings_.PollingRate());
    SetMember(system, "WFlag", systemSettings_.WFlag());
    SetMember(system, "WinFlag", systemSettings_.WinFlag());
}

std::vector<CustomLightColor> CKeyboardProfiledata::ReadCustomLightColors(int group, int count) {
    const auto wanted = static_cast<std::size_t>(std::clamp(count, 0, kMaxWritableIndex + 1));
    colours_.assign(wanted, CustomLightColor{});
    if (!IsWritableGroup(group)) return colours_;
    const auto groupIndex = static_cast<std::size_t>(group);

    const Json::Value& stored =
        JsonArrayItem(JsonMember(ObjectSection("CustomLightMode"), "LightColorInfo"), groupIndex);
    std::vector<std::size_t> missing;
    for (std::size_t j = 0; j < wanted; ++j) {
        const Json::Value& element = JsonArrayItem(stored, j);
        if (element.isObject()) {
            colours_[j] = {ByteMember(element, "Red"), ByteMember(element, "Green"),
                           ByteMember(element, "Blue"), ByteMember(element, "Alpha")};
        } else {
            missing.push_back(j);
        }
    }
    // Complete the group in the device object so the next save stores it.
    if (missing.empty()) return colours_;
    Json::Value& info = JsonObjectMember(WritableObjectSection("CustomLightMode"), "LightColorInfo");
    Json::Value& groupArray = JsonArrayElement(info, groupIndex);
    for (const std::size_t j : missing) PutColour(JsonArrayElement(groupArray, j), CustomLightColor{});
    return colours_;
}

void CKeyboardProfiledata::WriteCustomLightColors(const std::vector<CustomLightColor>& colours, int group) {
    colours_ = colours;
    if (!IsWritableGroup(group)) return;
    Json::Value& info = JsonObjectMember(WritableObjectSection("CustomLightMode"), "LightColorInfo");
    Json::Value& stored = JsonArrayElement(info, static_cast<std::size_t>(group));
    for (std::size_t i = 0; i < colours.size(); ++i) PutColour(JsonArrayElement(stored, i), colours[i]);
}

int CKeyboardProfiledata::ReadCustomLightGroupIndex() {
    const Json::Value& index = JsonMember(ObjectSection("CustomLightMode"), "CustomLightModeGroupIndex");
    if (!index.isInt() && !index.isUInt()) {
        WriteCustomLightGroupIndex(0);
        return selectedGroup_;
    }
    selectedGroup_ =
        static_cast<int>(WordMember(ObjectSection("CustomLightMode"), "CustomLightModeGroupIndex"));
    return selectedGroup_;
}

void CKeyboardProfiledata::WriteCustomLightGroupIndex(int group) {
    selectedGroup_ = group;
    SetMember(WritableObjectSection("CustomLightMode"), "CustomLightModeGroupIndex", group);
}

}  // namespace nurak::profile

#include "profile/headset_profile_data.h"

namespace nurak::profile {

namespace {

constexpr int kNoPresetEqType = 13;

std::optional<std::size_t> IndexSlot(int index) {
    if (index < 0 || index > kMaxWritableIndex) return std::nullopt;
    return static_cast<std::size_t>(index);
}

}  // namespace

std::optional<std::size_t> EqSlot(int eqType) {
    if (eqType == kNoPresetEqType) return std::nullopt;
    if (eqType >= 1 && eqType <= 12) return static_cast<std::size_t>(eqType);
    return 1;
}

HeadsetSystemSettings CHs6533Profiledata::ReadHeadsetSystemSettings() {
    // A missing section reads as zeros: its members are then all missing.
    const Json::Value& system = ObjectSection("SystemSetStages");
    const auto value = [&system](const char* name) {
        return static_cast<std::int32_t>(WordMember(system, name));
    };
    systemSettings_ = {value("MagicEnable"),        value("MagicType"),      value("EqType"),
                       value("CustomEqSeletIndex"), value("MicInSelect"),    value("MicInValue"),
                       value("MicMoniterSelect"),   value("MicMoniterValue")};
    return systemSettings_;
}

void CHs6533Profiledata::WriteHeadsetSystemSettings(const HeadsetSystemSettings& settings) {
    systemSettings_ = settings;
    Json::Value& system = WritableObjectSection("SystemSetStages");
    SetMember(system, "MagicEnable", settings.magicEnable);
    SetMember(system, "MagicType", settings.magicType);
    SetMember(system, "EqType", settings.eqType);
    SetMember(system, "CustomEqSeletIndex", settings.customEqSeletIndex);
    SetMember(system, "MicInSelect", settings.micInSelect);
    SetMember(system, "MicInValue", settings.micInValue);
    SetMember(system, "MicMoniterSelect", settings.micMoniterSelect);
    SetMember(system, "MicMoniterValue", settings.micMoniterValue);
}

std::vector<std::int32_t> CHs6533Profiledata::ReadEqBands(int eqType) {
    const std::optional<std::size_t> slot = EqSlot(eqType);
    if (!slot) return {};
    return ReadBands("EQHzValueInfo", *slot);
}

void CHs6533Profiledata::WriteEqBands(int eqType, const EqBands& bands) {
    const std::optional<std::size_t> slot = EqSlot(eqType);
    if (slot) WriteBands("EQHzValueInfo", *slot, bands);
}

std::vector<std::int32_t> CHs6533Profiledata::ReadCustomEqBands(int index) {
    const std::optional<std::size_t> slot = IndexSlot(index);
    if (!slot) return std::vector<std::int32_t>(kEqBandCount, 0);
    return ReadBands("CustomEQHzValueInfo", *slot);
}

void CHs6533Profiledata::WriteCustomEqBands(int index, const EqBands& bands) {
    const std::optional<std::size_t> slot = IndexSlot(index);
    if (slot) WriteBands("CustomEQHzValueInfo", *slot, bands);
}

std::vector<std::string> CHs6533Profiledata::ReadCustomEqNames() {
    std::vector<std::string> names;
    const Json::Value& list = ArraySection("CustomEQNameInfo");
    for (Json::ArrayIndex i = 0; i < list.size(); ++i)
        names.push_back(JsonString(list[i], "Name", std::string()));
    return names;
}

void CHs6533Profiledata::WriteCustomEqNames(const std::vector<std::string>& names) {
    Json::Value list(Json::arrayValue);
    for (const std::string& name : names) {
        Json::Value entry(Json::objectValue);
        entry["Name"] = name;
        list.append(entry);
    }
    JsonObjectMember(device_, "CustomEQNameInfo") = list;
}

std::vector<std::int32_t> CHs6533Profiledata::ReadBands(const char* section, std::size_t slot) {
    std::vector<std::int32_t> values(kEqBandCount, 0);
    std::vector<std::size_t> missing;
    const Json::Value& stored = JsonArrayItem(ArraySection(section), slot);
    for (std::size_t b = 0; b < kEqBandCount; ++b) {
        const Json::Value& band = JsonArrayItem(stored, b);
        if (band.isObject())
            values[b] = static_cast<std::int32_t>(WordMember(band, "value"));
        else
            missing.push_back(b);
    }
    // Complete the slot in the device object so the next save stores it.
    if (missing.empty()) return values;
    Json::Value& slotArray = JsonArrayElement(WritableArraySection(section), slot);
    for (const std::size_t b : missing) {
        Json::Value& band = JsonArrayElement(slotArray, b);
        band = Json::Value(Json::objectValue);
        SetMember(band, "value", 0);
    }
    return values;
}

void CHs6533Profiledata::WriteBands(const char* section, std::size_t slot, const EqBands& bands) {
    Json::Value& slotArray = JsonArrayElement(WritableArraySection(section), slot);
    for (std::size_t b = 0; b < kEqBandCount; ++b)
        SetMember(JsonArrayElement(slotArray, b), "value", bands[b]);
}

}  // namespace nurak::profile

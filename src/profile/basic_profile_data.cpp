#include "profile/basic_profile_data.h"

#include <string>

#include "profile/data_places.h"

namespace nurak::profile {

namespace {

// "Device"[index] of a file's root when it is an object; null otherwise
// (an element of another type is as useless to every reader as a missing one).
const Json::Value& DeviceElementOf(const Json::Value& root, std::size_t index) {
    static const Json::Value null;
    const Json::Value& element = JsonArrayItem(JsonMember(root, "Device"), index);
    return element.isObject() ? element : null;
}

// Stores `value` as "Device"[index], making the root an object and "Device"
// an array first when they are of another type.
void PutDeviceElement(Json::Value& root, std::size_t index, const Json::Value& value) {
    if (!root.isObject()) root = Json::Value(Json::objectValue);
    JsonArrayElement(JsonObjectMember(root, "Device"), index) = value;
}

}  // namespace

void CBasicProfiledata::SetProfilePath(const std::filesystem::path& path) {
    if (!path.empty()) profilePath_ = path;
}

void CBasicProfiledata::SetDefaultProfilePath(const std::filesystem::path& path) {
    if (!path.empty()) defaultProfilePath_ = path;
}

void CBasicProfiledata::SetDeviceIndex(int index) {
    if (index >= 0 && index <= kMaxWritableIndex) deviceIndex_ = index;
}

Json::Value CBasicProfiledata::LoadProfile(const std::filesystem::path& path) {
    Json::Value root = store_.ReadJsonFile(path);
    device_ = DeviceElementOf(root, DeviceElement());
    if (device_.isNull()) {
        const Json::Value defaults = store_.ReadJsonFile(defaultProfilePath_);
        device_ = DeviceElementOf(defaults, DeviceElement());
        // Rebuild a new or damaged profile from the default one; with no
        // default either there is nothing worth writing.
        if (!device_.isNull()) {
            PutDeviceElement(root, DeviceElement(), device_);
            store_.WriteJsonFile(path, root);
        }
    }
    return device_;
}

int CBasicProfiledata::Save() {
    return SaveDeviceObject(device_, profilePath_);
}

int CBasicProfiledata::SaveDeviceObject(const Json::Value& value, const std::filesystem::path& path) {
    Json::Value root = store_.ReadJsonFile(path);
    PutDeviceElement(root, DeviceElement(), value);
    return store_.WriteJsonFile(path, root);
}

int CBasicProfiledata::WriteWholeFile(const Json::Value& value, const std::filesystem::path& path) {
    return store_.WriteJsonFile(path, value);
}

LightInfoRecord CBasicProfiledata::ReadLightInfo() {
    const Json::Value& info = ObjectSection("LightInfo");
    if (info.isNull()) return lightInfo_;
    lightInfo_.selectItem = ByteMember(info, "SelectItem");
    lightInfo_.light = ByteMember(info, "Light");
    lightInfo_.speed = ByteMember(info, "Speed");
    lightInfo_.fx = ByteMember(info, "Fx");
    lightInfo_.multiColor = FlagMember(info, "MultiColor");
    lightInfo_.red = ByteMember(info, "Red");
    lightInfo_.green = ByteMember(info, "Green");
    lightInfo_.blue = ByteMember(info, "Blue");
    return lightInfo_;
}

void CBasicProfiledata::WriteLightInfo(std::uint32_t first, std::uint32_t second, std::uint32_t third) {
    const auto byteOf = [](std::uint32_t word, int n) { return static_cast<std::uint8_t>(word >> (8 * n)); };
    lightInfo_.selectItem = byteOf(first, 0);
    lightInfo_.light = byteOf(first, 1);
    lightInfo_.speed = byteOf(first, 2);
    lightInfo_.fx = byteOf(first, 3);
    lightInfo_.multiColor = byteOf(second, 0);
    lightInfo_.red = byteOf(second, 1);
    lightInfo_.green = byteOf(second, 2);
    lightInfo_.blue = byteOf(second, 3);
    lightInfo_.deviceBytes = {byteOf(third, 0), byteOf(third, 1), byteOf(third, 2)};

    Json::Value& info = WritableObjectSection("LightInfo");
    SetMember(info, "SelectItem", lightInfo_.selectItem);
    SetMember(info, "Light", lightInfo_.light);
    SetMember(info, "Speed", lightInfo_.speed);
    SetMember(info, "Fx", lightInfo_.fx);
    SetMember(info, "MultiColor", lightInfo_.multiColor != 0 ? 1 : 0);
    SetMember(info, "Red", lightInfo_.red);
    SetMember(info, "Green", lightInfo_.green);
    SetMember(info, "Blue", lightInfo_.blue);
}

std::vector<LightListEntry> CBasicProfiledata::ReadLightList() {
    lightList_.clear();
    const Json::Value& list = ArraySection("LightList");
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        const Json::Value& element = list[i];
        LightListEntry entry;
        entry.mode = ByteMember(element, "LEDREGMode");
        entry.brightness = ByteMember(element, "LEDBrightness");
        entry.speed = ByteMember(element, "LEDSpeed");
        entry.direction = FlagMember(element, "LEDDirection");
        entry.multiColor = FlagMember(element, "LEDMultiColor");
        entry.red = ByteMember(element, "red");
        entry.green = ByteMember(element, "green");
        entry.blue = ByteMember(element, "blue");
        entry.present = element.isObject() ? 1 : 0;
        lightList_.push_back(entry);
    }
    return lightList_;
}

std::vector<KeyAssignmentRecord> CBasicProfiledata::ReadKeyList() {
    keyList_.clear();
    const Json::Value& list = ArraySection("KeyList");
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        const auto keyIndex = static_cast<std::uint16_t>(i);
        keyList_.push_back({KeyCode::FromCode(keyIndex, WordMember(list[i], "Assignment")),
                            KeyCode::FromCode(keyIndex, WordMember(list[i], "DefaultAssignment"))});
    }
    return keyList_;
}

void CBasicProfiledata::WriteKeyAssignments(const std::vector<KeyAssignmentRecord>& records) {
    keyList_ = records;
    Json::Value& list = WritableArraySection("KeyList");
    for (std::size_t i = 0; i < records.size(); ++i)
        SetMember(JsonArrayElement(list, i), "Assignment", records[i].current.Code());
}

Json::Value CBasicProfiledata::LoadLightLibrary(const std::filesystem::path& path) {
    lightLibrary_ = store_.ReadJsonFile(path);
    loadedLightLibrary_ = path;
    return lightLibrary_;
}

std::vector<LightEffectStep> CBasicProfiledata::ReadCustomLightEffect() {
    lightEffect_.clear();
    if (lightLibrary_.isNull()) return lightEffect_;
    const Json::Value& lights = JsonArrayItem(JsonMember(lightLibrary_, "LightInfo"), DeviceElement());
    const std::string guid = JsonString(JsonArrayItem(lights, lightInfo_.selectItem), "Guid", std::string());
    // The Guid names a file beside the library; anything that could lead
    // elsewhere gives no effect.
    if (!IsPlainFileName(guid)) return lightEffect_;
    const Json::Value effect = store_.ReadJsonFile(loadedLightLibrary_.parent_path() / (guid + ".light"));
    const Json::Value& steps = JsonMember(effect, "LEDEffectList");
    if (!steps.isArray()) return lightEffect_;
    lightEffect_.reserve(steps.size());
    for (Json::ArrayIndex i = 0; i < steps.size(); ++i) {
        const Json::Value& element = steps[i];
        LightEffectStep step;
        step.mode = ByteMember(element, "LEDREGMode");
        step.brightness = ByteMember(element, "LEDBrightness");
        step.speed = ByteMember(element, "LEDSpeed");
        step.direction = ByteMember(element, "LEDDirection");
        step.multiColor = ByteMember(element, "LEDMultiColor");
        step.red = ByteMember(element, "red");
        step.green = ByteMember(element, "green");
        step.blue = ByteMember(element, "blue");
        step.time = WordMember(element, "Time");
        step.cyle = WordMember(element, "Cyle");
        lightEffect_.push_back(step);
    }
    return lightEffect_;
}

std::uint32_t CBasicProfiledata::WordMember(const Json::Value& object, const char* name) {
    const Json::Value& value = JsonMember(object, name);
    if (value.isInt()) return static_cast<std::uint32_t>(value.asInt());
    if (value.isUInt()) return value.asUInt();
    return 0;
}

std::uint8_t CBasicProfiledata::FlagMember(const Json::Value& object, const char* name) {
    return JsonBool(object, name, false) ? 1 : 0;
}

const Json::Value& CBasicProfiledata::ObjectSection(const char* name) const {
    static const Json::Value null;
    const Json::Value& section = JsonMember(device_, name);
    return section.isObject() ? section : null;
}

const Json::Value& CBasicProfiledata::ArraySection(const char* name) const {
    static const Json::Value null;
    const Json::Value& section = JsonMember(device_, name);
    return section.isArray() ? section : null;
}

Json::Value& CBasicProfiledata::WritableObjectSection(const char* name) {
    Json::Value& section = JsonObjectMember(device_, name);
    if (!section.isObject()) section = Json::Value(Json::objectValue);
    return section;
}

Json::Value& CBasicProfiledata::WritableArraySection(const char* name) {
    Json::Value& section = JsonObjectMember(device_, name);
    if (!section.isArray()) section = Json::Value(Json::arrayValue);
    return section;
}

void CBasicProfiledata::SetMember(Json::Value& object, const char* name, std::int64_t value) {
    JsonObjectMember(object, name) = Json::Value(static_cast<Json::Int64>(value));
}

}  // namespace nurak::profile

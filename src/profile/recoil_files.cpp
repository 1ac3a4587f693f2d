#include "profile/recoil_files.h"

#include <algorithm>
#include <cstddef>

#include <json/value.h>

#include "platform/file_io.h"
#include "profile/json_file_store.h"

namespace nurak::profile {

namespace {

constexpr const char* kDown = "down";
constexpr const char* kUp = "up";
constexpr int kButtonEventType = 1;
constexpr int kHorizontalMoveType = 4;
constexpr int kVerticalMoveType = 5;

struct EventFields {
    const char* action;
    int button;
    int delay;
    int type;
};

// Event `offset` (0-5) of a bullet, as laid out in the header.
EventFields BulletEvent(int offset, const BulletSetting& setting) {
    const char* x = setting.xLeft ? kDown : kUp;
    const char* y = setting.yUp ? kDown : kUp;
    switch (offset) {
        case 0:
            return {kDown, 1, 10, kButtonEventType};
        case 1:
            return {kUp, 1, 0, kButtonEventType};
        case 2:
            return {x, setting.xDistance, 5, kHorizontalMoveType};
        case 3:
            return {y, setting.yDistance, setting.delay, kVerticalMoveType};
        case 4:
            return {x, 0, 0, kHorizontalMoveType};
        default:
            return {y, 0, 0, kVerticalMoveType};
    }
}

void WriteEvent(Json::Value& events, std::size_t index, const EventFields& fields) {
    Json::Value& event = JsonArrayElement(events, index);
    JsonObjectMember(event, "Action") = fields.action;
    JsonObjectMember(event, "Button") = fields.button;
    JsonObjectMember(event, "Delay") = fields.delay;
    JsonObjectMember(event, "Type") = fields.type;
}

std::size_t FirstEvent(int bullet) {
    return static_cast<std::size_t>(ClampBullet(bullet)) * kEventsPerBullet;
}

bool HoldsJsonObject(const std::filesystem::path& file) {
    return JsonFileStore().ReadJsonFile(file).isObject();
}

}  // namespace

int ClampGun(int gun) {
    return std::clamp(gun, 0, kGunCount - 1);
}

int ClampBullet(int bullet) {
    return std::clamp(bullet, 0, kBulletCount - 1);
}

std::string ShootFileName(int gun) {
    return "ShootData_" + std::to_string(ClampGun(gun)) + ".Shoot";
}

std::filesystem::path RecoilFiles::GunFile(int gun) const {
    if (dataFolder_.empty()) return {};
    return dataFolder_ / ShootFileName(gun);
}

std::filesystem::path RecoilFiles::FactoryFile(int gun) const {
    if (defaultFolder_.empty()) return {};
    return defaultFolder_ / ShootFileName(gun);
}

void RecoilFiles::Init() {
    if (dataFolder_.empty()) return;
    for (int gun = 0; gun < kGunCount; ++gun) {
        if (!HoldsJsonObject(GunFile(gun))) ResetGun(gun);
    }
}

BulletSetting RecoilFiles::ReadBullet(int gun, int bullet) const {
    BulletSetting setting;
    if (dataFolder_.empty()) return setting;
    const Json::Value file = JsonFileStore().ReadJsonFile(GunFile(gun));
    const Json::Value& events = JsonMember(file, "Events");
    const std::size_t first = FirstEvent(bullet);
    const Json::Value& xMove = JsonArrayItem(events, first + 2);
    const Json::Value& yMove = JsonArrayItem(events, first + 3);
    setting.xLeft = JsonString(xMove, "Action", "") == kDown;
    setting.xDistance = JsonInt(xMove, "Button", 0);
    setting.yUp = JsonString(yMove, "Action", "") == kDown;
    setting.yDistance = JsonInt(yMove, "Button", 0);
    setting.delay = JsonInt(yMove, "Delay", 0);
    return setting;
}

bool RecoilFiles::SaveBullet(int gun, int bullet, const BulletSetting& setting) {
    if (dataFolder_.empty()) return false;
    JsonFileStore store;
    const std::filesystem::path file = GunFile(gun);
    Json::Value root = store.ReadJsonFile(file);
    Json::Value& events = JsonObjectMember(root, "Events");
    if (!events.isArray()) events = Json::Value(Json::arrayValue);

    const std::size_t first = FirstEvent(bullet);
    for (std::size_t index = events.size(); index < first; ++index) {
        WriteEvent(events, index, BulletEvent(static_cast<int>(index % kEventsPerBullet), BulletSetting{}));
    }
    for (int offset = 0; offset < kEventsPerBullet; ++offset) {
        WriteEvent(events, first + static_cast<std::size_t>(offset), BulletEvent(offset, setting));
    }
    return store.WriteJsonFile(file, root) == 0;
}

bool RecoilFiles::ResetGun(int gun) {
    if (dataFolder_.empty() || defaultFolder_.empty()) return false;
    const std::filesystem::path factory = FactoryFile(gun);
    if (!HoldsJsonObject(factory)) return false;
    return platform::CopyFileContents(factory, GunFile(gun));
}

bool RecoilFiles::ImportGun(int gun, const std::filesystem::path& source) {
    if (dataFolder_.empty() || source.empty()) return false;
    if (!HoldsJsonObject(source)) return false;
    return platform::CopyFileContents(source, GunFile(gun));
}

bool RecoilFiles::ExportGun(int gun, const std::filesystem::path& target) const {
    if (dataFolder_.empty() || target.empty()) return false;
    return platform::CopyFileContents(GunFile(gun), target);
}

}  // namespace nurak::profile

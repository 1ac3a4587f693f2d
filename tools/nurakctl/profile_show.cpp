#include "profile_show.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ctl_common.h"
#include "profile/basic_profile_data.h"
#include "profile/data_places.h"
#include "profile/headset_profile_data.h"
#include "profile/json_file_store.h"
#include "profile/keyboard_profile_data.h"
#include "profile/mouse_profile_data.h"

namespace nurak::ctl {

namespace {

using namespace nurak::profile;

std::string Hex6(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", value & 0xFFFFFFu);
    return text;
}

Json::Value LightJson(const LightInfoRecord& light) {
    Json::Value out(Json::objectValue);
    out["mode"] = light.selectItem;
    out["brightness"] = light.light;
    out["speed"] = light.speed;
    out["direction"] = light.fx;
    out["multiColor"] = light.multiColor;
    out["red"] = light.red;
    out["green"] = light.green;
    out["blue"] = light.blue;
    return out;
}

Json::Value KeysJson(const std::vector<KeyAssignmentRecord>& keys) {
    Json::Value out(Json::arrayValue);
    for (const KeyAssignmentRecord& key : keys) {
        Json::Value entry(Json::objectValue);
        entry["key"] = key.current.keyIndex;
        entry["assignment"] = key.current.Code();
        entry["default"] = key.defaults.Code();
        out.append(entry);
    }
    return out;
}

Json::Value MouseJson(CMouseProfiledata& mouse) {
    Json::Value out(Json::objectValue);
    char sensor[16];
    std::snprintf(sensor, sizeof sensor, "0x%04X", mouse.GetSensorModel());
    out["sensor"] = sensor;
    const std::vector<DpiStageRecord> stages = mouse.ReadDpiStages();
    out["activeStage"] = mouse.GetActiveDpiStage();
    Json::Value list(Json::arrayValue);
    for (const DpiStageRecord& stage : stages) {
        Json::Value s(Json::objectValue);
        s["active"] = stage.stageActive;
        s["separateXY"] = stage.stageXY;
        s["x"] = stage.DpiX();
        s["y"] = stage.DpiY();
        s["red"] = stage.colorR;
        s["green"] = stage.colorG;
        s["blue"] = stage.colorB;
        list.append(s);
    }
    out["stages"] = list;
    const MouseSystemSettings system = mouse.ReadMouseSystemSettings();
    Json::Value sys(Json::objectValue);
    sys["doubleClickTime"] = system.DoubleClickTime();
    sys["mouseSpeed"] = system.MouseSpeed();
    sys["pointerPrecision"] = system.PointerPrecision();
    sys["scrollPage"] = system.ScrollPage();
    sys["wheelLines"] = system.WheelLines();
    sys["reportRate"] = system.ReportRateIndex();
    sys["mshSelectItem"] = system.MshSelectItem();
    out["system"] = sys;
    return out;
}

Json::Value KeyboardJson(CKeyboardProfiledata& keyboard) {
    Json::Value out(Json::objectValue);
    const KeyboardSystemSettings system = keyboard.ReadKeyboardSystemSettings();
    Json::Value sys(Json::objectValue);
    sys["repeat"] = system.Repeat();
    sys["repeatDelay"] = system.RepeatDelay();
    sys["key6Flag"] = system.Key6Flag();
    sys["pollingRate"] = system.PollingRate();
    sys["wFlag"] = system.WFlag();
    sys["winFlag"] = system.WinFlag();
    out["system"] = sys;
    out["customLightGroup"] = keyboard.ReadCustomLightGroupIndex();
    return out;
}

Json::Value HeadsetJson(CHs6533Profiledata& headset) {
    Json::Value out(Json::objectValue);
    const HeadsetSystemSettings s = headset.ReadHeadsetSystemSettings();
    Json::Value sys(Json::objectValue);
    sys["magicEnable"] = s.magicEnable;
    sys["magicType"] = s.magicType;
    sys["eqType"] = s.eqType;
    sys["customEqSelectIndex"] = s.customEqSeletIndex;
    sys["micInSelect"] = s.micInSelect;
    sys["micInValue"] = s.micInValue;
    sys["micMonitorSelect"] = s.micMoniterSelect;
    sys["micMonitorValue"] = s.micMoniterValue;
    out["system"] = sys;
    // The bands the device page shows: the custom equaliser for type 13.
    const std::vector<int32_t> bands =
        s.eqType == 13 ? headset.ReadCustomEqBands(s.customEqSeletIndex) : headset.ReadEqBands(s.eqType);
    Json::Value list(Json::arrayValue);
    for (int32_t band : bands) list.append(band);
    out["eqBands"] = list;
    Json::Value names(Json::arrayValue);
    for (const std::string& name : headset.ReadCustomEqNames()) names.append(name);
    out["customEqNames"] = names;
    return out;
}

void PrintText(const Json::Value& out) {
    std::string text;
    const auto line = [&](const std::string& s) { text += s + "\n"; };
    line("profile " + out["name"].asString() + "  " + out["uuid"].asString() + "  (" +
         out["file"].asString() + ")");
    const Json::Value& light = out["light"];
    line("light: mode " + light["mode"].asString() + ", brightness " + light["brightness"].asString() +
         ", speed " + light["speed"].asString() + ", direction " + light["direction"].asString() +
         ", multi-colour " + light["multiColor"].asString() + ", colour " + light["red"].asString() + "/" +
         light["green"].asString() + "/" + light["blue"].asString());
    if (out.isMember("stages")) {
        line("sensor " + out["sensor"].asString() + ", active stage " + out["activeStage"].asString());
        for (Json::ArrayIndex i = 0; i < out["stages"].size(); ++i) {
            const Json::Value& s = out["stages"][i];
            line("  stage " + std::to_string(i) + (s["active"].asUInt() ? " on " : " off") + "  x code " +
                 s["x"].asString() + ", y code " + s["y"].asString() +
                 (s["separateXY"].asUInt() ? " (separate)" : "") + ", colour " + s["red"].asString() + "/" +
                 s["green"].asString() + "/" + s["blue"].asString());
        }
    }
    if (out.isMember("system")) {
        std::string system = "system:";
        for (const std::string& name : out["system"].getMemberNames())
            system += " " + name + " " + out["system"][name].asString();
        line(system);
    }
    if (out.isMember("eqBands")) {
        std::string bands = "equaliser bands:";
        for (const Json::Value& band : out["eqBands"]) bands += " " + band.asString();
        line(bands);
        std::string names = "custom equalisers:";
        for (const Json::Value& name : out["customEqNames"]) names += " '" + name.asString() + "'";
        line(names);
    }
    if (out.isMember("customLightGroup")) line("custom light group " + out["customLightGroup"].asString());
    if (out.isMember("keys")) {
        line("keys (assignment / default):");
        for (const Json::Value& key : out["keys"])
            line("  key " + key["key"].asString() + "  " + Hex6(key["assignment"].asUInt()) + " / " +
                 Hex6(key["default"].asUInt()));
    }
    std::fputs(text.c_str(), stdout);
}

}  // namespace

uint32_t DefaultSensorModel(const std::string& folder) {
    return folder == "mouse3389" ? kSensor3389 : kSensor3327;
}

void ShowProfile(const ProfileListModel& model, const ShowOptions& options) {
    if (model.GetSelectedIndex() < 0) throw CtlError("no profile is selected");
    const bool mouse = options.folder == "mouse" || options.folder == "mouse3389";
    std::unique_ptr<CBasicProfiledata> data;
    if (mouse) {
        auto m = std::make_unique<CMouseProfiledata>();
        m->SetSensorModel(options.sensorModel.value_or(DefaultSensorModel(options.folder)));
        data = std::move(m);
    } else if (options.folder == "keyboard") {
        data = std::make_unique<CKeyboardProfiledata>();
    } else if (options.folder == "HD") {
        data = std::make_unique<CHs6533Profiledata>();
    } else {
        data = std::make_unique<CBasicProfiledata>();
    }
    data->SetProfilePath(model.CurrentProfilePath());
    data->SetDefaultProfilePath(profile::DefaultProfilePath(options.folder));
    data->SetDeviceIndex(0);
    if (data->LoadProfile(model.CurrentProfilePath()).isNull())
        throw CtlError("profile " + model.CurrentProfilePath().string() +
                       " has no device settings and no default profile was found");

    Json::Value out(Json::objectValue);
    out["name"] = model.Names()[static_cast<std::size_t>(model.GetSelectedIndex())];
    out["uuid"] = model.GetCurrentProfileId();
    out["file"] = model.CurrentProfilePath().string();
    out["light"] = LightJson(data->ReadLightInfo());
    Json::Value kind;
    if (auto* m = dynamic_cast<CMouseProfiledata*>(data.get())) kind = MouseJson(*m);
    if (auto* k = dynamic_cast<CKeyboardProfiledata*>(data.get())) kind = KeyboardJson(*k);
    if (auto* h = dynamic_cast<CHs6533Profiledata*>(data.get())) kind = HeadsetJson(*h);
    for (const std::string& name : kind.getMemberNames()) out[name] = kind[name];
    if (mouse || options.folder == "keyboard") out["keys"] = KeysJson(data->ReadKeyList());

    if (options.json) {
        std::fputs((CompactJsonText(out) + "\n").c_str(), stdout);
    } else {
        PrintText(out);
    }
}

}  // namespace nurak::ctl

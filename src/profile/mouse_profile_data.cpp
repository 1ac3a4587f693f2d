#include "profile/mouse_profile_data.h"

namespace nurak::profile {

std::optional<const char*> StageArrayName(std::uint32_t sensorModel) {
    switch (sensorModel) {
        case kSensor3335:
        case kSensor3327:
        case kSensor3389:
            return "StageDPIs";
        case kSensor3360:
            return "StageDPIs_3360";
        default:
            return std::nullopt;
    }
}

std::vector<DpiStageRecord> CMouseProfiledata::ReadDpiStages() {
    const Json::Value& section = ObjectSection("DPIStages");
    if (section.isNull()) return stages_;
    activeStage_ = static_cast<int>(WordMember(section, "StageActive"));
    const std::optional<const char*> arrayName = StageArrayName(sensorModel_);
    if (!arrayName) return stages_;
    const Json::Value& list = JsonMember(section, *arrayName);
    if (!list.isArray()) return stages_;
    for (Json::ArrayIndex k = 0; k < list.size(); ++k) {
        const Json::Value& element = list[k];
        DpiStageRecord stage;
        stage.stageActive = ByteMember(element, "StageActive");
        stage.stageXY = ByteMember(element, "StageXY");
        stage.SetDpiX(HalfMember(element, "StageDPIX"));
        stage.SetDpiY(HalfMember(element, "StageDPIY"));
        stage.colorR = ByteMember(element, "StageColorR");
        stage.colorG = ByteMember(element, "StageColorG");
        stage.colorB = ByteMember(element, "StageColorB");
        if (k < stages_.size())
            stages_[k] = stage;
        else
            stages_.push_back(stage);
    }
    return stages_;
}

void CMouseProfiledata::WriteDpiStages(const std::vector<DpiStageRecord>& stages) {
    stages_ = stages;
    const std::optional<const char*> arrayName = StageArrayName(sensorModel_);
    if (!arrayName) return;
    Json::Value& list = JsonObjectMember(WritableObjectSection("DPIStages"), *arrayName);
    for (std::size_t i = 0; i < stages.size(); ++i) {
        Json::Value& element = JsonArrayElement(list, i);
        SetMember(element, "StageActive", stages[i].stageActive);
        SetMember(element, "StageXY", stages[i].stageXY);
        SetMember(element, "StageDPIX", stages[i].DpiX());
        SetMember(element, "StageDPIY", stages[i].DpiY());
        SetMember(element, "StageColorR", stages[i].colorR);
        SetMember(element, "StageColorG", stages[i].colorG);
        SetMember(element, "StageColorB", stages[i].colorB);
    }
}

void CMouseProfiledata::SetActiveDpiStage(int stage) {
    activeStage_ = stage;
    SetMember(WritableObjectSection("DPIStages"), "StageActive", stage);
}

MouseSystemSettings CMouseProfiledata::ReadMouseSystemSettings() {
    const Json::Value& system = ObjectSection("SystemStages");
    const Json::Value& report = ObjectSection("ReportStages");
    // A missing section reads as zeros: its members are then all missing.
    systemSettings_ = MouseSystemSettings::FromValues(
        HalfMember(system, "DoubleClickTime"), HalfMember(system, "MouseSpeed"),
        HalfMember(system, "PointerPrecision"), HalfMember(system, "ScorllPage"),
        HalfMember(system, "WheelScorlllinse"), HalfMember(report, "StageActive"),
        HalfMember(system, "MSHSelectItem"));
    return systemSettings_;
}

void CMouseProfiledata::WriteMouseSystemSettings(std::uint32_t word0, std::uint32_t word1,
                                                 std::uint32_t word2, std::uint32_t word3) {
    systemSettings_ = {word0, word1, word2, word3};
    Json::Value& system = WritableObjectSection("SystemStages");
    SetMember(system, "DoubleClickTime", systemSettings_.DoubleClickTime());
    SetMember(system, "MouseSpeed", systemSettings_.MouseSpeed());
    SetMember(system, "PointerPrecision", systemSettings_.PointerPrecision());
    SetMember(system, "ScorllPage", systemSettings_.ScrollPage());
    SetMember(system, "WheelScorlllinse", systemSettings_.WheelLines());
    SetMember(system, "MSHSelectItem", systemSettings_.MshSelectItem());
    SetMember(WritableObjectSection("ReportStages"), "StageActive", systemSettings_.ReportRateIndex());
}

std::vector<CorrectInfoEntry> CMouseProfiledata::ReadCorrectInfo() {
    correctInfo_.clear();
    const Json::Value& list = ArraySection("CorrectInfo");
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        const Json::Value& element = list[i];
        correctInfo_.push_back({ByteMember(element, "CorrectPixThresh"), ByteMember(element, "CorrectMinSq"),
                                ByteMember(element, "CorrectSelect"),
                                JsonString(element, "CorrectName", std::string())});
    }
    return correctInfo_;
}

}  // namespace nurak::profile

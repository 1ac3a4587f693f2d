#include "profile/macro_library.h"

#include <system_error>
#include <utility>

#include "platform/file_io.h"
#include "profile/data_places.h"
#include "profile/json_file_store.h"
#include "profile/macro_event.h"
#include "profile/name_compare.h"
#include "profile/time_stamp_name.h"

namespace nurak::profile {

namespace {

// The library as an object to change and write back; one that cannot be
// read starts empty, as the list then showed no rows.
Json::Value ReadLibraryForUpdate(const std::filesystem::path& file) {
    Json::Value root = JsonFileStore().ReadJsonFile(file);
    if (!root.isObject()) root = Json::Value(Json::objectValue);
    return root;
}

bool WriteLibrary(const std::filesystem::path& file, const Json::Value& root) {
    return JsonFileStore().WriteJsonFile(file, root) == 0;
}

}  // namespace

std::optional<std::vector<MacroEntry>> ReadMacroLibrary(const std::filesystem::path& folder,
                                                        std::string_view libraryFileName) {
    if (folder.empty()) return std::nullopt;
    const Json::Value root = JsonFileStore().ReadJsonFile(folder / std::string(libraryFileName));
    if (!root.isObject()) return std::nullopt;
    std::vector<MacroEntry> entries;
    const Json::Value& info = JsonMember(root, "MacroInfo");
    if (!info.isArray()) return entries;
    entries.reserve(info.size());
    for (Json::ArrayIndex i = 0; i < info.size(); ++i) {
        const Json::Value& element = JsonArrayItem(info, i);
        entries.push_back(
            {JsonString(element, "MacroName", std::string()), JsonString(element, "Guid", std::string())});
    }
    return entries;
}

std::vector<std::string> LibraryMacroNames(const std::filesystem::path& folder,
                                           std::string_view libraryFileName) {
    std::vector<std::string> names;
    if (const auto entries = ReadMacroLibrary(folder, libraryFileName))
        for (const MacroEntry& entry : *entries) names.push_back(entry.name);
    return names;
}

std::optional<std::filesystem::path> MacroFilePath(const std::filesystem::path& folder,
                                                   const MacroEntry& entry) {
    if (folder.empty()) return std::nullopt;
    return IdentifiedFile(folder, entry.guid, kMacroFileExtension);
}

MacroLibraryModel::MacroLibraryModel(std::filesystem::path folder, std::string libraryFileName)
    : folder_(std::move(folder)), libraryFileName_(std::move(libraryFileName)) {}

void MacroLibraryModel::SetFolder(std::filesystem::path folder) {
    folder_ = std::move(folder);
}

void MacroLibraryModel::SetLibraryFileName(std::string libraryFileName) {
    libraryFileName_ = std::move(libraryFileName);
}

std::vector<std::string> MacroLibraryModel::MacroNames() const {
    std::vector<std::string> names;
    names.reserve(rows_.size());
    for (const MacroEntry& row : rows_) names.push_back(row.name);
    return names;
}

void MacroLibraryModel::LoadMacroList() {
    rows_ = ReadMacroLibrary(folder_, libraryFileName_).value_or(std::vector<MacroEntry>{});
    selection_ = -1;
}

std::optional<std::filesystem::path> MacroLibraryModel::RowFile(std::size_t row) const {
    if (row >= rows_.size()) return std::nullopt;
    return MacroFilePath(folder_, rows_[row]);
}

bool MacroLibraryModel::NameTaken(std::string_view name) const {
    for (const MacroEntry& row : rows_)
        if (SameNameIgnoringCase(row.name, name)) return true;
    return false;
}

std::string MacroLibraryModel::FreeMacroName() const {
    // At most rows_.size() names can be taken, so this ends by n = size + 1.
    for (std::size_t n = 1;; ++n) {
        std::string name = "macro_" + std::to_string(n);
        if (!NameTaken(name)) return name;
    }
}

std::string MacroLibraryModel::FreeGuid() const {
    // Names only increase, but a library edited elsewhere may already use a
    // later one, or a stray ".mac" may be lying there.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string guid = MakeTimeStampName();
        bool used = false;
        for (const MacroEntry& row : rows_) used = used || row.guid == guid;
        const auto file = IdentifiedFile(folder_, guid, kMacroFileExtension);
        std::error_code error;
        if (!used && file && !std::filesystem::exists(*file, error) && !error) return guid;
    }
    return std::string();
}

bool MacroLibraryModel::AppendEntry(const std::string& name, const std::string& guid) {
    Json::Value root = ReadLibraryForUpdate(LibraryPath());
    Json::Value& element = JsonArrayElement(JsonObjectMember(root, "MacroInfo"), rows_.size());
    element = Json::Value(Json::objectValue);
    element["MacroName"] = name;
    element["Guid"] = guid;
    if (!WriteLibrary(LibraryPath(), root)) return false;
    rows_.push_back({name, guid});
    return true;
}

std::string MacroLibraryModel::NewMacro() {
    if (!HasFolder() || rows_.size() >= static_cast<std::size_t>(kMaxMacros)) return std::string();
    const std::string name = FreeMacroName();
    const std::string guid = FreeGuid();
    if (guid.empty() || !AppendEntry(name, guid)) return std::string();
    selection_ = static_cast<int>(rows_.size()) - 1;
    return name;
}

int MacroLibraryModel::DeleteMacro() {
    const int s = GetSelectedMacro();
    if (s < 0 || !HasFolder()) return -1;
    const auto index = static_cast<std::size_t>(s);

    // The library goes first: when it cannot be written the macro stays
    // listed, so its events must stay too.
    Json::Value root = ReadLibraryForUpdate(LibraryPath());
    if (root.isMember("MacroInfo")) {
        Json::Value& info = root["MacroInfo"];
        Json::Value removed;
        if (info.isArray() && index < info.size())
            info.removeIndex(static_cast<Json::ArrayIndex>(index), &removed);
    }
    if (!WriteLibrary(LibraryPath(), root)) return -1;

    // A Guid listed twice (a hand-edited library) keeps its file for the other entry.
    bool shared = false;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        shared = shared || (i != index && rows_[i].guid == rows_[index].guid);
    if (const auto file = RowFile(index); file && !shared) {
        std::error_code error;
        std::filesystem::remove(*file, error);
    }
    rows_.erase(rows_.begin() + s);
    selection_ = rows_.empty() ? -1 : 0;
    return s;
}

std::string MacroLibraryModel::RenameMacro(std::string_view newName, int& index) {
    index = -1;
    const int s = GetSelectedMacro();
    if (s < 0) return std::string();
    if (newName.empty()) return "IsEmpty";
    if (NameTaken(newName)) {
        index = s;
        return std::string();
    }
    if (!HasFolder()) return std::string();
    Json::Value root = ReadLibraryForUpdate(LibraryPath());
    Json::Value& element = JsonArrayElement(JsonObjectMember(root, "MacroInfo"), static_cast<std::size_t>(s));
    JsonObjectMember(element, "MacroName") = std::string(newName);
    if (!WriteLibrary(LibraryPath(), root)) return std::string();
    rows_[static_cast<std::size_t>(s)].name = std::string(newName);
    index = s;
    return std::string(newName);
}

bool MacroLibraryModel::SelectMacro(int index) {
    if (index < -1 || index >= static_cast<int>(rows_.size())) return false;
    selection_ = index;
    return true;
}

int MacroLibraryModel::GetSelectedMacro() const {
    return (selection_ >= 0 && selection_ < static_cast<int>(rows_.size())) ? selection_ : -1;
}

bool MacroLibraryModel::SaveMacro(const std::filesystem::path& file, std::vector<MacroEventRow>& rows) {
    const int s = GetSelectedMacro();
    if (s < 0 || file.empty() || !RowFile(static_cast<std::size_t>(s))) return false;
    const MacroEntry& entry = rows_[static_cast<std::size_t>(s)];

    Json::Value root(Json::objectValue);
    root["MacroName"] = entry.name;
    root["Guid"] = entry.guid;
    Json::Value events(Json::arrayValue);
    std::vector<MacroEventRow> stored = rows;
    for (MacroEventRow& row : stored) {
        const auto delay = ParseDelayText(row.delayText.empty() ? std::string_view("0") : row.delayText);
        row.delayText = std::to_string(delay ? delay->Clamped() : 0);
        if (row.jsonText.empty()) break;
        Json::Value event = ParseJsonText(row.jsonText);
        if (!event.isObject()) break;
        event["Delay"] = row.delayText;
        row.jsonText = CompactJsonText(event);
        events.append(std::move(event));
    }
    root["Events"] = std::move(events);
    root["Version"] = kMacroFileVersion;
    if (JsonFileStore().WriteJsonFile(file, root) != 0) return false;
    rows = std::move(stored);
    return true;
}

bool MacroLibraryModel::SaveSelectedMacro(std::vector<MacroEventRow>& rows) {
    const int s = GetSelectedMacro();
    if (s < 0) return false;
    const auto file = RowFile(static_cast<std::size_t>(s));
    return file && SaveMacro(*file, rows);
}

std::vector<MacroEventRow> MacroLibraryModel::LoadMacroEvents() const {
    std::vector<MacroEventRow> rows;
    const int s = GetSelectedMacro();
    if (s < 0) return rows;
    const auto file = RowFile(static_cast<std::size_t>(s));
    if (!file) return rows;
    const Json::Value root = JsonFileStore().ReadJsonFile(*file);
    const Json::Value& events = JsonMember(root, "Events");
    if (!events.isArray()) return rows;
    for (Json::ArrayIndex i = 0; i < events.size(); ++i) {
        const Json::Value& event = JsonArrayItem(events, i);
        if (!event.isObject()) continue;
        const auto delay = ReadDelay(JsonMember(event, "Delay"));
        rows.push_back({CompactJsonText(event), std::to_string(delay ? delay->Clamped() : 0)});
    }
    return rows;
}

std::string MacroLibraryModel::ImportMacro(const std::filesystem::path& file) {
    if (file.empty() || !HasFolder() || rows_.size() >= static_cast<std::size_t>(kMaxMacros))
        return std::string();
    if (!JsonFileStore().ReadJsonFile(file).isObject()) return std::string();
    const std::string name = FreeMacroName();
    const std::string guid = FreeGuid();
    if (guid.empty()) return std::string();
    const auto target = IdentifiedFile(folder_, guid, kMacroFileExtension);
    // The events are in place before the library names the macro.
    if (!target || !platform::CopyFileContents(file, *target)) return std::string();
    if (!AppendEntry(name, guid)) {
        std::error_code error;
        std::filesystem::remove(*target, error);
        return std::string();
    }
    selection_ = static_cast<int>(rows_.size()) - 1;
    return name;
}

bool MacroLibraryModel::ExportMacro(const std::filesystem::path& file) const {
    const int s = GetSelectedMacro();
    if (s < 0 || file.empty()) return false;
    const auto source = RowFile(static_cast<std::size_t>(s));
    return source && platform::CopyFileContents(*source, file);
}

}  // namespace nurak::profile

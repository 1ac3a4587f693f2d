#include "profile/profile_list.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <utility>

#include "profile/data_places.h"
#include "profile/name_compare.h"
#include "profile/time_stamp_name.h"

namespace nurak::profile {

namespace {

Json::Value ListEntry(const std::string& name, const std::string& identity) {
    Json::Value entry(Json::objectValue);
    entry["profilename"] = name;
    entry["profileUUID"] = identity;
    // Fixed values; nothing links a profile to a program.
    entry["profileislink"] = 0;
    entry["profilelinkmame"] = "";
    return entry;
}

const char* const kKeptEqualiserMembers[] = {"CustomEQNameInfo", "CustomEQHzValueInfo"};
constexpr int kHeadsetKind = 7;

}  // namespace

const char* ProfileListResultText(ProfileListResult result) {
    switch (result) {
        case ProfileListResult::Done:
            return "done";
        case ProfileListResult::NameTaken:
            return "another profile has this name";
        case ProfileListResult::EmptyName:
            return "a profile name cannot be empty";
        case ProfileListResult::TooManyProfiles:
            return "there are already 50 profiles";
        case ProfileListResult::LastProfile:
            return "the last profile cannot be deleted";
        case ProfileListResult::NoSelection:
            return "no profile is selected";
        case ProfileListResult::BadImportFile:
            return "not a profile file (a JSON object with \"profilename\" and \"profileUUID\" is needed)";
        case ProfileListResult::BadIndex:
            return "no profile has this index";
        case ProfileListResult::MissingProfileFile:
            return "the profile's file cannot be read";
        case ProfileListResult::NoDataFolder:
            return "no device data folder";
        case ProfileListResult::WriteFailed:
            return "a profile file could not be written";
    }
    return "unknown result";
}

void ProfileListModel::SetProfilePaths(const std::filesystem::path& deviceDataFolder,
                                       const std::filesystem::path& defaultProfilePath) {
    folder_ = deviceDataFolder;
    defaultProfile_ = defaultProfilePath;
    // Another folder is another device: nothing of the old list applies.
    names_.clear();
    identities_.clear();
    selected_ = -1;
    currentId_.clear();
    nameField_.clear();
}

std::filesystem::path ProfileListModel::ListFilePath() const {
    return folder_ / kProfileListFileName;
}

std::filesystem::path ProfileListModel::CurrentProfilePath() const {
    return currentId_.empty() ? std::filesystem::path() : ProfileFile(currentId_);
}

std::filesystem::path ProfileListModel::ProfileFile(std::string_view identity) const {
    // Identities are checked when read, so this only guards against misuse;
    // an empty path names no file and every access to it fails.
    return IdentifiedFile(folder_, identity, kProfileFileExtension).value_or(std::filesystem::path());
}

bool ProfileListModel::NameTaken(std::string_view name, int except) const {
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (static_cast<int>(i) != except && SameNameIgnoringCase(names_[i], name)) return true;
    return false;
}

std::string ProfileListModel::NewIdentity() const {
    // Names are unique within this process only; another process (nurakctl
    // next to the GUI) may have taken one, and a clock set back may repeat one.
    for (;;) {
        std::string identity = MakeTimeStampName();
        if (std::find(identities_.begin(), identities_.end(), identity) != identities_.end()) continue;
        std::error_code error;
        if (std::filesystem::exists(ProfileFile(identity), error) || error) continue;
        return identity;
    }
}

ProfileListResult ProfileListModel::WriteList(const LoadedList& list, const std::vector<std::string>& names,
                                              const std::vector<std::string>& identities, int select) {
    Json::Value root = list.root.isObject() ? list.root : Json::Value(Json::objectValue);
    Json::Value entries(Json::arrayValue);
    for (std::size_t i = 0; i < names.size(); ++i) entries.append(ListEntry(names[i], identities[i]));
    JsonObjectMember(root, "profilelist") = std::move(entries);
    JsonObjectMember(root, "profileselect") = select;
    return store_.WriteJsonFile(ListFilePath(), root) == 0 ? ProfileListResult::Done
                                                           : ProfileListResult::WriteFailed;
}

ProfileListResult ProfileListModel::WriteProfileFile(Json::Value value, const std::string& name,
                                                     const std::string& identity) {
    if (!value.isObject()) value = Json::Value(Json::objectValue);
    JsonObjectMember(value, "profilename") = name;
    JsonObjectMember(value, "profileUUID") = identity;
    return store_.WriteJsonFile(ProfileFile(identity), value) == 0 ? ProfileListResult::Done
                                                                   : ProfileListResult::WriteFailed;
}

ProfileListResult ProfileListModel::AppendProfile(const LoadedList& list, const std::string& name,
                                                  const std::string& identity, int select) {
    std::vector<std::string> names = names_;
    std::vector<std::string> identities = identities_;
    names.push_back(name);
    identities.push_back(identity);
    if (WriteList(list, names, identities, select) != ProfileListResult::Done) {
        std::error_code error;
        std::filesystem::remove(ProfileFile(identity), error);
        return ProfileListResult::WriteFailed;
    }
    names_ = std::move(names);
    identities_ = std::move(identities);
    return ProfileListResult::Done;
}

ProfileListResult ProfileListModel::Rebuild(LoadedList& list) {
    names_.clear();
    identities_.clear();
    selected_ = -1;
    currentId_.clear();
    const std::string identity = NewIdentity();
    const std::string name = "profile1";
    if (WriteProfileFile(store_.ReadJsonFile(defaultProfile_), name, identity) != ProfileListResult::Done)
        return ProfileListResult::WriteFailed;
    if (!list.root.isObject()) list.root = Json::Value(Json::objectValue);
    list.select = 0;
    const ProfileListResult result = AppendProfile(list, name, identity, 0);
    if (result != ProfileListResult::Done) return result;
    selected_ = 0;
    currentId_ = identity;
    nameField_ = name;
    return ProfileListResult::Done;
}

ProfileListResult ProfileListModel::Refresh(LoadedList& list) {
    if (folder_.empty()) return ProfileListResult::NoDataFolder;
    list.root = store_.ReadJsonFile(ListFilePath());
    const Json::Value& entries = JsonMember(list.root, "profilelist");
    const int fileSelect = JsonInt(list.root, "profileselect", -1);

    // A broken entry cannot be shown or, worse, names a file outside the
    // folder; it is left out. A repeated identity would let deleting one
    // profile remove the file of another.
    std::vector<std::string> names;
    std::vector<std::string> identities;
    int select = 0;
    bool dropped = false;
    const std::size_t count = entries.isArray() ? entries.size() : 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Json::Value& entry = JsonArrayItem(entries, i);
        const Json::Value& name = JsonMember(entry, "profilename");
        const std::string identity = JsonString(entry, "profileUUID", std::string());
        if (!entry.isObject() || !name.isString() ||
            !IdentifiedFile(folder_, identity, kProfileFileExtension) ||
            std::find(identities.begin(), identities.end(), identity) != identities.end()) {
            dropped = true;
            continue;
        }
        if (static_cast<int>(i) == fileSelect) select = static_cast<int>(names.size());
        names.push_back(name.asString());
        identities.push_back(identity);
    }
    if (names.empty()) return Rebuild(list);

    list.select = select;
    names_ = std::move(names);
    identities_ = std::move(identities);
    // The selection follows its profile should the file have changed under us.
    if (selected_ >= 0) {
        const auto found = std::find(identities_.begin(), identities_.end(), currentId_);
        if (found == identities_.end()) {
            selected_ = -1;
            currentId_.clear();
        } else {
            selected_ = static_cast<int>(found - identities_.begin());
        }
    }
    if (dropped) return WriteList(list, names_, identities_, list.select);
    return ProfileListResult::Done;
}

ProfileListResult ProfileListModel::SelectLoaded(const LoadedList& list, int index) {
    if (index < 0 || index >= static_cast<int>(names_.size())) return ProfileListResult::BadIndex;
    selected_ = index;
    nameField_ = names_[static_cast<std::size_t>(index)];
    currentId_ = identities_[static_cast<std::size_t>(index)];
    return WriteList(list, names_, identities_, index);
}

ProfileListResult ProfileListModel::InitProfileList() {
    LoadedList list;
    const ProfileListResult result = Refresh(list);
    if (result != ProfileListResult::Done) return result;
    return SelectLoaded(list, list.select);
}

ProfileListResult ProfileListModel::SelectProfile(int index) {
    LoadedList list;
    const ProfileListResult result = Refresh(list);
    if (result != ProfileListResult::Done) return result;
    return SelectLoaded(list, index);
}

ProfileListResult ProfileListModel::AddProfile() {
    LoadedList list;
    const ProfileListResult result = Refresh(list);
    if (result != ProfileListResult::Done) return result;
    if (names_.size() >= static_cast<std::size_t>(kMaxAddedProfiles))
        return ProfileListResult::TooManyProfiles;
    std::string name;
    for (int n = 1;; ++n) {
        name = "profile" + std::to_string(n);
        if (!NameTaken(name)) break;
    }
    const std::string identity = NewIdentity();
    if (WriteProfileFile(store_.ReadJsonFile(defaultProfile_), name, identity) != ProfileListResult::Done)
        return ProfileListResult::WriteFailed;
    return AppendProfile(list, name, identity, static_cast<int>(names_.size()));
}

ProfileListResult ProfileListModel::DeleteProfile() {
    LoadedList list;
    const ProfileListResult result = Refresh(list);
    if (result != ProfileListResult::Done) return result;
    if (selected_ < 0) return ProfileListResult::NoSelection;
    if (names_.size() < 2) return ProfileListResult::LastProfile;

    const auto s = static_cast<std::size_t>(selected_);
    std::vector<std::string> names = names_;
    std::vector<std::string> identities = identities_;
    const std::string gone = identities[s];
    names.erase(names.begin() + selected_);
    identities.erase(identities.begin() + selected_);
    const int select = selected_ == 0 ? 0 : selected_ - 1;
    // The list goes first: should it fail, the profile is still whole.
    if (WriteList(list, names, identities, select) != ProfileListResult::Done)
        return ProfileListResult::WriteFailed;
    std::error_code error;
    std::filesystem::remove(ProfileFile(gone), error);  // a file left behind is only unlisted
    names_ = std::move(names);
    identities_ = std::move(identities);
    selected_ = -1;
    currentId_.clear();
    return SelectLoaded(list, select);
}

ProfileListResult ProfileListModel::CopyProfile() {
    LoadedList list;
    const ProfileListResult result = Refresh(list);
    if (result != ProfileListResult::Done) return result;
    if (selected_ < 0) return ProfileListResult::NoSelection;
    std::string name = names_[static_cast<std::size_t>(selected_)] + " copy";
    while (NameTaken(name)) name += " copy";
    const std::string identity = NewIdentity();
    const Json::Value source = store_.ReadJsonFile(ProfileFile(currentId_));
    if (WriteProfileFile(source, name, identity) != ProfileListResult::Done)
        return ProfileListResult::WriteFailed;
    return AppendProfile(list, name, identity, list.select);
}

ProfileListResult ProfileListModel::ImportProfile(const std::filesystem::path& file) {
    LoadedList list;
    const ProfileListResult result = Refresh(list);
    if (result != ProfileListResult::Done) return result;
    if (selected_ < 0) return ProfileListResult::NoSelection;
    const Json::Value imported = store_.ReadJsonFile(file);
    const Json::Value& importedName = JsonMember(imported, "profilename");
    if (!imported.isObject() || !importedName.isString() || importedName.asString().empty() ||
        JsonMember(imported, "profileUUID").isNull())
        return ProfileListResult::BadImportFile;

    // The suffixes pile up: Work, Work(1), Work(1)(2).
    std::string name = importedName.asString();
    for (int n = 1; NameTaken(name); ++n) name += "(" + std::to_string(n) + ")";
    const std::string identity = NewIdentity();
    if (WriteProfileFile(imported, name, identity) != ProfileListResult::Done)
        return ProfileListResult::WriteFailed;
    return AppendProfile(list, name, identity, list.select);
}

ProfileListResult ProfileListModel::ExportProfile(const std::filesystem::path& file) {
    LoadedList list;
    const ProfileListResult result = Refresh(list);
    if (result != ProfileListResult::Done) return result;
    if (selected_ < 0) return ProfileListResult::NoSelection;
    Json::Value value = store_.ReadJsonFile(ProfileFile(currentId_));
    if (!value.isObject()) return ProfileListResult::MissingProfileFile;
    // The exported file names the profile as the list does.
    JsonObjectMember(value, "profilename") = names_[static_cast<std::size_t>(selected_)];
    JsonObjectMember(value, "profileUUID") = currentId_;
    return store_.WriteJsonFile(file, value) == 0 ? ProfileListResult::Done : ProfileListResult::WriteFailed;
}

ProfileListResult ProfileListModel::ResetProfile() {
    LoadedList list;
    const ProfileListResult result = Refresh(list);
    if (result != ProfileListResult::Done) return result;
    if (selected_ < 0) return ProfileListResult::NoSelection;
    Json::Value value = store_.ReadJsonFile(defaultProfile_);
    if (!value.isObject()) value = Json::Value(Json::objectValue);
    if (deviceKind_ == kHeadsetKind) {
        // The user's own equalisers survive a reset.
        const Json::Value current = store_.ReadJsonFile(ProfileFile(currentId_));
        const Json::Value& device = JsonArrayItem(JsonMember(current, "Device"), 0);
        for (const char* member : kKeptEqualiserMembers) {
            const Json::Value& kept = JsonMember(device, member);
            if (kept.isNull()) continue;  // nothing of the user's to keep: the default stays
            JsonObjectMember(JsonArrayElement(JsonObjectMember(value, "Device"), 0), member) = kept;
        }
    }
    return WriteProfileFile(std::move(value), names_[static_cast<std::size_t>(selected_)], currentId_);
}

ProfileListResult ProfileListModel::RenameProfile(const std::string& name) {
    LoadedList list;
    const ProfileListResult result = Refresh(list);
    if (result != ProfileListResult::Done) return result;
    if (selected_ < 0) return ProfileListResult::NoSelection;
    if (name.empty()) return ProfileListResult::EmptyName;
    if (NameTaken(name, selected_)) return ProfileListResult::NameTaken;

    std::vector<std::string> names = names_;
    names[static_cast<std::size_t>(selected_)] = name;
    if (WriteList(list, names, identities_, list.select) != ProfileListResult::Done)
        return ProfileListResult::WriteFailed;
    names_ = std::move(names);
    nameField_ = name;
    return WriteProfileFile(store_.ReadJsonFile(ProfileFile(currentId_)), name, currentId_);
}

}  // namespace nurak::profile

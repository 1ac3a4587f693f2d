#pragma once

// The profiles of one device: the list file "ProfileList.ini" in the device
// data folder, one "<identity>.Json" file per profile, and the selection the
// profile panel shows. The panel displays Names() and forwards every action
// here; nurakctl drives the same operations on the same files.
//
// The list file on disk is the authority: every operation reads it again
// before it changes anything, and the names kept here are only a cache.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <json/value.h>

#include "profile/json_file_store.h"

namespace nurak::profile {

inline constexpr const char* kProfileListFileName = "ProfileList.ini";
inline constexpr const char* kProfileFileExtension = ".Json";

// AddProfile stops here; copies and imports are not limited.
inline constexpr int kMaxAddedProfiles = 50;

enum class ProfileListResult {
    Done,
    NameTaken,           // rename to a name another profile has (case-insensitive)
    EmptyName,           // rename to ""
    TooManyProfiles,     // add with kMaxAddedProfiles profiles listed
    LastProfile,         // delete of the only profile
    NoSelection,         // the operation needs a selected profile
    BadImportFile,       // not an object with a non-empty "profilename" and a "profileUUID"
    BadIndex,            // select of an index outside the list
    MissingProfileFile,  // export of a profile whose file cannot be read
    NoDataFolder,        // SetProfilePaths was not given a folder
    WriteFailed,         // a file could not be written; see each operation for what is left
};

// A short English text for messages.
const char* ProfileListResultText(ProfileListResult result);

class ProfileListModel {
  public:
    // The device kind as the panel knows it (1 keyboard, 2 mouse, 3 mousepad,
    // 4, 5, 7 headset); it decides what a reset keeps.
    void SetDeviceKind(int kind) { deviceKind_ = kind; }
    int DeviceKind() const { return deviceKind_; }

    // The default profile may be missing: new profiles then hold only their
    // name and identity.
    void SetProfilePaths(const std::filesystem::path& deviceDataFolder,
                         const std::filesystem::path& defaultProfilePath);
    const std::filesystem::path& DeviceDataFolder() const { return folder_; }
    std::filesystem::path ListFilePath() const;

    // Reads the list (leaving out and rewriting away broken entries, or
    // rebuilding it with a single "profile1" when none is left) and selects
    // the entry "profileselect" names, 0 when that is missing or out of range.
    ProfileListResult InitProfileList();

    // Selects entry `index` and stores it as "profileselect". An index
    // outside the list changes nothing.
    ProfileListResult SelectProfile(int index);

    int GetSelectedIndex() const { return selected_; }
    const std::string& GetCurrentProfileId() const { return currentId_; }
    // Empty when nothing is selected.
    std::filesystem::path CurrentProfilePath() const;

    const std::string& GetNameFieldText() const { return nameField_; }
    void SetNameFieldText(std::string text) { nameField_ = std::move(text); }

    // A new profile "profile<n>" from the default profile. The file's
    // "profileselect" names it, but the selection here stays.
    ProfileListResult AddProfile();
    // Deletes the selected profile and its file, then selects the one before.
    ProfileListResult DeleteProfile();
    // A new profile "<name> copy" holding the selected profile's settings.
    ProfileListResult CopyProfile();
    // A new profile holding the settings of a profile file from elsewhere.
    ProfileListResult ImportProfile(const std::filesystem::path& file);
    // Writes the selected profile's file to `file`.
    ProfileListResult ExportProfile(const std::filesystem::path& file);
    // Replaces the selected profile's settings by the default profile; a
    // headset keeps its own equalisers.
    ProfileListResult ResetProfile();
    ProfileListResult RenameProfile(const std::string& name);

    const std::vector<std::string>& Names() const { return names_; }
    const std::vector<std::string>& Identities() const { return identities_; }

  private:
    struct LoadedList {
        Json::Value root;  // the file's root object, for members we do not know
        int select = 0;    // "profileselect", 0 when unusable
    };

    ProfileListResult Refresh(LoadedList& list);
    ProfileListResult Rebuild(LoadedList& list);
    ProfileListResult WriteList(const LoadedList& list, const std::vector<std::string>& names,
                                const std::vector<std::string>& identities, int select);
    ProfileListResult SelectLoaded(const LoadedList& list, int index);
    bool NameTaken(std::string_view name, int except = -1) const;
    std::string NewIdentity() const;
    std::filesystem::path ProfileFile(std::string_view identity) const;
    ProfileListResult WriteProfileFile(Json::Value value, const std::string& name,
                                       const std::string& identity);
    // Lists a profile whose file was just written; the file is removed again
    // when the list cannot be written, so no listed profile lacks a file.
    ProfileListResult AppendProfile(const LoadedList& list, const std::string& name,
                                    const std::string& identity, int select);

    int deviceKind_ = 0;
    std::filesystem::path folder_;
    std::filesystem::path defaultProfile_;
    std::vector<std::string> names_;
    std::vector<std::string> identities_;
    int selected_ = -1;
    std::string nameField_;
    std::string currentId_;
    JsonFileStore store_;
};

}  // namespace nurak::profile

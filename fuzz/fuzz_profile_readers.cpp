// Feeds one input to every reader of stored files, as each file they read:
// the profile and default profile of every device kind, the profile list,
// the macro library and a macro file, the recoil gun files and the light
// files. Readers must give a value or nothing and never crash or hang.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/file_io.h"
#include "profile/basic_profile_data.h"
#include "profile/headset_profile_data.h"
#include "profile/keyboard_profile_data.h"
#include "profile/light_library.h"
#include "profile/macro_library.h"
#include "profile/memory_image.h"
#include "profile/mouse_profile_data.h"
#include "profile/profile_list.h"
#include "profile/recoil_files.h"

namespace fs = std::filesystem;
using namespace nurak::profile;

namespace {

constexpr const char* kMacroFile = "2020_01_01_00_00_00_000.mac";

// A scratch folder, on tmpfs when there is one, whose read-only file names
// are links to the input written for each run.
struct Scratch {
    fs::path folder;
    fs::path input;
    fs::path profile;
    fs::path list;

    Scratch() {
        std::error_code error;
        fs::path base = "/dev/shm";
        if (::access(base.c_str(), W_OK) != 0) base = fs::temp_directory_path();
        folder = base / ("nurak-fuzz-profile-" + std::to_string(::getpid()));
        fs::create_directories(folder, error);
        input = folder / "input";
        profile = folder / "profile.Json";
        list = folder / "list";
        for (const char* name :
             {"default.Json", "macro.config", kMacroFile, "ShootData_0.Shoot", "ShootData_1.Shoot",
              "ShootData_2.Shoot", "ShootData_3.Shoot", "nurak_light.config", "default_light.json"})
            fs::create_symlink("input", folder / name, error);
    }
    ~Scratch() {
        std::error_code error;
        fs::remove_all(folder, error);
    }
};

template <typename Profile>
Profile& Loaded(Profile& data, const Scratch& s) {
    data.SetDefaultProfilePath(s.folder / "default.Json");
    data.SetProfilePath(s.profile);
    data.LoadProfile(s.profile);
    data.ReadLightInfo();
    data.ReadLightList();
    data.ReadKeyList();
    data.LoadLightLibrary(s.folder / "nurak_light.config");
    data.ReadCustomLightEffect();
    return data;
}

void ProfileObjects(const Scratch& s, std::string_view text) {
    for (uint32_t sensor : {kSensor3327, kSensor3360, kSensor3389, 0x1234u}) {
        nurak::platform::ReplaceFileContents(s.profile, text);
        CMouseProfiledata mouse;
        mouse.SetSensorModel(sensor);
        Loaded(mouse, s);
        mouse.WriteDpiStages(mouse.ReadDpiStages());
        mouse.ReadMouseSystemSettings();
        mouse.ReadCorrectInfo();
    }
    nurak::platform::ReplaceFileContents(s.profile, text);
    CKeyboardProfiledata keyboard;
    Loaded(keyboard, s);
    keyboard.ReadKeyboardSystemSettings();
    keyboard.ReadCustomLightColors(keyboard.ReadCustomLightGroupIndex(), 126);

    nurak::platform::ReplaceFileContents(s.profile, text);
    CHs6533Profiledata headset;
    Loaded(headset, s);
    const HeadsetSystemSettings settings = headset.ReadHeadsetSystemSettings();
    headset.ReadEqBands(settings.eqType);
    headset.ReadCustomEqBands(settings.customEqSeletIndex);
    headset.ReadCustomEqNames();
    headset.Save();
}

void ProfileList(const Scratch& s, std::string_view text) {
    std::error_code error;
    fs::remove_all(s.list, error);
    fs::create_directories(s.list, error);
    nurak::platform::ReplaceFileContents(s.list / kProfileListFileName, text);
    ProfileListModel model;
    model.SetDeviceKind(7);
    model.SetProfilePaths(s.list, s.folder / "default.Json");
    if (model.InitProfileList() != ProfileListResult::Done) return;
    model.SelectProfile(static_cast<int>(model.Names().size()) - 1);
    model.CopyProfile();
    model.ResetProfile();
}

void Libraries(const Scratch& s) {
    MacroLibraryModel macros(s.folder);
    macros.LoadMacroList();
    if (macros.SelectMacro(0)) macros.LoadMacroEvents();
    ReadMacroFileEvents(s.folder / kMacroFile);
    BuildMacroImageFromLibrary(s.folder, kMacroLibraryFileName, 32);
    BuildRecoilImageFromFolder(s.folder, 32);

    RecoilFiles recoil;
    recoil.SetDataFolder(s.folder);
    for (int bullet = 0; bullet < kBulletCount; bullet += 7) recoil.ReadBullet(0, bullet);

    for (int index = 0; index < 4; ++index) {
        DeviceLibraryLists lists;
        LibraryPlaces places;
        places.macroLibrary = s.folder / "macro.config";
        places.defaultLightNames = s.folder / "default_light.json";
        places.customLightLibrary = s.folder / "nurak_light.config";
        places.libraryIndex = index;
        LoadLibraries(lists, places);
        LightModeName(lists, 12);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Scratch scratch;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!nurak::platform::ReplaceFileContents(scratch.input, text)) std::abort();
    ProfileObjects(scratch, text);
    ProfileList(scratch, text);
    Libraries(scratch);
    return 0;
}

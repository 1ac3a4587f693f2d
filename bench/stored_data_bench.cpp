// Cost of the stored-data paths a device page takes on every profile switch.
//
// ParseShippedProfile is the baseline: parsing the keyboard's default
// profile text (the largest stored file, 72 KiB) in memory. ReadJsonFile adds
// the file read; LoadKeyboardProfile is what a device control runs to fill
// its page (load plus every read of its kind); SaveProfile is one setting
// change written back (read, replace, atomic write with fsync);
// MacroImageOfFiftyMacros builds the macro memory image from a full library.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/file_io.h"
#include "profile/data_places.h"
#include "profile/json_file_store.h"
#include "profile/keyboard_profile_data.h"
#include "profile/macro_library.h"
#include "profile/memory_image.h"
#include "support/temp_dir.h"

namespace {

using namespace nurak;
using namespace nurak::profile;

std::filesystem::path KeyboardDefault() {
    return DefaultProfilePath("keyboard");
}

void ParseShippedProfile(benchmark::State& state) {
    std::string text;
    platform::ReadWholeFile(KeyboardDefault(), kMaxJsonFileSize, text);
    for (auto _ : state) benchmark::DoNotOptimize(ParseJsonText(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(ParseShippedProfile)->Unit(benchmark::kMicrosecond);

void ReadShippedProfile(benchmark::State& state) {
    JsonFileStore store;
    for (auto _ : state) benchmark::DoNotOptimize(store.ReadJsonFile(KeyboardDefault()));
}
BENCHMARK(ReadShippedProfile)->Unit(benchmark::kMicrosecond);

void LoadKeyboardProfile(benchmark::State& state) {
    testing::TempDir dir{"nurak-bench"};
    const auto file = dir.path() / "2026_01_01_00_00_00_000.Json";
    platform::CopyFileContents(KeyboardDefault(), file);
    for (auto _ : state) {
        CKeyboardProfiledata keyboard;
        keyboard.SetDefaultProfilePath(KeyboardDefault());
        keyboard.SetProfilePath(file);
        keyboard.LoadProfile(file);
        benchmark::DoNotOptimize(keyboard.ReadKeyList());
        benchmark::DoNotOptimize(keyboard.ReadLightInfo());
        benchmark::DoNotOptimize(keyboard.ReadLightList());
        benchmark::DoNotOptimize(keyboard.ReadKeyboardSystemSettings());
        benchmark::DoNotOptimize(keyboard.ReadCustomLightColors(keyboard.ReadCustomLightGroupIndex(), 126));
    }
}
BENCHMARK(LoadKeyboardProfile)->Unit(benchmark::kMicrosecond);

void SaveProfile(benchmark::State& state) {
    testing::TempDir dir{"nurak-bench"};
    const auto file = dir.path() / "2026_01_01_00_00_00_000.Json";
    platform::CopyFileContents(KeyboardDefault(), file);
    CKeyboardProfiledata keyboard;
    keyboard.SetProfilePath(file);
    keyboard.LoadProfile(file);
    uint32_t repeat = 0;
    for (auto _ : state) {
        keyboard.WriteKeyboardSystemSettings(++repeat & 0xFF, 0, 0);
        if (keyboard.Save() != 0) state.SkipWithError("save failed");
    }
}
BENCHMARK(SaveProfile)->Unit(benchmark::kMicrosecond);

void MacroImageOfFiftyMacros(benchmark::State& state) {
    testing::TempDir dir{"nurak-bench"};
    MacroLibraryModel library(dir.path());
    library.LoadMacroList();
    for (int m = 0; m < kMaxMacros; ++m) {
        library.NewMacro();
        std::vector<MacroEventRow> rows;
        for (int e = 0; e < 10; ++e)
            rows.push_back({R"({"Action":"down","Button":4,"Type":10,"Delay":"20"})", "20"});
        library.SaveSelectedMacro(rows);
    }
    for (auto _ : state) {
        const MemoryImageBuild build = BuildMacroImageFromLibrary(dir.path(), kMacroLibraryFileName, 32);
        if (build.image.empty()) state.SkipWithError("no image");
        benchmark::DoNotOptimize(build.image.data());
    }
}
BENCHMARK(MacroImageOfFiftyMacros)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

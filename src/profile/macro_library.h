#pragma once

// The macro library of a device: the list file that names the user's macros
// and one ".mac" event file per macro, both in the device data folder.
// MacroLibraryModel is the file side of the macro editor, free of any UI:
// it keeps the rows and the selection and does every file operation.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nurak::profile {

// Keyboards and mice keep their library in the first file; the headset and
// mousepad controls read the second.
inline constexpr const char* kMacroLibraryFileName = "macro.config";
inline constexpr const char* kNurakMacroLibraryFileName = "nurak_macro.config";
inline constexpr const char* kMacroFileExtension = ".mac";
inline constexpr int kMaxMacros = 50;
inline constexpr int kMacroFileVersion = 64;

// One "MacroInfo" element. An entry whose Guid is not a time-stamp name is
// broken: it keeps its place in the list, but no file is ever read, written
// or deleted for it.
struct MacroEntry {
    std::string name;
    std::string guid;
    friend bool operator==(const MacroEntry&, const MacroEntry&) = default;
};

// One event row of the editor: the event record as JSON text and the text of
// its delay field.
struct MacroEventRow {
    std::string jsonText;
    std::string delayText;
    friend bool operator==(const MacroEventRow&, const MacroEventRow&) = default;
};

// The entries of the library file in list order; nullopt when the file is
// missing, unreadable or not a JSON object. Every element of "MacroInfo"
// gives an entry, so list indices stay those the key assignments use.
std::optional<std::vector<MacroEntry>> ReadMacroLibrary(const std::filesystem::path& folder,
                                                        std::string_view libraryFileName);

// The names of the entries in list order; empty when the library cannot be read.
std::vector<std::string> LibraryMacroNames(const std::filesystem::path& folder,
                                           std::string_view libraryFileName);

// folder/<guid>.mac, or nullopt for a broken entry.
std::optional<std::filesystem::path> MacroFilePath(const std::filesystem::path& folder,
                                                   const MacroEntry& entry);

class MacroLibraryModel {
  public:
    explicit MacroLibraryModel(std::filesystem::path folder = {},
                               std::string libraryFileName = kMacroLibraryFileName);

    // The device data folder. Without one no file is read or written.
    void SetFolder(std::filesystem::path folder);
    const std::filesystem::path& Folder() const { return folder_; }
    void SetLibraryFileName(std::string libraryFileName);
    const std::string& LibraryFileName() const { return libraryFileName_; }
    std::filesystem::path LibraryPath() const { return folder_ / libraryFileName_; }

    const std::vector<MacroEntry>& Rows() const { return rows_; }
    std::vector<std::string> MacroNames() const;

    // Rows from the library file (none when it cannot be read); nothing selected.
    void LoadMacroList();

    // Adds "macro_<n>" (the first n no row uses, letter case ignored) with a
    // new Guid to the library and selects it; no ".mac" is written yet.
    // Empty at kMaxMacros rows or when the library cannot be written.
    std::string NewMacro();

    // Removes the selected row from the library, then deletes its ".mac";
    // selects row 0 or nothing. The removed index, or -1 when nothing is
    // selected or the library cannot be written.
    int DeleteMacro();

    // The new name, "IsEmpty" (index -1) for an empty name, empty text with
    // index = selection when a row (the selected one too) already has the
    // name; empty text and index -1 without a selection or when the library
    // cannot be written. The ".mac" file keeps its old name until saved.
    std::string RenameMacro(std::string_view newName, int& index);

    // Selects row `index`, or nothing for -1. False (selection unchanged) for
    // other indices.
    bool SelectMacro(int index);
    // The selected row, or -1 when there is none.
    int GetSelectedMacro() const;

    // Writes the selected macro with the given event rows to `file`. Empty
    // delays become "0"; each delay is rewritten as a plain number of at
    // most 65535; the first row whose JSON text is empty or not an object
    // ends the event list. The rows are updated to what was stored. False
    // when nothing is selected, the entry is broken or the write failed.
    bool SaveMacro(const std::filesystem::path& file, std::vector<MacroEventRow>& rows);
    // SaveMacro to the selected macro's own ".mac".
    bool SaveSelectedMacro(std::vector<MacroEventRow>& rows);

    // The event rows of the selected macro's file: each object of "Events"
    // as compact JSON text with its delay as the editor shows it (digits,
    // at most 65535; "0" when unreadable). None for a missing file.
    std::vector<MacroEventRow> LoadMacroEvents() const;

    // Adds a new macro whose ".mac" is a copy of `file` and selects it. The
    // file must hold a JSON object. Empty (nothing created) otherwise, at
    // kMaxMacros rows, or when a write fails.
    std::string ImportMacro(const std::filesystem::path& file);

    // Copies the selected macro's ".mac" to `file`.
    bool ExportMacro(const std::filesystem::path& file) const;

  private:
    bool HasFolder() const { return !folder_.empty(); }
    std::optional<std::filesystem::path> RowFile(std::size_t row) const;
    std::string FreeMacroName() const;
    std::string FreeGuid() const;
    bool NameTaken(std::string_view name) const;
    // Appends an entry to the library file; the rows follow only on success.
    bool AppendEntry(const std::string& name, const std::string& guid);

    std::filesystem::path folder_;
    std::string libraryFileName_;
    std::vector<MacroEntry> rows_;
    int selection_ = -1;
};

}  // namespace nurak::profile

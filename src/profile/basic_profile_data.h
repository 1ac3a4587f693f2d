#pragma once

// The profile object of a device: the device object ("Device"[index] of the
// profile file) held in memory, the records the device code works with, and
// the light library with the current custom light effect.
//
// Read operations take their values from the in-memory device object and
// return copies of the records; write operations change the records and the
// device object only. Save puts the device object back into the file.
// Profile files may have been edited by hand: a section or member of the
// wrong type reads like a missing one, and nothing throws.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include <json/value.h>

#include "profile/json_file_store.h"

namespace nurak::profile {

// Indexes taken from files (group and equaliser numbers) are used for
// writing only below this bound, so a hand-edited number cannot make a write
// grow an array to billions of elements.
inline constexpr int kMaxWritableIndex = 1023;

// The current light setting; the last three bytes belong to the device code
// and are not stored in the file.
struct LightInfoRecord {
    std::uint8_t selectItem = 0;
    std::uint8_t light = 0;
    std::uint8_t speed = 0;
    std::uint8_t fx = 0;
    std::uint8_t multiColor = 0;
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::array<std::uint8_t, 3> deviceBytes{};

    bool operator==(const LightInfoRecord&) const = default;
};
static_assert(sizeof(LightInfoRecord) == 11);

struct LightListEntry {
    std::uint8_t mode = 0;
    std::uint8_t brightness = 0;
    std::uint8_t speed = 0;
    std::uint8_t direction = 0;
    std::uint8_t multiColor = 0;
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t present = 0;  // 1 when the element was an object in the file

    bool operator==(const LightListEntry&) const = default;
};

// One step of a custom light effect (".light" file).
struct LightEffectStep {
    std::uint8_t mode = 0;
    std::uint8_t brightness = 0;
    std::uint8_t speed = 0;
    std::uint8_t direction = 0;
    std::uint8_t multiColor = 0;
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint32_t time = 0;
    std::uint32_t cyle = 0;

    bool operator==(const LightEffectStep&) const = default;
};

// A key's function as stored: a 24-bit number split into three bytes.
struct KeyCode {
    std::uint16_t keyIndex = 0;
    std::uint8_t byte2 = 0;
    std::uint8_t byte1 = 0;
    std::uint8_t byte0 = 0;

    std::uint32_t Code() const {
        return (std::uint32_t{byte2} << 16) | (std::uint32_t{byte1} << 8) | std::uint32_t{byte0};
    }
    static KeyCode FromCode(std::uint16_t keyIndex, std::uint32_t code) {
        return {keyIndex, static_cast<std::uint8_t>(code >> 16), static_cast<std::uint8_t>(code >> 8),
                static_cast<std::uint8_t>(code)};
    }
    bool operator==(const KeyCode&) const = default;
};

struct KeyAssignmentRecord {
    KeyCode current;
    KeyCode defaults;

    bool operator==(const KeyAssignmentRecord&) const = default;
};

class CBasicProfiledata {
  public:
    CBasicProfiledata() = default;
    virtual ~CBasicProfiledata() = default;
    CBasicProfiledata(const CBasicProfiledata&) = default;
    CBasicProfiledata& operator=(const CBasicProfiledata&) = default;

    // An empty path is ignored.
    void SetProfilePath(const std::filesystem::path& path);
    void SetDefaultProfilePath(const std::filesystem::path& path);
    const std::filesystem::path& GetProfilePath() const { return profilePath_; }
    const std::filesystem::path& GetDefaultProfilePath() const { return defaultProfilePath_; }
    void SetLightLibraryPath(const std::filesystem::path& path) { lightLibraryPath_ = path; }
    const std::filesystem::path& GetLightLibraryPath() const { return lightLibraryPath_; }

    // The element of "Device" used; a negative index or one above
    // kMaxWritableIndex is ignored.
    void SetDeviceIndex(int index);
    int GetDeviceIndex() const { return deviceIndex_; }

    // Loads "Device"[index] of the file. When the file does not give an
    // object there, the default profile's element is taken and written into
    // the file (other readable root members stay); when neither gives one,
    // the device object is null and nothing is written.
    Json::Value LoadProfile(const std::filesystem::path& path);
    const Json::Value& DeviceObject() const { return device_; }

    // Each gives the result of the file write: 0 written, 1 failed.
    virtual int Save();
    virtual int SaveDeviceObject(const Json::Value& value, const std::filesystem::path& path);
    virtual int WriteWholeFile(const Json::Value& value, const std::filesystem::path& path);

    // Unchanged when "LightInfo" is missing.
    LightInfoRecord ReadLightInfo();
    // first: SelectItem, Light, Speed, Fx in bytes 0..3; second: MultiColor,
    // Red, Green, Blue in bytes 0..3; third: the device bytes in bits 0..23.
    void WriteLightInfo(std::uint32_t first, std::uint32_t second, std::uint32_t third);

    std::vector<LightListEntry> ReadLightList();

    // Record i comes from "KeyList"[i]; only "Assignment" is ever written.
    std::vector<KeyAssignmentRecord> ReadKeyList();
    void WriteKeyAssignments(const std::vector<KeyAssignmentRecord>& records);

    // Effect files are looked up in the folder of the library file read here.
    Json::Value LoadLightLibrary(const std::filesystem::path& path);
    const Json::Value& LightLibrary() const { return lightLibrary_; }
    // The steps of the custom light selected by the SelectItem byte; empty
    // when the library, the entry or its ".light" file is missing, or when
    // its Guid is not a plain file name.
    std::vector<LightEffectStep> ReadCustomLightEffect();

  protected:
    // Integer members cut to the width of their record field. A missing
    // member, another type, or a number outside the 32-bit range reads 0;
    // a whole number stored as 7.0 counts as 7.
    static std::uint32_t WordMember(const Json::Value& object, const char* name);
    static std::uint16_t HalfMember(const Json::Value& object, const char* name) {
        return static_cast<std::uint16_t>(WordMember(object, name));
    }
    static std::uint8_t ByteMember(const Json::Value& object, const char* name) {
        return static_cast<std::uint8_t>(WordMember(object, name));
    }
    // A truth value (bool or integer) as 0 or 1.
    static std::uint8_t FlagMember(const Json::Value& object, const char* name);

    // A section of the device object when it is an object (or an array);
    // null otherwise.
    const Json::Value& ObjectSection(const char* name) const;
    const Json::Value& ArraySection(const char* name) const;
    // The section for writing, replacing a value of another type.
    Json::Value& WritableObjectSection(const char* name);
    Json::Value& WritableArraySection(const char* name);

    static void SetMember(Json::Value& object, const char* name, std::int64_t value);

    // The device index as an element number.
    std::size_t DeviceElement() const { return static_cast<std::size_t>(deviceIndex_); }

    Json::Value device_;
    JsonFileStore store_;

  private:
    std::filesystem::path profilePath_;
    std::filesystem::path defaultProfilePath_;
    std::filesystem::path lightLibraryPath_;
    std::filesystem::path loadedLightLibrary_;
    Json::Value lightLibrary_;
    LightInfoRecord lightInfo_;
    std::vector<LightListEntry> lightList_;
    std::vector<LightEffectStep> lightEffect_;
    std::vector<KeyAssignmentRecord> keyList_;
    int deviceIndex_ = 0;
};

}  // namespace nurak::profile

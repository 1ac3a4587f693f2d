#pragma once

// The gun files of the mouse's recoil compensation. Each of the four gun
// slots is one JSON file "ShootData_<n>.Shoot" in the device's data folder,
// with a factory copy of the same name in the default folder. Its member
// "Events" is a list of mouse events; bullet b owns events 6b to 6b + 5:
//   6b      "down" 1 10 1       left button down
//   6b + 1  "up"   1  0 1       left button up
//   6b + 2  X      x  5 4       horizontal move by x
//   6b + 3  Y      y  d 5       vertical move by y, then wait d ms
//   6b + 4  X      0  0 4       horizontal move of 0
//   6b + 5  Y      0  0 5       vertical move of 0
// (columns "Action", "Button", "Delay", "Type"; X is "down" for a pull to the
// left, Y is "down" for a pull up). Members other than "Events" are kept.

#include <filesystem>
#include <string>

namespace nurak::profile {

inline constexpr int kGunCount = 4;
inline constexpr int kBulletCount = 30;
inline constexpr int kEventsPerBullet = 6;

struct BulletSetting {
    bool xLeft = false;
    int xDistance = 0;
    bool yUp = false;
    int yDistance = 0;
    int delay = 0;

    bool operator==(const BulletSetting&) const = default;
};

// Indices outside the range are pulled to its nearest end, so stepping past
// the last bullet stays on it.
int ClampGun(int gun);
int ClampBullet(int bullet);

// "ShootData_<n>.Shoot" for the clamped gun.
std::string ShootFileName(int gun);

class RecoilFiles {
  public:
    void SetDataFolder(const std::filesystem::path& folder) { dataFolder_ = folder; }
    void SetDefaultFolder(const std::filesystem::path& folder) { defaultFolder_ = folder; }
    const std::filesystem::path& DataFolder() const { return dataFolder_; }
    const std::filesystem::path& DefaultFolder() const { return defaultFolder_; }

    // The gun's file in the data folder and its factory copy; empty while the
    // folder is not set.
    std::filesystem::path GunFile(int gun) const;
    std::filesystem::path FactoryFile(int gun) const;

    // Replaces every gun file that is missing or does not hold a JSON object
    // by its factory copy.
    void Init();

    // A missing file, event or member reads as zero / not set.
    BulletSetting ReadBullet(int gun, int bullet) const;

    // Writes the bullet's six events into the gun file. Bullets before it
    // that the file lacks are written as bullets without movement, so the
    // list has no holes. False when the file cannot be written.
    bool SaveBullet(int gun, int bullet, const BulletSetting& setting);

    // Copies the factory file over the gun file. False, with the gun file
    // unchanged, when the factory file is missing or holds no JSON object.
    bool ResetGun(int gun);

    // Copies a chosen file over the gun file. False, with the gun file
    // unchanged, for an empty path or a file that holds no JSON object.
    bool ImportGun(int gun, const std::filesystem::path& source);

    // Copies the gun file to the chosen path. False for an empty path or a
    // missing gun file.
    bool ExportGun(int gun, const std::filesystem::path& target) const;

  private:
    std::filesystem::path dataFolder_;
    std::filesystem::path defaultFolder_;
};

}  // namespace nurak::profile

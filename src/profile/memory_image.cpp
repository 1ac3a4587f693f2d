#include "profile/memory_image.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <utility>

#include "profile/json_file_store.h"
#include "profile/macro_library.h"

namespace nurak::profile {

namespace {

constexpr std::size_t kPerMacroSize = 2 + 4;  // offset entry + event count and reserved bytes
constexpr std::size_t kEventSize = 4;

void PutLe16(std::vector<std::uint8_t>& out, std::size_t at, std::size_t value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFFu);
    out[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFFu);
}

int SaturatedInt(std::size_t value) {
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// Collects the macros of an image. Once the image is known not to fit, the
// events are only counted: a hand-made library may name huge files many times.
class ImageCollector {
  public:
    explicit ImageCollector(int capacityUnits) : capacity_(ImageCapacity(capacityUnits)) {}

    void Add(std::vector<MacroEvent> events) {
        size_ += kPerMacroSize + kEventSize * events.size();
        eventCount_ += events.size();
        ++macroCount_;
        if (Fits()) {
            macros_.push_back(std::move(events));
        } else {
            macros_.clear();
            macros_.shrink_to_fit();
        }
    }

    MemoryImageBuild Finish() const {
        MemoryImageBuild build;
        build.libraryReadable = true;
        build.macroCount = SaturatedInt(macroCount_);
        build.eventCount = SaturatedInt(eventCount_);
        build.overflow = Fits() ? 0 : SaturatedInt((size_ - capacity_) / kEventSize + 1);
        if (Fits()) build.image = BuildMemoryImage(macros_);
        return build;
    }

  private:
    bool Fits() const { return size_ <= capacity_; }

    std::size_t capacity_;
    std::size_t size_ = kImageHeaderSize;
    std::size_t macroCount_ = 0;
    std::size_t eventCount_ = 0;
    std::vector<std::vector<MacroEvent>> macros_;
};

}  // namespace

std::size_t MemoryImageSize(const std::vector<std::vector<MacroEvent>>& macros) {
    std::size_t size = kImageHeaderSize;
    for (const auto& events : macros) size += kPerMacroSize + kEventSize * events.size();
    return size;
}

std::vector<std::uint8_t> BuildMemoryImage(const std::vector<std::vector<MacroEvent>>& macros) {
    const std::size_t size = MemoryImageSize(macros);
    if (size > kMaxImageSize) return {};
    std::vector<std::uint8_t> image(size, 0);
    image[0] = kImageMarkerLow;
    image[1] = kImageMarkerHigh;
    PutLe16(image, 2, size);
    PutLe16(image, 4, macros.size());
    std::size_t record = kImageHeaderSize + 2 * macros.size();
    for (std::size_t m = 0; m < macros.size(); ++m) {
        PutLe16(image, kImageHeaderSize + 2 * m, record);
        PutLe16(image, record, macros[m].size());
        std::size_t at = record + 4;
        for (const MacroEvent& event : macros[m]) {
            image[at] = event.delayLow;
            image[at + 1] = event.delayHigh;
            image[at + 2] = event.type;
            image[at + 3] = event.button;
            at += kEventSize;
        }
        record = at;
    }
    return image;
}

std::size_t ImageCapacity(int capacityUnits) {
    if (capacityUnits <= 0) return 0;
    return std::min(static_cast<std::size_t>(capacityUnits) * kImageCapacityUnit, kMaxImageSize);
}

int ImageOverflow(std::size_t size, int capacityUnits) {
    const std::size_t capacity = ImageCapacity(capacityUnits);
    if (size <= capacity) return 0;
    return SaturatedInt((size - capacity) / kEventSize + 1);
}

std::vector<MacroEvent> ReadMacroFileEvents(const std::filesystem::path& file) {
    std::vector<MacroEvent> out;
    const Json::Value root = JsonFileStore().ReadJsonFile(file);
    const Json::Value& events = JsonMember(root, "Events");
    if (!events.isArray()) return out;
    out.reserve(events.size());
    for (Json::ArrayIndex i = 0; i < events.size(); ++i) {
        const Json::Value& event = JsonArrayItem(events, i);
        // The editor shows only objects as events; the device gets the same list.
        if (event.isObject()) out.push_back(ToMacroEvent(event));
    }
    return out;
}

MemoryImageBuild BuildMacroImageFromLibrary(const std::filesystem::path& folder,
                                            std::string_view libraryFileName, int capacityUnits) {
    const auto entries = ReadMacroLibrary(folder, libraryFileName);
    if (!entries) return MemoryImageBuild{};
    ImageCollector collector(capacityUnits);
    for (const MacroEntry& entry : *entries) {
        const auto file = MacroFilePath(folder, entry);
        collector.Add(file ? ReadMacroFileEvents(*file) : std::vector<MacroEvent>{});
    }
    return collector.Finish();
}

MemoryImageBuild BuildRecoilImageFromFolder(const std::filesystem::path& folder, int capacityUnits) {
    ImageCollector collector(capacityUnits);
    for (int slot = 0; slot < kRecoilSlots; ++slot) {
        const std::string name = "ShootData_" + std::to_string(slot) + ".Shoot";
        collector.Add(folder.empty() ? std::vector<MacroEvent>{} : ReadMacroFileEvents(folder / name));
    }
    return collector.Finish();
}

}  // namespace nurak::profile

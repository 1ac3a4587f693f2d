#include "emulator/firmware.h"

#include <algorithm>
#include <cstring>

namespace nurak::emu {

uint16_t ReportChecksum(const Report& report) {
    uint32_t sum = 0;
    for (size_t i = 3; i < kReportSize; ++i) sum += report[i];
    return static_cast<uint16_t>(sum & 0xFFFF);
}

void SealReport(Report& report) {
    uint16_t sum = ReportChecksum(report);
    report[1] = static_cast<uint8_t>(sum & 0xFF);
    report[2] = static_cast<uint8_t>(sum >> 8);
}

bool ChecksumValid(const Report& report) {
    uint16_t sum = ReportChecksum(report);
    return report[1] == (sum & 0xFF) && report[2] == (sum >> 8);
}

Report MakeRequest(uint8_t command, uint8_t length, uint16_t offset, std::span<const uint8_t> payload) {
    Report r{};
    r[0] = 4;
    r[3] = command;
    r[4] = length;
    r[5] = static_cast<uint8_t>(offset & 0xFF);
    r[6] = static_cast<uint8_t>(offset >> 8);
    std::copy_n(payload.begin(), std::min(payload.size(), kMaxPayload), r.begin() + kPayloadOffset);
    SealReport(r);
    return r;
}

Report MakeRefusal(const Report& request, uint8_t status) {
    Report r{};
    r[0] = 4;
    std::copy_n(request.begin() + 3, 4, r.begin() + 3);  // command, length, offset
    r[7] = status;
    SealReport(r);
    return r;
}

namespace {

constexpr KeyFunction kMouseFactory[] = {
    {0x10, 0x01, 0x02},  // 0 left
    {0x10, 0x02, 0x01},  // 1 right
    {0x10, 0x04, 0x04},  // 2 middle
    {0x10, 0x10, 0x00},  // 3 forward
    {0x10, 0x08, 0x00},  // 4 back
    {0x13, 0x01, 0x00},  // 5 DPI up
    {0x13, 0x02, 0x00},  // 6 DPI down
    {0xA0, 0x02, 0x00},  // 7
    {0x13, 0x03, 0x00},  // 8 DPI loop
    {0x16, 0x1B, 0x00},  // 9
};

// Keyboard usage of each logical key (type 0x20) or its whole function.
constexpr KeyFunction U(uint8_t usage) {
    return {0x20, 0x00, usage};
}

// clang-format off
constexpr KeyFunction kKeyboardFactory[126] = {
    U(0x29),                                                                      // 0
    U(0x3A), U(0x3B), U(0x3C), U(0x3D), U(0x3E), U(0x3F), U(0x40), U(0x41),       // 1-8
    U(0x42), U(0x43), U(0x44), U(0x45), U(0x46), U(0x47), U(0x48),                // 9-15
    {0xA0, 0x1B, 0x00}, {0xA0, 0x24, 0x00},                                       // 16-17
    U(0x00), U(0x00), U(0x00),                                                    // 18-20
    U(0x35),                                                                      // 21
    U(0x1E), U(0x1F), U(0x20), U(0x21), U(0x22), U(0x23), U(0x24), U(0x25),       // 22-29
    U(0x26), U(0x27),                                                             // 30-31
    U(0x2D), U(0x2E), U(0x2A), U(0x49), U(0x4A), U(0x4B), U(0x53), U(0x54),       // 32-39
    U(0x55), U(0x56), U(0x2B), U(0x14), U(0x1A), U(0x08), U(0x15), U(0x17),       // 40-47
    U(0x1C), U(0x18), U(0x0C), U(0x12), U(0x13), U(0x2F), U(0x30), U(0x31),       // 48-55
    U(0x4C), U(0x4D), U(0x4E), U(0x5F), U(0x60), U(0x61), U(0x00), U(0x39),       // 56-63
    U(0x04), U(0x16), U(0x07), U(0x09), U(0x0A), U(0x0B), U(0x0D), U(0x0E),       // 64-71
    U(0x0F), U(0x33), U(0x34), U(0x28), U(0x5C), U(0x5D), U(0x5E), U(0x8A),       // 72-79
    U(0x8B), U(0x90), U(0x91), U(0x88), {0x20, 0x02, 0x00}, U(0x1D), U(0x1B),     // 80-86
    U(0x06), U(0x19), U(0x05), U(0x11), U(0x10), U(0x36), U(0x37), U(0x38),       // 87-94
    {0x20, 0x20, 0x00}, U(0x52), U(0x59), U(0x5A), U(0x5B), U(0x87), U(0x89),     // 95-101
    U(0x64), U(0x85), U(0x00), {0x20, 0x01, 0x00}, {0x20, 0x08, 0x00},            // 102-106
    {0x20, 0x04, 0x00}, U(0x2C), {0x20, 0x40, 0x00}, {0xA0, 0x01, 0x00},          // 107-110
    U(0x65), {0x20, 0x10, 0x00}, U(0x50), U(0x51), U(0x4F), U(0x62), U(0x63),     // 111-117
    U(0x58), U(0x57),                                                             // 118-119
    {0xD0, 0xA2, 0x01}, {0xD0, 0xA2, 0x02}, {0xD0, 0xA2, 0x03}, {0xD0, 0xA2, 0x04},  // 120-123
    {0xD0, 0xA2, 0x05}, {0x20, 0x80, 0x00},                                       // 124-125
};
// clang-format on

// Physical order of the keys: the logical key at each table position. The
// order is deliberately not the logical one so clients have to search.
constexpr int kMouseOrder[] = {2, 0, 5, 1, 7, 4, 6, 3};
// The 3389 mouse has no DPI up/down keys and no key 7.
constexpr int kMouse3389Order[] = {1, 8, 0, 3, 9, 2, 4};

struct MemoryFacts {
    uint8_t keys;
    uint8_t memoryUnits;
    uint16_t sensor;
    uint8_t dpiStep;
    uint16_t sliderMax;
    uint16_t dpiMin;
};

MemoryFacts FactsFor(Model model) {
    switch (model) {
        case Model::Mouse:
            return {8, 32, 0x3327, 100, 91, 200};
        case Model::Mouse3389:
            return {7, 32, 0x3389, 50, 319, 50};
        case Model::Keyboard:
            return {126, 32, 0, 0, 0, 0};
        case Model::Mousepad:
        case Model::Headset:
            return {0, 0, 0, 0, 0, 0};
    }
    return {};
}

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

constexpr int kFactoryProfiles = 4;
constexpr uint8_t kStageColours[7][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},    {255, 255, 0},
                                         {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

// One mouse parameter block (56 bytes) as the factory sets it.
void FillMouseBlock(uint8_t* b, Model model) {
    b[1] = 0;    // light mode
    b[2] = 3;    // brightness level
    b[3] = 2;    // 4 - speed level
    b[4] = 1;    // direction
    b[5] = 1;    // multi-colour
    b[6] = 255;  // red
    b[7] = 0;    // green
    b[8] = 0;    // blue
    b[14] = 0;   // polling-rate index
    // X codes of the stages: 400, 800, 1600, 3200, 6400 DPI. The 3327 counts
    // in two ranges (up to code 60 by one step, above by two steps from 6200);
    // the 3389 stores each code plus one, a missing stage as 1.
    const uint16_t codes3327[7] = {2, 6, 14, 30, 63, 0, 0};
    const uint16_t codes3389[7] = {8, 16, 32, 64, 128, 1, 1};
    const uint16_t* codes = model == Model::Mouse3389 ? codes3389 : codes3327;
    for (int s = 0; s < 7; ++s) {
        Put16(b + 15 + 2 * s, codes[s]);
        std::memcpy(b + 30 + 3 * s, kStageColours[s], 3);
    }
    b[29] = 1;  // current stage
}

// The 25-byte block of keyboard, mousepad and headset.
void FillLightBlock(uint8_t* b) {
    b[1] = 0;  // light mode
    b[2] = 4;  // brightness level
    b[3] = 2;  // 4 - speed level
    b[4] = 0;  // direction
    b[5] = 1;  // multi-colour
    b[6] = 0;
    b[7] = 128;
    b[8] = 255;
}

}  // namespace

std::span<const KeyFunction> MouseFactoryFunctions() {
    return kMouseFactory;
}
std::span<const KeyFunction> KeyboardFactoryFunctions() {
    return kKeyboardFactory;
}

Firmware::Firmware(Model model) : model_(model) {
    ResetToFactory();
}

void Firmware::ResetToFactory() {
    const MemoryFacts facts = FactsFor(model_);
    keyCount_ = facts.keys;

    info_.fill(0);
    info_[info::kKeyCount] = facts.keys;
    info_[info::kMemoryUnits] = facts.memoryUnits;
    Put16(&info_[info::kSensorId], facts.sensor);
    info_[info::kDpiStep] = facts.dpiStep;
    Put16(&info_[info::kDpiSliderMax], facts.sliderMax);
    Put16(&info_[info::kDpiMinimum], facts.dpiMin);

    factoryOrder_.clear();
    switch (model_) {
        case Model::Mouse:
            factoryOrder_.assign(std::begin(kMouseOrder), std::end(kMouseOrder));
            break;
        case Model::Mouse3389:
            factoryOrder_.assign(std::begin(kMouse3389Order), std::end(kMouse3389Order));
            break;
        case Model::Keyboard:
            // 47 and 126 are coprime, so this visits every logical key once.
            for (int p = 0; p < 126; ++p) factoryOrder_.push_back((p * 47 + 5) % 126);
            break;
        case Model::Mousepad:
        case Model::Headset:
            break;
    }

    const bool keyboard = model_ == Model::Keyboard;
    keyTable_.assign(static_cast<size_t>(keyCount_) * 3, 0);
    perKey_.assign(static_cast<size_t>(keyCount_), 0xFF);
    for (int p = 0; p < keyCount_; ++p) {
        const int logical = factoryOrder_[static_cast<size_t>(p)];
        const KeyFunction f = keyboard ? kKeyboardFactory[logical] : kMouseFactory[logical];
        keyTable_[3 * p] = f.type;
        keyTable_[3 * p + 1] = f.arg1;
        keyTable_[3 * p + 2] = f.arg2;
        // The keyboard's LED n sits under logical key n; mice have no per-key LEDs.
        if (keyboard) perKey_[static_cast<size_t>(p)] = static_cast<uint8_t>(logical);
    }

    parameters_.assign(kParameterSize, 0);
    const bool mouse = model_ == Model::Mouse || model_ == Model::Mouse3389;
    for (int p = 0; p < kFactoryProfiles; ++p) {
        if (mouse) {
            FillMouseBlock(&parameters_[static_cast<size_t>(128 * p)], model_);
        } else {
            FillLightBlock(&parameters_[static_cast<size_t>(25 * p)]);
        }
    }
    parameters_[0] = 0;  // active profile

    const size_t memory = static_cast<size_t>(facts.memoryUnits) * 128;
    macro_.assign(memory, 0);
    recoil_.assign(memory, 0);
    light_.assign(static_cast<size_t>(InfoFor(model_).ledCount) * 3, 0);
    power_.fill(0);
    if (model_ == Model::Mousepad) power_[0] = 100;  // full, on the cable
    inSequence_ = false;
}

void Firmware::ResetCounters() {
    lightFrames_ = begins_ = ends_ = writesOutside_ = badChecksums_ = requests_ = 0;
    recorded_.clear();
    handled_.fill(0);
    refused_.fill(0);
}

int Firmware::FactoryLogicalKeyAt(int position) const {
    if (position < 0 || position >= static_cast<int>(factoryOrder_.size())) return -1;
    return factoryOrder_[static_cast<size_t>(position)];
}

Report Firmware::Handle(const Report& request) {
    ++requests_;
    lastRequest_ = request;
    if (recording_) recorded_.push_back(request);
    Report reply{};
    reply[0] = 4;
    std::copy_n(request.begin() + 3, 4, reply.begin() + 3);
    const uint8_t status = Execute(request, reply);
    reply[7] = status;
    if (status != kStatusOk) {
        std::fill(reply.begin() + kPayloadOffset, reply.end(), 0);
        ++refused_[request[3]];
    } else {
        ++handled_[request[3]];
    }
    SealReport(reply);
    return reply;
}

uint8_t Firmware::Execute(const Report& request, Report& reply) {
    if (!ChecksumValid(request)) {
        ++badChecksums_;
        return kStatusBadChecksum;
    }
    const uint8_t cmd = request[3];
    const size_t length = request[4];
    const size_t offset = static_cast<size_t>(request[5]) | (static_cast<size_t>(request[6]) << 8);
    if (length > kMaxPayload) return kStatusRefused;

    std::span<uint8_t> memory;
    bool write = false;
    switch (cmd) {
        case command::kBegin:
            ++begins_;
            inSequence_ = true;
            return kStatusOk;
        case command::kEnd:
            ++ends_;
            inSequence_ = false;
            return kStatusOk;
        case command::kProbe:
            reply[kPayloadOffset] = 0xFF;
            return kStatusOk;
        case command::kReadInfo:
            memory = info_;
            break;
        case command::kReadParameters:
            memory = parameters_;
            break;
        case command::kWriteParameters:
            memory = parameters_;
            write = true;
            break;
        case command::kReadKeyTable:
            memory = keyTable_;
            break;
        case command::kWriteKeyTable:
            memory = keyTable_;
            write = true;
            break;
        case command::kLightFrame:
            memory = light_;
            write = true;
            break;
        case command::kWriteMacro:
            memory = macro_;
            write = true;
            break;
        case command::kWriteRecoil:
            memory = recoil_;
            write = true;
            break;
        case command::kReadStatus:
            memory = power_;
            break;
        case command::kReadPerKeyTable:
            memory = perKey_;
            break;
        default:
            return kStatusRefused;
    }
    if (offset > memory.size() || length > memory.size() - offset) return kStatusRefused;

    if (write) {
        std::copy_n(request.begin() + kPayloadOffset, length,
                    memory.begin() + static_cast<ptrdiff_t>(offset));
        if (cmd == command::kLightFrame) {
            if (offset == 0) ++lightFrames_;
        } else if (!inSequence_) {
            ++writesOutside_;
        }
    } else {
        std::copy_n(memory.begin() + static_cast<ptrdiff_t>(offset), length, reply.begin() + kPayloadOffset);
    }
    return kStatusOk;
}

}  // namespace nurak::emu

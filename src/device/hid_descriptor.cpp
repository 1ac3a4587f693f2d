#include "device/hid_descriptor.h"

#include <algorithm>
#include <array>
#include <limits>

namespace nurak::hid {

namespace {

// Limits well above anything a real device declares; they keep the work and
// the numbers in the capability structures bounded for hostile input.
constexpr size_t kMaxPushDepth = 32;
constexpr uint32_t kMaxReportSize = 255;       // bits per field
constexpr uint32_t kMaxReportCount = 65535;    // fields per main item
constexpr uint64_t kMaxReportBits = 16384 * 8;  // one report, without the id byte; real ones reach 7.5 KiB
constexpr size_t kMaxTopLevelCollections = 255;
constexpr size_t kMaxLinkNodes = 4096;  // collection nodes inside one top-level collection
constexpr size_t kMaxCaps = 65535;      // per report type and kind in one collection

// Main item flag bits.
constexpr uint32_t kFlagConstant = 1u << 0;
constexpr uint32_t kFlagVariable = 1u << 1;
constexpr uint32_t kFlagRelative = 1u << 2;
constexpr uint32_t kFlagNullState = 1u << 6;

// A value of a signed global item as it stood in the descriptor; whether it
// is read as signed depends on its partner (see Bounds).
struct RawValue {
    uint32_t raw = 0;
    uint8_t size = 0;
};

struct Globals {
    uint16_t usagePage = 0;
    RawValue logicalMin, logicalMax, physicalMin, physicalMax;
    uint32_t unitExponent = 0;
    uint32_t unit = 0;
    uint32_t reportSize = 0;
    uint32_t reportId = 0;
    uint32_t reportCount = 0;
};

// One Usage, or one Usage Minimum/Maximum pair.
struct UsageRun {
    uint16_t page = 0;
    uint16_t min = 0;
    uint16_t max = 0;
    bool range = false;

    uint32_t Span() const { return range ? uint32_t{max} - min + 1 : 1; }
};

int32_t SignExtend(uint32_t raw, uint8_t size) {
    switch (size) {
        case 1: return static_cast<int8_t>(raw);
        case 2: return static_cast<int16_t>(raw);
        case 4: return static_cast<int32_t>(raw);
        default: return 0;
    }
}

// The minimum is always read as signed; the maximum only when the minimum came
// out negative, so that "0..255" in one byte stays 0..255. A four-byte maximum
// above INT32_MAX wraps, as it does in a LONG.
void Bounds(RawValue minV, RawValue maxV, int32_t& lo, int32_t& hi) {
    lo = SignExtend(minV.raw, minV.size);
    hi = lo < 0 ? SignExtend(maxV.raw, maxV.size) : static_cast<int32_t>(maxV.raw);
}

uint16_t Clamp16(uint64_t v) { return static_cast<uint16_t>(std::min<uint64_t>(v, 0xFFFF)); }

// Local items between two main items. Short usages take the Usage Page in
// effect when they are declared; four-byte usages carry their own page.
struct Locals {
    std::vector<UsageRun> runs;
    bool hasMin = false;
    bool hasMax = false;
    uint32_t pendingMin = 0;  // page << 16 | usage
    uint32_t pendingMax = 0;
    bool inDelimiter = false;
    size_t delimiterStart = 0;  // runs.size() when the delimiter set opened

    void Clear() {
        runs.clear();
        hasMin = hasMax = false;
        inDelimiter = false;
    }

    void Add(const UsageRun& r) {
        // Within a delimiter set only the first alternative is kept.
        if (inDelimiter && runs.size() > delimiterStart) return;
        runs.push_back(r);
    }
    void AddSingle(uint32_t full) {
        Add({static_cast<uint16_t>(full >> 16), static_cast<uint16_t>(full), static_cast<uint16_t>(full), false});
    }
    void AddRange(uint32_t lo, uint32_t hi) {
        // The page comes from the minimum; a reversed pair is taken as meant.
        uint16_t a = static_cast<uint16_t>(lo);
        uint16_t b = static_cast<uint16_t>(hi);
        if (b < a) std::swap(a, b);
        Add({static_cast<uint16_t>(lo >> 16), a, b, true});
    }
    // A Minimum without its Maximum (or the other way round) is a single usage.
    void FlushPending() {
        if (hasMin) AddSingle(pendingMin);
        if (hasMax) AddSingle(pendingMax);
        hasMin = hasMax = false;
    }
    void Minimum(uint32_t full) {
        if (hasMax) {
            AddRange(full, pendingMax);
            hasMax = false;
            return;
        }
        if (hasMin) AddSingle(pendingMin);
        pendingMin = full;
        hasMin = true;
    }
    void Maximum(uint32_t full) {
        if (hasMin) {
            AddRange(pendingMin, full);
            hasMin = false;
            return;
        }
        if (hasMax) AddSingle(pendingMax);
        pendingMax = full;
        hasMax = true;
    }
};

struct LinkNode {
    uint16_t usagePage = 0;
    uint16_t usage = 0;
};

// The bits taken so far in the reports of one id.
struct ReportBits {
    uint8_t id = 0;
    std::array<uint32_t, kReportTypeCount> bits{};
};

// The top-level collection being built.
struct Builder {
    Collection col;
    std::vector<LinkNode> nodes;
    std::vector<uint16_t> open;  // node indices, innermost last
    // Few ids per collection in practice, so a list beats a table per id.
    std::vector<ReportBits> reports;
    std::array<uint32_t, kReportTypeCount> dataIndex{};

    uint32_t& NextBit(int type, uint8_t id) {
        for (ReportBits& r : reports)
            if (r.id == id) return r.bits[type];
        reports.push_back({id, {}});
        return reports.back().bits[type];
    }

    void Start(int index, uint16_t page, uint16_t usage) {
        col = Collection{};
        col.index = index;
        col.usagePage = page;
        col.usage = usage;
        nodes.assign(1, LinkNode{page, usage});
        open.assign(1, 0);
        reports.clear();
        dataIndex.fill(0);
    }

    void Finish() {
        Capabilities& caps = col.caps;
        caps.usage = col.usage;
        caps.usagePage = col.usagePage;
        caps.numberLinkCollectionNodes = Clamp16(nodes.size());
        uint16_t* lengths[kReportTypeCount] = {&caps.inputReportByteLength, &caps.outputReportByteLength,
                                               &caps.featureReportByteLength};
        uint16_t* buttons[kReportTypeCount] = {&caps.numberInputButtonCaps, &caps.numberOutputButtonCaps,
                                               &caps.numberFeatureButtonCaps};
        uint16_t* values[kReportTypeCount] = {&caps.numberInputValueCaps, &caps.numberOutputValueCaps,
                                              &caps.numberFeatureValueCaps};
        uint16_t* indices[kReportTypeCount] = {&caps.numberInputDataIndices, &caps.numberOutputDataIndices,
                                               &caps.numberFeatureDataIndices};
        for (const ReportBits& r : reports) col.reportIds.push_back(r.id);
        std::sort(col.reportIds.begin(), col.reportIds.end());
        for (int t = 0; t < kReportTypeCount; ++t) {
            uint32_t longest = 0;
            for (const ReportBits& r : reports) longest = std::max(longest, r.bits[t]);
            // Whole bytes plus the id byte, which Windows counts even without ids.
            *lengths[t] = longest == 0 ? 0 : Clamp16((uint64_t{longest} + 7) / 8 + 1);
            *buttons[t] = Clamp16(col.buttonCaps[t].size());
            *values[t] = Clamp16(col.valueCaps[t].size());
            *indices[t] = Clamp16(dataIndex[t]);
        }
    }
};

constexpr char kEndWithoutOpen[] = "End Collection without an open collection";

std::string StillOpen(size_t depth) {
    return std::to_string(depth) + " collection(s) still open at the end of the descriptor";
}

struct Item {
    uint8_t type = 0;  // 0 main, 1 global, 2 local, 3 reserved or long
    uint8_t tag = 0;
    uint8_t size = 0;  // data bytes
    uint32_t data = 0;
};

class Parser {
public:
    Parser(std::span<const uint8_t> bytes, ReportDescriptor& out) : bytes_(bytes), out_(out) {}

    bool Run(std::string& error);

private:
    bool NextItem(size_t& pos, Item& item);
    bool CheckFraming();
    bool Walk();
    bool Fail(std::string message) {
        error_ = std::move(message);
        return false;
    }
    std::string At() const { return " at offset " + std::to_string(itemOffset_); }

    bool Main(uint8_t tag, uint32_t data);
    bool Global(uint8_t tag, uint32_t data, uint8_t size);
    bool Local(uint8_t tag, uint32_t data, uint8_t size);
    bool Field(ReportType type, uint32_t flags);
    bool OpenCollection();
    bool CloseCollection();

    std::span<const uint8_t> bytes_;
    ReportDescriptor& out_;
    std::string error_;
    size_t itemOffset_ = 0;

    Globals globals_;
    std::vector<Globals> stack_;
    Locals locals_;
    Builder builder_;
    size_t depth_ = 0;  // open collections, all levels
};

bool Parser::Run(std::string& error) {
    if (!Walk()) {
        error = std::move(error_);
        return false;
    }
    // Whether ids are in use is known only at the end; without them the
    // collections list none (their items all sit in "report 0"). With ids,
    // items declared before the first Report ID stay in report 0 and list it.
    for (Collection& c : out_.collections) {
        c.usesReportIds = out_.usesReportIds;
        if (!out_.usesReportIds) c.reportIds.clear();
    }
    return true;
}

// Reads the item at `pos` and moves past it. Long items (no long items are
// defined) come back as type 3, to be skipped.
bool Parser::NextItem(size_t& pos, Item& item) {
    const size_t n = bytes_.size();
    itemOffset_ = pos;
    const uint8_t prefix = bytes_[pos];
    if (prefix == 0xFE) {
        // Long item: size byte, tag byte, data.
        if (n - pos < 3) return Fail("truncated long item" + At());
        const size_t len = bytes_[pos + 1];
        if (n - pos - 3 < len)
            return Fail("truncated long item" + At() + ": needs " + std::to_string(len) + " data bytes, " +
                        std::to_string(n - pos - 3) + " left");
        item = Item{3, 0xF, 0, 0};
        pos += 3 + len;
        return true;
    }
    item.size = (prefix & 3) == 3 ? 4 : (prefix & 3);
    if (n - pos - 1 < item.size)
        return Fail("truncated item" + At() + ": needs " + std::to_string(item.size) + " data bytes, " +
                    std::to_string(n - pos - 1) + " left");
    item.type = (prefix >> 2) & 3;
    item.tag = prefix >> 4;
    item.data = 0;
    for (uint8_t i = 0; i < item.size; ++i) item.data |= uint32_t{bytes_[pos + 1 + i]} << (8 * i);
    pos += 1 + item.size;
    return true;
}

// The framing and the collection nesting, checked before anything is built:
// a cut-off descriptor, the usual failure, then costs no allocation.
bool Parser::CheckFraming() {
    if (bytes_.empty()) return Fail("descriptor is empty");
    size_t depth = 0;
    Item item;
    for (size_t pos = 0; pos < bytes_.size();) {
        if (!NextItem(pos, item)) return false;
        if (item.type != 0) continue;
        if (item.tag == 0xA) ++depth;
        if (item.tag == 0xC && depth-- == 0) return Fail(kEndWithoutOpen + At());
    }
    if (depth != 0) return Fail(StillOpen(depth));
    return true;
}

bool Parser::Walk() {
    if (!CheckFraming()) return false;
    Item item;
    for (size_t pos = 0; pos < bytes_.size();) {
        if (!NextItem(pos, item)) return false;
        bool ok = true;
        switch (item.type) {
            case 0: ok = Main(item.tag, item.data); break;
            case 1: ok = Global(item.tag, item.data, item.size); break;
            case 2: ok = Local(item.tag, item.data, item.size); break;
            default: break;  // long or reserved item: nothing to do
        }
        if (!ok) return false;
    }
    if (depth_ != 0) return Fail(StillOpen(depth_));
    if (out_.collections.empty()) return Fail("descriptor has no top-level collection");
    return true;
}

bool Parser::Main(uint8_t tag, uint32_t data) {
    bool ok = true;
    switch (tag) {
        case 0x8: ok = Field(ReportType::Input, data); break;
        case 0x9: ok = Field(ReportType::Output, data); break;
        case 0xB: ok = Field(ReportType::Feature, data); break;
        case 0xA: ok = OpenCollection(); break;
        case 0xC: ok = CloseCollection(); break;
        default: break;
    }
    locals_.Clear();
    return ok;
}

bool Parser::OpenCollection() {
    locals_.FlushPending();
    uint16_t page = globals_.usagePage;
    uint16_t usage = 0;
    if (!locals_.runs.empty()) {
        page = locals_.runs.front().page;
        usage = locals_.runs.front().min;
    }
    if (depth_ == 0) {
        if (out_.collections.size() >= kMaxTopLevelCollections)
            return Fail("more than " + std::to_string(kMaxTopLevelCollections) + " top-level collections" + At());
        builder_.Start(static_cast<int>(out_.collections.size()) + 1, page, usage);
    } else {
        if (builder_.nodes.size() >= kMaxLinkNodes)
            return Fail("more than " + std::to_string(kMaxLinkNodes) + " nested collections" + At());
        builder_.open.push_back(static_cast<uint16_t>(builder_.nodes.size()));
        builder_.nodes.push_back({page, usage});
    }
    ++depth_;
    return true;
}

bool Parser::CloseCollection() {
    if (depth_ == 0) return Fail(kEndWithoutOpen + At());
    --depth_;
    builder_.open.pop_back();
    if (depth_ == 0) {
        builder_.Finish();
        out_.collections.push_back(std::move(builder_.col));
    }
    return true;
}

bool Parser::Global(uint8_t tag, uint32_t data, uint8_t size) {
    switch (tag) {
        case 0x0: globals_.usagePage = static_cast<uint16_t>(data); break;
        case 0x1: globals_.logicalMin = {data, size}; break;
        case 0x2: globals_.logicalMax = {data, size}; break;
        case 0x3: globals_.physicalMin = {data, size}; break;
        case 0x4: globals_.physicalMax = {data, size}; break;
        case 0x5: globals_.unitExponent = data; break;
        case 0x6: globals_.unit = data; break;
        case 0x7: globals_.reportSize = data; break;
        case 0x8:
            if (data == 0) return Fail("Report ID 0 is reserved" + At());
            if (data > 255) return Fail("Report ID " + std::to_string(data) + " does not fit in a byte" + At());
            globals_.reportId = data;
            out_.usesReportIds = true;
            break;
        case 0x9: globals_.reportCount = data; break;
        case 0xA:
            if (stack_.size() >= kMaxPushDepth)
                return Fail("Push nested deeper than " + std::to_string(kMaxPushDepth) + At());
            stack_.push_back(globals_);
            break;
        case 0xB:
            if (stack_.empty()) return Fail("Pop without Push" + At());
            globals_ = stack_.back();
            stack_.pop_back();
            break;
        default: break;
    }
    return true;
}

bool Parser::Local(uint8_t tag, uint32_t data, uint8_t size) {
    const uint32_t full = size == 4 ? data : (uint32_t{globals_.usagePage} << 16) | (data & 0xFFFF);
    switch (tag) {
        case 0x0: locals_.AddSingle(full); break;
        case 0x1: locals_.Minimum(full); break;
        case 0x2: locals_.Maximum(full); break;
        case 0xA:
            if (data == 1) {
                if (locals_.inDelimiter) return Fail("nested Delimiter" + At());
                locals_.FlushPending();
                locals_.inDelimiter = true;
                locals_.delimiterStart = locals_.runs.size();
            } else if (data == 0) {
                if (!locals_.inDelimiter) return Fail("Delimiter close without open" + At());
                locals_.FlushPending();
                locals_.inDelimiter = false;
            }
            break;
        default: break;  // designators and strings carry nothing we decode
    }
    return true;
}

bool Parser::Field(ReportType type, uint32_t flags) {
    // Main items outside every collection belong to no top-level collection:
    // they are dropped, neither counted nor given capabilities.
    if (depth_ == 0) return true;
    const Globals& g = globals_;
    if (g.reportSize > kMaxReportSize)
        return Fail("Report Size " + std::to_string(g.reportSize) + " exceeds " + std::to_string(kMaxReportSize) +
                    " bits" + At());
    if (g.reportCount > kMaxReportCount)
        return Fail("Report Count " + std::to_string(g.reportCount) + " exceeds " + std::to_string(kMaxReportCount) +
                    At());
    const uint64_t bits = uint64_t{g.reportSize} * g.reportCount;
    // A field of no bits occupies nothing and reports nothing.
    if (bits == 0) return true;

    const int t = static_cast<int>(type);
    const uint8_t id = static_cast<uint8_t>(g.reportId);
    uint32_t& next = builder_.NextBit(t, id);
    if (next + bits > kMaxReportBits)
        return Fail("report " + std::to_string(id) + " longer than " + std::to_string(kMaxReportBits / 8) +
                    " bytes" + At());
    const uint32_t offset = next;
    next += static_cast<uint32_t>(bits);
    if (flags & kFlagConstant) return true;  // padding

    locals_.FlushPending();
    if (locals_.runs.empty()) locals_.runs.push_back({g.usagePage, 0, 0, false});

    FieldLocation field;
    field.reportId = id;
    field.bitOffset = offset;
    field.bitSize = static_cast<uint16_t>(g.reportSize);
    field.reportCount = static_cast<uint16_t>(g.reportCount);
    field.isArray = !(flags & kFlagVariable);
    Bounds(g.logicalMin, g.logicalMax, field.logicalMin, field.logicalMax);

    // Every 1-bit variable is an on/off control. Many descriptors leave the
    // Logical Maximum of an earlier value in force (0..3, 0..2047) for their
    // 1-bit buttons; reading those as values would lose the buttons.
    const bool isButton = field.isArray || g.reportSize == 1;
    const uint16_t linkIndex = builder_.open.back();
    const LinkNode link = builder_.nodes[linkIndex];
    auto& buttons = builder_.col.buttonCaps[t];
    auto& values = builder_.col.valueCaps[t];

    uint32_t fieldsLeft = g.reportCount;
    uint32_t bitPos = offset;
    for (size_t i = 0; i < locals_.runs.size(); ++i) {
        const UsageRun& run = locals_.runs[i];
        FieldLocation f = field;
        if (!field.isArray) {
            // Variables: a single usage takes one field, a range one per usage;
            // the last run takes whatever fields remain. Runs beyond the last
            // field describe nothing.
            if (fieldsLeft == 0) break;
            const bool last = i + 1 == locals_.runs.size();
            const uint32_t take = last ? fieldsLeft : std::min(run.Span(), fieldsLeft);
            f.bitOffset = bitPos;
            f.reportCount = static_cast<uint16_t>(take);
            bitPos += take * g.reportSize;
            fieldsLeft -= take;
        }
        if ((isButton ? buttons.size() : values.size()) >= kMaxCaps)
            return Fail("more than " + std::to_string(kMaxCaps) + " capabilities in one collection" + At());

        uint32_t& index = builder_.dataIndex[t];
        const uint16_t indexMin = Clamp16(index);
        index = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{index} + run.Span(), 0x10000));
        const uint16_t indexMax = Clamp16(uint64_t{index} - 1);

        // Button and value capabilities share their identifying fields.
        auto fillCommon = [&](auto& c) {
            c.usagePage = run.page;
            c.reportId = id;
            c.linkCollection = linkIndex;
            c.linkUsagePage = link.usagePage;
            c.linkUsage = link.usage;
            c.isRange = run.range;
            c.usageMin = run.min;
            c.usageMax = run.max;
            c.dataIndexMin = indexMin;
            c.dataIndexMax = indexMax;
            c.isAbsolute = !(flags & kFlagRelative);
            c.field = f;
        };
        if (isButton) {
            ButtonCaps b;
            fillCommon(b);
            buttons.push_back(b);
        } else {
            ValueCaps v;
            fillCommon(v);
            v.hasNull = (flags & kFlagNullState) != 0;
            Bounds(g.physicalMin, g.physicalMax, v.physicalMin, v.physicalMax);
            v.units = g.unit;
            v.unitExponent = g.unitExponent;
            values.push_back(v);
        }
    }
    return true;
}

// ---- decoding -------------------------------------------------------------

bool ValidType(ReportType t) { return static_cast<unsigned>(t) < kReportTypeCount; }

uint64_t FieldEnd(const FieldLocation& f) { return f.bitOffset + uint64_t{f.bitSize} * f.reportCount; }

// Whether the report holds every field this collection declares for its id.
// Reports of different ids differ in length on Linux, so the check is per id
// rather than against the longest report of the type.
bool LongEnough(const Collection& c, int t, uint8_t id, size_t reportSize) {
    uint64_t end = 0;
    for (const ButtonCaps& b : c.buttonCaps[t])
        if (b.reportId == id) end = std::max(end, FieldEnd(b.field));
    for (const ValueCaps& v : c.valueCaps[t])
        if (v.reportId == id) end = std::max(end, FieldEnd(v.field));
    return uint64_t{reportSize} * 8 >= 8 + end;
}

// Reads up to 32 bits, least significant first, from the bit position counted
// from the start of the report (id byte included). The caller checks bounds.
uint32_t ReadBits(std::span<const uint8_t> report, uint64_t bitPos, unsigned count) {
    const size_t first = static_cast<size_t>(bitPos >> 3);
    const unsigned shift = static_cast<unsigned>(bitPos & 7);
    const size_t bytes = (shift + count + 7) / 8;
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= uint64_t{report[first + i]} << (8 * i);
    v >>= shift;
    return count >= 32 ? static_cast<uint32_t>(v) : static_cast<uint32_t>(v & ((uint64_t{1} << count) - 1));
}

int64_t SignedField(uint32_t raw, unsigned bits, bool isSigned) {
    if (!isSigned || bits == 0 || bits >= 32) return isSigned ? static_cast<int32_t>(raw) : int64_t{raw};
    const uint32_t sign = 1u << (bits - 1);
    return static_cast<int64_t>(raw ^ sign) - static_cast<int64_t>(sign);
}

// Array caps of one main item share the field; the field value indexes the
// usages of all of them in order.
void DecodeArray(std::span<const ButtonCaps> group, uint16_t usagePage, std::span<const uint8_t> report,
                 std::vector<uint16_t>& usages) {
    const FieldLocation& f = group.front().field;
    const unsigned bits = std::min<unsigned>(f.bitSize, 32);
    std::vector<uint64_t> starts;  // first index of each cap, only for long groups
    if (group.size() > 8) {
        starts.reserve(group.size());
        uint64_t s = 0;
        for (const ButtonCaps& b : group) {
            starts.push_back(s);
            s += b.isRange ? uint32_t{b.usageMax} - b.usageMin + 1 : 1;
        }
    }
    for (uint32_t slot = 0; slot < f.reportCount; ++slot) {
        const uint32_t raw = ReadBits(report, 8 + f.bitOffset + uint64_t{slot} * f.bitSize, bits);
        // Devices fill unused slots with 0.
        if (raw == 0) continue;
        const int64_t v = SignedField(raw, bits, f.logicalMin < 0);
        if (v < f.logicalMin || v > f.logicalMax) continue;
        uint64_t k = static_cast<uint64_t>(v - f.logicalMin);
        size_t capIndex = 0;
        if (!starts.empty()) {
            capIndex = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), k) - starts.begin() - 1);
            k -= starts[capIndex];
        }
        for (; capIndex < group.size(); ++capIndex) {
            const ButtonCaps& b = group[capIndex];
            const uint64_t span = b.isRange ? uint32_t{b.usageMax} - b.usageMin + 1 : 1;
            if (k >= span) {
                k -= span;
                continue;
            }
            const uint16_t usage = static_cast<uint16_t>(b.usageMin + k);
            // Usage 0 means "no event".
            if (b.usagePage == usagePage && usage != 0) usages.push_back(usage);
            break;
        }
    }
}

void DecodeVariable(const ButtonCaps& b, std::span<const uint8_t> report, std::vector<uint16_t>& usages) {
    const FieldLocation& f = b.field;
    const uint32_t span = b.isRange ? uint32_t{b.usageMax} - b.usageMin + 1 : 1;
    // Fields past the usages repeat the last usage; report it once.
    bool lastReported = false;
    for (uint32_t i = 0; i < f.reportCount; ++i) {
        if (ReadBits(report, 8 + f.bitOffset + uint64_t{i} * f.bitSize, 1) == 0) continue;
        if (i + 1 < span) {
            usages.push_back(static_cast<uint16_t>(b.usageMin + i));
        } else if (!lastReported) {
            usages.push_back(b.usageMax);
            lastReported = true;
        }
    }
}

// Finds the value caps of a usage in the report with the given id; the index
// is the field of that usage within the caps.
uint32_t FindValue(const Collection& c, ReportType type, uint16_t usagePage, uint16_t usage,
                   std::span<const uint8_t> report, const ValueCaps*& found, uint32_t& index) {
    if (!ValidType(type)) return kStatusInvalidReportType;
    if (report.empty()) return kStatusInvalidReportLength;
    const int t = static_cast<int>(type);
    const uint8_t id = report[0];
    bool elsewhere = false;
    found = nullptr;
    for (const ValueCaps& v : c.valueCaps[t]) {
        if (v.usagePage != usagePage || usage < v.usageMin || usage > v.usageMax) continue;
        const uint32_t i = uint32_t{usage} - v.usageMin;
        if (i >= v.field.reportCount) continue;  // declared in a range but given no field
        if (v.reportId != id) {
            elsewhere = true;
            continue;
        }
        found = &v;
        index = i;
        break;
    }
    if (!found) return elsewhere ? kStatusIncompatibleReportId : kStatusUsageNotFound;
    if (!LongEnough(c, t, id, report.size())) return kStatusInvalidReportLength;
    if (found->field.bitSize > 32) return kStatusBufferTooSmall;
    return kStatusSuccess;
}

}  // namespace

bool Collection::OwnsReportId(uint8_t id) const {
    if (!usesReportIds) return true;
    return std::binary_search(reportIds.begin(), reportIds.end(), id);
}

bool ParseReportDescriptor(std::span<const uint8_t> bytes, ReportDescriptor& out, std::string* error) {
    out = ReportDescriptor{};
    std::string reason;
    Parser parser(bytes, out);
    if (parser.Run(reason)) return true;
    out = ReportDescriptor{};
    if (error) *error = std::move(reason);
    return false;
}

uint32_t MaxUsageListLength(const Collection& c, ReportType type, uint16_t usagePage) {
    if (!ValidType(type)) return 0;
    uint64_t total = 0;
    for (const ButtonCaps& b : c.buttonCaps[static_cast<int>(type)]) {
        if (usagePage != 0 && b.usagePage != usagePage) continue;
        if (b.field.isArray)
            total += b.field.reportCount;
        else
            total += b.isRange ? uint32_t{b.usageMax} - b.usageMin + 1 : 1;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(total, std::numeric_limits<uint32_t>::max()));
}

uint32_t GetUsages(const Collection& c, ReportType type, uint16_t usagePage, std::span<const uint8_t> report,
                   std::vector<uint16_t>& usages) {
    usages.clear();
    if (!ValidType(type)) return kStatusInvalidReportType;
    if (report.empty()) return kStatusInvalidReportLength;
    const int t = static_cast<int>(type);
    const uint8_t id = report[0];
    const std::vector<ButtonCaps>& caps = c.buttonCaps[t];
    bool onPage = false;
    bool inReport = false;
    for (const ButtonCaps& b : caps) {
        if (b.usagePage != usagePage) continue;
        onPage = true;
        if (b.reportId == id) {
            inReport = true;
            break;
        }
    }
    if (!onPage) return kStatusUsageNotFound;
    if (!inReport) return kStatusIncompatibleReportId;
    if (!LongEnough(c, t, id, report.size())) return kStatusInvalidReportLength;

    for (size_t i = 0; i < caps.size();) {
        const ButtonCaps& b = caps[i];
        if (b.field.isArray) {
            size_t end = i + 1;
            while (end < caps.size() && caps[end].field.isArray && caps[end].reportId == b.reportId &&
                   caps[end].field.bitOffset == b.field.bitOffset)
                ++end;
            if (b.reportId == id) DecodeArray(std::span(caps).subspan(i, end - i), usagePage, report, usages);
            i = end;
            continue;
        }
        if (b.reportId == id && b.usagePage == usagePage) DecodeVariable(b, report, usages);
        ++i;
    }
    return kStatusSuccess;
}

uint32_t GetUsageValue(const Collection& c, ReportType type, uint16_t usagePage, uint16_t usage,
                       std::span<const uint8_t> report, uint32_t& value) {
    const ValueCaps* v = nullptr;
    uint32_t index = 0;
    const uint32_t status = FindValue(c, type, usagePage, usage, report, v, index);
    if (status != kStatusSuccess) return status;
    value = ReadBits(report, 8 + v->field.bitOffset + uint64_t{index} * v->field.bitSize, v->field.bitSize);
    return kStatusSuccess;
}

uint32_t GetScaledUsageValue(const Collection& c, ReportType type, uint16_t usagePage, uint16_t usage,
                             std::span<const uint8_t> report, int32_t& value) {
    const ValueCaps* v = nullptr;
    uint32_t index = 0;
    const uint32_t status = FindValue(c, type, usagePage, usage, report, v, index);
    if (status != kStatusSuccess) return status;
    const FieldLocation& f = v->field;
    if (f.logicalMin >= f.logicalMax) return kStatusBadLogPhyValues;
    const uint32_t raw = ReadBits(report, 8 + f.bitOffset + uint64_t{index} * f.bitSize, f.bitSize);
    const int64_t logical = SignedField(raw, f.bitSize, f.logicalMin < 0);
    if (logical < f.logicalMin || logical > f.logicalMax) return v->hasNull ? kStatusNull : kStatusValueOutOfRange;
    if (v->physicalMin == v->physicalMax) {
        value = static_cast<int32_t>(logical);
        return kStatusSuccess;
    }
    // Both factors may reach 2^32, so the product can leave int64.
    const int64_t num = logical - f.logicalMin;
    const int64_t span = int64_t{v->physicalMax} - v->physicalMin;
    const int64_t den = int64_t{f.logicalMax} - f.logicalMin;
    int64_t product = 0;
    int64_t scaled = 0;
    if (__builtin_mul_overflow(num, span, &product))
        scaled = static_cast<int64_t>(static_cast<long double>(num) * span / den);
    else
        scaled = product / den;
    value = static_cast<int32_t>(std::clamp<int64_t>(v->physicalMin + scaled, std::numeric_limits<int32_t>::min(),
                                                     std::numeric_limits<int32_t>::max()));
    return kStatusSuccess;
}

}  // namespace nurak::hid

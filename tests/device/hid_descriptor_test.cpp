#include "device/hid_descriptor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace nurak::hid {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Main item flags.
constexpr uint32_t kArray = 0x00;
constexpr uint32_t kConst = 0x01;
constexpr uint32_t kVar = 0x02;
constexpr uint32_t kRel = 0x04;
constexpr uint32_t kNull = 0x40;

// Emits report descriptor items; each call appends one item with the
// smallest data size that holds the value.
class Desc {
public:
    std::vector<uint8_t> bytes;

    Desc& Raw(const std::vector<uint8_t>& b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
    Desc& Item(uint8_t tagType, uint32_t value, int size) {
        bytes.push_back(static_cast<uint8_t>(tagType | (size == 4 ? 3 : size)));
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return *this;
    }
    Desc& Unsigned(uint8_t tagType, uint32_t v) { return Item(tagType, v, v <= 0xFF ? 1 : v <= 0xFFFF ? 2 : 4); }
    Desc& Signed(uint8_t tagType, int64_t v) {
        const int size = (v >= -128 && v <= 127) ? 1 : (v >= -32768 && v <= 32767) ? 2 : 4;
        return Item(tagType, static_cast<uint32_t>(v), size);
    }

    Desc& Input(uint32_t flags) { return Unsigned(0x80, flags); }
    Desc& Output(uint32_t flags) { return Unsigned(0x90, flags); }
    Desc& Feature(uint32_t flags) { return Unsigned(0xB0, flags); }
    Desc& Collection(uint8_t type = 1) { return Unsigned(0xA0, type); }
    Desc& End() { return Item(0xC0, 0, 0); }

    Desc& UsagePage(uint32_t p) { return Unsigned(0x04, p); }
    Desc& LogicalMin(int64_t v) { return Signed(0x14, v); }
    Desc& LogicalMax(int64_t v) { return Signed(0x24, v); }
    Desc& PhysicalMin(int64_t v) { return Signed(0x34, v); }
    Desc& PhysicalMax(int64_t v) { return Signed(0x44, v); }
    Desc& ReportSize(uint32_t v) { return Unsigned(0x74, v); }
    Desc& ReportId(uint32_t v) { return Unsigned(0x84, v); }
    Desc& ReportCount(uint32_t v) { return Unsigned(0x94, v); }
    Desc& Push() { return Item(0xA4, 0, 0); }
    Desc& Pop() { return Item(0xB4, 0, 0); }

    Desc& Usage(uint32_t u) { return Unsigned(0x08, u); }
    Desc& ExtendedUsage(uint32_t u) { return Item(0x08, u, 4); }
    Desc& UsageMin(uint32_t u) { return Unsigned(0x18, u); }
    Desc& UsageMax(uint32_t u) { return Unsigned(0x28, u); }
    Desc& Delimiter(bool open) { return Item(0xA8, open ? 1 : 0, 1); }
};

ReportDescriptor MustParse(const std::vector<uint8_t>& bytes) {
    ReportDescriptor d;
    std::string error;
    EXPECT_TRUE(ParseReportDescriptor(bytes, d, &error)) << error;
    return d;
}

std::vector<uint8_t> BootMouse() {
    Desc d;
    d.UsagePage(0x01).Usage(0x02).Collection(1);
    d.Usage(0x01).Collection(0);
    d.UsagePage(0x09).UsageMin(1).UsageMax(3).LogicalMin(0).LogicalMax(1).ReportCount(3).ReportSize(1).Input(kVar);
    d.ReportCount(1).ReportSize(5).Input(kConst);
    d.UsagePage(0x01).Usage(0x30).Usage(0x31).Usage(0x38).LogicalMin(-127).LogicalMax(127);
    d.ReportSize(8).ReportCount(3).Input(kVar | kRel);
    d.End().End();
    return d.bytes;
}

// One interface with four top-level collections, as gaming keyboards have.
std::vector<uint8_t> Composite() {
    Desc d;
    // 1: keyboard, id 1
    d.UsagePage(0x01).Usage(0x06).Collection(1).ReportId(1);
    d.UsagePage(0x07).UsageMin(0xE0).UsageMax(0xE7).LogicalMin(0).LogicalMax(1).ReportSize(1).ReportCount(8);
    d.Input(kVar);
    d.ReportCount(1).ReportSize(8).Input(kConst);
    d.UsagePage(0x08).UsageMin(1).UsageMax(5).ReportCount(5).ReportSize(1).Output(kVar);
    d.ReportCount(1).ReportSize(3).Output(kConst);
    d.UsagePage(0x07).UsageMin(0).UsageMax(0xFF).LogicalMin(0).LogicalMax(0xFF).ReportSize(8).ReportCount(6);
    d.Input(kArray);
    d.End();
    // 2: system control, id 2: an array over a list of usages, not in usage order
    d.UsagePage(0x01).Usage(0x80).Collection(1).ReportId(2);
    d.Usage(0x82).Usage(0x81).Usage(0x83).LogicalMin(1).LogicalMax(3).ReportSize(2).ReportCount(1).Input(kArray);
    d.ReportSize(6).Input(kConst);
    d.End();
    // 3: consumer control, id 3
    d.UsagePage(0x0C).Usage(0x01).Collection(1).ReportId(3);
    d.UsageMin(0).UsageMax(0x06FF).LogicalMin(0).LogicalMax(0x06FF).ReportSize(16).ReportCount(1).Input(kArray);
    d.End();
    // 4: vendor, id 4, 63 bytes each way
    d.UsagePage(0xFF1C).Usage(0x92).Collection(1).ReportId(4);
    d.LogicalMin(0).LogicalMax(0xFF).ReportSize(8).ReportCount(63);
    d.Usage(0x01).Input(kVar);
    d.Usage(0x02).Output(kVar);
    d.End();
    return d.bytes;
}

TEST(HidDescriptorParse, BootMouseWithoutReportIds) {
    const ReportDescriptor d = MustParse(BootMouse());
    EXPECT_FALSE(d.usesReportIds);
    ASSERT_EQ(d.collections.size(), 1u);
    const Collection& c = d.collections[0];
    EXPECT_EQ(c.index, 1);
    EXPECT_EQ(c.usagePage, 0x01);
    EXPECT_EQ(c.usage, 0x02);
    EXPECT_FALSE(c.usesReportIds);
    EXPECT_THAT(c.reportIds, IsEmpty());
    EXPECT_TRUE(c.OwnsReportId(0));
    EXPECT_TRUE(c.OwnsReportId(7));

    // 3 buttons + 5 padding + X + Y + wheel = 4 bytes, plus the id byte Windows always counts.
    EXPECT_EQ(c.caps.inputReportByteLength, 5);
    EXPECT_EQ(c.caps.outputReportByteLength, 0);
    EXPECT_EQ(c.caps.featureReportByteLength, 0);
    EXPECT_EQ(c.caps.usagePage, 0x01);
    EXPECT_EQ(c.caps.usage, 0x02);
    EXPECT_EQ(c.caps.numberLinkCollectionNodes, 2);
    EXPECT_EQ(c.caps.numberInputButtonCaps, 1);
    EXPECT_EQ(c.caps.numberInputValueCaps, 3);
    EXPECT_EQ(c.caps.numberInputDataIndices, 6);

    ASSERT_EQ(c.Buttons(ReportType::Input).size(), 1u);
    const ButtonCaps& b = c.Buttons(ReportType::Input)[0];
    EXPECT_EQ(b.usagePage, 0x09);
    EXPECT_TRUE(b.isRange);
    EXPECT_EQ(b.usageMin, 1);
    EXPECT_EQ(b.usageMax, 3);
    EXPECT_EQ(b.dataIndexMin, 0);
    EXPECT_EQ(b.dataIndexMax, 2);
    EXPECT_EQ(b.linkCollection, 1);
    EXPECT_EQ(b.linkUsagePage, 0x01);
    EXPECT_EQ(b.linkUsage, 0x01);
    EXPECT_EQ(b.field.bitOffset, 0u);
    EXPECT_EQ(b.field.bitSize, 1);
    EXPECT_EQ(b.field.reportCount, 3);
    EXPECT_FALSE(b.field.isArray);

    const std::vector<ValueCaps>& v = c.Values(ReportType::Input);
    ASSERT_EQ(v.size(), 3u);
    const uint16_t usages[] = {0x30, 0x31, 0x38};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(v[i].usagePage, 0x01);
        EXPECT_FALSE(v[i].isRange);
        EXPECT_EQ(v[i].usageMin, usages[i]);
        EXPECT_EQ(v[i].field.bitOffset, 8 + 8 * i);
        EXPECT_EQ(v[i].field.bitSize, 8);
        EXPECT_EQ(v[i].field.reportCount, 1);
        EXPECT_EQ(v[i].field.logicalMin, -127);
        EXPECT_EQ(v[i].field.logicalMax, 127);
        EXPECT_FALSE(v[i].isAbsolute);
        EXPECT_EQ(v[i].dataIndexMin, 3 + i);
        EXPECT_EQ(v[i].linkCollection, 1);
    }
    EXPECT_THAT(c.Buttons(ReportType::Output), IsEmpty());
    EXPECT_THAT(c.Values(ReportType::Feature), IsEmpty());
}

TEST(HidDescriptorParse, CompositeInterfaceWithFourCollections) {
    const ReportDescriptor d = MustParse(Composite());
    EXPECT_TRUE(d.usesReportIds);
    ASSERT_EQ(d.collections.size(), 4u);

    struct Expect {
        uint16_t page, usage;
        uint8_t id;
        uint16_t in, out, feature;
        uint16_t inButtons, inValues, outButtons, outValues, inIndices;
    };
    const Expect want[] = {
        {0x01, 0x06, 1, 9, 2, 0, 2, 0, 1, 0, 8 + 256},
        {0x01, 0x80, 2, 2, 0, 0, 3, 0, 0, 0, 3},
        {0x0C, 0x01, 3, 3, 0, 0, 1, 0, 0, 0, 0x700},
        {0xFF1C, 0x92, 4, 64, 64, 0, 0, 1, 0, 1, 1},
    };
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const Collection& c = d.collections[i];
        EXPECT_EQ(c.index, static_cast<int>(i + 1));
        EXPECT_EQ(c.usagePage, want[i].page);
        EXPECT_EQ(c.usage, want[i].usage);
        EXPECT_TRUE(c.usesReportIds);
        EXPECT_THAT(c.reportIds, ElementsAre(want[i].id));
        EXPECT_TRUE(c.OwnsReportId(want[i].id));
        EXPECT_FALSE(c.OwnsReportId(static_cast<uint8_t>(want[i].id % 4 + 1)));
        EXPECT_EQ(c.caps.inputReportByteLength, want[i].in);
        EXPECT_EQ(c.caps.outputReportByteLength, want[i].out);
        EXPECT_EQ(c.caps.featureReportByteLength, want[i].feature);
        EXPECT_EQ(c.caps.numberInputButtonCaps, want[i].inButtons);
        EXPECT_EQ(c.caps.numberInputValueCaps, want[i].inValues);
        EXPECT_EQ(c.caps.numberOutputButtonCaps, want[i].outButtons);
        EXPECT_EQ(c.caps.numberOutputValueCaps, want[i].outValues);
        EXPECT_EQ(c.caps.numberInputDataIndices, want[i].inIndices);
        EXPECT_EQ(c.caps.numberLinkCollectionNodes, 1);
    }

    // Keyboard keys: one array over 0..0xFF, after the modifier byte and the reserved byte.
    const ButtonCaps& keys = d.collections[0].Buttons(ReportType::Input)[1];
    EXPECT_TRUE(keys.field.isArray);
    EXPECT_TRUE(keys.isRange);
    EXPECT_EQ(keys.usageMin, 0);
    EXPECT_EQ(keys.usageMax, 0xFF);
    EXPECT_EQ(keys.field.bitOffset, 16u);
    EXPECT_EQ(keys.field.reportCount, 6);
    EXPECT_EQ(keys.dataIndexMin, 8);
    EXPECT_EQ(keys.dataIndexMax, 8 + 255);
    EXPECT_EQ(d.collections[0].Buttons(ReportType::Output)[0].usagePage, 0x08);

    // System control: one caps per listed usage, all on the same array field.
    const std::vector<ButtonCaps>& sys = d.collections[1].Buttons(ReportType::Input);
    ASSERT_EQ(sys.size(), 3u);
    EXPECT_EQ(sys[0].usageMin, 0x82);
    EXPECT_EQ(sys[1].usageMin, 0x81);
    EXPECT_EQ(sys[2].usageMin, 0x83);
    for (const ButtonCaps& b : sys) {
        EXPECT_FALSE(b.isRange);
        EXPECT_TRUE(b.field.isArray);
        EXPECT_EQ(b.field.bitOffset, 0u);
        EXPECT_EQ(b.field.bitSize, 2);
    }

    const ValueCaps& vendorOut = d.collections[3].Values(ReportType::Output)[0];
    EXPECT_EQ(vendorOut.usagePage, 0xFF1C);
    EXPECT_EQ(vendorOut.usageMin, 0x02);
    EXPECT_EQ(vendorOut.field.reportCount, 63);
    EXPECT_EQ(vendorOut.field.bitSize, 8);
    EXPECT_EQ(vendorOut.field.reportId, 4);
}

TEST(HidDescriptorParse, NestedCollectionsBecomeLinkNodes) {
    Desc d;
    d.UsagePage(0x0D).Usage(0x05).Collection(1).ReportId(1);
    d.Usage(0x22).Collection(2);  // node 1
    d.Usage(0x42).LogicalMin(0).LogicalMax(1).ReportSize(1).ReportCount(1).Input(kVar);
    d.ReportCount(7).Input(kConst);
    d.UsagePage(0x01).Usage(0x01).Collection(0);  // node 2, inside node 1
    d.Usage(0x30).LogicalMax(4095).ReportSize(16).ReportCount(1).Input(kVar);
    d.End().End();
    d.UsagePage(0x0D).Usage(0x22).Collection(2);  // node 3
    d.Usage(0x42).LogicalMax(1).ReportSize(1).ReportCount(1).Input(kVar);
    d.ReportCount(7).Input(kConst);
    d.End();
    d.End();
    // A second top-level collection numbers its nodes from 0 again.
    d.UsagePage(0x01).Usage(0x02).Collection(1).ReportId(2);
    d.Usage(0x01).Collection(0).UsagePage(0x09).Usage(1).LogicalMax(1).ReportSize(1).ReportCount(8).Input(kVar);
    d.End().End();

    const ReportDescriptor r = MustParse(d.bytes);
    ASSERT_EQ(r.collections.size(), 2u);
    const Collection& pad = r.collections[0];
    EXPECT_EQ(pad.caps.numberLinkCollectionNodes, 4);
    const std::vector<ButtonCaps>& tips = pad.Buttons(ReportType::Input);
    ASSERT_EQ(tips.size(), 2u);
    EXPECT_EQ(tips[0].linkCollection, 1);
    EXPECT_EQ(tips[0].linkUsagePage, 0x0D);
    EXPECT_EQ(tips[0].linkUsage, 0x22);
    EXPECT_EQ(tips[1].linkCollection, 3);
    EXPECT_EQ(tips[1].field.bitOffset, 24u);
    ASSERT_EQ(pad.Values(ReportType::Input).size(), 1u);
    const ValueCaps& x = pad.Values(ReportType::Input)[0];
    EXPECT_EQ(x.linkCollection, 2);
    EXPECT_EQ(x.linkUsagePage, 0x01);
    EXPECT_EQ(x.linkUsage, 0x01);
    EXPECT_EQ(x.field.bitOffset, 8u);
    EXPECT_EQ(pad.caps.inputReportByteLength, 5);

    const Collection& mouse = r.collections[1];
    EXPECT_EQ(mouse.index, 2);
    EXPECT_EQ(mouse.caps.numberLinkCollectionNodes, 2);
    ASSERT_EQ(mouse.Buttons(ReportType::Input).size(), 1u);
    EXPECT_EQ(mouse.Buttons(ReportType::Input)[0].linkCollection, 1);
    EXPECT_EQ(mouse.Buttons(ReportType::Input)[0].field.bitOffset, 0u);
}

TEST(HidDescriptorParse, UsageListsAndRangesOnVariableItems) {
    Desc d;
    d.UsagePage(0x01).Usage(0x04).Collection(1);
    d.LogicalMin(0).LogicalMax(255).ReportSize(8);
    // Two usages over three fields: the last usage takes the remaining two.
    d.Usage(0x30).Usage(0x31).ReportCount(3).Input(kVar);
    // Three usages over two fields: the third has no field.
    d.Usage(0x32).Usage(0x33).Usage(0x34).ReportCount(2).Input(kVar);
    // A range over three fields is one caps.
    d.UsageMin(0x35).UsageMax(0x37).ReportCount(3).Input(kVar);
    // No usage at all still gives a caps, with usage 0.
    d.ReportCount(1).Input(kVar);
    d.End();

    const Collection c = MustParse(d.bytes).collections.at(0);
    const std::vector<ValueCaps>& v = c.Values(ReportType::Input);
    ASSERT_EQ(v.size(), 6u);
    struct Expect {
        uint16_t usageMin, usageMax;
        bool range;
        uint32_t offset;
        uint16_t count;
        uint16_t indexMin, indexMax;
    };
    const Expect want[] = {
        {0x30, 0x30, false, 0, 1, 0, 0},   {0x31, 0x31, false, 8, 2, 1, 1},  {0x32, 0x32, false, 24, 1, 2, 2},
        {0x33, 0x33, false, 32, 1, 3, 3},  {0x35, 0x37, true, 40, 3, 4, 6},  {0x00, 0x00, false, 64, 1, 7, 7},
    };
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(v[i].usageMin, want[i].usageMin);
        EXPECT_EQ(v[i].usageMax, want[i].usageMax);
        EXPECT_EQ(v[i].isRange, want[i].range);
        EXPECT_EQ(v[i].field.bitOffset, want[i].offset);
        EXPECT_EQ(v[i].field.reportCount, want[i].count);
        EXPECT_EQ(v[i].dataIndexMin, want[i].indexMin);
        EXPECT_EQ(v[i].dataIndexMax, want[i].indexMax);
        EXPECT_EQ(v[i].usagePage, 0x01);
    }
    EXPECT_EQ(c.caps.numberInputDataIndices, 8);
    EXPECT_EQ(c.caps.inputReportByteLength, 10);

    // Reading follows the split: Y's second field, the range's middle usage.
    const std::vector<uint8_t> report = {0, 10, 20, 21, 30, 31, 40, 41, 42, 50};
    uint32_t value = 0;
    ASSERT_EQ(GetUsageValue(c, ReportType::Input, 0x01, 0x31, report, value), kStatusSuccess);
    EXPECT_EQ(value, 20u);
    ASSERT_EQ(GetUsageValue(c, ReportType::Input, 0x01, 0x36, report, value), kStatusSuccess);
    EXPECT_EQ(value, 41u);
    ASSERT_EQ(GetUsageValue(c, ReportType::Input, 0x01, 0x33, report, value), kStatusSuccess);
    EXPECT_EQ(value, 31u);
    EXPECT_EQ(GetUsageValue(c, ReportType::Input, 0x01, 0x34, report, value), kStatusUsageNotFound);
}

TEST(HidDescriptorParse, ButtonClassification) {
    Desc d;
    d.UsagePage(0x0D).Usage(0x02).Collection(1);
    // A 1-bit field under a leftover Logical Maximum is still a button.
    d.LogicalMin(0).LogicalMax(2047).UsagePage(0x09).UsageMin(1).UsageMax(2).ReportSize(1).ReportCount(2);
    d.Input(kVar);
    // Wider variables are values, even with a 0..1 range.
    d.LogicalMax(1).UsagePage(0x0D).Usage(0x30).ReportSize(2).ReportCount(1).Input(kVar);
    // Padding gives no caps but takes room.
    d.ReportSize(4).Input(kConst);
    // A constant with usages is padding as well.
    d.Usage(0x31).ReportSize(8).Input(kConst | kVar);
    d.End();

    const Collection c = MustParse(d.bytes).collections.at(0);
    ASSERT_EQ(c.Buttons(ReportType::Input).size(), 1u);
    EXPECT_EQ(c.Buttons(ReportType::Input)[0].usagePage, 0x09);
    ASSERT_EQ(c.Values(ReportType::Input).size(), 1u);
    EXPECT_EQ(c.Values(ReportType::Input)[0].usageMin, 0x30);
    EXPECT_EQ(c.caps.inputReportByteLength, 3);

    std::vector<uint16_t> usages;
    ASSERT_EQ(GetUsages(c, ReportType::Input, 0x09, std::vector<uint8_t>{0, 0x02, 0}, usages), kStatusSuccess);
    EXPECT_THAT(usages, ElementsAre(2));
}

TEST(HidDescriptorParse, GlobalStackAndUsagePages) {
    Desc d;
    d.UsagePage(0x01).Usage(0x05).Collection(1);
    d.LogicalMin(-127).LogicalMax(127).ReportSize(8).ReportCount(1);
    d.Push();
    d.UsagePage(0x09).LogicalMin(0).LogicalMax(1).ReportSize(1).ReportCount(8).UsageMin(1).UsageMax(8).Input(kVar);
    d.Pop();
    d.Usage(0x30).Input(kVar);  // page 1, signed 8-bit again
    // Short usages keep the page in force where they were declared;
    // a four-byte usage carries its own.
    d.UsagePage(0x0D).Usage(0x42).UsagePage(0xFF0D).Usage(0x5D).ExtendedUsage(0x000C00E9);
    d.LogicalMin(0).LogicalMax(1).ReportSize(1).ReportCount(3).Input(kVar);
    d.ReportCount(5).Input(kConst);
    d.End();
    // A collection named by an extended usage.
    d.UsagePage(0x01).ExtendedUsage(0xFF000001).Collection(1).End();

    const ReportDescriptor r = MustParse(d.bytes);
    ASSERT_EQ(r.collections.size(), 2u);
    const Collection& c = r.collections[0];
    ASSERT_EQ(c.Values(ReportType::Input).size(), 1u);
    const ValueCaps& x = c.Values(ReportType::Input)[0];
    EXPECT_EQ(x.usagePage, 0x01);
    EXPECT_EQ(x.field.bitSize, 8);
    EXPECT_EQ(x.field.logicalMin, -127);
    EXPECT_EQ(x.field.bitOffset, 8u);

    const std::vector<ButtonCaps>& b = c.Buttons(ReportType::Input);
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[0].usagePage, 0x09);
    EXPECT_EQ(b[1].usagePage, 0x0D);
    EXPECT_EQ(b[1].usageMin, 0x42);
    EXPECT_EQ(b[2].usagePage, 0xFF0D);
    EXPECT_EQ(b[2].usageMin, 0x5D);
    EXPECT_EQ(b[3].usagePage, 0x0C);
    EXPECT_EQ(b[3].usageMin, 0xE9);
    EXPECT_EQ(b[3].field.bitOffset, 18u);

    EXPECT_EQ(r.collections[1].usagePage, 0xFF00);
    EXPECT_EQ(r.collections[1].usage, 0x01);
    EXPECT_EQ(r.collections[1].caps.inputReportByteLength, 0);
}

TEST(HidDescriptorParse, LogicalBoundsSignRule) {
    struct Case {
        std::vector<uint8_t> bounds;  // Logical Minimum and Maximum items
        int32_t min, max;
    };
    const Case cases[] = {
        {{0x15, 0x00, 0x25, 0xFF}, 0, 255},                    // min 0: max read unsigned
        {{0x15, 0x00, 0x26, 0xFF, 0x00}, 0, 255},
        {{0x15, 0x81, 0x25, 0x7F}, -127, 127},                 // sign bit set: negative
        {{0x16, 0x00, 0x80, 0x26, 0xFF, 0x7F}, -32768, 32767},
        {{0x15, 0xFF, 0x25, 0xFF}, -1, -1},                    // negative min: max signed too
        {{0x15, 0x00, 0x27, 0xFF, 0xFF, 0x00, 0x00}, 0, 65535},
    };
    for (const Case& k : cases) {
        Desc d;
        d.UsagePage(0x01).Usage(0x04).Collection(1).Raw(k.bounds);
        d.Usage(0x30).ReportSize(16).ReportCount(1).Input(kVar).End();
        const ReportDescriptor r = MustParse(d.bytes);
        ASSERT_EQ(r.collections.size(), 1u);
        ASSERT_EQ(r.collections[0].Values(ReportType::Input).size(), 1u);
        const FieldLocation& f = r.collections[0].Values(ReportType::Input)[0].field;
        EXPECT_EQ(f.logicalMin, k.min) << ::testing::PrintToString(k.bounds);
        EXPECT_EQ(f.logicalMax, k.max) << ::testing::PrintToString(k.bounds);
    }
}

TEST(HidDescriptorParse, LocalItemOddities) {
    Desc d;
    d.UsagePage(0x09).Usage(0x01).Collection(1);
    d.LogicalMin(0).LogicalMax(1).ReportSize(1);
    // Maximum before Minimum still forms the range.
    d.UsageMax(4).UsageMin(2).ReportCount(3).Input(kVar);
    // Only the first usage of a delimiter set counts.
    d.Delimiter(true).Usage(0x10).Usage(0x11).Delimiter(false).Usage(0x12).ReportCount(2).Input(kVar);
    // A long item is skipped whole.
    d.Raw({0xFE, 0x03, 0x10, 0x81, 0x02, 0xC0});
    d.ReportCount(3).Input(kConst);
    d.End();
    // Main items outside every collection are dropped.
    d.ReportSize(8).ReportCount(4).Input(kVar);

    const Collection c = MustParse(d.bytes).collections.at(0);
    const std::vector<ButtonCaps>& b = c.Buttons(ReportType::Input);
    ASSERT_EQ(b.size(), 3u);
    EXPECT_TRUE(b[0].isRange);
    EXPECT_EQ(b[0].usageMin, 2);
    EXPECT_EQ(b[0].usageMax, 4);
    EXPECT_EQ(b[1].usageMin, 0x10);
    EXPECT_EQ(b[2].usageMin, 0x12);
    EXPECT_EQ(b[2].field.bitOffset, 4u);
    EXPECT_EQ(c.caps.inputReportByteLength, 2);
}

TEST(HidDescriptorParse, ReportLengthIsTheLongestReportOfEachType) {
    Desc d;
    d.UsagePage(0x09).Usage(0x01).Collection(1);
    d.LogicalMin(0).LogicalMax(1).ReportSize(1);
    d.ReportId(1).UsageMin(1).UsageMax(8).ReportCount(8).Input(kVar);
    d.ReportId(2).UsageMin(1).UsageMax(24).ReportCount(24).Input(kVar);
    d.ReportId(3).ReportSize(8).ReportCount(5).Usage(0x20).Feature(kVar);
    d.ReportId(1).ReportCount(1).Usage(0x21).Feature(kVar);  // id 1 again, in another report type
    d.End();
    const Collection c = MustParse(d.bytes).collections.at(0);
    EXPECT_THAT(c.reportIds, ElementsAre(1, 2, 3));
    EXPECT_EQ(c.caps.inputReportByteLength, 4);
    EXPECT_EQ(c.caps.featureReportByteLength, 6);
    EXPECT_EQ(c.caps.outputReportByteLength, 0);
    // Both ids' fields start right after their id byte.
    EXPECT_EQ(c.Buttons(ReportType::Input)[1].field.bitOffset, 0u);
    ASSERT_EQ(c.Values(ReportType::Feature).size(), 2u);
    EXPECT_EQ(c.Values(ReportType::Feature)[1].field.bitOffset, 0u);

    // A report is as long as its own id needs, as hidraw hands it out.
    std::vector<uint16_t> usages;
    EXPECT_EQ(GetUsages(c, ReportType::Input, 0x09, std::vector<uint8_t>{1, 0x81}, usages), kStatusSuccess);
    EXPECT_THAT(usages, ElementsAre(1, 8));
    EXPECT_EQ(GetUsages(c, ReportType::Input, 0x09, std::vector<uint8_t>{2, 0, 0, 0x80}, usages), kStatusSuccess);
    EXPECT_THAT(usages, ElementsAre(24));
    EXPECT_EQ(GetUsages(c, ReportType::Input, 0x09, std::vector<uint8_t>{2, 0, 0}, usages),
              kStatusInvalidReportLength);
    EXPECT_THAT(usages, IsEmpty());
}

TEST(HidDescriptorParse, MalformedDescriptorsAreRefused) {
    auto inCollection = [](const std::vector<uint8_t>& body) {
        Desc d;
        d.UsagePage(0x01).Usage(0x02).Collection(1).Raw(body).End();
        return d.bytes;
    };
    std::vector<uint8_t> manyCollections;
    for (int i = 0; i < 256; ++i) manyCollections.insert(manyCollections.end(), {0xA1, 0x01, 0xC0});
    std::vector<uint8_t> deepPush;
    for (int i = 0; i < 33; ++i) deepPush.push_back(0xA4);

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", {}, "empty"},
        {"one data byte missing", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x05}, "truncated"},
        {"two of four data bytes", {0x05, 0x01, 0x07, 0x01, 0x02}, "truncated"},
        {"long item data missing", {0xFE, 0x05, 0x10, 0x01}, "truncated long item"},
        {"long item header cut", {0xFE, 0x05}, "truncated long item"},
        {"end without collection", {0xC0}, "End Collection"},
        {"end after the last collection", {0xA1, 0x01, 0xC0, 0xC0}, "End Collection"},
        {"collection left open", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0xA1, 0x00, 0xC0}, "still open"},
        {"report count above 65535", inCollection({0x75, 0x01, 0x97, 0x00, 0x00, 0x01, 0x00, 0x81, 0x02}),
         "Report Count"},
        {"report size above 255", inCollection({0x76, 0x00, 0x01, 0x95, 0x01, 0x81, 0x02}), "Report Size"},
        {"report longer than the limit", inCollection({0x75, 0xFF, 0x96, 0x10, 0x02, 0x81, 0x02}), "longer than"},
        {"pop on empty stack", {0xB4}, "Pop"},
        {"push too deep", deepPush, "Push"},
        {"report id 0", {0x85, 0x00}, "Report ID 0"},
        {"report id without data", {0x84}, "Report ID 0"},
        {"report id above 255", {0x86, 0x00, 0x01}, "Report ID"},
        {"256 top-level collections", manyCollections, "top-level collections"},
        {"no collection at all", {0x05, 0x01, 0x09, 0x02, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}, "no top-level"},
        {"nested delimiter", inCollection({0xA9, 0x01, 0xA9, 0x01}), "Delimiter"},
        {"delimiter close without open", inCollection({0xA9, 0x00}), "Delimiter"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        // Start from a parsed descriptor: a failure must leave nothing behind.
        ReportDescriptor d = MustParse(BootMouse());
        std::string error;
        EXPECT_FALSE(ParseReportDescriptor(k.bytes, d, &error));
        EXPECT_THAT(error, HasSubstr(k.reason));
        EXPECT_EQ(error.find('\n'), std::string::npos);
        EXPECT_THAT(d.collections, IsEmpty());
        EXPECT_FALSE(d.usesReportIds);
        EXPECT_FALSE(ParseReportDescriptor(k.bytes, d));  // without an error string
    }
}

TEST(HidDescriptorParse, HugeUsageRangesStayCheap) {
    // A full 16-bit usage range on an array and on a single button field,
    // repeated: caps stay one per range, data indices saturate.
    Desc d;
    d.UsagePage(0xFF00).Usage(0x01).Collection(1);
    for (int i = 0; i < 3; ++i) {
        d.UsageMin(0).UsageMax(0xFFFF).LogicalMin(0).LogicalMax(0xFFFF).ReportSize(16).ReportCount(4).Input(kArray);
        d.UsageMin(0).UsageMax(0xFFFF).LogicalMax(1).ReportSize(1).ReportCount(8).Input(kVar);
    }
    d.End();
    const Collection c = MustParse(d.bytes).collections.at(0);
    ASSERT_EQ(c.Buttons(ReportType::Input).size(), 6u);
    EXPECT_EQ(c.caps.numberInputDataIndices, 0xFFFF);
    EXPECT_EQ(c.Buttons(ReportType::Input)[5].dataIndexMax, 0xFFFF);
    EXPECT_EQ(MaxUsageListLength(c, ReportType::Input, 0xFF00), 3u * (4 + 0x10000));

    std::vector<uint8_t> report(c.caps.inputReportByteLength, 0);
    report[1] = 0x34;  // first array slot: usage 0x1234
    report[2] = 0x12;
    report[9] = 0x81;  // first button field: usages 0 and 7
    std::vector<uint16_t> usages;
    ASSERT_EQ(GetUsages(c, ReportType::Input, 0xFF00, report, usages), kStatusSuccess);
    EXPECT_THAT(usages, ElementsAre(0x1234, 0, 7));
}

// ---- decoding --------------------------------------------------------------

TEST(HidDescriptorDecode, MouseButtonsAndSignedAxes) {
    const Collection c = MustParse(BootMouse()).collections.at(0);
    const std::vector<uint8_t> report = {0x00, 0x05, 0xFB, 0x02, 0x80};
    std::vector<uint16_t> usages;
    ASSERT_EQ(GetUsages(c, ReportType::Input, 0x09, report, usages), kStatusSuccess);
    EXPECT_THAT(usages, ElementsAre(1, 3));
    EXPECT_EQ(MaxUsageListLength(c, ReportType::Input, 0x09), 3u);
    EXPECT_EQ(MaxUsageListLength(c, ReportType::Input, 0), 3u);
    EXPECT_EQ(MaxUsageListLength(c, ReportType::Output, 0x09), 0u);

    uint32_t raw = 0;
    int32_t scaled = 0;
    ASSERT_EQ(GetUsageValue(c, ReportType::Input, 0x01, 0x30, report, raw), kStatusSuccess);
    EXPECT_EQ(raw, 0xFBu);
    ASSERT_EQ(GetScaledUsageValue(c, ReportType::Input, 0x01, 0x30, report, scaled), kStatusSuccess);
    EXPECT_EQ(scaled, -5);
    ASSERT_EQ(GetScaledUsageValue(c, ReportType::Input, 0x01, 0x31, report, scaled), kStatusSuccess);
    EXPECT_EQ(scaled, 2);
    // -128 is outside -127..127 and the axis has no null state.
    EXPECT_EQ(GetScaledUsageValue(c, ReportType::Input, 0x01, 0x38, report, scaled), kStatusValueOutOfRange);
    ASSERT_EQ(GetUsageValue(c, ReportType::Input, 0x01, 0x38, report, raw), kStatusSuccess);
    EXPECT_EQ(raw, 0x80u);
}

TEST(HidDescriptorDecode, Statuses) {
    const Collection mouse = MustParse(BootMouse()).collections.at(0);
    const std::vector<uint8_t> good = {0x00, 0x01, 0x00, 0x00, 0x00};
    std::vector<uint16_t> usages = {99};
    uint32_t raw = 0;
    int32_t scaled = 0;

    struct Case {
        const char* name;
        std::vector<uint8_t> report;
        ReportType type;
        uint16_t page;
        uint32_t usagesStatus;
        uint32_t valueStatus;  // for X on page 1
    };
    const Case cases[] = {
        {"good", good, ReportType::Input, 0x09, kStatusSuccess, kStatusSuccess},
        {"wrong report id", {0x01, 0x01, 0x00, 0x00, 0x00}, ReportType::Input, 0x09, kStatusIncompatibleReportId,
         kStatusIncompatibleReportId},
        {"short report", {0x00, 0x01, 0x00, 0x00}, ReportType::Input, 0x09, kStatusInvalidReportLength,
         kStatusInvalidReportLength},
        {"empty report", {}, ReportType::Input, 0x09, kStatusInvalidReportLength, kStatusInvalidReportLength},
        {"page not in report", good, ReportType::Input, 0x07, kStatusUsageNotFound, kStatusSuccess},
        {"type without caps", good, ReportType::Feature, 0x09, kStatusUsageNotFound, kStatusUsageNotFound},
        {"bad type", good, static_cast<ReportType>(3), 0x09, kStatusInvalidReportType, kStatusInvalidReportType},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(GetUsages(mouse, k.type, k.page, k.report, usages), k.usagesStatus);
        if (k.usagesStatus != kStatusSuccess) { EXPECT_THAT(usages, IsEmpty()); }
        EXPECT_EQ(GetUsageValue(mouse, k.type, 0x01, 0x30, k.report, raw), k.valueStatus);
        EXPECT_EQ(GetScaledUsageValue(mouse, k.type, 0x01, 0x30, k.report, scaled), k.valueStatus);
    }
    EXPECT_EQ(GetUsageValue(mouse, ReportType::Input, 0x01, 0x32, good, raw), kStatusUsageNotFound);
    EXPECT_EQ(MaxUsageListLength(mouse, static_cast<ReportType>(3), 0x09), 0u);
}

TEST(HidDescriptorDecode, CompositeReports) {
    const ReportDescriptor d = MustParse(Composite());
    const Collection& keyboard = d.collections[0];
    const Collection& system = d.collections[1];
    const Collection& consumer = d.collections[2];
    const Collection& vendor = d.collections[3];
    std::vector<uint16_t> usages;

    ASSERT_EQ(GetUsages(consumer, ReportType::Input, 0x0C, std::vector<uint8_t>{0x03, 0x01, 0x04}, usages),
              kStatusSuccess);
    EXPECT_THAT(usages, ElementsAre(0x0401));
    ASSERT_EQ(GetUsages(consumer, ReportType::Input, 0x0C, std::vector<uint8_t>{0x03, 0x00, 0x00}, usages),
              kStatusSuccess);
    EXPECT_THAT(usages, IsEmpty());
    // 0x0700 is past Logical Maximum 0x06FF.
    ASSERT_EQ(GetUsages(consumer, ReportType::Input, 0x0C, std::vector<uint8_t>{0x03, 0x00, 0x07}, usages),
              kStatusSuccess);
    EXPECT_THAT(usages, IsEmpty());
    EXPECT_EQ(MaxUsageListLength(consumer, ReportType::Input, 0x0C), 1u);

    // Left Shift and Right Shift held, keys A and Z in two slots, the rest empty.
    const std::vector<uint8_t> keys = {0x01, 0x22, 0x00, 0x04, 0x00, 0x1D, 0x00, 0x00, 0x00};
    ASSERT_EQ(GetUsages(keyboard, ReportType::Input, 0x07, keys, usages), kStatusSuccess);
    EXPECT_THAT(usages, ElementsAre(0xE1, 0xE5, 0x04, 0x1D));
    EXPECT_EQ(MaxUsageListLength(keyboard, ReportType::Input, 0x07), 8u + 6u);
    EXPECT_EQ(GetUsages(keyboard, ReportType::Input, 0x07, std::vector<uint8_t>{0x03, 0x01, 0x04}, usages),
              kStatusIncompatibleReportId);
    EXPECT_EQ(GetUsages(keyboard, ReportType::Input, 0x07, std::vector<uint8_t>(keys.begin(), keys.end() - 1), usages),
              kStatusInvalidReportLength);
    // The LED output report: Num Lock and Scroll Lock.
    ASSERT_EQ(GetUsages(keyboard, ReportType::Output, 0x08, std::vector<uint8_t>{0x01, 0x05}, usages),
              kStatusSuccess);
    EXPECT_THAT(usages, ElementsAre(1, 3));

    // The array's values index the listed usages in order: 2 is the second, 0x81.
    ASSERT_EQ(GetUsages(system, ReportType::Input, 0x01, std::vector<uint8_t>{0x02, 0x02}, usages), kStatusSuccess);
    EXPECT_THAT(usages, ElementsAre(0x81));
    ASSERT_EQ(GetUsages(system, ReportType::Input, 0x01, std::vector<uint8_t>{0x02, 0x03}, usages), kStatusSuccess);
    EXPECT_THAT(usages, ElementsAre(0x83));
    // Padding bits above the field do not leak in.
    ASSERT_EQ(GetUsages(system, ReportType::Input, 0x01, std::vector<uint8_t>{0x02, 0xFC}, usages), kStatusSuccess);
    EXPECT_THAT(usages, IsEmpty());

    std::vector<uint8_t> out(64, 0);
    out[0] = 0x04;
    out[1] = 0xAB;
    out[63] = 0xCD;
    uint32_t raw = 0;
    ASSERT_EQ(GetUsageValue(vendor, ReportType::Output, 0xFF1C, 0x02, out, raw), kStatusSuccess);
    EXPECT_EQ(raw, 0xABu);
    EXPECT_EQ(GetUsageValue(vendor, ReportType::Input, 0xFF1C, 0x02, out, raw), kStatusUsageNotFound);
    EXPECT_EQ(GetUsageValue(vendor, ReportType::Output, 0xFF1C, 0x02, std::span(out).first(63), raw),
              kStatusInvalidReportLength);
}

TEST(HidDescriptorDecode, ScaledValues) {
    Desc d;
    d.UsagePage(0x01).Usage(0x04).Collection(1);
    // 1: 0..255 onto 0..1000
    d.Usage(0x30).LogicalMin(0).LogicalMax(255).PhysicalMin(0).PhysicalMax(1000).ReportSize(8).ReportCount(1);
    d.Input(kVar);
    // 2: hat switch 1..8 with a null state; 3: the same without
    d.Usage(0x39).LogicalMin(1).LogicalMax(8).PhysicalMin(0).PhysicalMax(315).ReportSize(4).Input(kVar | kNull);
    d.Usage(0x3A).Input(kVar);
    // 4: broken bounds
    d.Usage(0x31).LogicalMin(5).LogicalMax(5).PhysicalMin(0).PhysicalMax(0).ReportSize(8).Input(kVar);
    // 5: full 32-bit ranges both sides, where the product leaves 64 bits
    d.Usage(0x32).LogicalMin(std::numeric_limits<int32_t>::min()).LogicalMax(std::numeric_limits<int32_t>::max());
    d.PhysicalMin(std::numeric_limits<int32_t>::min()).PhysicalMax(std::numeric_limits<int32_t>::max());
    d.ReportSize(32).Input(kVar);
    // 6: physical bounds equal: the logical value is returned
    d.Usage(0x33).LogicalMin(-100).LogicalMax(100).PhysicalMin(0).PhysicalMax(0).ReportSize(8).Input(kVar);
    // 7: a field wider than 32 bits
    d.Usage(0x34).LogicalMin(0).LogicalMax(1).ReportSize(40).Input(kVar);
    d.End();
    const Collection c = MustParse(d.bytes).collections.at(0);

    auto scaled = [&](uint16_t usage, std::vector<uint8_t> report, int32_t& v) {
        report.resize(c.caps.inputReportByteLength, 0);
        return GetScaledUsageValue(c, ReportType::Input, 0x01, usage, report, v);
    };
    int32_t v = 0;
    ASSERT_EQ(scaled(0x30, {0, 128}, v), kStatusSuccess);
    EXPECT_EQ(v, 501);  // 128 * 1000 / 255
    ASSERT_EQ(scaled(0x30, {0, 255}, v), kStatusSuccess);
    EXPECT_EQ(v, 1000);
    ASSERT_EQ(scaled(0x39, {0, 0, 0x03}, v), kStatusSuccess);
    EXPECT_EQ(v, 90);  // (3 - 1) * 315 / 7
    EXPECT_EQ(scaled(0x39, {0, 0, 0x00}, v), kStatusNull);
    EXPECT_EQ(scaled(0x3A, {0, 0, 0x90}, v), kStatusValueOutOfRange);
    ASSERT_EQ(scaled(0x3A, {0, 0, 0x80}, v), kStatusSuccess);
    EXPECT_EQ(v, 315);
    EXPECT_EQ(scaled(0x31, {0, 0, 0, 5}, v), kStatusBadLogPhyValues);

    ASSERT_EQ(scaled(0x32, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}, v), kStatusSuccess);
    EXPECT_EQ(v, std::numeric_limits<int32_t>::max());
    ASSERT_EQ(scaled(0x32, {0, 0, 0, 0, 0x00, 0x00, 0x00, 0x80}, v), kStatusSuccess);
    EXPECT_EQ(v, std::numeric_limits<int32_t>::min());
    ASSERT_EQ(scaled(0x32, {0, 0, 0, 0, 0x00, 0x00, 0x00, 0x00}, v), kStatusSuccess);
    EXPECT_EQ(v, 0);

    ASSERT_EQ(scaled(0x33, {0, 0, 0, 0, 0, 0, 0, 0, 0xF6}, v), kStatusSuccess);
    EXPECT_EQ(v, -10);

    uint32_t raw = 0;
    EXPECT_EQ(GetUsageValue(c, ReportType::Input, 0x01, 0x34,
                            std::vector<uint8_t>(c.caps.inputReportByteLength, 0), raw),
              kStatusBufferTooSmall);
}

// ---- real descriptors ---------------------------------------------------------

std::filesystem::path CorpusDir() { return std::filesystem::path(NURAK_TESTDATA_DIR) / "hid-descriptors"; }

std::vector<uint8_t> ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename Caps>
void CheckCaps(const Collection& c, int t, const std::vector<Caps>& caps, uint16_t length, uint16_t indices) {
    for (const Caps& k : caps) {
        EXPECT_LE(k.usageMin, k.usageMax);
        EXPECT_LE(k.dataIndexMin, k.dataIndexMax);
        EXPECT_TRUE(k.dataIndexMax < indices || indices == 0xFFFF) << k.dataIndexMax << " of " << indices;
        EXPECT_LT(k.linkCollection, c.caps.numberLinkCollectionNodes);
        EXPECT_EQ(k.reportId, k.field.reportId);
        EXPECT_GE(k.field.bitSize, 1);
        EXPECT_GE(k.field.reportCount, 1);
        // The field lies inside the report, after the id byte.
        const uint64_t end = k.field.bitOffset + uint64_t{k.field.bitSize} * k.field.reportCount;
        EXPECT_LE(end + 8, uint64_t{length} * 8) << "type " << t;
        if (c.usesReportIds) {
            EXPECT_TRUE(std::binary_search(c.reportIds.begin(), c.reportIds.end(), k.reportId));
        } else {
            EXPECT_EQ(k.reportId, 0);
        }
    }
}

TEST(HidDescriptorCorpus, EveryDescriptorParsesAndHoldsTogether) {
    if (!std::filesystem::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
    for (const auto& entry : std::filesystem::directory_iterator(CorpusDir())) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::vector<uint8_t> bytes = ReadFile(entry.path());
        ReportDescriptor d;
        std::string error;
        const bool ok = ParseReportDescriptor(bytes, d, &error);
        if (bytes.empty()) {
            EXPECT_FALSE(ok);
            EXPECT_THAT(error, HasSubstr("empty"));
            continue;
        }
        // These are all descriptors of working devices.
        ASSERT_TRUE(ok) << error;
        ASSERT_FALSE(d.collections.empty());
        for (size_t i = 0; i < d.collections.size(); ++i) {
            const Collection& c = d.collections[i];
            SCOPED_TRACE(i);
            EXPECT_EQ(c.index, static_cast<int>(i + 1));
            EXPECT_EQ(c.usesReportIds, d.usesReportIds);
            EXPECT_TRUE(std::adjacent_find(c.reportIds.begin(), c.reportIds.end(), std::greater_equal<>()) ==
                        c.reportIds.end());
            if (!d.usesReportIds) { EXPECT_THAT(c.reportIds, IsEmpty()); }
            EXPECT_GE(c.caps.numberLinkCollectionNodes, 1);
            const uint16_t lengths[] = {c.caps.inputReportByteLength, c.caps.outputReportByteLength,
                                        c.caps.featureReportByteLength};
            const uint16_t buttons[] = {c.caps.numberInputButtonCaps, c.caps.numberOutputButtonCaps,
                                        c.caps.numberFeatureButtonCaps};
            const uint16_t values[] = {c.caps.numberInputValueCaps, c.caps.numberOutputValueCaps,
                                       c.caps.numberFeatureValueCaps};
            const uint16_t indices[] = {c.caps.numberInputDataIndices, c.caps.numberOutputDataIndices,
                                        c.caps.numberFeatureDataIndices};
            for (int t = 0; t < kReportTypeCount; ++t) {
                EXPECT_TRUE(lengths[t] == 0 || lengths[t] >= 2) << lengths[t];
                EXPECT_EQ(buttons[t], c.buttonCaps[t].size());
                EXPECT_EQ(values[t], c.valueCaps[t].size());
                CheckCaps(c, t, c.buttonCaps[t], lengths[t], indices[t]);
                CheckCaps(c, t, c.valueCaps[t], lengths[t], indices[t]);
                if (lengths[t] == 0) continue;

                // An all-zero report of each id decodes: no button on, every value readable.
                const auto type = static_cast<ReportType>(t);
                std::vector<uint8_t> report(lengths[t], 0);
                for (const ButtonCaps& b : c.buttonCaps[t]) {
                    report[0] = b.reportId;
                    std::vector<uint16_t> usages;
                    EXPECT_EQ(GetUsages(c, type, b.usagePage, report, usages), kStatusSuccess);
                    EXPECT_THAT(usages, IsEmpty());
                }
                for (const ValueCaps& v : c.valueCaps[t]) {
                    report[0] = v.reportId;
                    uint32_t raw = 1;
                    const uint32_t status = GetUsageValue(c, type, v.usagePage, v.usageMin, report, raw);
                    // Fields over 32 bits need the array call Windows has for them.
                    EXPECT_TRUE(status == kStatusSuccess || status == kStatusBufferTooSmall) << std::hex << status;
                    if (status == kStatusSuccess) { EXPECT_EQ(raw, 0u); }
                }
            }
        }
    }
}

struct KnownCollection {
    uint16_t page, usage;
    std::vector<uint8_t> ids;
    uint16_t in, out, feature;
    uint16_t nodes;
};

void ExpectCollections(const char* file, const std::vector<KnownCollection>& want, ReportDescriptor& d) {
    const std::filesystem::path p = CorpusDir() / file;
    ASSERT_TRUE(std::filesystem::exists(p)) << p;
    d = MustParse(ReadFile(p));
    ASSERT_EQ(d.collections.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        const Collection& c = d.collections[i];
        EXPECT_EQ(c.usagePage, want[i].page);
        EXPECT_EQ(c.usage, want[i].usage);
        EXPECT_EQ(c.reportIds, want[i].ids);
        EXPECT_EQ(c.caps.inputReportByteLength, want[i].in);
        EXPECT_EQ(c.caps.outputReportByteLength, want[i].out);
        EXPECT_EQ(c.caps.featureReportByteLength, want[i].feature);
        EXPECT_EQ(c.caps.numberLinkCollectionNodes, want[i].nodes);
    }
}

TEST(HidDescriptorCorpus, HandCheckedDescriptors) {
    if (!std::filesystem::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
    ReportDescriptor d;

    // A plain wheel mouse without ids: 3 buttons in 8 bits, then X, Y, wheel.
    ExpectCollections("libinput-issue696-0003-046D-C077-0.rdesc", {{0x01, 0x02, {}, 5, 0, 0, 2}}, d);
    if (!d.collections.empty()) {
        const Collection& c = d.collections[0];
        ASSERT_EQ(c.Buttons(ReportType::Input).size(), 1u);
        EXPECT_EQ(c.Buttons(ReportType::Input)[0].usageMax, 3);
        EXPECT_EQ(c.Buttons(ReportType::Input)[0].field.reportCount, 8);
        ASSERT_EQ(c.Values(ReportType::Input).size(), 3u);
        EXPECT_EQ(c.Values(ReportType::Input)[2].usageMin, 0x38);
        EXPECT_EQ(c.Values(ReportType::Input)[2].field.bitOffset, 24u);
    }

    // A tablet's vendor collection, a Logical collection at the top, with two
    // 63-byte input reports of padding only.
    ExpectCollections("0003-056A-00DE.0002.hid.bin", {{0xFF00, 0x80, {2, 3}, 64, 0, 0, 1}}, d);
    if (!d.collections.empty()) {
        EXPECT_THAT(d.collections[0].Buttons(ReportType::Input), IsEmpty());
        EXPECT_THAT(d.collections[0].Values(ReportType::Input), IsEmpty());
    }

    // Mouse (id 3, with AC Pan), consumer (id 1, 16-bit array), system control (id 2).
    ExpectCollections("libinput-issue735-0003-0566-3027-0.rdesc",
                      {{0x01, 0x02, {3}, 6, 0, 0, 2}, {0x0C, 0x01, {1}, 3, 0, 0, 1}, {0x01, 0x80, {2}, 2, 0, 0, 1}},
                      d);
    if (d.collections.size() == 3) {
        const std::vector<ValueCaps>& v = d.collections[0].Values(ReportType::Input);
        ASSERT_EQ(v.size(), 4u);
        EXPECT_EQ(v[3].usagePage, 0x0C);
        EXPECT_EQ(v[3].usageMin, 0x238);
        EXPECT_EQ(v[3].linkCollection, 1);
        std::vector<uint16_t> usages;
        ASSERT_EQ(GetUsages(d.collections[1], ReportType::Input, 0x0C, std::vector<uint8_t>{0x01, 0xE9, 0x00}, usages),
                  kStatusSuccess);
        EXPECT_THAT(usages, ElementsAre(0xE9));
    }

    // Keyboard with LEDs (id 1), consumer (id 3, two 16-bit slots), system
    // control over a usage list (id 4).
    ExpectCollections("libinput-issue852-0003-046D-C091-1.rdesc",
                      {{0x01, 0x06, {1}, 9, 2, 0, 1}, {0x0C, 0x01, {3}, 5, 0, 0, 1}, {0x01, 0x80, {4}, 2, 0, 0, 1}},
                      d);
    if (d.collections.size() == 3) {
        std::vector<uint16_t> usages;
        const std::vector<uint8_t> keys = {0x01, 0x02, 0x00, 0x04, 0x05, 0x00, 0x00, 0x00, 0x00};
        ASSERT_EQ(GetUsages(d.collections[0], ReportType::Input, 0x07, keys, usages), kStatusSuccess);
        EXPECT_THAT(usages, ElementsAre(0xE1, 0x04, 0x05));
        ASSERT_EQ(GetUsages(d.collections[2], ReportType::Input, 0x01, std::vector<uint8_t>{0x04, 0x02}, usages),
                  kStatusSuccess);
        EXPECT_THAT(usages, ElementsAre(0x81));
        ASSERT_EQ(GetUsages(d.collections[1], ReportType::Input, 0x0C,
                            std::vector<uint8_t>{0x03, 0xE9, 0x00, 0xEA, 0x00}, usages),
                  kStatusSuccess);
        EXPECT_THAT(usages, ElementsAre(0xE9, 0xEA));
    }
}

}  // namespace
}  // namespace nurak::hid

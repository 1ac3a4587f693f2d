#include "emulator/descriptors.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace nurak::emu {
namespace {

// Just enough of a report descriptor walker to check what a host would see:
// top-level collections with their report ids, and report bits per id.
struct Walk {
    struct Top {
        uint16_t page;
        uint16_t usage;
        std::vector<int> ids;
    };
    std::vector<Top> tops;
    std::map<int, int> inputBits;
    std::map<int, int> outputBits;
    int finalDepth = 0;
    bool wellFormed = true;
};

Walk WalkDescriptor(const std::vector<uint8_t>& d) {
    Walk w;
    uint32_t page = 0, reportSize = 0, reportCount = 0;
    int reportId = 0;
    int depth = 0;
    uint32_t firstUsage = 0;  // 0: none seen since the last main item
    size_t i = 0;
    while (i < d.size()) {
        const uint8_t prefix = d[i++];
        if (prefix == 0xFE) {  // long item
            w.wellFormed = false;
            break;
        }
        const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (i + size > d.size()) {
            w.wellFormed = false;
            break;
        }
        uint32_t value = 0;
        for (size_t k = 0; k < size; ++k) value |= static_cast<uint32_t>(d[i + k]) << (8 * k);
        i += size;
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        if (type == 0) {  // main
            if (tag == 0x8) w.inputBits[reportId] += static_cast<int>(reportSize * reportCount);
            if (tag == 0x9) w.outputBits[reportId] += static_cast<int>(reportSize * reportCount);
            if (tag == 0xA) {
                if (depth == 0) {
                    uint32_t u = firstUsage;
                    uint16_t p = u > 0xFFFF ? static_cast<uint16_t>(u >> 16) : static_cast<uint16_t>(page);
                    w.tops.push_back({p, static_cast<uint16_t>(u & 0xFFFF), {}});
                }
                ++depth;
            }
            if (tag == 0xC && --depth < 0) w.wellFormed = false;
            firstUsage = 0;
        } else if (type == 1) {  // global
            if (tag == 0) page = value;
            if (tag == 7) reportSize = value;
            if (tag == 8) {
                reportId = static_cast<int>(value);
                if (!w.tops.empty()) w.tops.back().ids.push_back(reportId);
            }
            if (tag == 9) reportCount = value;
        } else if (type == 2) {  // local
            if (tag == 0 && firstUsage == 0) firstUsage = size == 4 ? value : value & 0xFFFF;
        }
    }
    w.finalDepth = depth;
    return w;
}

using TopList = std::vector<std::pair<uint16_t, uint16_t>>;

TopList TopsOf(const Walk& w) {
    TopList out;
    for (const auto& t : w.tops) out.emplace_back(t.page, t.usage);
    return out;
}

TEST(Descriptors, VendorInterfaceHasTheFourCollectionsInOrder) {
    for (Model m : {Model::Mouse, Model::Mouse3389, Model::Keyboard, Model::Mousepad}) {
        SCOPED_TRACE(std::string(ModelName(m)));
        const Walk w = WalkDescriptor(DescriptorFor(m, 1));
        ASSERT_TRUE(w.wellFormed);
        EXPECT_EQ(w.finalDepth, 0);
        EXPECT_EQ(TopsOf(w), (TopList{{0x01, 0x06}, {0x01, 0x80}, {0x0C, 0x01}, {0xFF1C, 0x92}}));
        ASSERT_EQ(w.tops.size(), 4u);
        for (int c = 0; c < 4; ++c) EXPECT_EQ(w.tops[c].ids, std::vector<int>{c + 1});
        // 63 data bytes each way behind the id: 64-byte command reports.
        EXPECT_EQ(w.inputBits.at(4), 63 * 8);
        EXPECT_EQ(w.outputBits.at(4), 63 * 8);
        // One 16-bit usage slot for the notifications.
        EXPECT_EQ(w.inputBits.at(3), 16);
        EXPECT_EQ(w.inputBits.count(0), 0u) << "every report of the interface carries an id";
    }
}

TEST(Descriptors, BootInterfacesHaveOneCollectionWithoutIds) {
    struct Case {
        Model model;
        std::pair<uint16_t, uint16_t> top;
        int inputBits;
        int outputBits;
    };
    const Case cases[] = {
        {Model::Mouse, {0x01, 0x02}, 32, 0},
        {Model::Mouse3389, {0x01, 0x02}, 32, 0},
        {Model::Keyboard, {0x01, 0x06}, 64, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(ModelName(c.model)));
        const Walk w = WalkDescriptor(DescriptorFor(c.model, 0));
        ASSERT_TRUE(w.wellFormed);
        EXPECT_EQ(w.finalDepth, 0);
        EXPECT_EQ(TopsOf(w), TopList{c.top});
        EXPECT_TRUE(w.tops[0].ids.empty());
        EXPECT_EQ(w.inputBits.count(0) ? w.inputBits.at(0) : 0, c.inputBits);
        EXPECT_EQ(w.outputBits.count(0) ? w.outputBits.at(0) : 0, c.outputBits);
    }
}

TEST(Descriptors, HeadsetCarriesCommandReportsInAConsumerCollection) {
    const Walk w = WalkDescriptor(DescriptorFor(Model::Headset, 3));
    ASSERT_TRUE(w.wellFormed);
    EXPECT_EQ(w.finalDepth, 0);
    EXPECT_EQ(TopsOf(w), (TopList{{0x0C, 0x01}}));
    EXPECT_EQ(w.tops[0].ids, std::vector<int>{4});
    EXPECT_EQ(w.inputBits.at(4), 63 * 8);
    EXPECT_EQ(w.outputBits.at(4), 63 * 8);
}

TEST(Descriptors, InterfacesAModelLacksAreEmpty) {
    EXPECT_TRUE(DescriptorFor(Model::Mousepad, 0).empty());
    EXPECT_TRUE(DescriptorFor(Model::Headset, 0).empty());
    EXPECT_TRUE(DescriptorFor(Model::Headset, 1).empty());
    EXPECT_TRUE(DescriptorFor(Model::Mouse, 2).empty());
    EXPECT_TRUE(DescriptorFor(Model::Mouse, 3).empty());
}

TEST(Descriptors, EveryInterfaceOfTheModelTableHasADescriptor) {
    for (Model m : kAllModels) {
        for (int iface : InfoFor(m).interfaces) {
            EXPECT_FALSE(DescriptorFor(m, iface).empty()) << ModelName(m) << " interface " << iface;
        }
    }
}

}  // namespace
}  // namespace nurak::emu

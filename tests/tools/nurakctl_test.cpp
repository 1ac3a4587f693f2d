// nurakctl run as its own process against virtual devices served by this one.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/firmware.h"
#include "emulator/virtual_hid.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/virtual_paths.h"

namespace nurak::emu {
namespace {

using nurak::testing::RunResult;

RunResult RunCtl(const std::vector<std::string>& args) {
    return nurak::testing::RunProgram(NURAK_CTL_PROGRAM, args);
}

std::string Hex(std::span<const uint8_t> bytes) {
    std::string s;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        s += buf;
    }
    return s;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t eol; (eol = text.find('\n', start)) != std::string::npos; start = eol + 1)
        lines.push_back(text.substr(start, eol - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// The 64 bytes printed in the two hex lines that follow the line `title`;
// empty when the title is missing or the lines do not hold 32 bytes each.
std::vector<uint8_t> HexBlockAfter(const std::string& text, const std::string& title) {
    const auto lines = Lines(text);
    const auto it = std::find(lines.begin(), lines.end(), title);
    if (it == lines.end() || lines.end() - it < 3) return {};
    std::vector<uint8_t> bytes;
    for (int l = 1; l <= 2; ++l) {
        std::string digits;
        for (char c : *(it + l)) {
            if (c == ' ') continue;
            if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
            digits += c;
        }
        if (digits.size() != 64) return {};
        for (size_t i = 0; i < digits.size(); i += 2)
            bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<uint8_t> ToVector(const Report& r) { return {r.begin(), r.end()}; }

// A failure as the program must report it: the exit code and one line on
// stderr that says what went wrong.
void ExpectOneLineError(const RunResult& r, int exitCode, std::string_view mentions) {
    EXPECT_EQ(r.exitCode, exitCode) << r.err;
    EXPECT_TRUE(r.err.starts_with("nurakctl: ")) << r.err;
    EXPECT_TRUE(r.err.ends_with("\n")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(mentions), std::string::npos) << "stderr: " << r.err << "\nwanted: " << mentions;
}

class NurakctlTest : public ::testing::Test {
  protected:
    NurakctlTest() : emu_(dir_.path()) {}

    VirtualDevice& Add(Model model, const DeviceOptions& options = {}) { return emu_.Add(model, options); }

    // Runs the program on this test's root.
    RunResult Ctl(std::vector<std::string> args) {
        args.insert(args.begin(), {"--hid-root", dir_.path().string()});
        return RunCtl(args);
    }

    // The interface path the listing gives a collection.
    static std::string PathOf(const emu::VirtualDevice& d, int interfaceNumber, int collection) {
        return nurak::testing::VirtualInterfacePath(d, interfaceNumber, collection);
    }
    static std::string CommandPath(const emu::VirtualDevice& d) { return nurak::testing::VirtualCommandPath(d); }

    static std::array<uint8_t, kInfoSize> InfoOf(VirtualDevice& d) {
        std::array<uint8_t, kInfoSize> record{};
        d.WithFirmware([&](Firmware& f) { std::copy(f.info().begin(), f.info().end(), record.begin()); });
        return record;
    }

    nurak::testing::TempDir dir_{"nurakctl-test"};
    VirtualHidRoot emu_;
};

// ---- list -------------------------------------------------------------

// The object of one listed path, braces included; empty when absent.
std::string ListEntry(const std::string& json, const std::string& path) {
    const std::string key = "{\"path\":\"" + path + "\"";
    const size_t at = json.find(key);
    if (at == std::string::npos) return {};
    const size_t end = json.find('}', at);
    return end == std::string::npos ? std::string() : json.substr(at, end - at + 1);
}

TEST_F(NurakctlTest, ListJsonDescribesEveryInterfacePath) {
    auto& mouse = Add(Model::Mouse);
    auto& keyboard = Add(Model::Keyboard);
    const auto r = Ctl({"list", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_TRUE(r.out.starts_with("{\"interfaces\":[")) << r.out;
    ASSERT_TRUE(r.out.ends_with("]}\n")) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);

    struct Case {
        std::string path;
        std::string rest;  // the entry after its path
    };
    const Case cases[] = {
        {CommandPath(mouse),
         ",\"vendor_id\":3141,\"product_id\":30275,\"interface\":1,\"collection\":4,\"usage_page\":65308,"
         "\"usage\":146,\"input_len\":64,\"output_len\":64,\"feature_len\":0,\"version\":261,\"row\":2,"
         "\"kind\":\"mouse\",\"role\":\"command\"}"},
        {PathOf(keyboard, 1, 3),
         ",\"vendor_id\":0,\"product_id\":0,\"interface\":1,\"collection\":3,\"usage_page\":12,\"usage\":1,"
         "\"input_len\":3,\"output_len\":0,\"feature_len\":0,\"version\":261,\"row\":1,\"kind\":\"keyboard\","
         "\"role\":\"notification\"}"},
        {PathOf(mouse, 0, 0),
         ",\"vendor_id\":3141,\"product_id\":30275,\"interface\":0,\"collection\":0,\"usage_page\":1,\"usage\":2,"
         "\"input_len\":5,\"output_len\":0,\"feature_len\":0,\"version\":261,\"row\":null}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListEntry(r.out, c.path), "{\"path\":\"" + c.path + "\"" + c.rest) << c.path;

    // Every collection of both devices once, and nothing else.
    std::set<std::string> expected;
    for (auto* d : {&mouse, &keyboard}) {
        expected.insert(PathOf(*d, 0, 0));
        for (int col = 1; col <= 4; ++col) expected.insert(PathOf(*d, 1, col));
    }
    std::multiset<std::string> listed;
    const std::string key = "{\"path\":\"";
    for (size_t at = r.out.find(key); at != std::string::npos; at = r.out.find(key, at + 1)) {
        const size_t start = at + key.size();
        listed.insert(r.out.substr(start, r.out.find('"', start) - start));
    }
    EXPECT_EQ(listed, std::multiset<std::string>(expected.begin(), expected.end()));
}

TEST_F(NurakctlTest, ListTextNamesTheSupportedRow) {
    auto& mouse = Add(Model::Mouse);
    auto& keyboard = Add(Model::Keyboard);
    const auto r = Ctl({"list"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);

    struct Case {
        std::string path;
        std::string supported;  // empty: the path is listed without a row
    };
    const Case cases[] = {
        {CommandPath(mouse), "  supported: row 2, mouse command interface"},
        {PathOf(mouse, 1, 3), "  supported: row 3, mouse notification interface"},
        {CommandPath(keyboard), "  supported: row 0, keyboard command interface"},
        {PathOf(mouse, 0, 0), ""},
        {PathOf(keyboard, 1, 1), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto it = std::find(lines.begin(), lines.end(), c.path);
        ASSERT_NE(it, lines.end()) << r.out;
        // The path's block: the indented lines under it.
        std::vector<std::string> block;
        for (auto l = it + 1; l != lines.end() && l->starts_with("  "); ++l) block.push_back(*l);
        ASSERT_FALSE(block.empty());
        EXPECT_TRUE(block[0].starts_with("  vid ")) << block[0];
        if (c.supported.empty()) {
            EXPECT_EQ(block.size(), 1u) << block.back();
        } else {
            ASSERT_EQ(block.size(), 2u);
            EXPECT_EQ(block[1], c.supported);
        }
    }
}

TEST_F(NurakctlTest, ListOfAnEmptyRootSucceeds) {
    const auto text = Ctl({"list"});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out, "no HID interfaces found\n");
    EXPECT_EQ(text.err, "");
    const auto json = Ctl({"list", "--json"});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out, "{\"interfaces\":[]}\n");
}

// ---- info -------------------------------------------------------------

// Fills a device's information record so that every field, and the bytes
// between them, differ from the factory record.
void SetInfo(VirtualDevice& d, uint8_t seed) {
    d.WithFirmware([&](Firmware& f) {
        auto info = f.info();
        for (size_t i = 0; i < info.size(); ++i) info[i] = static_cast<uint8_t>(seed + 7 * i);
    });
}

std::string InfoJson(const std::string& path, const std::array<uint8_t, kInfoSize>& r) {
    return "{\"path\":\"" + path + "\",\"keys\":" + std::to_string(r[5]) +
           ",\"memory_bytes\":" + std::to_string(r[6] * 128) + ",\"sensor\":" + std::to_string(r[9] | r[10] << 8) +
           ",\"dpi_step\":" + std::to_string(r[11]) + ",\"slider_max\":" + std::to_string(r[12] | r[13] << 8) +
           ",\"dpi_min\":" + std::to_string(r[14] | r[15] << 8) + ",\"raw\":\"" + Hex(r) + "\"}\n";
}

TEST_F(NurakctlTest, InfoJsonReportsTheFirstMouseRecord) {
    // A keyboard comes first: its command interface must not be taken for a mouse's.
    Add(Model::Keyboard);
    auto& mouse = Add(Model::Mouse);
    auto& other = Add(Model::Mouse3389);
    SetInfo(mouse, 0xB1);
    SetInfo(other, 0x12);
    const auto record = InfoOf(mouse);
    // 219 units: the byte count does not fit the unit byte.
    ASSERT_EQ(record[6], 0xDB);

    const auto r = Ctl({"info", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, InfoJson(CommandPath(mouse), record));
    // The sequence is closed again, and the other mouse was left alone.
    mouse.WithFirmware([](Firmware& f) {
        EXPECT_EQ(f.beginCount(), 1u);
        EXPECT_EQ(f.endCount(), 1u);
        EXPECT_FALSE(f.inSequence());
    });
    other.WithFirmware([](Firmware& f) { EXPECT_EQ(f.requestCount(), 0u); });
}

TEST_F(NurakctlTest, InfoWithPathReadsThatDevice) {
    auto& mouse = Add(Model::Mouse);
    auto& other = Add(Model::Mouse3389);
    SetInfo(mouse, 0x40);
    other.WithFirmware([](Firmware& f) {
        auto info = f.info();
        info[5] = 6;
        info[6] = 0x20;  // 4096 bytes
        info[9] = 0x89;
        info[10] = 0x33;
        info[11] = 50;
        info[12] = 0xF4;
        info[13] = 0x01;
        info[14] = 0x64;
        info[15] = 0x00;
    });
    const std::string path = CommandPath(other);

    const auto json = Ctl({"info", "--json", path});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out, InfoJson(path, InfoOf(other)));
    mouse.WithFirmware([](Firmware& f) { EXPECT_EQ(f.requestCount(), 0u); });

    const auto text = Ctl({"info", path});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    const auto lines = Lines(text.out);
    for (const std::string& want : {"path          " + path, std::string("keys          6"),
                                   std::string("memory bytes  4096"), std::string("sensor        0x3389"),
                                   std::string("DPI step      50"), std::string("slider max    500"),
                                   std::string("DPI minimum   100"), "record        " + Hex(InfoOf(other))})
        EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end()) << want << "\n" << text.out;
}

TEST_F(NurakctlTest, InfoWithoutSupportedMouseFails) {
    struct Case {
        const char* name;
        std::vector<Model> models;
        std::optional<uint16_t> productId;
    };
    const Case cases[] = {
        {"empty root", {}, std::nullopt},
        {"keyboard and mousepad", {Model::Keyboard, Model::Mousepad}, std::nullopt},
        {"headset", {Model::Headset}, std::nullopt},
        {"mouse of an unknown product", {Model::Mouse}, 0x1234},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        nurak::testing::TempDir dir("nurakctl-test");
        VirtualHidRoot root(dir.path());
        DeviceOptions options;
        options.productId = c.productId;
        for (Model m : c.models) root.Add(m, options);
        const auto r = RunCtl({"--hid-root", dir.path().string(), "info", "--json"});
        ExpectOneLineError(r, 1, "no supported mouse");
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(NurakctlTest, InfoReportsDeviceFaults) {
    struct Case {
        FaultRule fault;
        const char* mentions;
    };
    const Case cases[] = {
        {{FaultKind::StatusFF, command::kReadInfo, -1, 0}, "read device information: the device refused the command (status 0xff)"},
        {{FaultKind::StatusFE, command::kReadInfo, -1, 0}, "(status 0xfe)"},
        {{FaultKind::NoReply, command::kReadInfo, -1, 0}, "read device information: the device did not reply (timeout)"},
        {{FaultKind::StatusFF, command::kBegin, -1, 0}, "begin: the device refused the command (status 0xff)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mentions);
        nurak::testing::TempDir dir("nurakctl-test");
        VirtualHidRoot root(dir.path());
        auto& mouse = root.Add(Model::Mouse);
        mouse.AddFault(c.fault);
        const auto r = RunCtl({"--hid-root", dir.path().string(), "info", "--json"});
        ExpectOneLineError(r, 1, c.mentions);
        EXPECT_EQ(r.out, "");
        // A failed read still closes the sequence it opened.
        mouse.WithFirmware([](nurak::emu::Firmware& f) { EXPECT_FALSE(f.inSequence()); });
    }
}

// ---- descriptor -------------------------------------------------------

constexpr const char* kVendorCollections[] = {
    "{\"index\":1,\"usage_page\":1,\"usage\":6,\"report_ids\":[1],\"input_len\":9,\"output_len\":2,\"feature_len\":0}",
    "{\"index\":2,\"usage_page\":1,\"usage\":128,\"report_ids\":[2],\"input_len\":2,\"output_len\":0,\"feature_len\":0}",
    "{\"index\":3,\"usage_page\":12,\"usage\":1,\"report_ids\":[3],\"input_len\":3,\"output_len\":0,\"feature_len\":0}",
    "{\"index\":4,\"usage_page\":65308,\"usage\":146,\"report_ids\":[4],\"input_len\":64,\"output_len\":64,"
    "\"feature_len\":0}",
};

TEST_F(NurakctlTest, DescriptorJsonOfVirtualNode) {
    auto& mouse = Add(Model::Mouse);
    const std::string all = std::string("{\"collections\":[") + kVendorCollections[0] + "," + kVendorCollections[1] +
                            "," + kVendorCollections[2] + "," + kVendorCollections[3] + "]}\n";
    struct Case {
        std::string source;
        std::string out;
    };
    const Case cases[] = {
        {mouse.DevNode(1).string(), all},
        // An interface path names one collection.
        {CommandPath(mouse), std::string("{\"collections\":[") + kVendorCollections[3] + "]}\n"},
        {PathOf(mouse, 1, 2), std::string("{\"collections\":[") + kVendorCollections[1] + "]}\n"},
        {PathOf(mouse, 0, 0),
         "{\"collections\":[{\"index\":1,\"usage_page\":1,\"usage\":2,\"report_ids\":[],\"input_len\":5,"
         "\"output_len\":0,\"feature_len\":0}]}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const auto r = Ctl({"descriptor", c.source, "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(NurakctlTest, DescriptorOfMissingCollectionFails) {
    auto& mouse = Add(Model::Mouse);
    // The node has four collections; a fifth is nothing to show.
    for (const char* flag : {"--json", ""}) {
        std::vector<std::string> args = {"descriptor", PathOf(mouse, 1, 5)};
        if (*flag) args.push_back(flag);
        const auto r = Ctl(args);
        ExpectOneLineError(r, 1, "collection 5");
        EXPECT_EQ(r.out, "");
    }
}

// Two collections: a vendor one with an input and a feature report under
// two ids, and a consumer one.
const std::vector<uint8_t> kSmallDescriptor = {
    0x06, 0x00, 0xFF,  // usage page 0xFF00
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection: application
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size 8
    0x85, 0x05,        //   report id 5
    0x95, 0x04,        //   report count 4
    0x09, 0x02,        //   usage 2
    0x81, 0x02,        //   input: data, variable, absolute
    0x85, 0x06,        //   report id 6
    0x95, 0x10,        //   report count 16
    0x09, 0x03,        //   usage 3
    0xB1, 0x02,        //   feature: data, variable, absolute
    0xC0,              // end collection
    0x05, 0x0C,        // usage page: consumer
    0x09, 0x01,        // usage: consumer control
    0xA1, 0x01,        // collection: application
    0x85, 0x07,        //   report id 7
    0x19, 0x00,        //   usage minimum 0
    0x2A, 0xFF, 0x03,  //   usage maximum 0x3FF
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x03,  //   logical maximum 0x3FF
    0x75, 0x10,        //   report size 16
    0x95, 0x01,        //   report count 1
    0x81, 0x00,        //   input: data, array
    0xC0,              // end collection
};

void WriteFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.good());
}

TEST_F(NurakctlTest, DescriptorOfFile) {
    const auto file = dir_.path() / "small.bin";
    WriteFile(file, kSmallDescriptor);

    const auto json = Ctl({"descriptor", "--json", file.string()});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out,
              "{\"collections\":[{\"index\":1,\"usage_page\":65280,\"usage\":1,\"report_ids\":[5,6],\"input_len\":5,"
              "\"output_len\":0,\"feature_len\":17},{\"index\":2,\"usage_page\":12,\"usage\":1,\"report_ids\":[7],"
              "\"input_len\":3,\"output_len\":0,\"feature_len\":0}]}\n");

    const auto text = Ctl({"descriptor", file.string()});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    const auto lines = Lines(text.out);
    ASSERT_EQ(lines.size(), 2u) << text.out;
    EXPECT_TRUE(lines[0].starts_with(
        "collection 1: usage page 0xff00 usage 0x0001  report ids [5 6]  in 5 out 0 feature 17"))
        << lines[0];
    EXPECT_TRUE(lines[1].starts_with("collection 2: usage page 0x000c usage 0x0001  report ids [7]  in 3 out 0 feature 0"))
        << lines[1];
}

TEST_F(NurakctlTest, DescriptorErrors) {
    // Cut inside the logical maximum of the second collection: an item whose data is missing.
    const auto truncated = dir_.path() / "truncated.bin";
    ASSERT_EQ(kSmallDescriptor[46], 0x26);
    WriteFile(truncated, std::span(kSmallDescriptor).first(48));
    const auto missing = (dir_.path() / "missing.bin").string();

    const auto json = Ctl({"descriptor", truncated.string(), "--json"});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_TRUE(json.out.starts_with("{\"error\":\"")) << json.out;
    EXPECT_TRUE(json.out.ends_with("\"}\n")) << json.out;
    EXPECT_GT(json.out.size(), std::string("{\"error\":\"\"}\n").size()) << "an empty reason";
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1) << json.out;

    const auto text = Ctl({"descriptor", truncated.string()});
    ExpectOneLineError(text, 1, "malformed descriptor: ");
    EXPECT_EQ(text.out, "");

    for (const char* flag : {"--json", ""}) {
        std::vector<std::string> args = {"descriptor", missing};
        if (*flag) args.push_back(flag);
        const auto r = Ctl(args);
        ExpectOneLineError(r, 1, missing);
        EXPECT_EQ(r.out, "");
    }
}

// ---- raw --------------------------------------------------------------

TEST_F(NurakctlTest, RawReadShowsRequestAndReply) {
    auto& mouse = Add(Model::Mouse);
    SetInfo(mouse, 0x21);
    mouse.WithFirmware([](Firmware& f) { f.RecordRequests(true); });
    const auto record = InfoOf(mouse);

    const auto r = Ctl({"raw", "--cmd", "3", "--len", "34"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    const auto expectedRequest = MakeRequest(command::kReadInfo, 34, 0);
    std::vector<Report> received;
    mouse.WithFirmware([&](Firmware& f) { received = f.recordedRequests(); });
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], expectedRequest);
    EXPECT_EQ(HexBlockAfter(r.out, "request"), ToVector(expectedRequest)) << r.out;

    const auto reply = HexBlockAfter(r.out, "reply");
    ASSERT_EQ(reply.size(), kReportSize) << r.out;
    Report replyReport;
    std::copy(reply.begin(), reply.end(), replyReport.begin());
    EXPECT_TRUE(ChecksumValid(replyReport));
    EXPECT_EQ(reply[0], 4);
    EXPECT_EQ(reply[3], command::kReadInfo);
    EXPECT_EQ(reply[4], 34);
    EXPECT_EQ(reply[7], kStatusOk);
    EXPECT_EQ(Hex(std::span(reply).subspan(kPayloadOffset, kInfoSize)), Hex(record));
    EXPECT_TRUE(r.out.ends_with("echo 3  status 0x00\n")) << r.out;
}

TEST_F(NurakctlTest, RawWriteChangesParameters) {
    auto& mouse = Add(Model::Mouse);
    std::vector<uint8_t> before;
    mouse.WithFirmware([&](Firmware& f) { before.assign(f.parameters().begin(), f.parameters().end()); });
    ASSERT_NE(before[0x200], 0xAA);

    const auto r = Ctl({"raw", "--cmd", "6", "--len", "2", "--offset", "0x200", "--data", "aa bb"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto request = HexBlockAfter(r.out, "request");
    ASSERT_EQ(request.size(), kReportSize) << r.out;
    EXPECT_EQ(request[5], 0x00);
    EXPECT_EQ(request[6], 0x02);

    std::vector<uint8_t> after;
    mouse.WithFirmware([&](Firmware& f) { after.assign(f.parameters().begin(), f.parameters().end()); });
    auto expected = before;
    expected[0x200] = 0xAA;
    expected[0x201] = 0xBB;
    EXPECT_EQ(Hex(after), Hex(expected));
}

TEST_F(NurakctlTest, RawRefusedByDeviceFails) {
    auto& mouse = Add(Model::Mouse);
    // 99 is no command the device knows; the reply is shown, then the refusal reported.
    const auto r = Ctl({"raw", CommandPath(mouse), "--cmd", "99"});
    ExpectOneLineError(r, 1, "status 0xff");
    const auto reply = HexBlockAfter(r.out, "reply");
    ASSERT_EQ(reply.size(), kReportSize) << r.out;
    EXPECT_EQ(reply[3], 99);
    EXPECT_EQ(reply[7], kStatusRefused);
    mouse.WithFirmware([](Firmware& f) { EXPECT_EQ(f.RefusedCount(99), 1u); });
}

TEST_F(NurakctlTest, UsageErrorsExitTwoWithoutTouchingTheDevice) {
    auto& mouse = Add(Model::Mouse);
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"raw", "--cmd", "300"}, "bad command '300'"},
        {{"raw", "--cmd", "-1"}, "bad command"},
        {{"raw", "--cmd", "3x"}, "bad command"},
        {{"raw", "--cmd", "3", "--data", "abc"}, "odd number"},
        {{"raw", "--cmd", "3", "--data", "zz"}, "bad hex"},
        {{"raw", "--cmd", "6", "--data", std::string(57 * 2, 'a')}, "at most 56"},
        {{"raw", "--cmd", "3", "--len", "57"}, "bad length"},
        {{"raw", "--cmd", "3", "--offset", "0x10000"}, "bad offset"},
        {{"raw", "--cmd", "3", "--bogus"}, "unknown option --bogus"},
        {{"raw", "--cmd"}, "--cmd needs a value"},
        {{"raw"}, "needs --cmd"},
        {{"raw", "--cmd", "3", "a", "b"}, "at most one PATH"},
        {{}, "no command"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"list", "extra"}, "no arguments"},
        {{"info", "a", "b"}, "at most one PATH"},
        {{"info", "--verbose"}, "unknown option --verbose"},
        {{"descriptor"}, "one FILE or PATH"},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        const auto r = Ctl(c.args);
        ExpectOneLineError(r, 2, c.mentions);
        EXPECT_EQ(r.out, "");
    }
    // A missing folder after --hid-root.
    const auto r = RunCtl({"--hid-root"});
    ExpectOneLineError(r, 2, "--hid-root needs a folder");
    mouse.WithFirmware([](Firmware& f) { EXPECT_EQ(f.requestCount(), 0u); });
}

// ---- trace ------------------------------------------------------------

TEST_F(NurakctlTest, TraceWritesExchangesToStderr) {
    Add(Model::Mouse);
    const std::vector<std::string> placements[] = {
        {"--trace", "raw", "--cmd", "3", "--len", "34"},
        {"raw", "--cmd", "3", "--trace", "--len", "34"},
    };
    for (const auto& args : placements) {
        SCOPED_TRACE(args[0]);
        const auto r = Ctl(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto request = HexBlockAfter(r.out, "request");
        const auto reply = HexBlockAfter(r.out, "reply");
        ASSERT_EQ(request.size(), kReportSize) << r.out;
        ASSERT_EQ(reply.size(), kReportSize) << r.out;
        // The same reports, under the trace titles, on stderr only.
        EXPECT_EQ(HexBlockAfter(r.err, "命令"), request) << r.err;
        EXPECT_EQ(HexBlockAfter(r.err, "返回"), reply) << r.err;
        EXPECT_EQ(r.out.find("命令"), std::string::npos);
    }

    // The JSON on stdout stays what it is without the trace.
    const auto plain = Ctl({"info", "--json"});
    const auto traced = Ctl({"--trace", "info", "--json"});
    ASSERT_EQ(traced.exitCode, 0) << traced.err;
    EXPECT_EQ(traced.out, plain.out);
    EXPECT_EQ(plain.err, "");
    // Begin, the record read and End: three exchanges.
    const auto lines = Lines(traced.err);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "命令"), 3) << traced.err;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "返回"), 3) << traced.err;
}

}  // namespace
}  // namespace nurak::emu

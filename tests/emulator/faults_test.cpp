#include "emulator/faults.h"

#include <gtest/gtest.h>

#include <string>

namespace nurak::emu {
namespace {

TEST(FaultRuleText, ParsesEveryForm) {
    struct Case {
        const char* text;
        FaultKind kind;
        int command, count, delayMs;
    };
    const Case cases[] = {
        {"noreply", FaultKind::NoReply, -1, -1, 0},
        {"noreply:5", FaultKind::NoReply, 5, -1, 0},
        {"noreply:0x05:3", FaultKind::NoReply, 5, 3, 0},
        {"noreply:any:2", FaultKind::NoReply, -1, 2, 0},
        {"late:1500", FaultKind::LateReply, -1, -1, 1500},
        {"late:1500:6:1", FaultKind::LateReply, 6, 1, 1500},
        {"stale", FaultKind::StaleEcho, -1, -1, 0},
        {"stale:7", FaultKind::StaleEcho, 7, -1, 0},
        {"status-ff:6", FaultKind::StatusFF, 6, -1, 0},
        {"status-fe:170:2", FaultKind::StatusFE, 170, 2, 0},
        {"garbage", FaultKind::Garbage, -1, -1, 0},
        {"garbage:0xAA:1", FaultKind::Garbage, 170, 1, 0},
        {"unplug-after:3", FaultKind::UnplugAfter, -1, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        auto rule = ParseFaultRule(c.text, &error);
        ASSERT_TRUE(rule.has_value()) << error;
        EXPECT_EQ(rule->kind, c.kind);
        EXPECT_EQ(rule->command, c.command);
        EXPECT_EQ(rule->count, c.count);
        EXPECT_EQ(rule->delayMs, c.delayMs);
    }
}

TEST(FaultRuleText, RefusesMalformedSpecsWithAReason) {
    const char* bad[] = {
        "",
        "bogus",
        "noreply:",
        "noreply:256",
        "noreply:-1",
        "noreply:5:0",
        "noreply:5:1:9",
        "noreply:x",
        "late",
        "late:abc",
        "late:-5",
        "late:10:6:1:2",
        "status-ff",
        "status-fe:",
        "stale:1:two",
        "unplug-after",
        "unplug-after:x",
        "unplug-after:0",
        "unplug-after:1:2",
        "NOREPLY",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(ParseFaultRule(text, &error).has_value());
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace nurak::emu

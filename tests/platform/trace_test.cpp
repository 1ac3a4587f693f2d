#include "platform/trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nurak {
namespace {

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        trace::SetSink([this](std::string_view t) { lines.emplace_back(t); });
    }
    void TearDown() override {
        trace::SetEnabled(false);
        trace::SetSink({});
    }
    std::vector<std::string> lines;
};

TEST_F(TraceTest, NothingIsWrittenWhileOff) {
    trace::SetEnabled(false);
    trace::Write("命令");
    EXPECT_TRUE(lines.empty());
}

TEST_F(TraceTest, TextsPassUnchangedWhileOn) {
    trace::SetEnabled(true);
    trace::Write("抓取设备线程设定退出");
    trace::Write("plain");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "抓取设备线程设定退出");
    EXPECT_EQ(lines[1], "plain");
}

TEST_F(TraceTest, EnvironmentSwitchesTracingOn) {
    struct Case {
        const char* value;
        bool on;
    };
    for (const Case c : {Case{"1", true}, Case{"0", false}, Case{"", false}}) {
        trace::SetEnabled(false);
        setenv("NURAK_TRACE", c.value, 1);
        trace::InitFromEnvironment();
        EXPECT_EQ(trace::Enabled(), c.on) << "NURAK_TRACE=" << c.value;
    }
    unsetenv("NURAK_TRACE");
}

}  // namespace
}  // namespace nurak

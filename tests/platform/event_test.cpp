#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/tick.h"

namespace nurak {
namespace {

TEST(Event, ManualResetStaysSetUntilReset) {
    Event e(true);
    EXPECT_FALSE(e.Wait(0));
    e.Set();
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.Wait(0));
    e.Reset();
    EXPECT_FALSE(e.Wait(0));
}

TEST(Event, AutoResetWakesOneWaiterOnly) {
    Event e(false);
    e.Set();
    e.Set();  // setting twice still releases a single wait
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(0));
}

TEST(Event, InitiallySet) {
    Event manual(true, true);
    Event automatic(false, true);
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(automatic.Wait(0));
    EXPECT_FALSE(automatic.Wait(0));
}

TEST(Event, TimedWaitTimesOutAfterTheTimeout) {
    Event e(true);
    const uint64_t start = TickCount64();
    EXPECT_FALSE(e.Wait(30));
    EXPECT_GE(TickCount64() - start, 30u);
}

TEST(Event, SetFromAnotherThreadEndsAnInfiniteWait) {
    Event e(false);
    std::thread setter([&] {
        SleepMs(20);
        e.Set();
    });
    EXPECT_TRUE(e.Wait(kInfinite));
    setter.join();
}

TEST(Event, WaitAnyReportsWhichEventWasSet) {
    struct Case {
        bool setFirst;
        bool setSecond;
        int expected;
    };
    const Case cases[] = {
        {false, false, kWaitTimeout},
        {true, false, 0},
        {false, true, 1},
        {true, true, 0},  // the first one wins when both are set
    };
    for (const auto& c : cases) {
        Event cancel(false), done(false);
        if (c.setFirst) cancel.Set();
        if (c.setSecond) done.Set();
        EXPECT_EQ(WaitAny(cancel, done, 0), c.expected) << c.setFirst << c.setSecond;
    }
}

TEST(Event, WaitAnyConsumesOnlyTheWinningAutoResetEvent) {
    Event first(false), second(false);
    first.Set();
    second.Set();
    EXPECT_EQ(WaitAny(first, second, 0), 0);
    EXPECT_EQ(WaitAny(first, second, 0), 1);
    EXPECT_EQ(WaitAny(first, second, 0), kWaitTimeout);
}

TEST(Event, ManyWaitersOnAManualEventAllWake) {
    Event e(true);
    std::atomic<int> woke{0};
    std::thread waiters[4];
    for (auto& t : waiters) t = std::thread([&] { woke += e.Wait(kInfinite) ? 1 : 0; });
    SleepMs(10);
    e.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woke.load(), 4);
}

TEST(Tick, IsMonotonic) {
    const uint64_t a = TickCount64();
    SleepMs(5);
    const uint64_t b = TickCount64();
    EXPECT_GE(b - a, 5u);
    EXPECT_EQ(static_cast<uint32_t>(b), TickCount() - (TickCount() - static_cast<uint32_t>(b)));
}

}  // namespace
}  // namespace nurak

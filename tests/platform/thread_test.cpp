// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Waits (bounded, generously) for a condition another thread makes true.
template <typename Pred>
bool Eventually(Pred pred)
{
    for (int i = 0; i < 20000 && !pred(); ++i) {
        SleepMs(1);
    }
    return pred();
}

}  // namespace

TEST(SingleThread, CallsTheBodyRepeatedlyUntilStopJoinsIt)
{
    std::atomic<int> calls{0};
    CSingleThread thread("counter");
    ASSERT_TRUE(thread.Begin([&] { ++calls; }));
    EXPECT_FALSE(thread.Begin([] {}));  // already running
    ASSERT_TRUE(Eventually([&] { return calls.load() >= 3; }));
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    const int after = calls.load();
    SleepMs(5);
    EXPECT_EQ(calls.load(), after);
    thread.Stop();  // twice is harmless

    // A stopped thread can begin again.
    calls = 0;
    ASSERT_TRUE(thread.Begin([&] { ++calls; }));
    ASSERT_TRUE(Eventually([&] { return calls.load() >= 1; }));
}

TEST(SingleThread, BodyMayStopItsOwnThread)
{
    std::atomic<int> calls{0};
    CSingleThread thread;
    CSingleThread* self = &thread;
    ASSERT_TRUE(thread.Begin([&] {
        if (++calls == 2) {
            self->Stop();  // from the thread itself: no join, the loop just ends
        }
    }));
    ASSERT_TRUE(Eventually([&] { return !thread.IsRunning(); }));
    EXPECT_EQ(calls.load(), 2);
    thread.Stop();  // the owner joins
}

TEST(SingleThread, BodyAndOwnerMayStopAtTheSameTime)
{
    for (int i = 0; i < 50; ++i) {
        CSingleThread thread;
        CSingleThread* self = &thread;
        ASSERT_TRUE(thread.Begin([self] { self->Stop(); }));
        thread.Stop();
        EXPECT_FALSE(thread.IsRunning());
    }
}

TEST(SingleThread, DestructorStopsTheThread)
{
    std::atomic<int> calls{0};
    {
        CSingleThread thread;
        thread.Begin([&] {
            ++calls;
            SleepMs(1);
        });
        ASSERT_TRUE(Eventually([&] { return calls.load() >= 1; }));
    }
    const int after = calls.load();
    SleepMs(5);
    EXPECT_EQ(calls.load(), after);
}

TEST(WaitEvent, TimesOutUnlessSetAndResetsItself)
{
    CWaitEvent event;
    EXPECT_FALSE(event.Wait(0));
    EXPECT_FALSE(event.Wait(5));
    event.Set();  // before anyone waits
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));  // consumed
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(WaitEvent, SetFromAnotherThreadWakesAnEndlessWait)
{
    CWaitEvent event;
    CWaitEvent started;
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        started.Set();
        woke = event.Wait(-1);
    });
    ASSERT_TRUE(started.Wait(-1));
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke.load());
}

#include "platform/manual_reset_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace kelmo {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Long enough that a waiter still blocked when it runs out means the wake-up was lost.
constexpr uint32_t kGenerousTimeoutMs = 20000;

TEST(ManualResetEvent, StartsInTheRequestedState) {
    ManualResetEvent unsignalled;
    EXPECT_FALSE(unsignalled.isSet());
    EXPECT_FALSE(unsignalled.wait(0));

    ManualResetEvent signalled(true);
    EXPECT_TRUE(signalled.isSet());
    EXPECT_TRUE(signalled.wait(0));
}

TEST(ManualResetEvent, StaysSetAcrossWaitsUntilReset) {
    ManualResetEvent event;
    event.set();
    // Unlike an auto-reset event, passing a wait does not consume the signal.
    EXPECT_TRUE(event.wait(0));
    EXPECT_TRUE(event.wait(10));
    EXPECT_TRUE(event.wait(ManualResetEvent::kInfinite));
    EXPECT_TRUE(event.isSet());

    event.reset();
    EXPECT_FALSE(event.isSet());
    EXPECT_FALSE(event.wait(0));

    // Setting twice or resetting twice is harmless.
    event.set();
    event.set();
    EXPECT_TRUE(event.wait(0));
    event.reset();
    event.reset();
    EXPECT_FALSE(event.wait(0));
}

TEST(ManualResetEvent, TimedWaitOnUnsignalledEventFailsNoEarlierThanTheTimeout) {
    ManualResetEvent event;
    for (uint32_t timeoutMs : {1u, 30u, 120u}) {
        const auto start = Clock::now();
        EXPECT_FALSE(event.wait(timeoutMs)) << timeoutMs << " ms";
        EXPECT_GE(Clock::now() - start, milliseconds(timeoutMs)) << timeoutMs << " ms";
    }
}

TEST(ManualResetEvent, WaitIsWokenBySetFromAnotherThread) {
    for (uint32_t timeoutMs : {kGenerousTimeoutMs, ManualResetEvent::kInfinite}) {
        ManualResetEvent event;
        std::atomic<bool> returned{false};
        bool result = false;
        std::thread waiter([&] {
            result = event.wait(timeoutMs);
            returned = true;
        });
        std::this_thread::sleep_for(milliseconds(50));
        EXPECT_FALSE(returned) << "wait returned before the event was set";
        event.set();
        waiter.join();
        EXPECT_TRUE(result);
    }
}

TEST(ManualResetEvent, ResetKeepsLaterWaitersBlockedUntilTheNextSet) {
    ManualResetEvent event(true);
    event.reset();
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        EXPECT_TRUE(event.wait(kGenerousTimeoutMs));
        returned = true;
    });
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_FALSE(returned);
    event.set();
    waiter.join();
}

TEST(ManualResetEvent, OneSetReleasesEveryWaiter) {
    constexpr int kWaiters = 8;
    ManualResetEvent event;
    std::atomic<int> started{0};
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&] {
            ++started;
            if (event.wait(kGenerousTimeoutMs)) ++released;
        });
    }
    while (started < kWaiters) std::this_thread::yield();
    std::this_thread::sleep_for(milliseconds(50));  // let them reach the wait
    EXPECT_EQ(released, 0);

    const auto setAt = Clock::now();
    event.set();
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(released, kWaiters);
    // A waiter that was not woken would only pass when its time-out ran out.
    EXPECT_LT(Clock::now() - setAt, milliseconds(kGenerousTimeoutMs / 2));
}

}  // namespace
}  // namespace kelmo

#include "platform/thread_message_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <thread>
#include <vector>

namespace kelmo {
namespace {

using std::chrono::milliseconds;

TEST(ThreadMessageQueue, DeliversMessagesInPostingOrderWithTheirParameters) {
    ThreadMessageQueue queue;
    const uintptr_t bigW = std::numeric_limits<uintptr_t>::max();
    const intptr_t negativeL = std::numeric_limits<intptr_t>::min();
    ASSERT_TRUE(queue.post(7));
    ASSERT_TRUE(queue.post(ThreadMessage{8, bigW, negativeL}));
    ASSERT_TRUE(queue.post(7, 1, -1));
    EXPECT_EQ(queue.size(), 3u);

    ThreadMessage m;
    ASSERT_TRUE(queue.get(m));
    EXPECT_EQ(m.message, 7u);
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_EQ(m.lParam, 0);
    ASSERT_TRUE(queue.get(m));
    EXPECT_EQ(m.message, 8u);
    EXPECT_EQ(m.wParam, bigW);
    EXPECT_EQ(m.lParam, negativeL);
    ASSERT_TRUE(queue.get(m));
    EXPECT_EQ(m.message, 7u);
    EXPECT_EQ(m.wParam, 1u);
    EXPECT_EQ(m.lParam, -1);
    EXPECT_EQ(queue.size(), 0u);
}

TEST(ThreadMessageQueue, GetBlocksUntilAnotherThreadPosts) {
    ThreadMessageQueue queue;
    std::atomic<bool> returned{false};
    ThreadMessage received;
    bool got = false;
    std::thread owner([&] {
        got = queue.get(received);
        returned = true;
    });
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_FALSE(returned) << "get returned from an empty queue";
    ASSERT_TRUE(queue.post(42, 5, 6));
    owner.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(received.message, 42u);
    EXPECT_EQ(received.wParam, 5u);
    EXPECT_EQ(received.lParam, 6);
}

TEST(ThreadMessageQueue, QuitEndsTheLoopOnlyAfterQueuedMessagesAreDrained) {
    ThreadMessageQueue queue;
    ASSERT_TRUE(queue.post(1));
    ASSERT_TRUE(queue.post(2));
    queue.postQuit();

    ThreadMessage m;
    ASSERT_TRUE(queue.get(m));
    EXPECT_EQ(m.message, 1u);
    ASSERT_TRUE(queue.get(m));
    EXPECT_EQ(m.message, 2u);
    EXPECT_FALSE(queue.get(m));
    // The loop stays ended: a second get must not block.
    EXPECT_FALSE(queue.get(m));
}

TEST(ThreadMessageQueue, QuitWakesEveryBlockedGet) {
    ThreadMessageQueue queue;
    std::atomic<int> ended{0};
    std::vector<std::thread> owners;
    for (int i = 0; i < 3; ++i) {
        owners.emplace_back([&] {
            ThreadMessage m;
            if (!queue.get(m)) ++ended;
        });
    }
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(ended, 0);
    queue.postQuit();
    for (auto& owner : owners) owner.join();
    EXPECT_EQ(ended, 3);
}

TEST(ThreadMessageQueue, ManyProducersDeliverEveryMessageOnceInPerProducerOrder) {
    constexpr int kProducers = 8;
    constexpr int kPerProducer = 1000;
    ThreadMessageQueue queue;  // default capacity holds all of them, so no post may fail
    std::atomic<int> refused{0};

    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&queue, &refused, p] {
            for (int seq = 0; seq < kPerProducer; ++seq) {
                if (!queue.post(static_cast<uint32_t>(p), static_cast<uintptr_t>(seq), -seq)) ++refused;
            }
        });
    }
    std::thread quitter([&] {
        for (auto& producer : producers) producer.join();
        queue.postQuit();
    });

    std::vector<int> nextSeq(kProducers, 0);
    int total = 0;
    int outOfOrder = 0;
    ThreadMessage m;
    while (queue.get(m)) {
        ++total;
        ASSERT_LT(m.message, static_cast<uint32_t>(kProducers));
        int& expected = nextSeq[m.message];
        if (static_cast<int>(m.wParam) != expected || m.lParam != -expected) ++outOfOrder;
        expected = static_cast<int>(m.wParam) + 1;
    }
    quitter.join();

    EXPECT_EQ(refused, 0);
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_EQ(total, kProducers * kPerProducer);
    for (int p = 0; p < kProducers; ++p) EXPECT_EQ(nextSeq[p], kPerProducer) << "producer " << p;
}

TEST(ThreadMessageQueue, FullQueueRefusesPostsButStillTakesQuit) {
    ThreadMessageQueue queue(3);
    EXPECT_TRUE(queue.post(1));
    EXPECT_TRUE(queue.post(2));
    EXPECT_TRUE(queue.post(3));
    EXPECT_FALSE(queue.post(4));
    EXPECT_EQ(queue.size(), 3u);

    ThreadMessage m;
    ASSERT_TRUE(queue.get(m));
    EXPECT_EQ(m.message, 1u);
    EXPECT_TRUE(queue.post(5));  // room again
    EXPECT_FALSE(queue.post(6));

    // Quit is not a message; a full queue must not lose it.
    queue.postQuit();
    std::vector<uint32_t> rest;
    while (queue.get(m)) rest.push_back(m.message);
    EXPECT_EQ(rest, (std::vector<uint32_t>{2, 3, 5}));
}

}  // namespace
}  // namespace kelmo

#pragma once
// A worker thread's message queue: any thread posts, the owner thread takes messages in order.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

namespace kelmo {

struct ThreadMessage {
    uint32_t message = 0;  // what to do; the meaning belongs to the owner thread
    uintptr_t wParam = 0;  // two word-sized values that travel with it
    intptr_t lParam = 0;
};

class ThreadMessageQueue {
public:
    // A queue that nobody drains must not grow without bound; posting to a full queue fails.
    static constexpr size_t kDefaultCapacity = 10000;

    explicit ThreadMessageQueue(size_t capacity = kDefaultCapacity);
    ThreadMessageQueue(const ThreadMessageQueue&) = delete;
    ThreadMessageQueue& operator=(const ThreadMessageQueue&) = delete;

    // Never blocks. False when the queue is full.
    bool post(const ThreadMessage& message);
    bool post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    // After the messages already queued, get() reports the end of the loop.
    void postQuit();
    // Blocks until a message arrives (true) or the queue is empty after postQuit (false).
    bool get(ThreadMessage& out);
    size_t size() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<ThreadMessage> messages_;
    size_t capacity_;
    bool quit_ = false;
};

}  // namespace kelmo

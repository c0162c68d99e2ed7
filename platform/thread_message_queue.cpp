#include "platform/thread_message_queue.h"

namespace kelmo {

ThreadMessageQueue::ThreadMessageQueue(size_t capacity) : capacity_(capacity) {}

bool ThreadMessageQueue::post(const ThreadMessage& message) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (messages_.size() >= capacity_) return false;
        messages_.push_back(message);
    }
    arrived_.notify_one();
    return true;
}

bool ThreadMessageQueue::post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return post(ThreadMessage{message, wParam, lParam});
}

void ThreadMessageQueue::postQuit() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    arrived_.notify_all();
}

bool ThreadMessageQueue::get(ThreadMessage& out) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait(lock, [this] { return !messages_.empty() || quit_; });
    if (messages_.empty()) return false;
    out = messages_.front();
    messages_.pop_front();
    return true;
}

size_t ThreadMessageQueue::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
}

}  // namespace kelmo

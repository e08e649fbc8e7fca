#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace inkwarden::test {

// A gate that one thread opens once and others wait for: orders events across threads
// without sleeping. Opening it again does nothing.
class Latch {
public:
    void open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }

    // True when the gate opened within the timeout.
    bool waitOpen(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return opened_.wait_for(lock, timeout, [this] { return open_; });
    }

    bool isOpen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return open_;
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

} // namespace inkwarden::test

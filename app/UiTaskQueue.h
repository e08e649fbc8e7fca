#pragma once

#include <functional>
#include <mutex>
#include <vector>

namespace inkwarden {

// Hands work from other threads to the UI thread: post() queues a task and wakes the UI
// thread once (through the window layer's non-blocking post); the UI thread runs the queue
// with drain(). Nobody ever waits for the UI thread. After close() tasks are dropped, so
// nothing runs once the window is gone.
class UiTaskQueue {
public:
    using Task = std::function<void()>;
    // Asks the UI thread to call drain() soon; false when the request was not taken.
    using Waker = std::function<bool()>;

    UiTaskQueue() = default;
    UiTaskQueue(const UiTaskQueue&) = delete;
    UiTaskQueue& operator=(const UiTaskQueue&) = delete;

    // The waker may be set once the window exists; tasks posted before wait for it.
    void open(Waker waker);
    // Any thread. False when the queue is closed (the task is dropped).
    bool post(Task task);
    // UI thread: runs the tasks queued so far, in order; returns how many ran.
    int drain();
    // Drops what is queued and refuses more.
    void close();
    std::size_t pending() const;

private:
    mutable std::mutex mutex_;
    std::vector<Task> tasks_;
    Waker waker_;
    bool open_ = false;
    bool closed_ = false;
    bool wake_outstanding_ = false;
};

} // namespace inkwarden

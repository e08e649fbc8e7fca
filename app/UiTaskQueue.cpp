#include "app/UiTaskQueue.h"

namespace inkwarden {

void UiTaskQueue::open(Waker waker) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) {
            return;
        }
        waker_ = std::move(waker);
        open_ = true;
        wake = !tasks_.empty() && !wake_outstanding_;
        wake_outstanding_ = wake;
    }
    if (wake && !waker_()) {
        std::lock_guard<std::mutex> lock(mutex_);
        wake_outstanding_ = false;
    }
}

bool UiTaskQueue::post(Task task) {
    Waker waker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) {
            return false;
        }
        tasks_.push_back(std::move(task));
        // One wake-up serves every task queued until the next drain.
        if (!open_ || wake_outstanding_) {
            return true;
        }
        wake_outstanding_ = true;
        waker = waker_;
    }
    // Outside the lock: the layer's post takes its own.
    if (!waker()) {
        std::lock_guard<std::mutex> lock(mutex_);
        wake_outstanding_ = false; // the next post asks again
    }
    return true;
}

int UiTaskQueue::drain() {
    std::vector<Task> tasks;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks.swap(tasks_);
        wake_outstanding_ = false;
    }
    int count = 0;
    for (Task& task : tasks) {
        {
            // A task may close the queue (the window goes): the rest is dropped.
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_) {
                break;
            }
        }
        task();
        ++count;
    }
    return count;
}

void UiTaskQueue::close() {
    std::vector<Task> dropped;
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    dropped.swap(tasks_);
    waker_ = nullptr;
}

std::size_t UiTaskQueue::pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tasks_.size();
}

} // namespace inkwarden

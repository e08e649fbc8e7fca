#include "net/ThreadPool.h"

#include <memory>
#include <stdexcept>
#include <utility>

namespace inkwarden {

ThreadPool::ThreadPool(int n) {
    workers.reserve(n > 0 ? static_cast<size_t>(n) : 0);
    for (int i = 0; i < n; ++i) {
        workers.emplace_back([this] { WorkerLoop(); });
    }
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard<std::mutex> lock(queue_mutex);
        stop = true;
    }
    condition.notify_all();
    for (std::thread& worker : workers) {
        worker.join();
    }
}

std::future<void> ThreadPool::enqueue(std::function<void()> callable) {
    // std::function must be copyable, so the move-only packaged task is shared.
    auto task = std::make_shared<std::packaged_task<void()>>(std::move(callable));
    std::future<void> result = task->get_future();
    {
        std::lock_guard<std::mutex> lock(queue_mutex);
        if (stop) {
            throw std::runtime_error("enqueue on stopped ThreadPool");
        }
        tasks.emplace_back([task] { (*task)(); });
    }
    condition.notify_one();
    return result;
}

void ThreadPool::WorkerLoop() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(queue_mutex);
            condition.wait(lock, [this] { return stop || !tasks.empty(); });
            // A stopping pool still drains its queue before the worker ends.
            if (stop && tasks.empty()) {
                return;
            }
            task = std::move(tasks.front());
            tasks.pop_front();
        }
        task();
    }
}

} // namespace inkwarden

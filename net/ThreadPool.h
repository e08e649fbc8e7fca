#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace inkwarden {

// Fixed set of workers taking tasks from one first-in, first-out queue. Destruction runs every
// task queued so far, then joins the workers; it must not run on one of this pool's workers.
class ThreadPool {
public:
    explicit ThreadPool(int n);
    ~ThreadPool();

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Throws std::runtime_error "enqueue on stopped ThreadPool" once stopping. A failure
    // inside the task lands in the returned future, never in the worker.
    std::future<void> enqueue(std::function<void()> callable);

private:
    void WorkerLoop();

    std::vector<std::thread> workers;
    std::deque<std::function<void()>> tasks;
    std::mutex queue_mutex;
    std::condition_variable condition;
    bool stop = false;
};

} // namespace inkwarden

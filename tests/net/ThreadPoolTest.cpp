#include "net/ThreadPool.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;

TEST(ThreadPoolTest, DestructionWaitsForEverySubmittedTask) {
    std::atomic<int> finished{0};
    {
        ThreadPool pool(6);
        for (int i = 0; i < 6; ++i) {
            pool.enqueue([&finished] {
                std::this_thread::sleep_for(50ms);
                ++finished;
            });
        }
        // More tasks than workers: the queued ones still run before the pool is gone.
        for (int i = 0; i < 4; ++i) {
            pool.enqueue([&finished] { ++finished; });
        }
    }
    EXPECT_EQ(finished, 10);
}

TEST(ThreadPoolTest, IdlePoolEndsPromptly) {
    const auto begin = std::chrono::steady_clock::now();
    { ThreadPool pool(6); }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
}

TEST(ThreadPoolTest, ThrowingTaskKeepsItsWorker) {
    ThreadPool pool(1);
    std::future<void> failing = pool.enqueue([] { throw std::logic_error("task failed"); });
    std::atomic<bool> ran{false};
    std::future<void> next = pool.enqueue([&ran] { ran = true; });
    EXPECT_THROW(failing.get(), std::logic_error);
    next.get();
    EXPECT_TRUE(ran);
}

TEST(ThreadPoolTest, TasksStartInSubmissionOrder) {
    std::mutex mutex;
    std::vector<int> order;
    {
        ThreadPool pool(1);
        for (int i = 0; i < 20; ++i) {
            pool.enqueue([&, i] {
                std::lock_guard<std::mutex> lock(mutex);
                order.push_back(i);
            });
        }
    }
    ASSERT_EQ(order.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(order[static_cast<size_t>(i)], i);
    }
}

TEST(ThreadPoolTest, EnqueueWhileStoppingThrows) {
    std::atomic<bool> threw{false};
    std::string message;
    auto pool = std::make_unique<ThreadPool>(2);
    ThreadPool* raw = pool.get();
    pool->enqueue([&] {
        // By now the destructor below has set stop and is joining.
        std::this_thread::sleep_for(200ms);
        try {
            raw->enqueue([] {});
        } catch (const std::runtime_error& error) {
            message = error.what();
            threw = true;
        }
    });
    pool.reset();
    EXPECT_TRUE(threw);
    EXPECT_EQ(message, "enqueue on stopped ThreadPool");
}

} // namespace
} // namespace inkwarden

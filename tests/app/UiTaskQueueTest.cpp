#include "app/UiTaskQueue.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

TEST(UiTaskQueueTest, OneWakeServesEveryTaskUntilTheNextDrain) {
    UiTaskQueue queue;
    std::vector<int> ran;
    int wakes = 0;
    queue.post([&] { ran.push_back(1); }); // before the window exists
    EXPECT_EQ(wakes, 0);
    queue.open([&] { return ++wakes, true; });
    EXPECT_EQ(wakes, 1) << "opening wakes for what waits";
    queue.post([&] { ran.push_back(2); });
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(queue.drain(), 2);
    queue.post([&] { ran.push_back(3); });
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(queue.drain(), 1);
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

TEST(UiTaskQueueTest, ARefusedWakeIsAskedAgainByTheNextPost) {
    UiTaskQueue queue;
    int attempts = 0;
    queue.open([&] { return ++attempts > 1; });
    queue.post([] {});
    queue.post([] {});
    EXPECT_EQ(attempts, 2);
    queue.post([] {});
    EXPECT_EQ(attempts, 2);
    EXPECT_EQ(queue.drain(), 3);
}

TEST(UiTaskQueueTest, NothingRunsAfterClose) {
    UiTaskQueue queue;
    queue.open([] { return true; });
    int ran = 0;
    queue.post([&] {
        ++ran;
        queue.close(); // the window goes while the queue drains
    });
    queue.post([&] { ++ran; });
    EXPECT_EQ(queue.drain(), 1);
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(queue.post([&] { ++ran; }));
    EXPECT_EQ(queue.drain(), 0);
    EXPECT_EQ(queue.pending(), 0u);
}

TEST(UiTaskQueueTest, TasksFromManyThreadsRunInTheirOrder) {
    UiTaskQueue queue;
    std::atomic<int> wakes{0};
    queue.open([&] { return ++wakes, true; });
    constexpr int THREADS = 4;
    constexpr int TASKS = 2000;
    std::vector<std::vector<int>> seen(THREADS);
    std::atomic<bool> done{false};
    std::vector<std::thread> posters;
    for (int t = 0; t < THREADS; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < TASKS; ++i) {
                queue.post([&seen, t, i] { seen[t].push_back(i); });
            }
        });
    }
    int drains = 0;
    std::thread closer([&] {
        for (auto& poster : posters) {
            poster.join();
        }
        done = true;
    });
    while (!done || queue.pending() > 0) {
        drains += queue.drain() > 0 ? 1 : 0;
    }
    closer.join();
    for (int t = 0; t < THREADS; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(TASKS));
        for (int i = 0; i < TASKS; ++i) {
            ASSERT_EQ(seen[t][i], i);
        }
    }
    EXPECT_LE(wakes.load(), drains + 1);
}

} // namespace
} // namespace inkwarden

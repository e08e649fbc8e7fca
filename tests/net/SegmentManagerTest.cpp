// The range bookkeeping of the download engine, without a server: hand-out, claims, steals,
// rates and the records they leave.
#include "net/SegmentManager.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;
using Clock = SegmentManager::Clock;

constexpr int64_t MIB = 1 << 20;

// Writes bytes into slot at rate bytes per second of simulated time, from begin on.
void Feed(SegmentManager& manager, int slot, int64_t bytes, int64_t rate, Clock::time_point begin,
          Clock::duration length) {
    const int steps = 20;
    for (int i = 0; i <= steps; ++i) {
        const Clock::time_point now = begin + length * i / steps;
        const int64_t chunk =
            i == 0 ? 1
                   : rate * std::chrono::duration_cast<std::chrono::microseconds>(length).count() /
                         1000000 / steps;
        manager.Commit(slot, manager.Claim(slot, std::min(chunk, bytes)), now);
    }
}

TEST(SegmentManager, HandsOutThePlannedRangesInOrderAndNothingTwice) {
    SegmentManager manager;
    manager.Reset(60, {{0, 29}, {30, 59}});
    const Clock::time_point now = Clock::now();
    EXPECT_EQ(manager.Acquire(now, -1, false), 0);
    EXPECT_EQ(manager.Acquire(now, -1, false), 1);
    EXPECT_EQ(manager.Acquire(now, -1, false), SegmentManager::NO_SLOT);
    EXPECT_EQ(manager.Remaining(1), (ByteRange{30, 59}));

    // A slot given back unfinished is handed out again, a failed one never.
    manager.Release(0, false);
    EXPECT_EQ(manager.Acquire(now, -1, false), 0);
    manager.Release(0, true);
    EXPECT_EQ(manager.Acquire(now, -1, false), SegmentManager::NO_SLOT);
}

TEST(SegmentManager, ClaimsStopAtTheRangeEndAndCountEachByteOnce) {
    SegmentManager manager;
    manager.Reset(100, {{0, 49}, {50, 99}});
    const Clock::time_point now = Clock::now();
    ASSERT_EQ(manager.Acquire(now, -1, false), 0);
    EXPECT_EQ(manager.Claim(0, 30), 30);
    manager.Commit(0, 30, now);
    // An answer that overruns the range gets only the range's bytes.
    EXPECT_EQ(manager.Claim(0, 40), 20);
    // A short write commits only what was written; the rest is claimed again.
    manager.Commit(0, 5, now);
    EXPECT_EQ(manager.Remaining(0), (ByteRange{35, 49}));
    EXPECT_EQ(manager.DoneBytes(), 35);
    EXPECT_EQ(manager.Claim(0, 40), 15);
    manager.Commit(0, 15, now);
    EXPECT_TRUE(manager.Complete(0));
    EXPECT_EQ(manager.Claim(0, 10), 0);
    EXPECT_EQ(manager.DoneBytes(), 50);
    EXPECT_FALSE(manager.AllComplete());
    EXPECT_EQ(manager.Missing(), (std::vector<ByteRange>{{50, 99}}));
    EXPECT_EQ(manager.Completed(), (std::vector<ByteRange>{{0, 49}}));
}

TEST(SegmentManager, StealTakesTheUpperPartAboveWhatWasClaimed) {
    SegmentManager manager;
    manager.Reset(20 * MIB, {{0, 10 * MIB - 1}, {10 * MIB, 20 * MIB - 1}});
    const Clock::time_point now = Clock::now();
    ASSERT_EQ(manager.Acquire(now, -1, true), 0);
    ASSERT_EQ(manager.Acquire(now, -1, true), 1);
    manager.Commit(1, manager.Claim(1, 10 * MIB), now);
    manager.Release(1, false);

    // Slot 0 has claimed 1 MiB that is not written yet: the split lies above it, and with
    // no rates known the rest is halved.
    manager.Commit(0, manager.Claim(0, MIB), now);
    EXPECT_EQ(manager.Claim(0, MIB), MIB);
    const int stolen = manager.Acquire(now, SegmentManager::UNKNOWN_RATE, true);
    ASSERT_EQ(stolen, 2);
    const ByteRange victim = manager.Remaining(0);
    const ByteRange thief = manager.Remaining(stolen);
    EXPECT_EQ(victim.first, MIB);
    EXPECT_EQ(thief.last, 10 * MIB - 1);
    EXPECT_EQ(victim.last + 1, thief.first);
    EXPECT_EQ(thief.size(), (10 * MIB - 2 * MIB) / 2);
    // The claimed bytes stay the victim's.
    manager.Commit(0, MIB, now);
    EXPECT_EQ(manager.Remaining(0).first, 2 * MIB);
    EXPECT_LE(manager.Remaining(0).first, manager.Remaining(0).last);
    // Neighbouring rests are one range of the record; done bytes did not change by the steal.
    EXPECT_EQ(manager.Missing(), (std::vector<ByteRange>{{2 * MIB, 10 * MIB - 1}}));
    EXPECT_EQ(manager.DoneBytes(), 12 * MIB);
}

TEST(SegmentManager, StealFollowsTheRatesAndTheThreshold) {
    const Clock::time_point begin = Clock::now();
    // Slot 0 has run a second at victim_rate; slot 1 is done and its worker free.
    const auto Prepared = [&](SegmentManager& manager, int64_t victim_rate) {
        manager.Reset(64 * MIB, {{0, 32 * MIB - 1}, {32 * MIB, 64 * MIB - 1}});
        manager.Acquire(begin, -1, true);
        manager.Acquire(begin, -1, true);
        Feed(manager, 0, 32 * MIB, victim_rate, begin, 1s);
        manager.Commit(1, manager.Claim(1, 32 * MIB), begin);
        manager.Release(1, false);
    };
    const Clock::time_point now = begin + 1s;

    // A victim at a third of the thief's rate keeps a quarter of its rest: both end together.
    SegmentManager proportional;
    Prepared(proportional, 2 * MIB);
    const int64_t rest = proportional.Remaining(0).size();
    const int slot = proportional.Acquire(now, 6 * MIB, true);
    ASSERT_NE(slot, SegmentManager::NO_SLOT);
    EXPECT_NEAR(static_cast<double>(proportional.Remaining(slot).size()), rest * 0.75, MIB / 8);

    // One far slower than the thief gives up everything it has not claimed.
    SegmentManager slow;
    Prepared(slow, MIB / 2);
    const int taken = slow.Acquire(now, 8 * MIB, true);
    ASSERT_NE(taken, SegmentManager::NO_SLOT);
    EXPECT_TRUE(slow.Complete(0));

    // A rest that its own connection finishes within a second is left alone.
    SegmentManager quick;
    Prepared(quick, 24 * MIB);
    EXPECT_EQ(quick.Acquire(now, 24 * MIB, true), SegmentManager::NO_SLOT);
    // A connection that has not been measured yet counts as fast as the thief's.
    SegmentManager fresh;
    Prepared(fresh, 0);
    fresh.BeginAttempt(0);
    fresh.Commit(0, fresh.Claim(0, 1), now);
    fresh.Commit(0, fresh.Claim(0, MIB), now + 10ms);
    EXPECT_EQ(fresh.Acquire(now + 20ms, 512 * MIB, true), SegmentManager::NO_SLOT);
    EXPECT_NE(fresh.Acquire(now + 20ms, 8 * MIB, true), SegmentManager::NO_SLOT);

    // Nor below the smallest piece worth a request, nor once a range has failed.
    SegmentManager small;
    small.Reset(2 * MIB, {{0, MIB - 1}, {MIB, 2 * MIB - 1}});
    small.Acquire(begin, -1, true);
    small.Acquire(begin, -1, true);
    small.Commit(1, small.Claim(1, MIB), begin);
    small.Release(1, false);
    EXPECT_EQ(small.Acquire(begin, -1, true), SegmentManager::NO_SLOT);
    SegmentManager failed;
    failed.Reset(64 * MIB, {{0, 32 * MIB - 1}, {32 * MIB, 64 * MIB - 1}});
    failed.Acquire(begin, -1, true);
    failed.Acquire(begin, -1, true);
    failed.Release(1, true);
    EXPECT_EQ(failed.Acquire(begin, -1, true), SegmentManager::NO_SLOT);
}

TEST(SegmentManager, RateIsMeasuredFromTheFirstByteAndShowsAStall) {
    SegmentManager manager;
    manager.Reset(64 * MIB, {{0, 64 * MIB - 1}});
    const Clock::time_point begin = Clock::now();
    manager.Acquire(begin, -1, false);
    manager.BeginAttempt(0);
    EXPECT_EQ(manager.Rate(0, begin + 1s), SegmentManager::UNKNOWN_RATE);
    // A burst in the first chunk counts as nothing: the connection's set-up is no rate.
    manager.Commit(0, manager.Claim(0, 4 * MIB), begin);
    EXPECT_EQ(manager.Rate(0, begin + 50ms), SegmentManager::UNKNOWN_RATE);
    Feed(manager, 0, 32 * MIB, 2 * MIB, begin + 1ms, 2s);
    EXPECT_NEAR(static_cast<double>(manager.Rate(0, begin + 2s)), 2.0 * MIB, MIB / 4);
    // Nothing for two seconds: the rate falls towards zero.
    EXPECT_LT(manager.Rate(0, begin + 4s), MIB / 2);
}

TEST(SegmentManager, WritersAndThievesNeverShareAByte) {
    // Four workers write whole chunks into a map of the file while stealing from each other;
    // every byte must be written exactly once.
    constexpr int64_t SIZE = 8 * MIB;
    SegmentManager manager;
    std::vector<ByteRange> plan;
    for (int64_t i = 0; i < 4; ++i) {
        plan.push_back({i * SIZE / 4, (i + 1) * SIZE / 4 - 1});
    }
    manager.Reset(SIZE, plan, StealRule{.min_bytes = 4096, .min_time = 0ms});
    std::vector<std::atomic<uint8_t>> writes(static_cast<size_t>(SIZE));
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&, w] {
            const int64_t chunk = 1000 + w * 777;
            for (int slot;
                 (slot = manager.Acquire(Clock::now(), -1, true)) != SegmentManager::NO_SLOT;) {
                for (;;) {
                    const int64_t offset = manager.Remaining(slot).first;
                    const int64_t mine = manager.Claim(slot, chunk);
                    if (mine == 0) {
                        break;
                    }
                    for (int64_t i = 0; i < mine; ++i) {
                        writes[static_cast<size_t>(offset + i)].fetch_add(1);
                    }
                    manager.Commit(slot, mine, Clock::now());
                }
                manager.Release(slot, false);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_TRUE(manager.AllComplete());
    EXPECT_EQ(manager.DoneBytes(), SIZE);
    EXPECT_GT(manager.SlotCount(), 4u) << "no steal happened";
    int64_t wrong = 0;
    for (const auto& count : writes) {
        wrong += count.load() != 1 ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(SegmentManager, RangesForAResumedDownload) {
    const std::vector<ByteRange> done = {{0, 99}, {300, 399}};
    const std::vector<ByteRange> missing = SegmentManager::Complement(done, 1000);
    EXPECT_EQ(missing, (std::vector<ByteRange>{{100, 299}, {400, 999}}));
    EXPECT_EQ(SegmentManager::Complement({}, 10), (std::vector<ByteRange>{{0, 9}}));
    EXPECT_TRUE(SegmentManager::Complement({{0, 9}}, 10).empty());

    // About six pieces of similar size that cover exactly the missing bytes.
    const std::vector<ByteRange> pieces = SegmentManager::SplitEvenly(missing, 6);
    int64_t covered = 0;
    int64_t next = 0;
    for (const ByteRange& piece : pieces) {
        EXPECT_GE(piece.first, next);
        EXPECT_LE(piece.size(), 200);
        covered += piece.size();
        next = piece.last + 1;
    }
    EXPECT_EQ(covered, 800);
    EXPECT_GE(pieces.size(), 5u);

    // The manager starts with the earlier run's bytes as done.
    SegmentManager manager;
    manager.Reset(1000, pieces);
    EXPECT_EQ(manager.DoneBytes(), 200);
    EXPECT_EQ(manager.Completed(), done);
}

} // namespace
} // namespace inkwarden

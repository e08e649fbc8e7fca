#pragma once

#include <chrono>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

namespace inkwarden {

// One inclusive range of byte offsets.
struct ByteRange {
    int64_t first = 0;
    int64_t last = -1;

    int64_t size() const { return last - first + 1; }
    bool operator==(const ByteRange&) const = default;
};

// When an idle worker may take over part of a busy one's range: only when the rest that the
// busy worker still has to fetch is more than min_bytes and more than min_time at its
// measured rate, so that a new request is never made for a tail that ends on its own soon.
// A victim slower than the thief by more than slow_factor gives up its whole rest.
struct StealRule {
    int64_t min_bytes = 1 << 20;
    std::chrono::milliseconds min_time{1000};
    int64_t slow_factor = 4;
};

// The bookkeeping of one download of known length: which ranges exist, who works on which,
// which bytes are in the file, and how an idle worker takes the upper part of a busy one's
// range. Each range is a slot; a steal lowers the victim's last byte and makes a new slot
// above it, so slots never overlap and together cover every missing byte. A writer claims its
// bytes before writing them and commits what it wrote, and a steal never splits below what
// was claimed, so no byte is written by two workers. It does no I/O; every call is safe from
// any thread.
class SegmentManager {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int NO_SLOT = -1;
    // The last byte of the one slot of a download without a length.
    static constexpr int64_t UNBOUNDED = std::numeric_limits<int64_t>::max();
    // Rate of a slot that has not been measured yet.
    static constexpr int64_t UNKNOWN_RATE = -1;
    // A rate is measured from an attempt's first byte once it has run this long, and then
    // over windows of five times that.
    static constexpr std::chrono::milliseconds RATE_WINDOW{100};

    // Starts over: total bytes, of which missing remain to fetch; one free slot per range, in
    // order. A download without a length passes total UNBOUNDED and one range 0-UNBOUNDED.
    // With align above 0 a steal splits a range only at a multiple of align (a piece boundary).
    void Reset(int64_t total, const std::vector<ByteRange>& missing, StealRule rule = {},
               int64_t align = 0);

    // For a free worker: the first slot nobody works on; else, when stealing is allowed and no
    // slot has failed, a new slot with the upper part of a busy slot's rest: of the rests that
    // the rule lets go, the one that would take longest to finish alone (at equal rates, the
    // largest); else NO_SLOT.
    // thief_rate (bytes per second, or UNKNOWN_RATE) sizes the part: the two split the rest in
    // proportion to their rates, so that both end together; unknown rates split it in halves.
    // With several sources, slow_ranks gives each source's place from slowest (0) up, and a
    // busy slot of a slower source is taken from before any of a faster one.
    int Acquire(Clock::time_point now, int64_t thief_rate, bool may_steal,
                const std::vector<int>& slow_ranks = {});
    // The source whose connection works on slot (0 unless set).
    void SetSource(int slot, int source);
    // Whether any worker still works on a slot (so that a later steal may still come).
    bool AnyTaken() const;
    // The worker stops working on slot; a failed slot is never handed out or stolen from again.
    void Release(int slot, bool failed);

    // The bytes of slot still to fetch: from its next byte to its last.
    ByteRange Remaining(int slot) const;
    bool Complete(int slot) const;
    // An attempt of slot begins at its next byte: its rate is measured afresh.
    void BeginAttempt(int slot);
    // A download without a length starts its one slot again from byte 0.
    void Restart(int slot);
    // A download without a length ended: what arrived is the whole slot.
    void Finish(int slot);
    // Bytes that were in the file are missing again (a piece that failed its digest): a new
    // free slot fetches them. A failed one is never handed out, so the download cannot
    // complete.
    void Reopen(ByteRange range, bool failed);

    // Before writing length bytes at the slot's next byte: how many of them belong to the slot
    // (fewer once its last byte was lowered). They are kept from thieves until Commit.
    int64_t Claim(int slot, int64_t length);
    // written of the claimed bytes are in the file, from the slot's next byte on.
    void Commit(int slot, int64_t written, Clock::time_point now);
    // Bytes per second of the slot's current attempt (over its last window once it has run
    // long enough; its average when it ended sooner), or UNKNOWN_RATE.
    int64_t Rate(int slot, Clock::time_point now) const;

    // Bytes in the file; never decreases between resets, except by Restart.
    int64_t DoneBytes() const;
    int64_t Total() const;
    bool AllComplete() const;
    size_t SlotCount() const;
    // What is still to fetch, and what is in the file, as sorted disjoint ranges.
    std::vector<ByteRange> Missing() const;
    std::vector<ByteRange> Completed() const;

    // Cuts ranges into about count pieces of similar size, in order, for the workers of a
    // resumed download.
    static std::vector<ByteRange> SplitEvenly(const std::vector<ByteRange>& ranges, int count);
    // The complement of sorted disjoint ranges within 0 to total - 1.
    static std::vector<ByteRange> Complement(const std::vector<ByteRange>& ranges, int64_t total);
    // Sorted disjoint ranges without the bytes of holes (sorted, disjoint).
    static std::vector<ByteRange> Subtract(const std::vector<ByteRange>& ranges,
                                           const std::vector<ByteRange>& holes);

private:
    struct Slot {
        int64_t next = 0;
        int64_t last = -1;
        int64_t claimed_end = 0; // one past the bytes claimed and not yet committed
        int source = 0;
        bool taken = false;
        bool failed = false;
        // The current attempt's rate: bytes since its first byte arrived, and when that was.
        int64_t attempt_bytes = 0;
        Clock::time_point first_byte_at{};
        // The rate over the last complete window of the attempt.
        Clock::time_point window_at{};
        int64_t window_bytes = 0;
        int64_t window_rate = UNKNOWN_RATE;
    };

    int64_t RateLocked(const Slot& slot, Clock::time_point now) const;
    int StealLocked(Clock::time_point now, int64_t thief_rate, const std::vector<int>& slow_ranks);
    int64_t StealThreshold(int64_t victim_rate) const;
    // The first byte a thief may take of a rest that starts at lowest: without pieces lowest,
    // else the first multiple of align_ above it.
    int64_t FirstSplit(int64_t lowest) const;
    // A split point moved to a multiple of align_ within lowest to last.
    int64_t AlignSplit(int64_t split, int64_t lowest, int64_t last) const;
    std::vector<ByteRange> MissingLocked() const;

    mutable std::mutex mutex_;
    std::vector<Slot> slots_;
    int64_t total_ = 0;
    int64_t missing_bytes_ = 0;
    StealRule rule_;
    int64_t align_ = 0;
};

} // namespace inkwarden

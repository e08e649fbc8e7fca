#include "net/SegmentManager.h"

#include <algorithm>

namespace inkwarden {

namespace {

int64_t PerSecond(int64_t bytes, SegmentManager::Clock::duration elapsed) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    return micros > 0 ? bytes * 1000000 / micros : SegmentManager::UNKNOWN_RATE;
}

} // namespace

void SegmentManager::Reset(int64_t total, const std::vector<ByteRange>& missing, StealRule rule,
                           int64_t align) {
    std::lock_guard<std::mutex> lock(mutex_);
    total_ = total;
    rule_ = rule;
    align_ = align;
    slots_.clear();
    missing_bytes_ = 0;
    for (const ByteRange& range : missing) {
        Slot slot;
        slot.next = range.first;
        slot.last = range.last;
        slot.claimed_end = range.first;
        slots_.push_back(slot);
        if (range.last != UNBOUNDED) {
            missing_bytes_ += range.size();
        }
    }
}

int SegmentManager::Acquire(Clock::time_point now, int64_t thief_rate, bool may_steal,
                            const std::vector<int>& slow_ranks) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        if (!slot.taken && !slot.failed && slot.next <= slot.last) {
            slot.taken = true;
            return static_cast<int>(i);
        }
    }
    return may_steal ? StealLocked(now, thief_rate, slow_ranks) : NO_SLOT;
}

void SegmentManager::SetSource(int slot, int source) {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_.at(static_cast<size_t>(slot)).source = source;
}

int SegmentManager::StealLocked(Clock::time_point now, int64_t thief_rate,
                                const std::vector<int>& slow_ranks) {
    // Once a range has failed the download fails: more requests would only add failures.
    if (std::any_of(slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.failed; })) {
        return NO_SLOT;
    }
    // The victim: of the busy slots whose rest above what their writer claimed is worth a
    // request, those of the slowest source, and of them the one that would take longest to
    // finish alone.
    const auto rank_of = [&slow_ranks](const Slot& slot) {
        const auto source = static_cast<size_t>(slot.source);
        return source < slow_ranks.size() ? slow_ranks[source] : 0;
    };
    int victim = NO_SLOT;
    int victim_rank = 0;
    int64_t victim_rest = 0;
    int64_t victim_rate = UNKNOWN_RATE;
    double longest = 0;
    for (size_t i = 0; i < slots_.size(); ++i) {
        const Slot& slot = slots_[i];
        if (!slot.taken || slot.failed || slot.last == UNBOUNDED) {
            continue;
        }
        const int64_t rest = slot.last - FirstSplit(std::max(slot.next, slot.claimed_end)) + 1;
        const int64_t rate = RateLocked(slot, now);
        // A connection not measured yet is taken to go as fast as the thief's.
        const int64_t assumed = rate != UNKNOWN_RATE ? rate : thief_rate;
        if (rest <= StealThreshold(assumed)) {
            continue;
        }
        const double seconds = static_cast<double>(rest) /
                               static_cast<double>(assumed > 0 ? assumed : int64_t{1} << 20);
        const int rank = rank_of(slot);
        if (victim == NO_SLOT || rank < victim_rank || (rank == victim_rank && seconds > longest)) {
            longest = seconds;
            victim_rank = rank;
            victim = static_cast<int>(i);
            victim_rest = rest;
            victim_rate = rate;
        }
    }
    if (victim == NO_SLOT) {
        return NO_SLOT;
    }

    // Split so that both end together: the thief's share follows the two rates. A connection
    // far slower than the thief's gives up all of its rest; its worker then starts afresh on
    // a new connection, which may well be faster.
    int64_t taken = victim_rest / 2;
    if (victim_rate != UNKNOWN_RATE && thief_rate != UNKNOWN_RATE) {
        if (victim_rate * rule_.slow_factor < thief_rate) {
            taken = victim_rest;
        } else {
            const double share =
                static_cast<double>(thief_rate) / static_cast<double>(victim_rate + thief_rate);
            taken = static_cast<int64_t>(static_cast<double>(victim_rest) * share);
        }
    }
    taken = std::clamp<int64_t>(taken, 1, victim_rest);

    Slot& slot = slots_[static_cast<size_t>(victim)];
    Slot stolen;
    stolen.next = AlignSplit(slot.last - taken + 1,
                             FirstSplit(std::max(slot.next, slot.claimed_end)), slot.last);
    stolen.last = slot.last;
    stolen.claimed_end = stolen.next;
    stolen.taken = true;
    slot.last = stolen.next - 1;
    slots_.push_back(stolen);
    return static_cast<int>(slots_.size() - 1);
}

int64_t SegmentManager::StealThreshold(int64_t victim_rate) const {
    // A rest that the victim finishes soon on its own is not worth a new request.
    if (victim_rate == UNKNOWN_RATE) {
        return rule_.min_bytes;
    }
    return std::max(rule_.min_bytes, victim_rate * rule_.min_time.count() / 1000);
}

int64_t SegmentManager::FirstSplit(int64_t lowest) const {
    // With pieces, the victim keeps at least the bytes up to the next boundary: a rest inside
    // one piece is not worth a second connection.
    return align_ > 0 ? (lowest + align_) / align_ * align_ : lowest;
}

int64_t SegmentManager::AlignSplit(int64_t split, int64_t lowest, int64_t last) const {
    if (align_ <= 0) {
        return split;
    }
    // The nearest boundary; lowest is one, and last is past none of the candidates kept.
    const int64_t down = split / align_ * align_;
    const int64_t up = down + align_;
    const int64_t nearest = split - down <= up - split || up > last ? down : up;
    return std::max(nearest, lowest);
}

bool SegmentManager::AnyTaken() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::any_of(slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.taken; });
}

void SegmentManager::Release(int slot, bool failed) {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& record = slots_.at(static_cast<size_t>(slot));
    record.taken = false;
    record.failed = record.failed || failed;
}

ByteRange SegmentManager::Remaining(int slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Slot& record = slots_.at(static_cast<size_t>(slot));
    return {record.next, record.last};
}

bool SegmentManager::Complete(int slot) const {
    const ByteRange rest = Remaining(slot);
    return rest.first > rest.last;
}

void SegmentManager::BeginAttempt(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& record = slots_.at(static_cast<size_t>(slot));
    record.attempt_bytes = 0;
    record.first_byte_at = {};
    record.window_at = {};
    record.window_bytes = 0;
    record.window_rate = UNKNOWN_RATE;
}

void SegmentManager::Restart(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& record = slots_.at(static_cast<size_t>(slot));
    record.next = 0;
    record.claimed_end = 0;
}

void SegmentManager::Finish(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& record = slots_.at(static_cast<size_t>(slot));
    record.last = record.next - 1;
}

void SegmentManager::Reopen(ByteRange range, bool failed) {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot slot;
    slot.next = range.first;
    slot.last = range.last;
    slot.claimed_end = range.first;
    slot.failed = failed;
    slots_.push_back(slot);
    missing_bytes_ += range.size();
}

int64_t SegmentManager::Claim(int slot, int64_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& record = slots_.at(static_cast<size_t>(slot));
    const int64_t rest = record.last == UNBOUNDED ? length : record.last - record.next + 1;
    const int64_t mine = std::clamp<int64_t>(rest, 0, length);
    record.claimed_end = record.next + mine;
    return mine;
}

void SegmentManager::Commit(int slot, int64_t written, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& record = slots_.at(static_cast<size_t>(slot));
    written = std::clamp<int64_t>(written, 0, record.claimed_end - record.next);
    record.next += written;
    record.claimed_end = record.next;
    if (record.last != UNBOUNDED) {
        missing_bytes_ -= written;
    }
    if (written == 0) {
        return;
    }
    // The first bytes of an attempt start its clock: the connection's set-up is no rate.
    if (record.first_byte_at == Clock::time_point{}) {
        record.first_byte_at = now;
        record.window_at = now;
        return;
    }
    record.attempt_bytes += written;
    // The first bytes come in a burst out of the buffers on the way; a rate over the last
    // window shows what the connection keeps up.
    if (now - record.window_at >= RATE_WINDOW * 5) {
        record.window_rate =
            PerSecond(record.attempt_bytes - record.window_bytes, now - record.window_at);
        record.window_at = now;
        record.window_bytes = record.attempt_bytes;
    }
}

int64_t SegmentManager::Rate(int slot, Clock::time_point now) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return RateLocked(slots_.at(static_cast<size_t>(slot)), now);
}

int64_t SegmentManager::RateLocked(const Slot& slot, Clock::time_point now) const {
    if (slot.first_byte_at == Clock::time_point{}) {
        return UNKNOWN_RATE;
    }
    // A short attempt that is over still tells its average; a running one needs a while.
    if (now - slot.first_byte_at < RATE_WINDOW) {
        const bool over = slot.next > slot.last && slot.attempt_bytes > 0;
        return over ? PerSecond(slot.attempt_bytes, now - slot.first_byte_at) : UNKNOWN_RATE;
    }
    // A window that is overdue shows a connection that slowed down or stalled.
    if (now - slot.window_at >= RATE_WINDOW * 5) {
        return PerSecond(slot.attempt_bytes - slot.window_bytes, now - slot.window_at);
    }
    if (slot.window_rate != UNKNOWN_RATE) {
        return slot.window_rate;
    }
    return PerSecond(slot.attempt_bytes, now - slot.first_byte_at);
}

int64_t SegmentManager::DoneBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (total_ == UNBOUNDED) {
        return slots_.empty() ? 0 : slots_.front().next;
    }
    return total_ - missing_bytes_;
}

int64_t SegmentManager::Total() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return total_;
}

bool SegmentManager::AllComplete() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::all_of(slots_.begin(), slots_.end(),
                       [](const Slot& slot) { return slot.next > slot.last; });
}

size_t SegmentManager::SlotCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return slots_.size();
}

std::vector<ByteRange> SegmentManager::Missing() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return MissingLocked();
}

std::vector<ByteRange> SegmentManager::MissingLocked() const {
    std::vector<ByteRange> rests;
    for (const Slot& slot : slots_) {
        if (slot.next <= slot.last) {
            rests.push_back({slot.next, slot.last});
        }
    }
    std::sort(rests.begin(), rests.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.first < b.first; });
    // Neighbouring rests (a victim's and its thief's) are one range of the record.
    std::vector<ByteRange> merged;
    for (const ByteRange& rest : rests) {
        if (!merged.empty() && merged.back().last + 1 >= rest.first) {
            merged.back().last = std::max(merged.back().last, rest.last);
        } else {
            merged.push_back(rest);
        }
    }
    return merged;
}

std::vector<ByteRange> SegmentManager::Completed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return Complement(MissingLocked(), total_);
}

std::vector<ByteRange> SegmentManager::Complement(const std::vector<ByteRange>& ranges,
                                                  int64_t total) {
    std::vector<ByteRange> gaps;
    int64_t next = 0;
    for (const ByteRange& range : ranges) {
        if (range.first > next) {
            gaps.push_back({next, range.first - 1});
        }
        next = std::max(next, range.last + 1);
    }
    if (next < total) {
        gaps.push_back({next, total - 1});
    }
    return gaps;
}

std::vector<ByteRange> SegmentManager::Subtract(const std::vector<ByteRange>& ranges,
                                                const std::vector<ByteRange>& holes) {
    std::vector<ByteRange> rest;
    size_t hole = 0;
    for (ByteRange range : ranges) {
        while (hole < holes.size() && holes[hole].last < range.first) {
            ++hole;
        }
        // Cut out every hole that overlaps the range, from its low end up.
        for (size_t h = hole; h < holes.size() && holes[h].first <= range.last; ++h) {
            if (holes[h].first > range.first) {
                rest.push_back({range.first, holes[h].first - 1});
            }
            range.first = std::max(range.first, holes[h].last + 1);
        }
        if (range.first <= range.last) {
            rest.push_back(range);
        }
    }
    return rest;
}

std::vector<ByteRange> SegmentManager::SplitEvenly(const std::vector<ByteRange>& ranges,
                                                   int count) {
    int64_t sum = 0;
    for (const ByteRange& range : ranges) {
        sum += range.size();
    }
    if (count < 1 || sum == 0) {
        return ranges;
    }
    // Each range in pieces of about sum / count bytes; a small hole stays whole.
    const int64_t piece = std::max<int64_t>(1, (sum + count - 1) / count);
    std::vector<ByteRange> pieces;
    for (const ByteRange& range : ranges) {
        const int64_t parts = std::max<int64_t>(1, range.size() / piece);
        const int64_t part_size = range.size() / parts;
        for (int64_t i = 0; i < parts; ++i) {
            const int64_t first = range.first + i * part_size;
            const int64_t last = i + 1 < parts ? first + part_size - 1 : range.last;
            pieces.push_back({first, last});
        }
    }
    return pieces;
}

} // namespace inkwarden

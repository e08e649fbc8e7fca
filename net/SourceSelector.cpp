#include "net/SourceSelector.h"

#include <algorithm>
#include <tuple>

namespace inkwarden {

std::vector<std::string> SourceUrls(const DownloadRequest& request) {
    std::vector<std::string> urls{request.url};
    urls.insert(urls.end(), request.mirrors.begin(), request.mirrors.end());
    return urls;
}

void SourceSelector::Reset(const std::vector<std::string>& urls, DownloadObserver& observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = &observer;
    reference_ = 0;
    sources_.clear();
    for (const std::string& url : urls) {
        Source source;
        source.url = url;
        sources_.push_back(source);
    }
}

size_t SourceSelector::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sources_.size();
}

std::string SourceSelector::Url(int source) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sources_.at(static_cast<size_t>(source)).url;
}

ProbeFacts SourceSelector::Probe(int source) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sources_.at(static_cast<size_t>(source)).probe;
}

void SourceSelector::SetProbe(int source, const ProbeFacts& probe) {
    std::lock_guard<std::mutex> lock(mutex_);
    sources_.at(static_cast<size_t>(source)).probe = probe;
}

int SourceSelector::Reference() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reference_;
}

void SourceSelector::SetReference(int source) {
    std::lock_guard<std::mutex> lock(mutex_);
    reference_ = source;
}

bool SourceSelector::DropLocked(int source) {
    Source& record = sources_.at(static_cast<size_t>(source));
    const bool was_alive = record.alive;
    record.alive = false;
    return was_alive;
}

bool SourceSelector::Drop(int source, const std::string& cause) {
    std::string url;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!DropLocked(source)) {
            return false;
        }
        url = sources_.at(static_cast<size_t>(source)).url;
    }
    // Outside the lock: an observer may well ask about the sources.
    observer_->OnAttemptEvent({.kind = AttemptEventKind::SOURCE_DROPPED,
                               .range = -1,
                               .source = url,
                               .cause = cause,
                               .number = source,
                               .bytes = 0});
    return true;
}

bool SourceSelector::Alive(int source) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sources_.at(static_cast<size_t>(source)).alive;
}

int SourceSelector::AliveCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count_if(sources_.begin(), sources_.end(),
                                          [](const Source& source) { return source.alive; }));
}

int SourceSelector::Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    int chosen = NO_SOURCE;
    for (size_t i = 0; i < sources_.size(); ++i) {
        const Source& source = sources_[i];
        if (!source.alive) {
            continue;
        }
        if (chosen == NO_SOURCE) {
            chosen = static_cast<int>(i);
            continue;
        }
        // A source not measured yet comes before measured ones: each gets its chance.
        const Source& best = sources_[static_cast<size_t>(chosen)];
        const auto key = [](const Source& s) {
            return std::make_tuple(s.connections, s.rate != UNKNOWN_RATE, -s.rate);
        };
        if (key(source) < key(best)) {
            chosen = static_cast<int>(i);
        }
    }
    if (chosen != NO_SOURCE) {
        ++sources_[static_cast<size_t>(chosen)].connections;
    }
    return chosen;
}

void SourceSelector::Leave(int source) {
    std::lock_guard<std::mutex> lock(mutex_);
    --sources_.at(static_cast<size_t>(source)).connections;
}

bool SourceSelector::KeepsServing(int source, SourceFault fault, const std::string& cause) {
    if (fault == SourceFault::NONE || !Several()) {
        return true;
    }
    Drop(source, cause);
    return false;
}

bool SourceSelector::HandOver(int source, const std::string& cause) {
    if (!Several()) {
        return false;
    }
    Drop(source, cause);
    return AliveCount() > 0;
}

void SourceSelector::AddRate(int source, int64_t rate) {
    if (rate <= 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    int64_t& kept = sources_.at(static_cast<size_t>(source)).rate;
    // Smoothed, so that one range that met a burst or a stall does not decide alone.
    kept = kept == UNKNOWN_RATE ? rate : (kept * 3 + rate) / 4;
}

int64_t SourceSelector::Rate(int source) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sources_.at(static_cast<size_t>(source)).rate;
}

void SourceSelector::AddBytes(int source, int64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    sources_.at(static_cast<size_t>(source)).bytes += bytes;
}

std::vector<int64_t> SourceSelector::Bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<int64_t> bytes;
    for (const Source& source : sources_) {
        bytes.push_back(source.bytes);
    }
    return bytes;
}

void SourceSelector::ReportBytes() const {
    std::vector<Source> sources;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sources = sources_;
    }
    // One source's bytes are the file's: nothing worth a line.
    for (size_t i = 0; sources.size() > 1 && i < sources.size(); ++i) {
        observer_->OnAttemptEvent({.kind = AttemptEventKind::SOURCE_BYTES,
                                   .range = -1,
                                   .source = sources[i].url,
                                   .cause = {},
                                   .number = static_cast<long>(i),
                                   .bytes = sources[i].bytes});
    }
}

std::vector<int> SourceSelector::SlowRanks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<int64_t> rates;
    for (const Source& source : sources_) {
        rates.push_back(source.rate);
    }
    // UNKNOWN_RATE is below every measured rate, so it sorts first. Rates within a quarter of
    // the slowest of their place share it: a measurement is no finer than that.
    std::vector<int64_t> floors = rates;
    std::sort(floors.begin(), floors.end());
    std::vector<int64_t> places;
    for (const int64_t rate : floors) {
        const bool new_place =
            places.empty() ||
            (places.back() == UNKNOWN_RATE ? rate != UNKNOWN_RATE : rate * 4 > places.back() * 5);
        if (new_place) {
            places.push_back(rate);
        }
    }
    std::vector<int> ranks;
    for (const int64_t rate : rates) {
        const auto above = std::upper_bound(places.begin(), places.end(), rate);
        ranks.push_back(static_cast<int>(above - places.begin()) - 1);
    }
    return ranks;
}

} // namespace inkwarden

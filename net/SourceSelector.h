#pragma once

#include "net/AnswerCheck.h"
#include "net/DownloadObserver.h"
#include "net/DownloadRequest.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace inkwarden {

// The request's URL, then its mirrors.
std::vector<std::string> SourceUrls(const DownloadRequest& request);

// Why a failed attempt counts against its source rather than against the network.
enum class SourceFault {
    NONE,         // no fault, or one that another attempt at the same source may mend
    REFUSED,      // the source took no connection
    WRONG_ANSWER, // other bytes or another length than were asked for
    CHANGED,      // another file than the one probed
};

// The sources of one download (the package URL first, then its mirrors), what their probes
// found, and how they fare: which are still in use, how many connections each has, the rate
// their finished ranges were measured at, and the bytes each delivered. A source that fails
// is dropped for the rest of the download and told to the observer; its ranges go to the
// others. Every call is safe from any thread.
class SourceSelector {
public:
    static constexpr int NO_SOURCE = -1;
    static constexpr int64_t UNKNOWN_RATE = -1;
    static constexpr const char* NONE_LEFT = "every source of the file failed";

    // Starts over with these sources, all in use, none measured.
    void Reset(const std::vector<std::string>& urls, DownloadObserver& observer);

    size_t Count() const;
    // Several sources: failures are weighed per source, and one that fails may be dropped.
    bool Several() const { return Count() > 1; }
    std::string Url(int source) const;
    ProbeFacts Probe(int source) const;
    void SetProbe(int source, const ProbeFacts& probe);
    // The source whose probe the others must agree with: the first one that answered.
    int Reference() const;
    void SetReference(int source);

    // Drops source for the rest of the download; false when it was dropped already.
    bool Drop(int source, const std::string& cause);
    bool Alive(int source) const;
    int AliveCount() const;

    // A source for a new connection: of those in use, the one with fewest connections (then
    // one not measured yet, then the fastest, then the first); NO_SOURCE when none is left.
    // Leave ends the connection.
    int Take();
    void Leave(int source);

    // After a failed attempt at source: false when the fault drops it (only with several
    // sources: one source fails as a download always did).
    bool KeepsServing(int source, SourceFault fault, const std::string& cause);
    // After a range failed at source for good: drops it and says whether another source can
    // take the range over.
    bool HandOver(int source, const std::string& cause);

    // Feeds the rate a finished range of source was measured at (bytes per second).
    void AddRate(int source, int64_t rate);
    int64_t Rate(int source) const;
    void AddBytes(int source, int64_t bytes);
    std::vector<int64_t> Bytes() const;
    // With several sources, one SOURCE_BYTES event per source, in order.
    void ReportBytes() const;
    // Each source's place from slowest (0) up; a source with no finished range yet is taken
    // as the slowest, since the others finished theirs first. Equal rates share a place.
    std::vector<int> SlowRanks() const;

private:
    struct Source {
        std::string url;
        ProbeFacts probe;
        bool alive = true;
        int connections = 0;
        int64_t rate = UNKNOWN_RATE;
        int64_t bytes = 0;
    };

    bool DropLocked(int source);

    mutable std::mutex mutex_;
    std::vector<Source> sources_;
    int reference_ = 0;
    DownloadObserver* observer_ = nullptr;
};

} // namespace inkwarden

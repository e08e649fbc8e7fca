#pragma once

#include <cstdint>
#include <string>

namespace inkwarden {

enum class AttemptEventKind {
    // The transfer itself failed: number is the library's code, cause its words.
    TRANSFER_FAILED,
    // The answer's status is no data: number is the status.
    STATUS_REFUSED,
    // The answer ended before its range did: bytes is what is missing.
    ANSWER_SHORT,
    // The answer is not what was asked for (its range, length or validator): cause says how.
    ANSWER_REFUSED,
    // The next attempt of a range resumes at byte bytes.
    RESUMED,
    // Another attempt of the range follows: number counts them.
    RETRY,
    // The file changed on the server: the download starts afresh.
    RESTARTED,
    // A source delivered bytes into the file (reported once per source as a download ends).
    SOURCE_BYTES,
    // A source is no longer used for this download: cause says why, number is its place.
    SOURCE_DROPPED,
    // Piece number failed its digest: source served it (empty for a piece of the partial file
    // a download resumes); bytes is its first byte, cause what follows.
    PIECE_FAILED,
};

// One thing that happened to one attempt of a download.
struct AttemptEvent {
    AttemptEventKind kind = AttemptEventKind::TRANSFER_FAILED;
    int range = -1;
    std::string source;
    std::string cause;
    long number = 0;
    int64_t bytes = 0;
};

// Told about every attempt's failures and retries; called from the download's worker threads,
// possibly at the same time.
class DownloadObserver {
public:
    virtual ~DownloadObserver() = default;
    virtual void OnAttemptEvent(const AttemptEvent& event) = 0;
};

// Prints each event as one diagnostic line on standard output.
class DiagnosticPrinter : public DownloadObserver {
public:
    void OnAttemptEvent(const AttemptEvent& event) override;
    static DiagnosticPrinter& Shared();
};

} // namespace inkwarden

#pragma once

#include "net/AnswerCheck.h"
#include "net/CurlTransfer.h"
#include "net/DownloadObserver.h"
#include "net/DownloadRequest.h"
#include "net/DownloadSegment.h"
#include "net/DownloadTimings.h"
#include "net/PieceChecker.h"
#include "net/ResponseHeaders.h"
#include "net/SegmentManager.h"
#include "net/SourceSelector.h"
#include "net/TargetLock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace inkwarden {

class DownloadControlFile;
class ThreadPool;
struct ResumeState;

// (bytes in the file, total bytes, fraction); called from worker threads, one call at a time.
using ProgressCallback = std::function<void(int64_t done, int64_t total, double fraction)>;

// Fetches one URL into a target path with up to the request's count of parallel ranged
// connections, each writing in place into the target's name + ".tmp", which is renamed over
// the target when every byte arrived; the target stays as it was until then. Every answer is
// checked against its request and the probe before a byte of it is written. A connection that
// finishes its range takes over the upper part of the largest range still running. A download
// of known length from a server with ranges and a validator keeps a control file
// (DownloadControlFile) beside the temporary file, so that a later Download of the same URL
// into the same target fetches only the missing ranges.
class SegmentedDownloader {
public:
    static constexpr int64_t SINGLE_CONNECTION_LIMIT = 16384;
    // total_size when the server gave no length.
    static constexpr int64_t UNKNOWN_SIZE = 0xFFFFFFFF;
    static constexpr const char* TEMP_SUFFIX = ".tmp";

    explicit SegmentedDownloader(DownloadTimings timings = {});
    // Cancels a running download and waits until it has ended.
    ~SegmentedDownloader();

    SegmentedDownloader(const SegmentedDownloader&) = delete;
    SegmentedDownloader& operator=(const SegmentedDownloader&) = delete;

    // One download; waits first for an earlier one to end. A cancel that comes before the
    // download starts cancels it.
    DownloadResult Download(const DownloadRequest& request, ProgressCallback callback = nullptr);
    // Stops a running download (from any thread); Download then returns with "cancelled".
    void Cancel() { cancel = true; }
    // A cancel that found no download running stays until a download ends or this clears
    // it; the owner clears it once it knows that no download is about to start.
    void ResetCancel() { cancel = false; }
    // Waits while a download's segments run; returns early once cancel is set.
    void WaitIdle();
    bool Busy() const { return busy; }

    // The probe's and the segments' attempts, pauses and limits; set only while idle.
    void SetTimings(const DownloadTimings& timings) { timings_ = timings; }
    const DownloadTimings& Timings() const { return timings_; }
    // Who hears of failed attempts and retries; the diagnostic lines by default. Set only
    // while idle; it must outlive the downloads.
    void SetObserver(DownloadObserver& observer) { observer_ = &observer; }

    // The control file of a download into target_path.
    static std::string ControlPath(const std::string& target_path);

    static bool SupportsRanges(const HeaderMap& map) { return inkwarden::SupportsRanges(map); }
    static std::string ResumeValidator(const HeaderMap& map) {
        return inkwarden::ResumeValidator(map);
    }
    // The transfers' header callback: one header line of a response into map (a HeaderMap).
    static size_t OnHeaderLine(char* data, size_t size, size_t count, void* map) {
        return AddHeaderLine(data, size, count, map);
    }

    // For the segments' callbacks.
    const ProbeFacts& Probe() const { return probe_; }
    const DownloadRequest& Request() const { return request_; }
    // The running download's sources: 0 is the request's URL, then its mirrors in order.
    std::string SourceUrl(int source) const { return sources_.Url(source); }
    ProbeFacts ProbeOf(int source) const { return sources_.Probe(source); }
    // Stops using a source for the running download (its connections end, its ranges go to
    // the others); false when it was dropped already. The download fails once none is left.
    bool DropSource(int source, const std::string& cause) { return sources_.Drop(source, cause); }
    void Report(const AttemptEvent& event) const { observer_->OnAttemptEvent(event); }

private:
    // How a download is split: count segments of segment_size bytes (the last one takes the
    // remainder) out of total; without a length one segment fetches the whole resource.
    struct SegmentPlan {
        int count = 1;
        int64_t segment_size = 0;
        int64_t total = 0;
        bool length_known = false;
        bool ranges = false;
    };

    SegmentPlan PlanSegments(const HeaderMap& map, bool length_known) const;
    std::vector<ByteRange> PlannedRanges(const SegmentPlan& plan) const;
    TransferFlags RedirectFlag() const;
    // The probe, then the segments; repeated once, afresh, when the file changed meanwhile.
    bool RunOnce(bool fresh);
    bool CheckTarget();
    bool LockTarget();
    // Header-only request: the content length (-1 when none was given, 0 on failure).
    int64_t ProbeSize(HeaderMap& map);
    bool AcceptProbedLength(int64_t size);
    bool RunSegments(const SegmentPlan& plan, bool fresh);
    // After a commit: the pieces it completed are checked, and failed ones fetched again.
    void CheckPieces(DownloadSegment& segment, int64_t offset, int64_t written);
    bool ResumeFromRecord(const DownloadControlFile& control, const ResumeState& wanted,
                          int connections, std::vector<ByteRange>& missing);
    bool RunWorkers(int workers, const DownloadControlFile* control, const ResumeState& state);
    void SubmitWorker(ThreadPool& pool);
    void WaitForWorkers(const DownloadControlFile* control, const ResumeState& state);
    void SaveRecord(const DownloadControlFile& control, ResumeState state) const;
    bool Finish(bool result, const DownloadControlFile* control, const ResumeState& state);
    DownloadResult TakeResult(bool done);
    void RunWorker();
    // Waits a while for a range to become worth taking over; false when none is busy.
    bool WaitForSlotChange();
    DownloadSegment* NewSegment(int slot);
    void RunSegment(DownloadSegment& segment);
    bool PrepareSegmentTransfer(DownloadSegment& segment);
    int ReportProgress();
    void SleepUnlessCancelled(std::chrono::milliseconds pause);
    void NoteFailure(const std::string& reason, int error = 0);
    std::string TemporaryPath() const;
    // Every segment stops: a cancel, or the file changed on the server.
    bool Halted() const { return cancel || halt_; }

    static size_t OnSegmentData(char* data, size_t size, size_t count, void* segment);
    static int OnSegmentProgress(void* segment, curl_off_t download_total, curl_off_t download_now,
                                 curl_off_t upload_total, curl_off_t upload_now);

    DownloadTimings timings_;
    DownloadObserver* observer_;
    // The running download's request, what its probe found, and its hold on the target.
    DownloadRequest request_;
    ProbeFacts probe_;
    TargetLock lock_;
    ProgressCallback progress;
    std::vector<std::unique_ptr<DownloadSegment>> segments;
    std::atomic<int32_t> active_tasks{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> busy{false};
    // A segment saw another validator than the probe's: the others stop, and the run repeats.
    std::atomic<bool> halt_{false};
    std::atomic<bool> file_changed_{false};
    bool size_refused_ = false;
    std::atomic<int64_t> reported_bytes{0};
    std::atomic<int64_t> total_size{0};
    // Bytes the segments wrote into the file in this download.
    std::atomic<int64_t> delivered_{0};
    SegmentManager manager_;
    SourceSelector sources_;
    PieceChecker pieces_;
    std::mutex progress_mutex;
    // Guards segments while workers add to it, and the failure reason.
    mutable std::mutex segments_mutex_;
    std::string failure_reason_;
    int failure_error_ = 0;
    bool submission_failed_ = false;
    // Signalled when the last worker task ends.
    std::mutex workers_mutex_;
    std::condition_variable workers_done_;
    // Signalled when a worker lets go of a range; idle workers wait on it between looks.
    std::mutex slots_mutex_;
    std::condition_variable slots_changed_;
};

} // namespace inkwarden

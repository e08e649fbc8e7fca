#pragma once

#include "net/CurlTransfer.h"
#include "net/DownloadSegment.h"
#include "net/DownloadTimings.h"
#include "net/SegmentManager.h"

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

// Header names compare without regard to ASCII case, as HTTP has them.
struct HeaderNameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// Response header name to value (blanks around it trimmed); the first occurrence of a name in
// the last response wins.
using HeaderMap = std::map<std::string, std::string, HeaderNameLess>;

// Fetches one URL into target_path with up to connection_count parallel ranged connections,
// each writing in place into target_path + ".tmp", which is renamed over the target when every
// byte arrived; the target stays as it was until then. A connection that finishes its range
// takes over the upper part of the largest range still running. A download of known length
// from a server with ranges and a validator keeps a control file (DownloadControlFile) beside
// the temporary file, so that a later Download of the same URL into the same target fetches
// only the missing ranges.
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

    // Waits while a download's segments run; returns early once cancel is set.
    void WaitIdle();

    // The probe's and the segments' attempts, pauses and limits; set only while idle.
    void SetTimings(const DownloadTimings& timings) { timings_ = timings; }
    const DownloadTimings& Timings() const { return timings_; }

    // One download of url to target_path; true when the complete file is under target_path.
    bool Download(ProgressCallback callback);
    // Why the last Download failed, in one line for a person; empty after a success.
    std::string FailureReason() const;
    // The errno behind that reason when a file operation failed (ENOSPC for a full disk), else 0.
    int FailureError() const;
    // The control file of a download into target_path.
    std::string ControlPath() const;

    // Set by the owner before each download (after WaitIdle); cancel may be set at any time.
    ProgressCallback progress;
    std::string url;
    std::string target_path;
    std::vector<std::unique_ptr<DownloadSegment>> segments;
    std::atomic<int32_t> active_tasks{0};
    int32_t connection_count = 1;
    std::atomic<bool> cancel{false};
    std::atomic<bool> busy{false};
    bool follow_redirects = true;
    // false: an earlier run's record is not used (it is still kept for a later run).
    bool resume = true;
    // The probe's raw header lines also go to standard output.
    bool echo_probe_headers = true;
    std::atomic<int64_t> reported_bytes{0};
    std::atomic<int64_t> total_size{0};

    // Header-only request: the content length (-1 when none was given, 0 on failure).
    int64_t ProbeSize(const std::string& probe_url, HeaderMap& map);
    static bool SupportsRanges(const HeaderMap& map);
    // What tells a later run that the resource is still the same: a strong ETag, else the
    // Last-Modified date, each with its header name; empty when the server names neither.
    static std::string ResumeValidator(const HeaderMap& map);
    // The transfers' header callback: one header line of a response into map (a HeaderMap).
    static size_t OnHeaderLine(char* data, size_t size, size_t count, void* map);

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
    bool RunSegments(const SegmentPlan& plan, const std::string& validator);
    bool ResumeFromRecord(const DownloadControlFile& control, const ResumeState& wanted,
                          int connections, std::vector<ByteRange>& missing);
    bool PrepareTemporaryFile(const std::string& temporary_path, bool keep_content);
    bool RunWorkers(int workers, const DownloadControlFile* control, const ResumeState& state);
    void SubmitWorker(ThreadPool& pool);
    void WaitForWorkers(const DownloadControlFile* control, const ResumeState& state);
    void SaveRecord(const DownloadControlFile& control, ResumeState state) const;
    bool Finish(bool result, const DownloadControlFile* control, const ResumeState& state);
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

    static size_t OnSegmentData(char* data, size_t size, size_t count, void* segment);
    static int OnSegmentProgress(void* segment, curl_off_t download_total, curl_off_t download_now,
                                 curl_off_t upload_total, curl_off_t upload_now);

    DownloadTimings timings_;
    SegmentManager manager_;
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

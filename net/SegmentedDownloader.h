#pragma once

#include "net/CurlTransfer.h"
#include "net/DownloadSegment.h"
#include "net/DownloadTimings.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace inkwarden {

class ThreadPool;

// (bytes received by all segments, total bytes, fraction); called from worker threads.
using ProgressCallback = std::function<void(int64_t done, int64_t total, double fraction)>;

// Response header name to value, exact case; the first occurrence of a name wins.
using HeaderMap = std::map<std::string, std::string>;

// Fetches one URL into target_path with up to connection_count parallel ranged connections,
// each writing in place into target_path + ".tmp", which is renamed when every range arrived.
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
    std::atomic<int64_t> reported_bytes{0};
    std::atomic<int64_t> total_size{0};

    // Header-only request: the content length (-1 when none was given, 0 on failure).
    int64_t ProbeSize(const std::string& probe_url, HeaderMap& map);
    static bool SupportsRanges(const HeaderMap& map);
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
    };

    SegmentPlan PlanSegments(const HeaderMap& map, bool length_known) const;
    TransferFlags RedirectFlag() const;
    bool RunSegments(const SegmentPlan& plan);
    bool StartSegments(ThreadPool& pool, const std::string& temporary_path,
                       const SegmentPlan& plan);
    void SubmitSegment(ThreadPool& pool, DownloadSegment& segment);
    bool CollectSegments();
    void RunSegment(DownloadSegment& segment);
    bool PrepareSegmentTransfer(DownloadSegment& segment);
    int ReportProgress();
    void SleepUnlessCancelled(std::chrono::milliseconds pause);

    static size_t OnSegmentData(char* data, size_t size, size_t count, void* segment);
    static int OnSegmentProgress(void* segment, curl_off_t download_total, curl_off_t download_now,
                                 curl_off_t upload_total, curl_off_t upload_now);

    DownloadTimings timings_;
    // Segments visible to progress reports; see ReportProgress.
    std::atomic<size_t> published_segments{0};
    std::mutex progress_mutex;
};

} // namespace inkwarden

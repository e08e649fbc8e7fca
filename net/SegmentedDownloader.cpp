#include "net/SegmentedDownloader.h"

#include "net/HttpResponse.h"
#include "net/ThreadPool.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace inkwarden {
namespace {

// Segments share one temporary file, each writing its own range through its own descriptor.
constexpr mode_t TEMPORARY_FILE_MODE = 0644;

void SleepFor(std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
}

// The probe succeeds only with a 2xx answer.
bool IsProbeSuccess(long status) {
    return status >= HTTP_OK && status < HTTP_MULTIPLE_CHOICES;
}

// A segment also takes 300 as success, and writes the body of such an answer.
bool IsSegmentSuccess(long status) {
    return status >= HTTP_OK && status <= HTTP_MULTIPLE_CHOICES;
}

// Writes all of data at offset; returns the bytes written, fewer only on a write error.
int64_t WriteAt(int fd, const char* data, int64_t length, int64_t offset) {
    int64_t written = 0;
    while (written < length) {
        ssize_t n = ::pwrite(fd, data + written, static_cast<size_t>(length - written),
                             static_cast<off_t>(offset + written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += n;
    }
    return written;
}

// The temporary folder may be shared: a file that another user planted under the temporary
// name could be changed between the download and the package run, so only a regular file of
// our own is written.
bool IsOwnRegularFile(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

// The content length of a probe that got an answer: -1 when none was given, 0 for an answer
// outside 2xx.
int64_t ProbedLength(CURL* curl) {
    curl_off_t content_length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &content_length);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return IsProbeSuccess(status) ? content_length : 0;
}

enum class AttemptOutcome { DONE, STOP, RETRY };

// What one finished attempt of a segment means, with its diagnostic line.
AttemptOutcome JudgeAttempt(DownloadSegment& segment, CURLcode code) {
    // The progress sink asked to stop: a cancel, never retried.
    if (code == CURLE_ABORTED_BY_CALLBACK) {
        return AttemptOutcome::STOP;
    }
    if (code != CURLE_OK) {
        std::printf("curl_easy_perform failed res: %d: %s\n", static_cast<int>(code),
                    curl_easy_strerror(code));
        return AttemptOutcome::RETRY;
    }
    long status = 0;
    curl_easy_getinfo(segment.transfer.get(), CURLINFO_RESPONSE_CODE, &status);
    // A missing file stays missing: asking again would not help.
    if (status == HTTP_NOT_FOUND) {
        std::printf("curl_easy_getinfo failed rescode: %ld\n", status);
        return AttemptOutcome::STOP;
    }
    if (!IsSegmentSuccess(status)) {
        std::printf("curl_easy_getinfo failed rescode: %ld\n", status);
        return AttemptOutcome::RETRY;
    }
    // An answer that ended early resumes where its data stopped.
    if (segment.ranged() && segment.start <= segment.end) {
        std::printf("segment %d incomplete: %" PRId64 " bytes missing\n", segment.index,
                    segment.end - segment.start + 1);
        return AttemptOutcome::RETRY;
    }
    segment.done = true;
    return AttemptOutcome::DONE;
}

} // namespace

SegmentedDownloader::SegmentedDownloader(DownloadTimings timings) : timings_(timings) {
    // Global set-up once per process, before any thread makes a handle.
    static const CURLcode global_init = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)global_init;
}

SegmentedDownloader::~SegmentedDownloader() {
    cancel = true;
    WaitIdle();
}

void SegmentedDownloader::WaitIdle() {
    while (busy) {
        SleepUnlessCancelled(timings_.idle_poll);
        if (cancel && busy) {
            // The cancelled download is still collecting its segments; do not spin.
            SleepFor(timings_.cancelled_poll);
        }
    }
}

bool SegmentedDownloader::Download(ProgressCallback callback) {
    // A download that is still collecting its segments ends first.
    WaitIdle();

    // Lengths stay 64-bit; only a missing length becomes UNKNOWN_SIZE.
    HeaderMap map;
    const int64_t size = ProbeSize(url, map);
    const bool length_known = size > 0;
    total_size = size < 0 ? UNKNOWN_SIZE : size;

    // A failed probe touches no file, stores no callable and never sets busy.
    if (total_size == 0) {
        return false;
    }

    const SegmentPlan plan = PlanSegments(map, length_known);
    progress = std::move(callback);

    busy = true;
    const bool result = RunSegments(plan);
    busy = false;
    return result;
}

SegmentedDownloader::SegmentPlan SegmentedDownloader::PlanSegments(const HeaderMap& map,
                                                                   bool length_known) const {
    SegmentPlan plan;
    plan.total = total_size;
    plan.length_known = length_known;
    // Without byte ranges, or without a length, one connection fetches everything.
    plan.count = SupportsRanges(map) ? std::max(connection_count, 1) : 1;
    if (!length_known) {
        plan.count = 1;
        plan.segment_size = UNKNOWN_SIZE;
        return plan;
    }
    // A small file is not worth more than one connection.
    if (plan.total <= SINGLE_CONNECTION_LIMIT) {
        plan.count = 1;
    }
    plan.segment_size = plan.total / plan.count;
    return plan;
}

TransferFlags SegmentedDownloader::RedirectFlag() const {
    return follow_redirects ? TransferFlags{TRANSFER_FOLLOW_REDIRECTS} : TransferFlags{0};
}

int64_t SegmentedDownloader::ProbeSize(const std::string& probe_url, HeaderMap& map) {
    CurlEasyHandle handle = NewCurlEasyHandle();
    if (!handle) {
        return 0;
    }
    map.clear();

    CURL* curl = handle.get();
    SetProbeRequest(curl, probe_url, &SegmentedDownloader::OnHeaderLine, &map);
    // The probe may use signals: it always did.
    SetBaseOptions(curl, timings_.probe, RedirectFlag());

    // Only a run without an answer is tried again, after a short pause that no cancel ends.
    for (int attempt = 0; attempt < timings_.probe_attempts; ++attempt) {
        if (curl_easy_perform(curl) == CURLE_OK) {
            return ProbedLength(curl);
        }
        SleepFor(timings_.probe_pause);
    }
    return 0;
}

size_t SegmentedDownloader::OnHeaderLine(char* data, size_t size, size_t count, void* map) {
    const size_t length = size * count;
    if (data == nullptr || map == nullptr) {
        return length;
    }
    const std::string line(data, length);
    const size_t colon = line.find(':');
    if (colon == std::string::npos) {
        return length;
    }
    // One blank after the colon is assumed; a missing blank costs the value's first byte.
    std::string value = colon + 2 <= line.size() ? line.substr(colon + 2) : std::string();
    const size_t carriage_return = value.rfind('\r');
    if (carriage_return != std::string::npos) {
        value.resize(carriage_return);
    }
    static_cast<HeaderMap*>(map)->emplace(line.substr(0, colon), std::move(value));
    return length;
}

bool SegmentedDownloader::SupportsRanges(const HeaderMap& map) {
    const auto found = map.find("Accept-Ranges");
    return found != map.end() && found->second == "bytes";
}

bool SegmentedDownloader::RunSegments(const SegmentPlan& plan) {
    const std::string temporary_path = target_path + TEMP_SUFFIX;
    bool result = true;

    // Progress reports read the list while it grows: reserving it first keeps the records in
    // place, and the count is published only after a record is complete.
    segments.clear();
    segments.reserve(static_cast<size_t>(plan.count));
    published_segments = 0;
    {
        ThreadPool pool(plan.count);
        // The old target goes first; one that cannot be deleted fails before any segment runs.
        if (::unlink(target_path.c_str()) != 0 && errno != ENOENT) {
            result = false;
        } else {
            result = StartSegments(pool, temporary_path, plan);
        }
        // Leaving the scope destroys the pool, which runs every submitted task to its end.
    }

    while (active_tasks != 0) {
        SleepUnlessCancelled(timings_.idle_poll);
    }

    // The workers' last reports may have raced each other; report the final total once more.
    ReportProgress();

    if (!CollectSegments()) {
        result = false;
    }
    // The next download starts uncancelled.
    cancel = false;

    // A failed rename is a failed download.
    if (result && std::rename(temporary_path.c_str(), target_path.c_str()) != 0) {
        std::printf("rename failed: %s\n", target_path.c_str());
        result = false;
    }
    return result;
}

bool SegmentedDownloader::StartSegments(ThreadPool& pool, const std::string& temporary_path,
                                        const SegmentPlan& plan) {
    // Empty a temporary file left by an earlier attempt (never through a link).
    UniqueFd(::open(temporary_path.c_str(), O_RDWR | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));

    for (int i = 0; i < plan.count; ++i) {
        // Each segment has its own descriptor on the temporary file; a file that cannot be
        // opened cancels the segments already running.
        UniqueFd file(::open(temporary_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                             TEMPORARY_FILE_MODE));
        if (!file || !IsOwnRegularFile(file.get())) {
            cancel = true;
            return false;
        }
        auto segment = std::make_unique<DownloadSegment>(*this, i, std::move(file));
        // One segment takes everything there is; of several, the last takes the remainder.
        // Writes go through pwrite at start, so there is no file pointer to move.
        if (plan.count == 1) {
            segment->start = 0;
            segment->end = plan.length_known ? plan.total - 1 : DownloadSegment::NO_RANGE;
        } else {
            segment->start = i * plan.segment_size;
            segment->end = (i < plan.count - 1 ? (i + 1) * plan.segment_size : plan.total) - 1;
        }
        DownloadSegment& record = *segment;
        segments.push_back(std::move(segment));
        published_segments.store(segments.size(), std::memory_order_release);
        SubmitSegment(pool, record);
    }
    return true;
}

void SegmentedDownloader::SubmitSegment(ThreadPool& pool, DownloadSegment& segment) {
    // A segment whose task cannot be submitted stays not done, which fails the download.
    try {
        pool.enqueue([this, &segment] {
            RunSegment(segment);
            --active_tasks;
        });
        ++active_tasks;
    } catch (const std::exception&) {
        std::printf("download excetion\n");
    }
}

bool SegmentedDownloader::CollectSegments() {
    bool all_done = true;
    for (const auto& segment : segments) {
        if (!segment->done) {
            all_done = false;
        }
    }
    published_segments = 0;
    segments.clear();
    return all_done;
}

void SegmentedDownloader::RunSegment(DownloadSegment& segment) {
    int attempts = 0;
    for (;;) {
        // A cancelled download starts no further attempt.
        if (cancel) {
            break;
        }
        // A range that arrived whole but whose answer overran it needs no further request.
        if (segment.ranged() && segment.start > segment.end) {
            segment.done = true;
            break;
        }
        if (!PrepareSegmentTransfer(segment)) {
            break;
        }
        const AttemptOutcome outcome =
            JudgeAttempt(segment, curl_easy_perform(segment.transfer.get()));
        segment.transfer.reset();
        if (outcome != AttemptOutcome::RETRY) {
            break;
        }
        // The next attempt resumes at start, after a pause that a cancel ends early.
        SleepUnlessCancelled(timings_.segment_pause);
        ++attempts;
        std::printf("retry: %d\n", attempts);
        if (attempts == timings_.segment_attempts) {
            break;
        }
    }
    std::fflush(stdout);

    // This segment writes no more; the others keep their own descriptors.
    segment.file.reset();
}

bool SegmentedDownloader::PrepareSegmentTransfer(DownloadSegment& segment) {
    // One new handle per attempt.
    segment.transfer = NewCurlEasyHandle();
    if (!segment.transfer) {
        return false;
    }
    segment.attempt_status = 0;

    CURL* curl = segment.transfer.get();
    SetBaseOptions(curl, timings_.segment, TRANSFER_NO_SIGNAL | RedirectFlag());
    SetBodyAndProgressSinks(curl, &SegmentedDownloader::OnSegmentData, &segment,
                            &SegmentedDownloader::OnSegmentProgress, &segment);

    std::string range;
    if (!segment.ranged()) {
        // Without a length every attempt fetches the whole file again.
        segment.start = 0;
        if (::ftruncate(segment.file.get(), 0) != 0) {
            return false;
        }
    } else {
        // A single connection with a known length asks for a range too: "0-" and the last byte.
        range = std::to_string(segment.start) + "-" + std::to_string(segment.end);
    }
    SetRangedGetRequest(curl, url, range);
    segment.attempt_start = segment.start;
    return true;
}

size_t SegmentedDownloader::OnSegmentData(char* data, size_t size, size_t count, void* context) {
    const size_t length = size * count;
    if (data == nullptr || context == nullptr) {
        return length;
    }
    auto& segment = *static_cast<DownloadSegment*>(context);

    if (segment.attempt_status == 0) {
        curl_easy_getinfo(segment.transfer.get(), CURLINFO_RESPONSE_CODE, &segment.attempt_status);
    }
    // The body of an error answer is no part of the file; the status decides what follows.
    if (!IsSegmentSuccess(segment.attempt_status)) {
        return length;
    }

    int64_t wanted = static_cast<int64_t>(length);
    if (segment.ranged()) {
        // A 200 answer carries the whole file from its first byte, whatever was asked for:
        // past offset 0 it belongs elsewhere, so the attempt fails without writing.
        if (segment.attempt_status == HTTP_OK && segment.attempt_start != 0) {
            return 0;
        }
        // Never write past the range: the neighbouring segment owns those bytes.
        wanted = std::min(wanted, segment.end - segment.start + 1);
    }

    const int64_t written = WriteAt(segment.file.get(), data, wanted, segment.start);
    segment.start += written;
    segment.received.fetch_add(written, std::memory_order_relaxed);
    // Fewer bytes than delivered (a write error or an overrun) make the library fail the attempt.
    return static_cast<size_t>(written);
}

int SegmentedDownloader::OnSegmentProgress(void* context, curl_off_t download_total,
                                           curl_off_t download_now, curl_off_t, curl_off_t) {
    if (context == nullptr) {
        return 0;
    }
    auto& segment = *static_cast<DownloadSegment*>(context);
    // Answers without a length report too, so that cancel reaches them as well.
    if (download_total != 0 || download_now != 0) {
        return segment.owner.ReportProgress();
    }
    return segment.owner.cancel ? -1 : 0;
}

int SegmentedDownloader::ReportProgress() {
    {
        // Workers report concurrently. The counters are atomics and the list is published
        // segment by segment, so a sum is never torn; the lock orders sum and call, so the
        // callable sees done never decrease.
        std::lock_guard<std::mutex> lock(progress_mutex);
        const size_t count = published_segments.load(std::memory_order_acquire);
        int64_t done = 0;
        for (size_t i = 0; i < count; ++i) {
            done += segments[i]->received.load(std::memory_order_relaxed);
        }
        // Only a change is reported, and only against a known total.
        const int64_t total = total_size;
        if (total > 0 && done != reported_bytes && progress) {
            progress(done, total, static_cast<double>(done) / static_cast<double>(total));
        }
        reported_bytes = done;
    }
    // A non-zero answer makes the library abort the reporting transfer.
    return cancel ? -1 : 0;
}

void SegmentedDownloader::SleepUnlessCancelled(std::chrono::milliseconds pause) {
    // A pause shorter than one look at cancel is not worth cutting short.
    if (pause < timings_.cancel_poll) {
        SleepFor(pause);
        return;
    }
    const auto begin = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - begin <= pause) {
        if (cancel) {
            return;
        }
        SleepFor(timings_.cancel_poll);
    }
}

} // namespace inkwarden

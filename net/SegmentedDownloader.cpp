#include "net/SegmentedDownloader.h"

#include "net/ThreadPool.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace inkwarden {
namespace {

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
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

} // namespace

SegmentedDownloader::SegmentedDownloader() {
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
        SleepUnlessCancelled(100);
        if (cancel && busy) {
            // The cancelled download is still collecting its segments; do not spin.
            SleepMs(5);
        }
    }
}

bool SegmentedDownloader::Download(ProgressCallback callback) {
    // 1.
    WaitIdle();

    // 2. Lengths stay 64-bit; only a missing length becomes UNKNOWN_SIZE.
    HeaderMap map;
    const int64_t size = ProbeSize(url, map);
    const bool length_known = size > 0;
    total_size = size < 0 ? UNKNOWN_SIZE : size;

    // 3.
    if (total_size == 0) {
        return false;
    }

    // 4.
    int n = std::max(connection_count, 1);
    if (!SupportsRanges(map)) {
        n = 1;
    }
    int64_t segment_size = 0;
    if (!length_known) {
        n = 1;
        segment_size = UNKNOWN_SIZE;
    } else {
        if (total_size <= SINGLE_CONNECTION_LIMIT) {
            n = 1;
        }
        segment_size = total_size / n;
    }

    // 5.
    progress = std::move(callback);

    // 6. and 7.
    busy = true;
    const bool result = RunSegments(total_size, segment_size, n, length_known);
    busy = false;
    return result;
}

int64_t SegmentedDownloader::ProbeSize(const std::string& probe_url, HeaderMap& map) {
    // 1.
    CurlEasyHandle handle = CurlEasyHandle::create();
    if (!handle) {
        return 0;
    }
    map.clear();

    // 2. Without a body sink the header lines also go to standard output.
    CURL* curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, probe_url.c_str());
    curl_easy_setopt(curl, CURLOPT_HEADER, 1L);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &SegmentedDownloader::OnHeaderLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &map);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 3L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, follow_redirects ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, MAX_REDIRECTS);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, PROBE_LOW_SPEED_TIME);

    // 3. and 4.
    int64_t length = 0;
    for (int attempt = 0; attempt < PROBE_ATTEMPTS; ++attempt) {
        if (curl_easy_perform(curl) != CURLE_OK) {
            SleepMs(PROBE_PAUSE_MS);
            continue;
        }
        curl_off_t content_length = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &content_length);
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        length = content_length;
        if (status < 200 || status >= 300) {
            length = 0;
        }
        break;
    }

    // 5.
    return length;
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

bool SegmentedDownloader::RunSegments(int64_t total, int64_t segment_size, int n,
                                      bool length_known) {
    // 1.
    const std::string temporary_path = target_path + TEMP_SUFFIX;
    bool result = true;

    // Progress reports read the list while it grows: reserving it first keeps the records in
    // place, and the count is published only after a record is complete.
    segments.clear();
    segments.reserve(static_cast<size_t>(n));
    published_segments = 0;
    {
        // 2.
        ThreadPool pool(n);

        // 3.
        if (::unlink(target_path.c_str()) != 0 && errno != ENOENT) {
            result = false;
        } else {
            // 4. Empty a temporary file left by an earlier attempt (never through a link).
            UniqueFd(::open(temporary_path.c_str(), O_RDWR | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));

            // 5.
            for (int i = 0; i < n; ++i) {
                // 5.1
                UniqueFd file(::open(temporary_path.c_str(),
                                     O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
                if (!file || !IsOwnRegularFile(file.get())) {
                    cancel = true;
                    result = false;
                    break;
                }
                // 5.2
                auto segment = std::make_unique<DownloadSegment>(*this, i, std::move(file));
                // 5.3
                if (n == 1) {
                    segment->start = 0;
                    segment->end = length_known ? total - 1 : DownloadSegment::NO_RANGE;
                } else {
                    segment->start = i * segment_size;
                    segment->end = (i < n - 1 ? (i + 1) * segment_size : total) - 1;
                }
                // 5.4 Writes go through pwrite at start, so there is no file pointer to move.
                // 5.5
                DownloadSegment& record = *segment;
                segments.push_back(std::move(segment));
                published_segments.store(segments.size(), std::memory_order_release);
                // 5.6
                try {
                    pool.enqueue([this, &record] {
                        RunSegment(record);
                        --active_tasks;
                    });
                    ++active_tasks;
                } catch (const std::exception&) {
                    std::printf("download excetion\n");
                }
            }
        }
        // 6. Leaving the scope destroys the pool, which runs every submitted task to its end.
    }

    // 7.
    while (active_tasks != 0) {
        SleepUnlessCancelled(100);
    }

    // The workers' last reports may have raced each other; report the final total once more.
    ReportProgress();

    // 8.
    for (const auto& segment : segments) {
        if (!segment->done) {
            result = false;
        }
    }
    published_segments = 0;
    segments.clear();

    // 9.
    cancel = false;

    // 10. A failed rename is a failed download.
    if (result && std::rename(temporary_path.c_str(), target_path.c_str()) != 0) {
        std::printf("rename failed: %s\n", target_path.c_str());
        result = false;
    }

    // 11.
    return result;
}

void SegmentedDownloader::RunSegment(DownloadSegment& segment) {
    // 1.
    int attempts = 0;

    // 2.
    for (;;) {
        // 2.1
        if (cancel) {
            break;
        }
        // A range that arrived whole but whose answer overran it needs no further request.
        if (segment.ranged() && segment.start > segment.end) {
            segment.done = true;
            break;
        }
        // 2.2
        if (!PrepareSegmentTransfer(segment)) {
            break;
        }
        // 2.3
        const CURLcode code = curl_easy_perform(segment.transfer.get());
        // 2.4
        if (code == CURLE_ABORTED_BY_CALLBACK) {
            segment.transfer.reset();
            break;
        }
        if (code != CURLE_OK) {
            // 2.5
            std::printf("curl_easy_perform failed res: %d: %s\n", static_cast<int>(code),
                        curl_easy_strerror(code));
        } else {
            // 2.6
            long status = 0;
            curl_easy_getinfo(segment.transfer.get(), CURLINFO_RESPONSE_CODE, &status);
            if (status == 404) {
                std::printf("curl_easy_getinfo failed rescode: %ld\n", status);
                segment.transfer.reset();
                break;
            }
            if (status >= 200 && status <= 300) {
                // An answer that ended early resumes at the retry step.
                if (!segment.ranged() || segment.start > segment.end) {
                    segment.transfer.reset();
                    segment.done = true;
                    break;
                }
                std::printf("segment %d incomplete: %" PRId64 " bytes missing\n", segment.index,
                            segment.end - segment.start + 1);
            } else {
                std::printf("curl_easy_getinfo failed rescode: %ld\n", status);
            }
        }
        // 2.7
        segment.transfer.reset();
        SleepUnlessCancelled(SEGMENT_PAUSE_MS);
        ++attempts;
        std::printf("retry: %d\n", attempts);
        if (attempts == SEGMENT_ATTEMPTS) {
            break;
        }
    }
    std::fflush(stdout);

    // 3.
    segment.file.reset();
}

bool SegmentedDownloader::PrepareSegmentTransfer(DownloadSegment& segment) {
    // 1.
    segment.transfer = CurlEasyHandle::create();
    if (!segment.transfer) {
        return false;
    }
    segment.attempt_status = 0;

    // 2.
    CURL* curl = segment.transfer.get();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &SegmentedDownloader::OnSegmentData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &segment);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &SegmentedDownloader::OnSegmentProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &segment);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // An attempt ends when less than 1 byte per second arrives over 1 second.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 60L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60000L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, follow_redirects ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, MAX_REDIRECTS);

    if (!segment.ranged()) {
        // 3. Without a length every attempt fetches the whole file again.
        segment.start = 0;
        curl_easy_setopt(curl, CURLOPT_RANGE, nullptr);
        if (::ftruncate(segment.file.get(), 0) != 0) {
            return false;
        }
    } else {
        // 4.
        char range[260];
        std::snprintf(range, sizeof range, "%lld-%lld", static_cast<long long>(segment.start),
                      static_cast<long long>(segment.end));
        curl_easy_setopt(curl, CURLOPT_RANGE, range);
    }
    segment.attempt_start = segment.start;

    // 5.
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
    if (segment.attempt_status < 200 || segment.attempt_status > 300) {
        return length;
    }

    int64_t wanted = static_cast<int64_t>(length);
    if (segment.ranged()) {
        // A 200 answer carries the whole file from its first byte, whatever was asked for:
        // past offset 0 it belongs elsewhere, so the attempt fails without writing.
        if (segment.attempt_status == 200 && segment.attempt_start != 0) {
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
        // 1.
        const size_t count = published_segments.load(std::memory_order_acquire);
        int64_t done = 0;
        for (size_t i = 0; i < count; ++i) {
            done += segments[i]->received.load(std::memory_order_relaxed);
        }
        // 2.
        const int64_t total = total_size;
        if (total > 0 && done != reported_bytes && progress) {
            progress(done, total, static_cast<double>(done) / static_cast<double>(total));
        }
        // 3.
        reported_bytes = done;
    }
    // 4.
    return cancel ? -1 : 0;
}

void SegmentedDownloader::SleepUnlessCancelled(int ms) {
    if (ms < 20) {
        SleepMs(ms);
        return;
    }
    const auto begin = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - begin <= std::chrono::milliseconds(ms)) {
        if (cancel) {
            return;
        }
        SleepMs(20);
    }
}

} // namespace inkwarden

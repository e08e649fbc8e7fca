// The download engine's tail and its second chances: a slow range taken over by idle
// connections, a killed download continued by the next one, attempts that made progress,
// the kept old target, the failure reasons and the probe's header lines.
#include "RangeAnswers.h"
#include "net/DownloadControlFile.h"
#include "net/SegmentedDownloader.h"
#include "tests/support/FaultServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TmpfsMount.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;
using test::FaultRequest;
using test::FaultServer;
using test::Head;
using test::TestFiles;

constexpr int64_t SIZE = 3 << 20; // six ranges of 512 KiB
constexpr int64_t RANGE = SIZE / 6;
const std::string CONTENT = TestFiles::Pattern(0, SIZE);
const std::string RANGES_AND_TAG = "Accept-Ranges: bytes\r\nETag: \"v1\"\r\n";

// Short pauses, a record every 100 ms and steals of pieces worth a tenth of a second, so that
// a few megabytes show what gigabytes do.
DownloadTimings QuickTimings() {
    DownloadTimings timings;
    timings.probe_pause = 5ms;
    timings.segment_pause = 20ms;
    timings.steal = {.min_bytes = 64 << 10, .min_time = 100ms};
    timings.control_interval = 100ms;
    return timings;
}

// Every report of a download: done never decreases, never passes the total, ends at it.
class ProgressLog {
public:
    ProgressCallback callback() {
        return [this](int64_t done, int64_t total, double) {
            std::lock_guard<std::mutex> lock(mutex_);
            reports_.push_back({done, total});
        };
    }
    std::vector<std::pair<int64_t, int64_t>> reports() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return reports_;
    }
    void ExpectCountedOnce(int64_t total) const {
        const auto all = reports();
        ASSERT_FALSE(all.empty());
        for (size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(all[i].second, total);
            EXPECT_LE(all[i].first, total);
            if (i > 0) {
                EXPECT_GT(all[i].first, all[i - 1].first) << "report " << i;
            }
        }
        EXPECT_EQ(all.back().first, total);
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<int64_t, int64_t>> reports_;
};

// The GET ranges of requests from index on, as inclusive offsets.
std::vector<ByteRange> RequestedRanges(const FaultServer& server, size_t from = 0) {
    std::vector<ByteRange> ranges;
    const std::vector<FaultRequest> requests = server.requests();
    for (size_t i = from; i < requests.size(); ++i) {
        if (requests[i].method == "GET" && requests[i].has_range) {
            ranges.push_back({requests[i].range_start, requests[i].range_end});
        }
    }
    return ranges;
}

bool Overlaps(const ByteRange& range, const std::vector<ByteRange>& others) {
    for (const ByteRange& other : others) {
        if (range.first <= other.last && other.first <= range.last) {
            return true;
        }
    }
    return false;
}

class DownloadTail : public testing::Test {
protected:
    // Serves content with head_lines; the ranges that slow picks go at about 800 KB/s. Body
    // bytes sent are counted.
    void Serve(std::function<bool(const FaultRequest&)> slow) {
        ASSERT_TRUE(server.start([this, slow = std::move(slow)](const FaultRequest& request,
                                                                int fd) {
            if (request.method != "GET" || !request.has_range || !slow(request)) {
                test::AnswerFile(request, fd, content, head_lines);
                if (request.method == "GET") {
                    const int64_t end = request.range_end < 0 ? SIZE - 1 : request.range_end;
                    sent += request.has_range ? end - request.range_start + 1 : SIZE;
                }
                return;
            }
            const int64_t length = request.range_end - request.range_start + 1;
            FaultServer::send(
                fd, test::PartialHead(request.range_start, request.range_end, SIZE, head_lines));
            const std::string body = content.substr(static_cast<size_t>(request.range_start),
                                                    static_cast<size_t>(length));
            for (size_t at = 0; at < body.size(); at += 16384) {
                if (!server.sendPaced(fd, std::string_view(body).substr(at, 16384), 16384, 20)) {
                    break;
                }
                sent += std::min<int64_t>(16384, length - static_cast<int64_t>(at));
            }
        }));
        request.url = server.url("/file");
        request.target_path = target.file("file.bin");
        request.connections = 6;
    }

    // For the cases that count requests: the plan's six and nothing taken over.
    void DisableStealing() {
        DownloadTimings timings = QuickTimings();
        timings.steal.min_bytes = SIZE;
        engine.SetTimings(timings);
    }

    bool TargetIsExact() const {
        return TestFiles::ReadAll(request.target_path) == CONTENT &&
               !TestFiles::Exists(request.target_path + ".tmp") &&
               !TestFiles::Exists(SegmentedDownloader::ControlPath(request.target_path));
    }

    // A record of an earlier run and its temporary file with the bytes it counts as done.
    void PlantEarlierRun(ResumeState state, const std::string& temporary_content) {
        std::ofstream(request.target_path + ".tmp", std::ios::binary) << temporary_content;
        ASSERT_TRUE(DownloadControlFile(SegmentedDownloader::ControlPath(request.target_path))
                        .Write(state));
    }

    std::string content = CONTENT;
    std::string head_lines = RANGES_AND_TAG;
    std::atomic<int64_t> sent{0};
    FaultServer server;
    test::TempDir target;
    SegmentedDownloader engine{QuickTimings()};
    DownloadRequest request;
};

TEST_F(DownloadTail, IdleConnectionsTakeOverTheSlowRange) {
    // The first range alone would take about 0.65 s; the others arrive at once.
    Serve([](const FaultRequest& request) { return request.range_start == 0; });
    ProgressLog progress;
    ASSERT_TRUE(engine.Download(request, progress.callback()));
    EXPECT_TRUE(TargetIsExact());
    progress.ExpectCountedOnce(SIZE);

    // The first six requests are the plan; after them come pieces of the slow range only.
    const std::vector<ByteRange> ranges = RequestedRanges(server);
    ASSERT_GT(ranges.size(), 6u) << "nothing was taken over";
    bool split = false;
    for (size_t i = 6; i < ranges.size(); ++i) {
        EXPECT_GT(ranges[i].first, 0);
        EXPECT_LE(ranges[i].last, RANGE - 1);
        split = split || ranges[i].first < RANGE;
    }
    EXPECT_TRUE(split);
    // What the server sent is the file and what was on the way when ranges were cut: at most
    // what the loopback buffers hold (a fast answer is in them whole before its cut is seen).
    EXPECT_LE(sent.load(), SIZE + RANGE / 2);
}

// The download of KilledDownloadContinuesWithOnlyTheMissingRanges, in its own process.
constexpr const char* KILLED_URL = "INKWARDEN_TEST_KILLED_URL";
constexpr const char* KILLED_TARGET = "INKWARDEN_TEST_KILLED_TARGET";

TEST(KilledDownloadChild, RunsTheDownload) {
    const char* url = std::getenv(KILLED_URL);
    const char* target = std::getenv(KILLED_TARGET);
    if (url == nullptr || target == nullptr) {
        GTEST_SKIP() << "runs only as the child of KilledDownloadContinuesWithOnlyTheMissingRanges";
    }
    DownloadRequest request;
    request.url = url;
    request.target_path = target;
    request.connections = 6;
    SegmentedDownloader killed(QuickTimings());
    killed.Download(request, nullptr);
}

TEST_F(DownloadTail, KilledDownloadContinuesWithOnlyTheMissingRanges) {
    // Every range at about 800 KB/s: the whole file would take about 0.7 s.
    std::atomic<bool> slow{true};
    Serve([&slow](const FaultRequest&) { return slow.load(); });

    // The download runs in a child process that is killed outright about half way. The child
    // is this test program started afresh: a forked copy of it would run the download with
    // whatever locks the server's threads held at the fork (a stalled child under the address
    // sanitizer), so it only sets its arguments and executes.
    ::setenv(KILLED_URL, request.url.c_str(), 1);
    ::setenv(KILLED_TARGET, request.target_path.c_str(), 1);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl("/proc/self/exe", "net_download_tests",
                "--gtest_filter=KilledDownloadChild.RunsTheDownload", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::unsetenv(KILLED_URL);
    ::unsetenv(KILLED_TARGET);
    // About half way, and not before the child has written its first record: on a loaded
    // machine the server's socket buffers take half the file before the child reads any.
    const auto recorded_bytes = [this] {
        int64_t bytes = 0;
        if (const auto record =
                DownloadControlFile(SegmentedDownloader::ControlPath(request.target_path)).Read()) {
            for (const ByteRange& range : record->completed) {
                bytes += range.size();
            }
        }
        return bytes;
    };
    // Waits for that, however slow the build; the deadline only keeps a broken child from
    // hanging the suite.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while ((sent < SIZE / 2 || recorded_bytes() == 0) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the download ended before it was killed";

    const std::optional<ResumeState> record =
        DownloadControlFile(SegmentedDownloader::ControlPath(request.target_path)).Read();
    ASSERT_TRUE(record);
    const int64_t recorded = recorded_bytes();
    EXPECT_GT(recorded, 0);
    EXPECT_LT(recorded, SIZE);

    // The next run asks only for bytes that the record lacks, and counts the others as done.
    slow = false;
    const size_t before = server.requests().size();
    sent = 0;
    ProgressLog progress;
    ASSERT_TRUE(engine.Download(request, progress.callback()));
    EXPECT_TRUE(TargetIsExact());
    progress.ExpectCountedOnce(SIZE);
    EXPECT_GE(progress.reports().front().first, recorded);
    const std::vector<ByteRange> ranges = RequestedRanges(server, before);
    ASSERT_FALSE(ranges.empty());
    for (const ByteRange& range : ranges) {
        EXPECT_FALSE(Overlaps(range, record->completed))
            << range.first << "-" << range.last << " was done before";
    }
}

TEST_F(DownloadTail, RecordOfAnotherVersionOrLengthStartsAfresh) {
    DisableStealing();
    Serve([](const FaultRequest&) { return false; });
    const std::vector<ByteRange> first_half = {{0, SIZE / 2 - 1}};
    // The first half as an earlier run left it, but of different bytes.
    const std::string stale(static_cast<size_t>(SIZE / 2), 'x');
    const std::vector<ResumeState> others = {
        {request.url, SIZE, "ETag \"v0\"", first_half},
        {request.url, SIZE + 1, "ETag \"v1\"", first_half},
        {request.url + "?other", SIZE, "ETag \"v1\"", first_half},
    };
    for (const ResumeState& other : others) {
        SCOPED_TRACE(other.validator + " " + std::to_string(other.length) + " " + other.url);
        PlantEarlierRun(other, stale);
        const size_t before = server.requests().size();
        ASSERT_TRUE(engine.Download(request, nullptr));
        EXPECT_TRUE(TargetIsExact());
        EXPECT_EQ(RequestedRanges(server, before).size(), 6u);
    }

    // The same version continues; --no-resume does not.
    PlantEarlierRun({request.url, SIZE, "ETag \"v1\"", first_half}, CONTENT.substr(0, SIZE / 2));
    size_t before = server.requests().size();
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_TRUE(TargetIsExact());
    for (const ByteRange& range : RequestedRanges(server, before)) {
        EXPECT_GE(range.first, SIZE / 2);
    }
    PlantEarlierRun({request.url, SIZE, "ETag \"v1\"", first_half}, stale);
    request.resume = false;
    before = server.requests().size();
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_TRUE(TargetIsExact());
    EXPECT_EQ(RequestedRanges(server, before).size(), 6u);
}

TEST_F(DownloadTail, WithoutAValidatorNoRecordIsKept) {
    DisableStealing();
    head_lines = "Accept-Ranges: bytes\r\n";
    Serve([](const FaultRequest&) { return false; });
    PlantEarlierRun({request.url, SIZE, "", {{0, SIZE / 2 - 1}}},
                    std::string(static_cast<size_t>(SIZE / 2), 'x'));
    std::atomic<bool> record_seen{false};
    ASSERT_TRUE(engine.Download(request, [&](int64_t, int64_t, double) {
        record_seen =
            record_seen || TestFiles::Exists(SegmentedDownloader::ControlPath(request.target_path));
    }));
    EXPECT_TRUE(TargetIsExact());
    EXPECT_FALSE(record_seen);
    EXPECT_EQ(RequestedRanges(server).size(), 6u);

    // A Last-Modified date is a validator too.
    HeaderMap map;
    map.emplace("last-modified", "Tue, 08 Dec 2026 10:00:00 GMT");
    map.emplace("etag", "W/\"weak\"");
    EXPECT_EQ(SegmentedDownloader::ResumeValidator(map),
              "Last-Modified Tue, 08 Dec 2026 10:00:00 GMT");
}

TEST_F(DownloadTail, DamagedOrPlantedControlFileIsIgnoredSafely) {
    DisableStealing();
    Serve([](const FaultRequest&) { return false; });
    const std::string stale(static_cast<size_t>(SIZE / 2), 'x');
    std::ofstream(request.target_path + ".tmp", std::ios::binary) << stale;

    // Damaged: the checksum no longer fits.
    std::string damaged =
        DownloadControlFile::Format({request.url, SIZE, "ETag \"v1\"", {{0, SIZE / 2 - 1}}});
    damaged[damaged.find("done 0") + 5] = '1';
    std::ofstream(SegmentedDownloader::ControlPath(request.target_path), std::ios::binary)
        << damaged;
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_TRUE(TargetIsExact());

    // A link to a valid record elsewhere is not followed, and the file it points to stays.
    const std::string elsewhere = target.file("elsewhere.resume");
    const std::string planted =
        DownloadControlFile::Format({request.url, SIZE, "ETag \"v1\"", {{0, SIZE / 2 - 1}}});
    std::ofstream(elsewhere, std::ios::binary) << planted;
    std::ofstream(request.target_path + ".tmp", std::ios::binary) << stale;
    std::filesystem::create_symlink(elsewhere,
                                    SegmentedDownloader::ControlPath(request.target_path));
    const size_t before = server.requests().size();
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_TRUE(TargetIsExact());
    EXPECT_EQ(RequestedRanges(server, before).size(), 6u);
    EXPECT_EQ(TestFiles::ReadAll(elsewhere), planted);

    // A record whose temporary file went missing or shrank starts afresh as well.
    PlantEarlierRun({request.url, SIZE, "ETag \"v1\"", {{0, SIZE / 2 - 1}}}, "short");
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_TRUE(TargetIsExact());
}

TEST_F(DownloadTail, AttemptsThatBroughtBytesDoNotCount) {
    // The first range breaks off after 10000 bytes eight times in a row: more than the five
    // attempts, but each brought bytes, so the range still completes.
    std::atomic<int> cuts{0};
    ASSERT_TRUE(server.start([&](const FaultRequest& request, int fd) {
        if (request.method == "GET" && request.range_start < RANGE && cuts < 8) {
            ++cuts;
            FaultServer::send(
                fd,
                test::PartialHead(request.range_start, request.range_end, SIZE, RANGES_AND_TAG) +
                    CONTENT.substr(static_cast<size_t>(request.range_start), 10000));
            return;
        }
        test::AnswerFile(request, fd, CONTENT, RANGES_AND_TAG);
    }));
    request.url = server.url("/file");
    request.target_path = target.file("file.bin");
    request.connections = 6;
    testing::internal::CaptureStdout();
    const bool result = engine.Download(request, nullptr).done;
    const std::string output = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(result) << output;
    EXPECT_TRUE(TargetIsExact());
    EXPECT_EQ(output.find("retry: "), std::string::npos) << output;
    EXPECT_NE(output.find("segment 0 resumes at 10000"), std::string::npos) << output;
}

TEST_F(DownloadTail, FailedDownloadLeavesTheOldTargetAsItWas) {
    // Announces 10,000 bytes and sends 1,000.
    ASSERT_TRUE(server.start([](const FaultRequest& request, int fd) {
        if (request.method == "HEAD") {
            FaultServer::send(fd, Head(200, RANGES_AND_TAG + "Content-Length: 10000\r\n"));
            return;
        }
        const std::string body =
            CONTENT.substr(static_cast<size_t>(request.range_start),
                           static_cast<size_t>(std::max<int64_t>(0, 1000 - request.range_start)));
        FaultServer::send(
            fd, test::PartialHead(request.range_start, request.range_end, 10000, RANGES_AND_TAG) +
                    body);
    }));
    request.url = server.url("/file");
    request.target_path = target.file("package.exe");
    std::ofstream(request.target_path, std::ios::binary) << "the package of last week";
    testing::internal::CaptureStdout();
    EXPECT_FALSE(engine.Download(request, nullptr));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(TestFiles::ReadAll(request.target_path), "the package of last week");
    // Too small to resume: nothing of it is left behind.
    EXPECT_FALSE(TestFiles::Exists(request.target_path + ".tmp"));
}

TEST_F(DownloadTail, FailuresSayWhy) {
    const auto ReasonFor = [this](const std::string& url, const std::string& path) {
        request.url = url;
        request.target_path = path;
        testing::internal::CaptureStdout();
        const DownloadResult result = engine.Download(request, nullptr);
        testing::internal::GetCapturedStdout();
        EXPECT_FALSE(result);
        return result.cause;
    };
    ASSERT_TRUE(server.start([](const FaultRequest& request, int fd) {
        if (request.path == "/missing") {
            FaultServer::send(fd, Head(404, "Content-Length: 0\r\n"));
        } else {
            test::AnswerFile(request, fd, CONTENT, RANGES_AND_TAG);
        }
    }));
    request.connections = 6;
    EXPECT_EQ(ReasonFor(server.url("/missing"), target.file("a")),
              "HTTP status 404 (" + server.url("/missing") + ")");

    std::string closed_url;
    {
        // A port that was ours a moment ago and is closed now.
        FaultServer closed;
        ASSERT_TRUE(closed.start([](const FaultRequest&, int) {}));
        closed_url = closed.url("/file");
    }
    EXPECT_EQ(ReasonFor(closed_url, target.file("a")),
              "Couldn't connect to server (" + closed_url + ")");

    // A folder in the target's place fails before anything is fetched.
    std::filesystem::create_directory(target.file("folder"));
    const size_t before = server.requests().size();
    EXPECT_EQ(ReasonFor(server.url("/file"), target.file("folder")),
              target.file("folder") + " is a folder");
    EXPECT_EQ(server.requests().size(), before);
    EXPECT_EQ(ReasonFor(server.url("/file"), target.file("nowhere/file.bin")),
              target.file("nowhere") + ": no such folder");

    const std::filesystem::path folder = target.path() / "ro";
    std::filesystem::create_directories(folder);
    test::TmpfsMount disk(folder.string(), 1 << 20);
    if (!disk.mounted() || !disk.setReadOnly(true)) {
        GTEST_SKIP() << disk.why();
    }
    EXPECT_EQ(ReasonFor(server.url("/file"), (folder / "file.bin").string()),
              (folder / "file.bin.tmp").string() + ": read-only file system");
}

TEST_F(DownloadTail, ProbeHeaderLinesGoToStandardOutputOnlyWhenAsked) {
    Serve([](const FaultRequest&) { return false; });
    for (const bool echo : {false, true}) {
        request.echo_probe_headers = echo;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(engine.Download(request, nullptr));
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_EQ(output.find("ETag: \"v1\"") != std::string::npos, echo) << output;
        EXPECT_EQ(output.find("HTTP/1.1 200") != std::string::npos, echo) << output;
    }
}

} // namespace
} // namespace inkwarden

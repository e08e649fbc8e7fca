// The download engine against a server of our own that misbehaves on purpose.
#include "RangeAnswers.h"
#include "net/SegmentedDownloader.h"
#include "tests/support/FaultServer.h"
#include "tests/support/Latch.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TmpfsMount.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;
using test::FaultRequest;
using test::FaultServer;
using test::TestFiles;

constexpr int64_t SIZE = 60000; // six segments of 10000 bytes
const std::string CONTENT = TestFiles::Pattern(0, SIZE);

using test::Head;

// A probe answer with a validator: a failed download keeps its partial file for a later run.
const std::string RANGES_AND_TAG = "Accept-Ranges: bytes\r\nETag: \"v1\"\r\n";

// A well-behaved answer for the file: HEAD, a ranged 206 or a whole 200.
void Answer(const FaultRequest& request, int fd,
            const std::string& accept_ranges_line = "Accept-Ranges: bytes\r\n") {
    test::AnswerFile(request, fd, CONTENT, accept_ranges_line);
}

std::vector<std::string> Sorted(std::vector<std::string> values) {
    std::sort(values.begin(), values.end());
    return values;
}

const std::vector<std::string> SIX_RANGES =
    Sorted({"0-9999", "10000-19999", "20000-29999", "30000-39999", "40000-49999", "50000-59999"});

// Only the engine's own diagnostic lines of captured standard output.
std::vector<std::string> DiagnosticLines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("curl_", 0) == 0 || line.rfind("retry: ", 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

// The installer's attempts with short pauses, and the shortest low-speed window the library
// takes (a whole second), so that each fault shows quickly.
DownloadTimings QuickTimings() {
    DownloadTimings timings;
    timings.probe_pause = 5ms;
    timings.probe.low_speed_time = 1;
    timings.segment_pause = 20ms;
    return timings;
}

class DownloadFromFaultServer : public testing::Test {
protected:
    // Starts the server and points the engine at "/file".
    void Serve(FaultServer::Handler handler) {
        ASSERT_TRUE(server.start(std::move(handler)));
        request.url = server.url("/file");
        request.target_path = target.file("file.bin");
        request.connections = 6;
    }

    // The first request for the range that starts at range_start gets first_answer; every
    // other request a well-behaved answer.
    void ServeWithFirstAnswer(int64_t range_start, std::function<void(int fd)> first_answer) {
        Serve([this, range_start,
               first_answer = std::move(first_answer)](const FaultRequest& request, int fd) {
            if (request.range_start == range_start && ++first_answers_ == 1) {
                first_answer(fd);
                return;
            }
            Answer(request, fd);
        });
    }

    bool TargetIsExact() const {
        return TestFiles::ReadAll(request.target_path) == CONTENT &&
               !TestFiles::Exists(request.target_path + ".tmp");
    }

    FaultServer server;
    test::TempDir target;
    SegmentedDownloader engine{QuickTimings()};
    DownloadRequest request;

private:
    std::atomic<int> first_answers_{0};
};

TEST_F(DownloadFromFaultServer, RangeHeaderInAnyCaseAndSpacingCounts) {
    // Header names compare in any case and blanks around the value do not matter, as HTTP/2
    // servers write them; only a missing header means one connection.
    const std::vector<std::pair<std::string, size_t>> lines = {
        {"", 1},
        {"accept-ranges: bytes\r\n", 6},
        {"Accept-Ranges:bytes\r\n", 6},
        {"ACCEPT-RANGES:  bytes\r\n", 6},
        {"Accept-Ranges: bytes\n", 6},
        {"Accept-Ranges: none\r\n", 1},
    };
    // Not a structured binding: clang 14 cannot capture one.
    for (const auto& entry : lines) {
        const std::string& line = entry.first;
        const size_t connections = entry.second;
        SCOPED_TRACE("header line \"" + line + "\"");
        FaultServer local;
        ASSERT_TRUE(local.start([&line](const FaultRequest& request, int fd) {
            // Servers without ranges answer with the whole file.
            if (request.method == "GET" && !request.has_range) {
                FaultServer::send(
                    fd, Head(200, "Content-Length: " + std::to_string(SIZE) + "\r\n") + CONTENT);
            } else {
                Answer(request, fd, line);
            }
        }));
        request.url = local.url("/file");
        request.target_path = target.file("file.bin");
        request.connections = 6;
        ASSERT_TRUE(engine.Download(request, nullptr));
        EXPECT_TRUE(TargetIsExact());
        EXPECT_EQ(Sorted(local.getRanges()),
                  connections == 6 ? SIX_RANGES : std::vector<std::string>{"0-59999"});
    }
}

TEST_F(DownloadFromFaultServer, NoLengthMeansOneConnectionRestartingFromZero) {
    std::atomic<int> gets{0};
    Serve([&](const FaultRequest& request, int fd) {
        if (request.method == "HEAD") {
            FaultServer::send(fd, Head(200, "Accept-Ranges: bytes\r\n"));
            return;
        }
        // The first answer breaks off; an answer without a length ends with the connection,
        // so the cut is sent as a chunked body that never finishes.
        if (++gets == 1) {
            FaultServer::send(fd, Head(200, "Transfer-Encoding: chunked\r\n") + "4e20\r\n" +
                                      CONTENT.substr(0, 20000) + "\r\n");
            return;
        }
        FaultServer::send(fd, Head(200, "") + CONTENT);
    });
    std::vector<int64_t> totals;
    std::mutex mutex;
    ASSERT_TRUE(engine.Download(request, [&](int64_t, int64_t total, double) {
        std::lock_guard<std::mutex> lock(mutex);
        totals.push_back(total);
    }));
    EXPECT_TRUE(TargetIsExact());
    EXPECT_EQ(server.getRanges(), (std::vector<std::string>{"", ""}));
    ASSERT_FALSE(totals.empty());
    for (int64_t total : totals) {
        EXPECT_EQ(total, 4294967295);
    }
}

TEST_F(DownloadFromFaultServer, ProbeNotFoundKeepsTheOldTarget) {
    Serve([](const FaultRequest&, int fd) {
        FaultServer::send(fd, Head(404, "Content-Length: 0\r\n"));
    });
    {
        std::FILE* old = std::fopen(request.target_path.c_str(), "wb");
        ASSERT_NE(old, nullptr);
        std::fputs("previous package", old);
        std::fclose(old);
    }
    EXPECT_FALSE(engine.Download(request, nullptr));
    EXPECT_EQ(TestFiles::ReadAll(request.target_path), "previous package");
    EXPECT_TRUE(server.getRanges().empty());
}

TEST_F(DownloadFromFaultServer, SegmentUnavailableFiveTimesFailsWithTheExactLines) {
    Serve([](const FaultRequest& request, int fd) {
        if (request.range_start == 20000) {
            FaultServer::send(fd, Head(503, "Content-Length: 4\r\n") + "busy");
        } else {
            Answer(request, fd, RANGES_AND_TAG);
        }
    });
    testing::internal::CaptureStdout();
    const bool result = engine.Download(request, nullptr).done;
    std::fflush(stdout);
    const std::vector<std::string> lines = DiagnosticLines(testing::internal::GetCapturedStdout());
    EXPECT_FALSE(result);
    std::vector<std::string> expected;
    for (int i = 1; i <= 5; ++i) {
        expected.push_back("curl_easy_getinfo failed rescode: 503");
        expected.push_back("retry: " + std::to_string(i));
    }
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(TestFiles::Exists(request.target_path + ".tmp"));
    EXPECT_FALSE(TestFiles::Exists(request.target_path));
    // The error body never reached the file: the other ranges are exact, this one is empty.
    const std::string partial = TestFiles::ReadAll(request.target_path + ".tmp");
    ASSERT_EQ(partial.size(), static_cast<size_t>(SIZE));
    EXPECT_EQ(partial.substr(0, 20000), CONTENT.substr(0, 20000));
    EXPECT_EQ(partial.substr(20000, 10000), std::string(10000, '\0'));
    EXPECT_EQ(partial.substr(30000), CONTENT.substr(30000));
}

TEST_F(DownloadFromFaultServer, SegmentNotFoundIsNotRetried) {
    Serve([](const FaultRequest& request, int fd) {
        if (request.range_start == 40000) {
            FaultServer::send(fd, Head(404, "Content-Length: 9\r\n") + "not found");
        } else {
            Answer(request, fd);
        }
    });
    EXPECT_FALSE(engine.Download(request, nullptr));
    EXPECT_EQ(Sorted(server.getRanges()), SIX_RANGES);
}

TEST_F(DownloadFromFaultServer, ErrorBodyOnceThenSuccessLeavesAnExactFile) {
    ServeWithFirstAnswer(10000, [](int fd) {
        FaultServer::send(fd, Head(503, "Content-Length: 22\r\n") + "<html>try later</html>");
    });
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_TRUE(TargetIsExact());
    // The retry asked for the same range again: nothing of the error page was counted.
    const std::vector<std::string> ranges = server.getRanges();
    EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "10000-19999"), 2);
}

TEST_F(DownloadFromFaultServer, MultipleChoicesIsNeverData) {
    Serve([](const FaultRequest& request, int fd) {
        if (request.method == "HEAD") {
            Answer(request, fd);
            return;
        }
        const int64_t length = request.range_end - request.range_start + 1;
        FaultServer::send(fd, Head(300, "Content-Length: " + std::to_string(length) + "\r\n") +
                                  CONTENT.substr(static_cast<size_t>(request.range_start),
                                                 static_cast<size_t>(length)));
    });
    testing::internal::CaptureStdout();
    EXPECT_FALSE(engine.Download(request, nullptr));
    testing::internal::GetCapturedStdout();
    // Nothing of it was kept: the partial file could not be resumed.
    EXPECT_FALSE(TestFiles::Exists(request.target_path));
    EXPECT_FALSE(TestFiles::Exists(request.target_path + ".tmp"));
}

TEST_F(DownloadFromFaultServer, DroppedConnectionResumesWhereTheDataStopped) {
    // Promises the whole range, sends 3000 bytes and hangs up.
    ServeWithFirstAnswer(30000, [](int fd) {
        FaultServer::send(fd, test::PartialHead(30000, 39999, SIZE) + CONTENT.substr(30000, 3000));
    });
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_TRUE(TargetIsExact());
    const std::vector<std::string> ranges = server.getRanges();
    EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "33000-39999"), 1);
}

TEST_F(DownloadFromFaultServer, ShortSuccessfulAnswerIsResumed) {
    // A complete answer by its own length, but only half of the range.
    ServeWithFirstAnswer(50000, [](int fd) {
        FaultServer::send(fd, Head(206, "Content-Range: bytes 50000-54999/60000\r\n"
                                        "Content-Length: 5000\r\n") +
                                  CONTENT.substr(50000, 5000));
    });
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_TRUE(TargetIsExact());
    const std::vector<std::string> ranges = server.getRanges();
    EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "55000-59999"), 1);
}

TEST_F(DownloadFromFaultServer, StalledConnectionEndsByTheLowSpeedRule) {
    // Headers, then silence. (After some data the library's rate is an average over several
    // seconds, so the rule would take longer to notice.)
    ServeWithFirstAnswer(0, [this](int fd) {
        FaultServer::send(fd, test::PartialHead(0, 9999, SIZE));
        server.pause(10000);
    });
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(engine.Download(request, nullptr));
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    EXPECT_TRUE(TargetIsExact());
    // About a second without data, then the pause and the range once more.
    EXPECT_GT(elapsed, 1s);
    EXPECT_LT(elapsed, 4s);
    const std::vector<std::string> ranges = server.getRanges();
    EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "0-9999"), 2);
}

TEST_F(DownloadFromFaultServer, IgnoredRangesNeverOverwriteOtherSegments) {
    // Advertises ranges, then answers every GET with 200 and the whole file.
    Serve([](const FaultRequest& request, int fd) {
        if (request.method == "HEAD") {
            Answer(request, fd, RANGES_AND_TAG);
        } else {
            FaultServer::send(fd, Head(200, "Content-Length: " + std::to_string(SIZE) + "\r\n") +
                                      CONTENT);
        }
    });
    EXPECT_FALSE(engine.Download(request, nullptr));
    EXPECT_FALSE(TestFiles::Exists(request.target_path));
    // Only the first segment's bytes could be placed; nothing was written past them.
    const std::string partial = TestFiles::ReadAll(request.target_path + ".tmp");
    EXPECT_EQ(partial, CONTENT.substr(0, 10000));
}

TEST_F(DownloadFromFaultServer, RedirectsAreFollowed) {
    Serve([](const FaultRequest& request, int fd) {
        if (request.path == "/file") {
            FaultServer::send(fd, Head(302, "Location: /moved\r\nContent-Length: 0\r\n"));
        } else {
            Answer(request, fd);
        }
    });
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_TRUE(TargetIsExact());
    EXPECT_EQ(Sorted(server.getRanges()).size(), 12u); // six redirected, six answered
}

TEST_F(DownloadFromFaultServer, LengthsOfFourGibibytesAndMoreArePlannedIn64Bits) {
    // Both lengths need 64 bits or collide with the no-length value; the ranges are refused
    // with 404, so no data moves and no segment retries.
    for (const int64_t length : {int64_t{4294967295}, int64_t{5368709121}}) {
        SCOPED_TRACE(length);
        FaultServer local;
        ASSERT_TRUE(local.start([length](const FaultRequest& request, int fd) {
            if (request.method == "HEAD") {
                FaultServer::send(fd, Head(200, "Accept-Ranges: bytes\r\nContent-Length: " +
                                                    std::to_string(length) + "\r\n"));
            } else {
                FaultServer::send(fd, Head(404, "Content-Length: 0\r\n"));
            }
        }));
        request.url = local.url("/file");
        request.target_path = target.file("big.bin");
        request.connections = 6;
        const DownloadResult result = engine.Download(request, nullptr);
        EXPECT_FALSE(result);
        EXPECT_EQ(result.total_size, length);
        const int64_t segment = length / 6;
        std::vector<std::string> expected;
        for (int64_t i = 0; i < 6; ++i) {
            const int64_t end = (i < 5 ? (i + 1) * segment : length) - 1;
            expected.push_back(std::to_string(i * segment) + "-" + std::to_string(end));
        }
        EXPECT_EQ(Sorted(local.getRanges()), Sorted(expected));
    }
}

TEST_F(DownloadFromFaultServer, CancelReachesAnAnswerWithoutLength) {
    Serve([&](const FaultRequest& request, int fd) {
        if (request.method == "HEAD") {
            FaultServer::send(fd, Head(200, ""));
            return;
        }
        // An endless body without a length, a little at a time.
        FaultServer::send(fd, Head(200, ""));
        while (FaultServer::send(fd, CONTENT.substr(0, 1000)) && server.pause(10)) {
        }
    });
    std::atomic<bool> result{true};
    test::Latch receiving;
    std::thread install([&] {
        result = engine.Download(request, [&](int64_t, int64_t, double) { receiving.open(); }).done;
    });
    EXPECT_TRUE(receiving.waitOpen(10s));
    const auto cancelled_at = std::chrono::steady_clock::now();
    engine.Cancel();
    install.join();
    EXPECT_FALSE(result);
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled_at, 500ms);
}

// Faults of the server's lengths, rate, status and redirects, and of the local disk.

TEST_F(DownloadFromFaultServer, ProbeLengthLongerThanTheFileFails) {
    // The probe promises 5000 bytes more than the server can deliver.
    constexpr int64_t CLAIMED = SIZE + 5000;
    Serve([](const FaultRequest& request, int fd) {
        if (request.method == "HEAD") {
            FaultServer::send(fd, Head(200, RANGES_AND_TAG + "Content-Length: " +
                                                std::to_string(CLAIMED) + "\r\n"));
        } else if (request.range_start >= SIZE) {
            FaultServer::send(fd, Head(416, "Content-Range: bytes */" + std::to_string(SIZE) +
                                                "\r\nContent-Length: 0\r\n"));
        } else {
            FaultRequest capped = request;
            capped.range_end = std::min<int64_t>(request.range_end, SIZE - 1);
            Answer(capped, fd, RANGES_AND_TAG);
        }
    });
    testing::internal::CaptureStdout();
    const DownloadResult result = engine.Download(request, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(result);
    EXPECT_FALSE(TestFiles::Exists(request.target_path));
    // The ranges name the real total: none of them is taken for the announced file.
    EXPECT_NE(result.cause.find("a total of 60000 bytes where the probe announced 65000"),
              std::string::npos)
        << result.cause;
}

TEST_F(DownloadFromFaultServer, ProbeLengthShorterThanTheRangesTotalIsRefused) {
    // The ranges name another total than the probe did: another file, never joined.
    constexpr int64_t CLAIMED = SIZE - 5000;
    Serve([](const FaultRequest& request, int fd) {
        if (request.method == "HEAD") {
            FaultServer::send(fd, Head(200, "Accept-Ranges: bytes\r\nContent-Length: " +
                                                std::to_string(CLAIMED) + "\r\n"));
        } else {
            Answer(request, fd);
        }
    });
    testing::internal::CaptureStdout();
    const DownloadResult result = engine.Download(request, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(result);
    EXPECT_NE(result.cause.find("a total of 60000 bytes where the probe announced 55000"),
              std::string::npos)
        << result.cause;
    EXPECT_FALSE(TestFiles::Exists(request.target_path));
}

TEST_F(DownloadFromFaultServer, ProbeThatStallsForeverEndsInFailure) {
    // Accepts every connection and never answers.
    Serve([&](const FaultRequest&, int) { server.pause(60000); });
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine.Download(request, nullptr));
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    EXPECT_FALSE(TestFiles::Exists(request.target_path + ".tmp"));
    // Ten probes, each ended by the low-speed rule after about a second.
    EXPECT_EQ(server.requests().size(), 10u);
    EXPECT_LT(elapsed, 50s);
}

TEST_F(DownloadFromFaultServer, StormOfUnavailableAnswers) {
    // Every range answers 503 twice, then the storm is over: the retries carry the download.
    std::mutex mutex;
    std::map<int64_t, int> answers;
    Serve([&](const FaultRequest& request, int fd) {
        int seen = 0;
        if (request.method == "GET") {
            std::lock_guard<std::mutex> lock(mutex);
            seen = ++answers[request.range_start];
        }
        if (seen >= 1 && seen <= 2) {
            FaultServer::send(fd, Head(503, "Retry-After: 1\r\nContent-Length: 4\r\n") + "busy");
        } else {
            Answer(request, fd);
        }
    });
    testing::internal::CaptureStdout();
    ASSERT_TRUE(engine.Download(request, nullptr));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(TargetIsExact());
    EXPECT_EQ(server.getRanges().size(), 18u);

    // A storm that does not end: five attempts per range, then a failure in bounded time.
    FaultServer storm;
    ASSERT_TRUE(storm.start([](const FaultRequest& request, int fd) {
        if (request.method == "HEAD") {
            Answer(request, fd);
        } else {
            FaultServer::send(fd, Head(503, "Content-Length: 4\r\n") + "busy");
        }
    }));
    request.url = storm.url("/file");
    const auto begin = std::chrono::steady_clock::now();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(engine.Download(request, nullptr));
    testing::internal::GetCapturedStdout();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
    EXPECT_EQ(storm.getRanges().size(), 30u);
    // The failed download left the file of the first one as it was.
    EXPECT_EQ(TestFiles::ReadAll(request.target_path), CONTENT);

    // A probe answered with 503: nothing is fetched and nothing touched.
    FaultServer refusing;
    ASSERT_TRUE(refusing.start([](const FaultRequest&, int fd) {
        FaultServer::send(fd, Head(503, "Content-Length: 0\r\n"));
    }));
    request.url = refusing.url("/file");
    EXPECT_FALSE(engine.Download(request, nullptr));
    EXPECT_TRUE(refusing.getRanges().empty());
}

TEST_F(DownloadFromFaultServer, RedirectLoopEndsInFailure) {
    // The probe's loop: each probe gives up after ten redirects.
    Serve([](const FaultRequest&, int fd) {
        FaultServer::send(fd, Head(302, "Location: /file\r\nContent-Length: 0\r\n"));
    });
    EXPECT_FALSE(engine.Download(request, nullptr));
    EXPECT_EQ(server.requests().size(), 10u * 11u);

    // A loop that only the ranges meet: each attempt gives up after ten redirects.
    FaultServer ranges_loop;
    ASSERT_TRUE(ranges_loop.start([](const FaultRequest& request, int fd) {
        if (request.method == "HEAD") {
            Answer(request, fd);
        } else {
            FaultServer::send(fd, Head(301, "Location: /again\r\nContent-Length: 0\r\n"));
        }
    }));
    request.url = ranges_loop.url("/file");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(engine.Download(request, nullptr));
    const std::vector<std::string> lines = DiagnosticLines(testing::internal::GetCapturedStdout());
    EXPECT_EQ(ranges_loop.getRanges().size(), 6u * 5u * 11u);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "curl_easy_perform failed res: 47: Number of redirects hit maximum amount"),
              lines.end());
    EXPECT_FALSE(TestFiles::Exists(request.target_path));
}

TEST_F(DownloadFromFaultServer, FullDiskFailsWithoutATarget) {
    const std::filesystem::path folder = target.path() / "small";
    std::filesystem::create_directories(folder);
    test::TmpfsMount disk(folder.string(), 32 * 1024);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.why();
    }
    Serve([](const FaultRequest& request, int fd) { Answer(request, fd); });
    request.target_path = (folder / "file.bin").string();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(engine.Download(request, nullptr));
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(TestFiles::Exists(request.target_path));

    // Read-only from the start: no segment can open the temporary file.
    ASSERT_TRUE(disk.setReadOnly(true));
    const size_t requests = server.getRanges().size();
    EXPECT_FALSE(engine.Download(request, nullptr));
    EXPECT_FALSE(TestFiles::Exists(request.target_path));
    EXPECT_EQ(server.getRanges().size(), requests);
    // The engine is usable again once the disk is.
    ASSERT_TRUE(disk.setReadOnly(false));
    std::filesystem::remove(request.target_path + ".tmp");
    request.target_path = target.file("file.bin");
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_TRUE(TargetIsExact());
}

TEST_F(DownloadFromFaultServer, TemporaryNameThatIsALinkIsNeverFollowed) {
    // A link planted under the temporary name must not make the download write elsewhere.
    Serve([](const FaultRequest& request, int fd) { Answer(request, fd); });
    const std::string victim = target.file("victim.txt");
    { std::ofstream(victim) << "keep me"; }
    std::filesystem::create_symlink(victim, request.target_path + ".tmp");
    EXPECT_FALSE(engine.Download(request, nullptr));
    EXPECT_EQ(TestFiles::ReadAll(victim), "keep me");
    EXPECT_FALSE(TestFiles::Exists(request.target_path));
}

} // namespace
} // namespace inkwarden

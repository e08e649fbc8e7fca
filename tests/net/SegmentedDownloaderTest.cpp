// The download engine against Debian's nginx on loopback.
#include "net/SegmentedDownloader.h"

#include "tests/support/Latch.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;
using test::NginxServer;
using test::TestFiles;

// The ranges the engine plans for a file of this size with six connections.
std::vector<std::string> PlannedRanges(int64_t size) {
    if (size <= SegmentedDownloader::SINGLE_CONNECTION_LIMIT) {
        return {"bytes=0-" + std::to_string(size - 1)};
    }
    const int64_t segment = size / 6;
    std::vector<std::string> ranges;
    for (int64_t i = 0; i < 6; ++i) {
        const int64_t end = (i < 5 ? (i + 1) * segment : size) - 1;
        ranges.push_back("bytes=" + std::to_string(i * segment) + "-" + std::to_string(end));
    }
    return ranges;
}

// nginx writes its log line just after the last byte went out.
std::vector<std::string> WaitForRanges(const NginxServer& server, const std::string& name,
                                       size_t count) {
    std::vector<std::string> ranges;
    for (int i = 0; i < 200; ++i) {
        ranges = server.rangesRequested(name);
        if (ranges.size() >= count) {
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    std::sort(ranges.begin(), ranges.end());
    return ranges;
}

class DownloadFromNginx : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.running()) << "nginx did not start"; }

    void Prepare(const std::string& name, int64_t size) {
        ASSERT_TRUE(TestFiles::WritePattern(server.file(name), size));
        request.url = server.url(name);
        request.target_path = target.file(name);
        request.connections = 6;
    }

    NginxServer server;
    test::TempDir target;
    SegmentedDownloader engine;
    DownloadRequest request;
};

TEST_F(DownloadFromNginx, FilesArriveByteExactWithThePlannedRanges) {
    const std::vector<int64_t> sizes = {1, 16384, 16385, 16390, 99991, 1000003};
    for (int64_t size : sizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string name = "file" + std::to_string(size) + ".bin";
        Prepare(name, size);
        ASSERT_TRUE(engine.Download(request, nullptr));
        EXPECT_EQ(TestFiles::Sha256OfFile(request.target_path),
                  TestFiles::Sha256OfFile(server.file(name)));
        EXPECT_FALSE(TestFiles::Exists(request.target_path + ".tmp"));
        std::vector<std::string> planned = PlannedRanges(size);
        std::sort(planned.begin(), planned.end());
        EXPECT_EQ(WaitForRanges(server, name, planned.size()), planned);
    }
}

TEST_F(DownloadFromNginx, SmallAndSplitBoundariesAreExact) {
    // The two sizes around the single-connection limit, with their ranges spelled out.
    Prepare("a.bin", 16384);
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_EQ(WaitForRanges(server, "a.bin", 1), std::vector<std::string>{"bytes=0-16383"});

    Prepare("b.bin", 16385);
    ASSERT_TRUE(engine.Download(request, nullptr));
    const std::vector<std::string> ranges = WaitForRanges(server, "b.bin", 6);
    EXPECT_EQ(ranges,
              (std::vector<std::string>{"bytes=0-2729", "bytes=10920-13649", "bytes=13650-16384",
                                        "bytes=2730-5459", "bytes=5460-8189", "bytes=8190-10919"}));
}

TEST_F(DownloadFromNginx, LargeFileWithConsistentProgress) {
    const int64_t size = 64ll << 20;
    Prepare("large.bin", size);

    std::mutex mutex;
    std::vector<std::pair<int64_t, int64_t>> reports;
    std::atomic<int> concurrent{0};
    std::atomic<bool> overlapped{false};
    ASSERT_TRUE(engine.Download(request, [&](int64_t done, int64_t total, double fraction) {
        if (++concurrent > 1) {
            overlapped = true;
        }
        EXPECT_DOUBLE_EQ(fraction, static_cast<double>(done) / static_cast<double>(total));
        {
            std::lock_guard<std::mutex> lock(mutex);
            reports.emplace_back(done, total);
        }
        --concurrent;
    }));
    EXPECT_EQ(TestFiles::Sha256OfFile(request.target_path),
              TestFiles::Sha256OfFile(server.file("large.bin")));
    EXPECT_FALSE(TestFiles::Exists(request.target_path + ".tmp"));

    ASSERT_FALSE(reports.empty());
    EXPECT_FALSE(overlapped) << "reports were delivered concurrently";
    for (size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].second, size);
        ASSERT_LE(reports[i].first, size);
        if (i > 0) {
            ASSERT_GT(reports[i].first, reports[i - 1].first) << "report " << i;
        }
    }
    EXPECT_EQ(reports.back().first, size);
}

TEST_F(DownloadFromNginx, FailedRenameIsAFailedDownload) {
    Prepare("renamed.bin", 100000);
    // Once every byte is in, a folder takes the target's place, so the rename cannot succeed.
    ASSERT_FALSE(engine.Download(request, [&](int64_t done, int64_t total, double) {
        if (done == total) {
            std::filesystem::create_directories(request.target_path + "/occupied");
        }
    }));
    EXPECT_TRUE(TestFiles::Exists(request.target_path + ".tmp"));
}

TEST(DownloadCancel, CancelFromAnotherThreadEndsTheDownloadAndClears) {
    // 1 MiB/s per connection: a 24 MiB file would take four seconds with six connections.
    NginxServer server("limit_rate 1m;");
    ASSERT_TRUE(server.running());
    ASSERT_TRUE(TestFiles::WritePattern(server.file("slow.bin"), 24ll << 20));
    test::TempDir target;
    SegmentedDownloader engine;
    DownloadRequest request;
    request.url = server.url("slow.bin");
    request.target_path = target.file("slow.bin");
    request.connections = 6;

    std::atomic<bool> result{true};
    std::atomic<bool> returned{false};
    std::chrono::steady_clock::time_point returned_at;
    test::Latch receiving;
    std::thread install([&] {
        result = engine.Download(request, [&](int64_t, int64_t, double) { receiving.open(); }).done;
        returned_at = std::chrono::steady_clock::now();
        returned = true;
    });
    // Cancelled while the segments are receiving.
    EXPECT_TRUE(receiving.waitOpen(10s));
    ASSERT_FALSE(returned);
    const auto cancelled_at = std::chrono::steady_clock::now();
    engine.Cancel();
    engine.WaitIdle();
    install.join();

    EXPECT_FALSE(result);
    // Well before the 3.4 s the rest would take, with room for a loaded sanitizer build.
    EXPECT_LT(returned_at - cancelled_at, 1500ms);
    EXPECT_FALSE(engine.Busy());
    EXPECT_TRUE(TestFiles::Exists(request.target_path + ".tmp"));
    EXPECT_FALSE(TestFiles::Exists(request.target_path));

    // The engine is usable again at once.
    ASSERT_TRUE(TestFiles::WritePattern(server.file("next.bin"), 300000));
    request.url = server.url("next.bin");
    request.target_path = target.file("next.bin");
    ASSERT_TRUE(engine.Download(request, nullptr));
    EXPECT_EQ(TestFiles::Sha256OfFile(request.target_path),
              TestFiles::Sha256OfFile(server.file("next.bin")));
}

} // namespace
} // namespace inkwarden

// The download engine against package servers that misbehave as caches and proxies do: a
// download either ends with the exact file or fails without one, never with another file.
#include "net/SegmentedDownloader.h"
#include "tests/support/HostilePackageServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;
using Fault = test::HostilePackageServer::Fault;
using test::TestFiles;

constexpr int64_t SIZE = 300000;

DownloadTimings QuickTimings() {
    DownloadTimings timings;
    timings.probe_pause = 5ms;
    timings.probe.low_speed_time = 1;
    timings.segment_pause = 5ms;
    return timings;
}

// Keeps every event, for the cases that ask what happened on the way.
class EventLog : public DownloadObserver {
public:
    void OnAttemptEvent(const AttemptEvent& event) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    int Count(AttemptEventKind kind) const {
        std::lock_guard<std::mutex> lock(mutex_);
        int count = 0;
        for (const AttemptEvent& event : events_) {
            count += event.kind == kind ? 1 : 0;
        }
        return count;
    }

private:
    mutable std::mutex mutex_;
    std::vector<AttemptEvent> events_;
};

class HostileDownload : public testing::Test {
protected:
    DownloadResult Fetch(test::HostilePackageServer& server, std::optional<int64_t> size = {}) {
        request.url = server.url();
        request.target_path = target.file("package.exe");
        request.connections = 6;
        request.echo_probe_headers = false;
        request.expected_size = size;
        engine.SetObserver(log);
        return engine.Download(request);
    }

    // Done means the exact file; failed means no file at all.
    void ExpectNoWrongFile(const DownloadResult& result, const std::string& exact) {
        if (result.done) {
            EXPECT_EQ(TestFiles::Sha256OfFile(request.target_path), TestFiles::Sha256(exact));
        } else {
            EXPECT_FALSE(TestFiles::Exists(request.target_path)) << result.cause;
        }
    }

    test::TempDir target;
    SegmentedDownloader engine{QuickTimings()};
    DownloadRequest request;
    EventLog log;
};

TEST_F(HostileDownload, NoFaultOfTheMatrixEndsInAWrongFile) {
    struct Case {
        Fault fault;
        bool done; // whether the exact file can still be had
        const char* cause;
    };
    const Case cases[] = {
        {Fault::NONE, true, ""},
        {Fault::WRONG_CONTENT_RANGE, false, "in answer to"},
        {Fault::CHANGES_ALWAYS, false, "the file changed on the server"},
        {Fault::SHORT_THEN_NEW_FILE_WITHOUT_TAG, false, ""},
        {Fault::MULTIPLE_CHOICES_BODY, false, "HTTP status 300"},
        {Fault::SERVER_ERROR_BODY, false, "HTTP status 503"},
        {Fault::REDIRECT_TO_OTHER_HOST, false, "without the probe's validator"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        test::HostilePackageServer server(c.fault, SIZE);
        ASSERT_TRUE(server.running());
        const DownloadResult result = Fetch(server);
        ExpectNoWrongFile(result, server.file());
        EXPECT_EQ(result.done, c.done) << result.cause;
        EXPECT_NE(result.cause.find(c.cause), std::string::npos) << result.cause;
        std::remove(request.target_path.c_str());
    }
}

TEST_F(HostileDownload, AChangedFileIsFetchedAfreshOnceAndNeverMixed) {
    // Whether the server honours If-Range (the whole new file comes) or not (206s of it
    // come with the new tag), the download starts over once and ends with the new file.
    for (const Fault fault : {Fault::CHANGES_ONCE, Fault::CHANGES_IGNORING_IF_RANGE}) {
        SCOPED_TRACE(static_cast<int>(fault));
        test::HostilePackageServer server(fault, SIZE);
        ASSERT_TRUE(server.running());
        const DownloadResult result = Fetch(server);
        ASSERT_TRUE(result) << result.cause;
        EXPECT_EQ(TestFiles::ReadAll(request.target_path), server.otherFile());
        EXPECT_EQ(log.Count(AttemptEventKind::RESTARTED), fault == Fault::CHANGES_ONCE ? 1 : 2);
    }
}

TEST_F(HostileDownload, AWrongContentRangeIsReportedAndNeverWritten) {
    test::HostilePackageServer server(Fault::WRONG_CONTENT_RANGE, SIZE);
    ASSERT_TRUE(server.running());
    const DownloadResult result = Fetch(server);
    EXPECT_FALSE(result);
    EXPECT_GT(log.Count(AttemptEventKind::ANSWER_REFUSED), 0);
    EXPECT_EQ(result.bytes_per_source.at(0).bytes, 0);
}

TEST_F(HostileDownload, TheExpectedSizeBoundsTheDownloadBeforeAnyGet) {
    test::HostilePackageServer server(Fault::ANNOUNCES_TEN_GIGABYTES, SIZE);
    ASSERT_TRUE(server.running());
    const DownloadResult result = Fetch(server, 612);
    EXPECT_FALSE(result);
    EXPECT_TRUE(result.size_refused);
    EXPECT_EQ(result.cause, "the server announces 10000000000 bytes, the release says 612");
    EXPECT_EQ(server.getCount(), 0u);
    EXPECT_FALSE(TestFiles::Exists(request.target_path + ".tmp"));

    // The release's own size is taken.
    test::HostilePackageServer honest(Fault::NONE, SIZE);
    ASSERT_TRUE(honest.running());
    EXPECT_TRUE(Fetch(honest, SIZE));
}

TEST_F(HostileDownload, ASecondDownloadOfTheSameTargetFailsAndTheFirstStaysWhole) {
    test::HostilePackageServer server(Fault::NONE, SIZE);
    ASSERT_TRUE(server.running());
    request.target_path = target.file("package.exe");
    // The first download holds the target until it ends: here, while a second one starts.
    TargetLock first;
    ASSERT_EQ(first.Acquire(request.target_path + ".tmp"), TargetLock::Outcome::LOCKED);
    const DownloadResult second = Fetch(server);
    EXPECT_FALSE(second);
    EXPECT_EQ(second.cause, "another download of " + request.target_path + " is running");
    EXPECT_EQ(server.getCount(), 0u);
    first.Release();
    EXPECT_TRUE(Fetch(server));
}

TEST_F(HostileDownload, ATargetThatIsNoRegularFileIsNeverReplaced) {
    test::HostilePackageServer server(Fault::NONE, SIZE);
    ASSERT_TRUE(server.running());
    const std::string fifo = target.file("package.exe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const DownloadResult result = Fetch(server);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.cause, fifo + " is not a regular file");
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(server.getCount(), 0u);
}

} // namespace
} // namespace inkwarden

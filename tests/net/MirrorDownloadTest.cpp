// The download engine with several sources of one file, against real loopback mirrors that
// are even, uneven, die, refuse connections, serve another length, other bytes or damaged
// bytes: the file is exact whenever a good source is left, and a bad source costs only itself.
#include "net/SegmentedDownloader.h"
#include "release/ReleaseCheck.h"
#include "tests/support/FreePort.h"
#include "tests/support/HostilePackageServer.h"
#include "tests/support/MirrorServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <numeric>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;
using test::MirrorServer;
using test::TestFiles;

constexpr int64_t SIZE = 3 << 20;

MirrorServer::Behaviour Kind() {
    return {};
}

DownloadTimings QuickTimings() {
    DownloadTimings timings;
    timings.probe_pause = 5ms;
    timings.segment_pause = 5ms;
    // Small files here: tails worth taking over are small too.
    timings.steal.min_bytes = 64 << 10;
    timings.steal.min_time = 100ms;
    return timings;
}

class SourceEvents : public DownloadObserver {
public:
    void OnAttemptEvent(const AttemptEvent& event) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    // The causes the given source was dropped with (at most one).
    std::vector<std::string> DropsOf(const std::string& url) const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> causes;
        for (const AttemptEvent& event : events_) {
            if (event.kind == AttemptEventKind::SOURCE_DROPPED && event.source == url) {
                causes.push_back(event.cause);
            }
        }
        return causes;
    }
    std::vector<AttemptEvent> BytesLines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<AttemptEvent> lines;
        for (const AttemptEvent& event : events_) {
            if (event.kind == AttemptEventKind::SOURCE_BYTES) {
                lines.push_back(event);
            }
        }
        return lines;
    }

private:
    mutable std::mutex mutex_;
    std::vector<AttemptEvent> events_;
};

class MirrorDownload : public testing::Test {
protected:
    DownloadResult Fetch(const std::string& url, std::vector<std::string> mirrors,
                         int connections = 6) {
        request.url = url;
        request.mirrors = std::move(mirrors);
        request.target_path = target.file("package.exe");
        request.connections = connections;
        request.echo_probe_headers = false;
        request.expected_size = SIZE;
        engine.SetObserver(events);
        return engine.Download(request);
    }

    int64_t BytesFrom(const DownloadResult& result, size_t source) const {
        return result.bytes_per_source.at(source).bytes;
    }

    void ExpectExactFile(const DownloadResult& result) {
        ASSERT_TRUE(result) << result.cause;
        EXPECT_EQ(TestFiles::ReadAll(request.target_path), file);
        int64_t sum = 0;
        for (const DownloadResult::SourceBytes& source : result.bytes_per_source) {
            sum += source.bytes;
        }
        EXPECT_EQ(sum, SIZE);
    }

    const std::string file = TestFiles::Pattern(0, SIZE);
    test::TempDir target;
    SegmentedDownloader engine{QuickTimings()};
    DownloadRequest request;
    SourceEvents events;
};

TEST_F(MirrorDownload, EvenSourcesEachServePartOfTheFileAndSayHowMuch) {
    // Paced, so that every connection is still busy when the others start.
    const MirrorServer::Behaviour even = Kind().Rate(8 << 20);
    MirrorServer first(file, even), second(file, even), third(file, even);
    ASSERT_TRUE(first.running() && second.running() && third.running());
    const DownloadResult result = Fetch(first.url(), {second.url(), third.url()});
    ExpectExactFile(result);
    ASSERT_EQ(result.bytes_per_source.size(), 3u);
    EXPECT_EQ(result.bytes_per_source[1].url, second.url());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_GT(BytesFrom(result, i), 0) << i;
    }
    // One line per source at the end, in the request's order.
    const std::vector<AttemptEvent> lines = events.BytesLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].source, third.url());
    EXPECT_EQ(lines[2].bytes, BytesFrom(result, 2));

    // With fewer connections than sources every source still gets one.
    std::remove(request.target_path.c_str());
    const DownloadResult one = Fetch(first.url(), {second.url(), third.url()}, 1);
    ExpectExactFile(one);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_GT(BytesFrom(one, i), 0) << i;
    }
}

TEST_F(MirrorDownload, AFastMirrorTakesOverTheTailOfASlowSource) {
    // Alone, the slow source's half would take it 6 s at 256 KiB/s.
    MirrorServer slow(file, Kind().Rate(256 << 10)), fast(file, {});
    ASSERT_TRUE(slow.running() && fast.running());
    const DownloadResult result = Fetch(slow.url(), {fast.url()}, 4);
    ExpectExactFile(result);
    EXPECT_GT(BytesFrom(result, 1), SIZE * 3 / 4) << BytesFrom(result, 0);
    EXPECT_TRUE(events.DropsOf(slow.url()).empty());
}

TEST_F(MirrorDownload, AMirrorThatDiesHalfWayIsDroppedAndTheOthersFinish) {
    // Paced, so that the mirror is still busy with its ranges when it goes.
    MirrorServer good(file, Kind().Rate(8 << 20)), dying(file, Kind().DiesAfter(512 << 10));
    ASSERT_TRUE(good.running() && dying.running());
    const DownloadResult result = Fetch(good.url(), {dying.url()});
    ExpectExactFile(result);
    EXPECT_TRUE(dying.dead());
    EXPECT_EQ(events.DropsOf(dying.url()).size(), 1u);
    EXPECT_LE(BytesFrom(result, 1), 512 << 10);

    // The package URL itself may be the one that dies.
    std::remove(request.target_path.c_str());
    MirrorServer dying_first(file, Kind().DiesAfter(512 << 10)), mirror(file, Kind().Rate(8 << 20));
    ExpectExactFile(Fetch(dying_first.url(), {mirror.url()}));
    EXPECT_EQ(events.DropsOf(dying_first.url()).size(), 1u);
}

TEST_F(MirrorDownload, MirrorsThatRefuseOrServeAnotherFileAreDroppedAtTheProbe) {
    MirrorServer good(file, {});
    MirrorServer shorter(TestFiles::Pattern(0, SIZE - 1), {});
    MirrorServer other_version(file, Kind().Tag("m2"));
    const std::string refusing =
        "http://127.0.0.1:" + std::to_string(test::FreePort::Find()) + "/p";
    ASSERT_TRUE(good.running() && shorter.running() && other_version.running());
    const DownloadResult result = Fetch(good.url(), {refusing, shorter.url(), other_version.url()});
    ExpectExactFile(result);
    EXPECT_EQ(BytesFrom(result, 0), SIZE);
    ASSERT_EQ(events.DropsOf(refusing).size(), 1u);
    EXPECT_NE(events.DropsOf(refusing)[0].find("onnect"), std::string::npos);
    ASSERT_EQ(events.DropsOf(shorter.url()).size(), 1u);
    EXPECT_NE(events.DropsOf(shorter.url())[0].find(std::to_string(SIZE - 1)), std::string::npos);
    EXPECT_EQ(events.DropsOf(other_version.url()).size(), 1u);
    EXPECT_EQ(shorter.bodyBytesSent() + other_version.bodyBytesSent(), 0);

    // A package URL that refuses leaves the file to its mirrors.
    std::remove(request.target_path.c_str());
    const DownloadResult from_mirror = Fetch(refusing, {good.url()});
    ExpectExactFile(from_mirror);
    EXPECT_EQ(BytesFrom(from_mirror, 1), SIZE);
}

TEST_F(MirrorDownload, AMirrorWithWrongRangesIsDroppedAndNoneOfItsBytesIsWritten) {
    // The hostile server's file and tag are the good source's: only its ranges are wrong.
    test::HostilePackageServer wrong(test::HostilePackageServer::Fault::WRONG_CONTENT_RANGE, SIZE);
    MirrorServer good(file, Kind().Rate(8 << 20).Tag("v1"));
    ASSERT_TRUE(wrong.running() && good.running());
    const DownloadResult result = Fetch(good.url(), {wrong.url()});
    ExpectExactFile(result);
    EXPECT_EQ(BytesFrom(result, 1), 0);
    EXPECT_EQ(events.DropsOf(wrong.url()).size(), 1u);
}

TEST_F(MirrorDownload, DamagedBytesFromAMirrorAreCaughtByTheWholeFileDigest) {
    MirrorServer good(file, {}), damaging(file, Kind().Damages(SIZE / 2 + 10));
    ASSERT_TRUE(good.running() && damaging.running());
    const DownloadResult result = Fetch(good.url(), {damaging.url()}, 2);
    ASSERT_TRUE(result) << result.cause;
    // The second range begins at the mirror: the engine cannot tell, the release's digest does.
    ASSERT_GT(BytesFrom(result, 1), 0);
    PackageFields release;
    release.size = SIZE;
    release.sha256 = TestFiles::Sha256(file);
    EXPECT_EQ(CheckPackageFile(request.target_path, release), ReleaseCheck::PACKAGE_SHA256);
}

TEST_F(MirrorDownload, WithPieceDigestsADamagedPieceDropsItsMirrorAndComesFromTheOthers) {
    MirrorServer good(file, {}), damaging(file, Kind().Damages(SIZE / 2 + 10));
    ASSERT_TRUE(good.running() && damaging.running());
    constexpr int64_t PIECE = 64 << 10;
    request.piece_size = PIECE;
    for (int64_t first = 0; first < SIZE; first += PIECE) {
        request.piece_sha256.push_back(TestFiles::Sha256(file.substr(first, PIECE)));
    }
    const DownloadResult result = Fetch(good.url(), {damaging.url()}, 2);
    ASSERT_TRUE(result) << result.cause;
    EXPECT_EQ(TestFiles::ReadAll(request.target_path), file);
    EXPECT_EQ(events.DropsOf(damaging.url()).size(), 1u);
    EXPECT_GE(result.pieces_failed, 1);
    EXPECT_LE(result.pieces_failed, 2);
    // Only the damaged pieces were fetched twice.
    int64_t sum = 0;
    for (const DownloadResult::SourceBytes& source : result.bytes_per_source) {
        sum += source.bytes;
    }
    EXPECT_LE(sum, SIZE + result.pieces_failed * PIECE);
}

TEST_F(MirrorDownload, TheDownloadFailsOnlyWhenEverySourceFailed) {
    MirrorServer first(file, Kind().DiesAfter(256 << 10)),
        second(file, Kind().DiesAfter(256 << 10));
    ASSERT_TRUE(first.running() && second.running());
    const DownloadResult result = Fetch(first.url(), {second.url()});
    EXPECT_FALSE(result);
    EXPECT_FALSE(TestFiles::Exists(request.target_path));
    EXPECT_EQ(events.DropsOf(first.url()).size() + events.DropsOf(second.url()).size(), 2u);
    EXPECT_FALSE(result.cause.empty());
    // What arrived stays for a later run, as after any failed download with a record.
    EXPECT_TRUE(TestFiles::Exists(request.target_path + ".tmp"));
}

} // namespace
} // namespace inkwarden

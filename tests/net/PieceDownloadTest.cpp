// Downloads whose release names a digest for each piece, against real servers on loopback: a
// damaged piece costs only itself, a source that keeps damaging one fails the download with a
// cause, and a resumed download trusts only the pieces of its partial file that check out.
#include "RangeAnswers.h"
#include "net/DownloadControlFile.h"
#include "net/SegmentedDownloader.h"
#include "release/PackageDigest.h"
#include "tests/support/FaultServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;
using test::FaultRequest;
using test::FaultServer;
using test::TestFiles;

constexpr int64_t PIECE = 65536;
constexpr int64_t SIZE = 32 * PIECE + 1000; // the last piece is short
const std::string CONTENT = TestFiles::Pattern(0, SIZE);
const std::string RANGES_AND_TAG = "Accept-Ranges: bytes\r\nETag: \"v1\"\r\n";

std::vector<std::string> PieceDigests(const std::string& content) {
    std::vector<std::string> digests;
    for (size_t at = 0; at < content.size(); at += PIECE) {
        digests.push_back(TestFiles::Sha256(content.substr(at, PIECE)));
    }
    return digests;
}

std::string Damaged(std::string content, const std::vector<int64_t>& offsets) {
    for (const int64_t offset : offsets) {
        content[static_cast<size_t>(offset)] ^= 0x5a;
    }
    return content;
}

std::string RangeText(int64_t first, int64_t last) {
    return std::to_string(first) + "-" + std::to_string(last);
}

// Short pauses, no steals and a patient low-speed rule, so that every byte the server sends is
// asked for once by plan, however loaded the machine.
DownloadTimings QuickTimings() {
    DownloadTimings timings;
    timings.probe_pause = 5ms;
    timings.segment_pause = 5ms;
    timings.segment.low_speed_time = 30;
    timings.steal.min_bytes = int64_t{1} << 40;
    return timings;
}

class PieceLog : public DownloadObserver {
public:
    void OnAttemptEvent(const AttemptEvent& event) override {
        if (event.kind == AttemptEventKind::PIECE_FAILED) {
            std::lock_guard<std::mutex> lock(mutex_);
            failed_.push_back(event);
        }
    }
    std::vector<AttemptEvent> failed() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return failed_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<AttemptEvent> failed_;
};

// Serves CONTENT with ranges and a tag; the answers that cover the damaged byte carry a wrong
// byte there, the first damaged_answers of them (every one when negative).
class PieceServer {
public:
    PieceServer(int64_t damaged_byte, int damaged_answers)
        : damaged_byte_(damaged_byte), damaged_answers_(damaged_answers) {
        running_ =
            server_.start([this](const FaultRequest& request, int fd) { Answer(request, fd); });
    }
    bool running() const { return running_; }
    std::string url() const { return server_.url("/package.exe"); }
    int64_t bodyBytes() const { return body_bytes_; }
    std::vector<std::string> ranges() const { return server_.getRanges(); }

private:
    void Answer(const FaultRequest& request, int fd) {
        if (request.method == "GET" && request.has_range) {
            const int64_t last = request.range_end < 0 ? SIZE - 1 : request.range_end;
            body_bytes_ += last - request.range_start + 1;
            const bool covers = request.range_start <= damaged_byte_ && damaged_byte_ <= last;
            if (covers && (damaged_answers_ < 0 || damaged_++ < damaged_answers_)) {
                return test::AnswerFile(request, fd, Damaged(CONTENT, {damaged_byte_}),
                                        RANGES_AND_TAG);
            }
        }
        test::AnswerFile(request, fd, CONTENT, RANGES_AND_TAG);
    }

    int64_t damaged_byte_;
    int damaged_answers_;
    std::atomic<int> damaged_{0};
    std::atomic<int64_t> body_bytes_{0};
    FaultServer server_;
    bool running_ = false;
};

class PieceDownload : public testing::Test {
protected:
    DownloadResult Fetch(const std::string& url, int connections = 4) {
        request.url = url;
        request.target_path = target.file("package.exe");
        request.connections = connections;
        request.echo_probe_headers = false;
        request.expected_size = SIZE;
        request.piece_size = PIECE;
        request.piece_sha256 = PieceDigests(CONTENT);
        engine.SetObserver(log);
        return engine.Download(request);
    }

    test::TempDir target;
    SegmentedDownloader engine{QuickTimings()};
    DownloadRequest request;
    PieceLog log;
};

TEST_F(PieceDownload, ADamagedPieceIsFetchedAgainAloneFromItsSource) {
    constexpr int64_t BAD_PIECE = 10;
    PieceServer server(BAD_PIECE * PIECE + 777, 1);
    ASSERT_TRUE(server.running());

    const DownloadResult result = Fetch(server.url());

    ASSERT_TRUE(result.done) << result.cause;
    EXPECT_EQ(TestFiles::Sha256OfFile(request.target_path), TestFiles::Sha256(CONTENT));
    EXPECT_EQ(result.pieces_failed, 1);
    const std::vector<AttemptEvent> failed = log.failed();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].number, BAD_PIECE);
    EXPECT_EQ(failed[0].bytes, BAD_PIECE * PIECE);
    EXPECT_EQ(failed[0].source, server.url());
    // The piece alone was asked for again: the file once, and that piece once more.
    const std::vector<std::string> ranges = server.ranges();
    EXPECT_EQ(ranges.size(), 5u);
    EXPECT_EQ(std::count(ranges.begin(), ranges.end(),
                         RangeText(BAD_PIECE * PIECE, (BAD_PIECE + 1) * PIECE - 1)),
              1);
    EXPECT_EQ(server.bodyBytes(), SIZE + PIECE);
}

TEST_F(PieceDownload, TheShortLastPieceAndASingleConnectionAreCheckedToo) {
    // A damaged byte in the 1000-byte last piece, with one connection for the whole file.
    PieceServer server(SIZE - 1, 1);
    ASSERT_TRUE(server.running());

    const DownloadResult result = Fetch(server.url(), 1);

    ASSERT_TRUE(result.done) << result.cause;
    EXPECT_EQ(TestFiles::Sha256OfFile(request.target_path), TestFiles::Sha256(CONTENT));
    EXPECT_EQ(result.pieces_failed, 1);
    EXPECT_EQ(server.ranges().back(), RangeText(32 * PIECE, SIZE - 1));
    EXPECT_EQ(server.bodyBytes(), SIZE + 1000);
}

TEST_F(PieceDownload, ASourceThatKeepsDamagingAPieceFailsTheDownloadWithACause) {
    PieceServer server(5 * PIECE, -1);
    ASSERT_TRUE(server.running());
    const int attempts = engine.Timings().piece_attempts;

    const DownloadResult result = Fetch(server.url());

    EXPECT_FALSE(result.done);
    EXPECT_FALSE(TestFiles::Exists(request.target_path));
    EXPECT_NE(result.cause.find("piece 5 failed its digest " + std::to_string(attempts) + " times"),
              std::string::npos)
        << result.cause;
    EXPECT_EQ(result.pieces_failed, attempts);
    // The first answer and then the piece alone, no more than the bound allows.
    const std::vector<std::string> ranges = server.ranges();
    EXPECT_EQ(std::count(ranges.begin(), ranges.end(), RangeText(5 * PIECE, 6 * PIECE - 1)),
              attempts - 1);
    EXPECT_LE(server.bodyBytes(), SIZE + (attempts - 1) * PIECE);
}

TEST_F(PieceDownload, AResumedDownloadFetchesOnlyTheDamagedPiecesOfItsPartialFile) {
    PieceServer server(-1, 0);
    ASSERT_TRUE(server.running());
    request.target_path = target.file("package.exe");
    // An earlier run left 24 whole pieces and 1000 bytes of the 25th; the partial file has
    // since been damaged in pieces 3 and 20, and in the part of piece 24 that is there.
    constexpr int64_t KEPT = 24 * PIECE + 1000;
    const std::string partial =
        Damaged(CONTENT.substr(0, KEPT), {3 * PIECE + 5, 20 * PIECE + PIECE - 1, 24 * PIECE + 10});
    std::ofstream(target.file("package.exe.tmp"), std::ios::binary) << partial;
    const DownloadControlFile control(SegmentedDownloader::ControlPath(request.target_path));
    ASSERT_TRUE(control.Write({server.url(), SIZE, "ETag \"v1\"", {{0, KEPT - 1}}}));

    const DownloadResult result = Fetch(server.url());

    ASSERT_TRUE(result.done) << result.cause;
    EXPECT_EQ(TestFiles::Sha256OfFile(request.target_path), TestFiles::Sha256(CONTENT));
    std::vector<int64_t> failed_pieces;
    for (const AttemptEvent& event : log.failed()) {
        failed_pieces.push_back(event.number);
    }
    // The whole damaged pieces are caught before any request; the partly kept one once it is
    // complete, and then from the server.
    ASSERT_EQ(failed_pieces.size(), 3u);
    EXPECT_EQ(failed_pieces[0], 3);
    EXPECT_EQ(failed_pieces[1], 20);
    EXPECT_EQ(failed_pieces[2], 24);
    EXPECT_EQ(log.failed()[0].source, "");
    EXPECT_EQ(result.pieces_failed, 3);
    EXPECT_EQ(server.bodyBytes(), 2 * PIECE + (SIZE - KEPT) + PIECE);
}

TEST(PieceGrid, StealsSplitOnlyAtPieceBoundaries) {
    SegmentManager manager;
    const int64_t total = 40 * PIECE + 123;
    manager.Reset(total, {{0, total - 1}}, {.min_bytes = 1, .min_time = 0ms}, PIECE);
    const auto now = SegmentManager::Clock::now();
    ASSERT_EQ(manager.Acquire(now, SegmentManager::UNKNOWN_RATE, true), 0);
    manager.Claim(0, 1000);
    manager.Commit(0, 1000, now);
    // Halves, quarters and so on of the rest: each new slot begins on a boundary.
    for (int steal = 0; steal < 5; ++steal) {
        const int slot = manager.Acquire(now, SegmentManager::UNKNOWN_RATE, true);
        ASSERT_NE(slot, SegmentManager::NO_SLOT);
        EXPECT_EQ(manager.Remaining(slot).first % PIECE, 0) << manager.Remaining(slot).first;
    }
    // A rest within one piece is not split at all.
    SegmentManager small;
    small.Reset(PIECE - 1, {{0, PIECE - 2}}, {.min_bytes = 1, .min_time = 0ms}, PIECE);
    ASSERT_EQ(small.Acquire(now, SegmentManager::UNKNOWN_RATE, true), 0);
    EXPECT_EQ(small.Acquire(now, SegmentManager::UNKNOWN_RATE, true), SegmentManager::NO_SLOT);
}

} // namespace
} // namespace inkwarden

#include "demo/ByteRanges.h"

#include "demo/LogField.h"
#include "demo/PackageBody.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace inkwarden::demo {
namespace {

constexpr std::uint64_t LENGTH = 1124576;

struct RangeCase {
    const char* header;
    RangeDecision decision;
    std::vector<ByteRange> ranges;
};

// Header values against a file of LENGTH bytes, and what the answer carries.
TEST(ByteRangesTest, HeadersAndTheirAnswers) {
    const RangeCase cases[] = {
        {"bytes=0-99", RangeDecision::PARTIAL, {{0, 99}}},
        {"bytes=10-", RangeDecision::PARTIAL, {{10, LENGTH - 1}}},
        {"bytes=-500", RangeDecision::PARTIAL, {{LENGTH - 500, LENGTH - 1}}},
        {"bytes=-99999999", RangeDecision::PARTIAL, {{0, LENGTH - 1}}},
        {"bytes=0-99999999999", RangeDecision::PARTIAL, {{0, LENGTH - 1}}},
        {"Bytes=5-5", RangeDecision::PARTIAL, {{5, 5}}},
        {"bytes=0-0, 2-3 ,,", RangeDecision::PARTIAL, {{0, 0}, {2, 3}}},
        {"bytes=100-199,0-9", RangeDecision::PARTIAL, {{100, 199}, {0, 9}}},
        // Overlapping and adjacent ranges merge, so no byte is sent twice.
        {"bytes=0-10,5-20,21-30", RangeDecision::PARTIAL, {{0, 30}}},
        {"bytes=0-,0-,0-", RangeDecision::PARTIAL, {{0, LENGTH - 1}}},
        // Ranges past the end are dropped; none left is unsatisfiable.
        {"bytes=1124576-", RangeDecision::UNSATISFIABLE, {}},
        {"bytes=99999999999-", RangeDecision::UNSATISFIABLE, {}},
        {"bytes=99999999999999999999999-", RangeDecision::UNSATISFIABLE, {}},
        {"bytes=-0", RangeDecision::UNSATISFIABLE, {}},
        {"bytes=2000000-3000000,0-1", RangeDecision::PARTIAL, {{0, 1}}},
        // Malformed sets and unknown units are ignored: the whole file.
        {"bytes=5-2", RangeDecision::WHOLE, {}},
        {"bytes=abc", RangeDecision::WHOLE, {}},
        {"bytes=", RangeDecision::WHOLE, {}},
        {"bytes=1-2-3", RangeDecision::WHOLE, {}},
        {"bytes=--5", RangeDecision::WHOLE, {}},
        {"bytes=+1-2", RangeDecision::WHOLE, {}},
        {"bytes = 0-1", RangeDecision::WHOLE, {}},
        {"items=0-5", RangeDecision::WHOLE, {}},
        {"0-5", RangeDecision::WHOLE, {}},
        {"", RangeDecision::WHOLE, {}},
    };
    for (const RangeCase& c : cases) {
        const RangeAnswer answer = EvaluateRangeHeader(c.header, LENGTH);
        EXPECT_EQ(answer.decision, c.decision) << c.header;
        EXPECT_EQ(answer.ranges, c.ranges) << c.header;
    }
}

TEST(ByteRangesTest, TooManyRangesAndEmptyFiles) {
    std::string many = "bytes=0-0";
    for (std::size_t i = 1; i <= MAX_RANGES_PER_REQUEST; ++i) {
        many += "," + std::to_string(2 * i) + "-" + std::to_string(2 * i);
    }
    EXPECT_EQ(EvaluateRangeHeader(many, LENGTH).decision, RangeDecision::WHOLE);
    EXPECT_EQ(EvaluateRangeHeader(many.substr(0, many.rfind(',')), LENGTH).ranges.size(),
              MAX_RANGES_PER_REQUEST);

    EXPECT_EQ(EvaluateRangeHeader("bytes=0-", 0).decision, RangeDecision::UNSATISFIABLE);
    EXPECT_EQ(EvaluateRangeHeader("bytes=-1", 0).decision, RangeDecision::UNSATISFIABLE);
    EXPECT_EQ(ContentRangeText({10, 15}, 36), "bytes 10-15/36");
    EXPECT_EQ(UnsatisfiedRangeText(LENGTH), "bytes */1124576");
}

// The multipart body read at every offset and in odd chunk sizes gives the same bytes.
TEST(ByteRangesTest, MultipartBodyNamesTheTotalAndReadsAtAnyOffset) {
    char path[] = "/tmp/inkwarden-body-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::unlink(path);
    const std::string content = "0123456789abcdefghijklmnopqrstuvwxyz";
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));

    const PackageBody body =
        PackageBody::Multipart({{0, 1}, {30, 35}}, content.size(), "application/x-test", "B");
    const std::string expected = "--B\r\nContent-Type: application/x-test\r\n"
                                 "Content-Range: bytes 0-1/36\r\n\r\n01\r\n"
                                 "--B\r\nContent-Type: application/x-test\r\n"
                                 "Content-Range: bytes 30-35/36\r\n\r\nuvwxyz\r\n--B--\r\n";
    EXPECT_EQ(body.size(), expected.size());
    for (std::size_t chunk : {1u, 3u, 7u, 4096u}) {
        std::string out;
        char buffer[4096];
        while (out.size() < body.size()) {
            const std::size_t n = body.read(fd, out.size(), buffer, chunk);
            ASSERT_GT(n, 0u);
            out.append(buffer, n);
        }
        EXPECT_EQ(out, expected) << "chunk " << chunk;
    }
    char byte = 0;
    EXPECT_EQ(body.read(fd, body.size(), &byte, 1), 0u);
    ::close(fd);
}

// Blanks stay readable; line breaks and control characters cannot start a line of their own.
TEST(LogFieldTest, AFieldCannotBreakALine) {
    EXPECT_EQ(EscapeLogField("0123ABCD"), "0123ABCD");
    EXPECT_EQ(EscapeLogField("X\nevent 901300 (success page shown) p=FORGED"),
              "X\\nevent 901300 (success page shown) p=FORGED");
    EXPECT_EQ(EscapeLogField("\x1b[2J\r\t\\"), "\\x1b[2J\\r\\t\\\\");
    EXPECT_EQ(EscapeLogField(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(EscapeLogField("\xc2\x9b\x7f"), "\\xc2\\x9b\\x7f");
}

} // namespace
} // namespace inkwarden::demo

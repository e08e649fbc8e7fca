#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The Range header of a package request, judged against the file's length: which bytes the
// answer carries. Plain logic, so the rules are tested and fuzzed without a server.
namespace inkwarden::demo {

// More ranges than this in one request are answered with the whole file.
constexpr std::size_t MAX_RANGES_PER_REQUEST = 16;

// First and last byte, both inclusive.
struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;

    std::uint64_t size() const { return last - first + 1; }
    bool operator==(const ByteRange&) const = default;
};

enum class RangeDecision {
    WHOLE,         // 200 with the whole file: no header, a header we ignore, or too many ranges
    PARTIAL,       // 206 with ranges (one part, or multipart/byteranges for several)
    UNSATISFIABLE, // 416 with "Content-Range: bytes */length"
};

struct RangeAnswer {
    RangeDecision decision = RangeDecision::WHOLE;
    std::vector<ByteRange> ranges; // for PARTIAL: in request order, overlapping ones merged
};

// The answer to the header value against a representation of length bytes. An unknown unit
// or a malformed set is ignored (the whole file), as a server may; ranges that start past the
// end are dropped, last positions past the end are cut to it.
RangeAnswer EvaluateRangeHeader(std::string_view value, std::uint64_t length,
                                std::size_t max_ranges = MAX_RANGES_PER_REQUEST);

// "bytes 10-15/36".
std::string ContentRangeText(const ByteRange& range, std::uint64_t length);

// "bytes */36", the Content-Range of a 416 answer.
std::string UnsatisfiedRangeText(std::uint64_t length);

} // namespace inkwarden::demo

#include "demo/ByteRanges.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace inkwarden::demo {
namespace {

constexpr std::uint64_t NO_POSITION = std::numeric_limits<std::uint64_t>::max();

// One range as the client wrote it: first-pos "-" [last-pos], or "-" suffix-length.
struct WantedRange {
    bool suffix = false;
    std::uint64_t first = 0;
    std::uint64_t last = NO_POSITION; // NO_POSITION: open-ended
    std::uint64_t suffix_length = 0;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// 1*DIGIT; a number past 64 bits saturates, which still compares correctly against any
// file length.
std::optional<std::uint64_t> ParseDigits(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        value = value > (NO_POSITION - digit) / 10 ? NO_POSITION : value * 10 + digit;
    }
    return value;
}

std::optional<WantedRange> ParseWantedRange(std::string_view text) {
    const size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    WantedRange wanted;
    const std::string_view before = text.substr(0, dash);
    const std::string_view after = text.substr(dash + 1);
    if (before.empty()) {
        const auto length = ParseDigits(after);
        if (!length) {
            return std::nullopt;
        }
        wanted.suffix = true;
        wanted.suffix_length = *length;
        return wanted;
    }
    const auto first = ParseDigits(before);
    if (!first) {
        return std::nullopt;
    }
    wanted.first = *first;
    if (!after.empty()) {
        const auto last = ParseDigits(after);
        // A last position before the first makes the whole header invalid.
        if (!last || *last < *first) {
            return std::nullopt;
        }
        wanted.last = *last;
    }
    return wanted;
}

bool EqualsBytesUnit(std::string_view unit) {
    constexpr std::string_view BYTES = "bytes";
    return unit.size() == BYTES.size() &&
           std::equal(unit.begin(), unit.end(), BYTES.begin(),
                      [](char a, char b) { return (a | 0x20) == b; });
}

// The range-set after "bytes=": elements separated by commas with optional blanks; empty
// elements count for nothing. Empty result: the set is malformed.
std::vector<WantedRange> ParseRangeSet(std::string_view set, std::size_t max_ranges,
                                       bool& too_many) {
    std::vector<WantedRange> wanted_ranges;
    while (true) {
        const size_t comma = set.find(',');
        const std::string_view element = TrimBlanks(set.substr(0, comma));
        if (!element.empty()) {
            if (wanted_ranges.size() == max_ranges) {
                too_many = true;
                return {};
            }
            const auto wanted = ParseWantedRange(element);
            if (!wanted) {
                return {};
            }
            wanted_ranges.push_back(*wanted);
        }
        if (comma == std::string_view::npos) {
            return wanted_ranges;
        }
        set.remove_prefix(comma + 1);
    }
}

// The bytes one wanted selects from a representation of length bytes; none when it starts
// past the end (or asks for no bytes).
std::optional<ByteRange> Resolve(const WantedRange& wanted, std::uint64_t length) {
    if (length == 0) {
        return std::nullopt;
    }
    if (wanted.suffix) {
        if (wanted.suffix_length == 0) {
            return std::nullopt;
        }
        const std::uint64_t first =
            wanted.suffix_length >= length ? 0 : length - wanted.suffix_length;
        return ByteRange{first, length - 1};
    }
    if (wanted.first >= length) {
        return std::nullopt;
    }
    return ByteRange{wanted.first, std::min(wanted.last, length - 1)};
}

// Overlapping or adjacent; resolved ranges end below the largest 64-bit value.
bool Touch(const ByteRange& a, const ByteRange& b) {
    return a.first <= b.last + 1 && b.first <= a.last + 1;
}

// Ranges that overlap or touch become one, so an answer never repeats a byte; the others keep
// the order the client asked in.
std::vector<ByteRange> Coalesce(std::vector<ByteRange> ranges) {
    std::vector<ByteRange> merged;
    for (const ByteRange& range : ranges) {
        ByteRange grown = range;
        bool absorbed = true;
        while (absorbed) {
            absorbed = false;
            for (auto it = merged.begin(); it != merged.end(); ++it) {
                if (Touch(*it, grown)) {
                    grown = {std::min(it->first, grown.first), std::max(it->last, grown.last)};
                    merged.erase(it);
                    absorbed = true;
                    break;
                }
            }
        }
        merged.push_back(grown);
    }
    return merged;
}

} // namespace

RangeAnswer EvaluateRangeHeader(std::string_view value, std::uint64_t length,
                                std::size_t max_ranges) {
    RangeAnswer answer;
    value = TrimBlanks(value);
    const size_t equals = value.find('=');
    if (equals == std::string_view::npos || !EqualsBytesUnit(value.substr(0, equals))) {
        return answer;
    }
    bool too_many = false;
    const std::vector<WantedRange> wanted_ranges =
        ParseRangeSet(value.substr(equals + 1), max_ranges, too_many);
    if (wanted_ranges.empty()) {
        return answer;
    }
    std::vector<ByteRange> ranges;
    for (const WantedRange& wanted : wanted_ranges) {
        if (const auto range = Resolve(wanted, length)) {
            ranges.push_back(*range);
        }
    }
    if (ranges.empty()) {
        answer.decision = RangeDecision::UNSATISFIABLE;
        return answer;
    }
    answer.decision = RangeDecision::PARTIAL;
    answer.ranges = Coalesce(std::move(ranges));
    return answer;
}

std::string ContentRangeText(const ByteRange& range, std::uint64_t length) {
    return "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) + "/" +
           std::to_string(length);
}

std::string UnsatisfiedRangeText(std::uint64_t length) {
    return "bytes */" + std::to_string(length);
}

} // namespace inkwarden::demo

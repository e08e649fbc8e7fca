// The demo service's Range judgement and log escaping on network bytes: the first two bytes
// pick the file length, the rest is the header value. Checks what every answer must hold.
#include "demo/ByteRanges.h"
#include "demo/LogField.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint64_t length = static_cast<std::uint64_t>(data[0]) << 8 | data[1];
    const std::string_view value(reinterpret_cast<const char*>(data + 2), size - 2);
    const auto answer = inkwarden::demo::EvaluateRangeHeader(value, length);
    std::uint64_t total = 0;
    for (const auto& range : answer.ranges) {
        // Every range lies inside the file, and together they never exceed it.
        if (range.first > range.last || range.last >= length) {
            std::abort();
        }
        total += range.size();
    }
    if (total > length || answer.ranges.size() > inkwarden::demo::MAX_RANGES_PER_REQUEST) {
        std::abort();
    }
    for (char c : inkwarden::demo::EscapeLogField(value)) {
        if (c == '\n' || c == '\r' || static_cast<unsigned char>(c) < 0x20) {
            std::abort();
        }
    }
    return 0;
}

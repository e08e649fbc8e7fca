#include "app/ProgressLine.h"

#include "platform/Translation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace inkwarden {
namespace {

constexpr double KILO = 1000.0;
constexpr double MEGA = 1000.0 * 1000.0;
constexpr std::int64_t MINUTE = 60;
constexpr std::int64_t HOUR = 60 * MINUTE;

// The formats come from the catalogue; msgfmt --check holds each translation to the
// conversions of its original.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

std::string Printf(const char* format, long long value) {
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}
#pragma GCC diagnostic pop

std::string SpeedText(double bytes_per_second) {
    if (bytes_per_second >= MEGA) {
        return Printf("%.1f MB/s", bytes_per_second / MEGA);
    }
    if (bytes_per_second >= KILO) {
        return Printf("%.0f kB/s", bytes_per_second / KILO);
    }
    return Printf("%.0f B/s", bytes_per_second);
}

std::string TimeLeftText(std::int64_t seconds) {
    // Rounded up: "0 s left" while bytes are still missing would be a lie.
    if (seconds < MINUTE) {
        return Printf(Tr("%lld s left"), static_cast<long long>(seconds));
    }
    if (seconds < HOUR) {
        return Printf(Tr("%lld min left"), static_cast<long long>((seconds + MINUTE - 1) / MINUTE));
    }
    return Printf(Tr("%lld h left"), static_cast<long long>((seconds + HOUR - 1) / HOUR));
}

} // namespace

void ProgressLine::Reset() {
    last_shown_.reset();
}

std::optional<std::string> ProgressLine::Update(std::int64_t done, std::int64_t total, int percent,
                                                double bytes_per_second, Clock::time_point now) {
    const bool last_byte = total > 0 && done >= total;
    if (!last_byte && last_shown_ && now - *last_shown_ < MIN_INTERVAL) {
        return std::nullopt;
    }
    last_shown_ = now;
    std::optional<std::int64_t> left;
    if (bytes_per_second > 0 && total > 0) {
        left = static_cast<std::int64_t>(std::ceil(
            static_cast<double>(std::max<std::int64_t>(0, total - done)) / bytes_per_second));
    }
    return Format(percent, bytes_per_second, left);
}

std::string ProgressLine::Format(int percent, double bytes_per_second,
                                 std::optional<std::int64_t> seconds_left) {
    std::string line = Printf("%lld %%", static_cast<long long>(percent));
    if (bytes_per_second > 0) {
        line += " · " + SpeedText(bytes_per_second);
        if (seconds_left) {
            line += " · " + TimeLeftText(*seconds_left);
        }
    }
    return line;
}

} // namespace inkwarden

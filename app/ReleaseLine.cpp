#include "app/ReleaseLine.h"

#include "platform/Translation.h"

#include <cstdio>

namespace inkwarden {
namespace {

constexpr double KILO = 1000.0;
constexpr double MEGA = 1000.0 * 1000.0;
constexpr double GIGA = 1000.0 * MEGA;

// In the units the download's speed uses, so that the two read alike.
std::string SizeText(std::int64_t bytes) {
    char text[32];
    const auto value = static_cast<double>(bytes);
    if (value >= GIGA) {
        std::snprintf(text, sizeof(text), "%.1f GB", value / GIGA);
    } else if (value >= MEGA) {
        std::snprintf(text, sizeof(text), "%.1f MB", value / MEGA);
    } else if (value >= KILO) {
        std::snprintf(text, sizeof(text), "%.0f kB", value / KILO);
    } else {
        std::snprintf(text, sizeof(text), "%lld B", static_cast<long long>(bytes));
    }
    return text;
}

} // namespace

std::string ReleaseLineText(const std::string& version, std::optional<std::int64_t> size) {
    if (version.empty()) {
        return std::string();
    }
    // The product's name as the catalogue spells it; the version is not translated.
    std::string line = std::string(Tr("Inkwarden")) + " " + version;
    if (size && *size > 0) {
        line += " · " + SizeText(*size);
    }
    return line;
}

} // namespace inkwarden

#include "platform/FileVersion.h"

#include "platform/ElfVersionReader.h"
#include "platform/FileReader.h"
#include "platform/PeVersionReader.h"
#include "platform/VersionBlock.h"

#include <cstdio>

namespace inkwarden {
namespace {

// Larger files are not executables this installer deals with; reading them whole would
// only cost memory.
constexpr std::uint64_t MAX_IMAGE_SIZE = 512ull << 20;

} // namespace

std::string FormatVersionParts(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
    char text[32];
    std::snprintf(text, sizeof text, "%hd.%hd.%hd.%hd", static_cast<short>(a),
                  static_cast<short>(b), static_cast<short>(c), static_cast<short>(d));
    return text;
}

std::array<std::int16_t, 4> ParseVersionParts(std::string_view text) {
    std::array<std::int16_t, 4> parts{};
    std::size_t i = 0;
    for (std::size_t part = 0; part < parts.size(); ++part) {
        if (part > 0) {
            if (i >= text.size() || text[i] != '.') {
                break;
            }
            ++i;
        }
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        bool negative = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
            negative = text[i] == '-';
            ++i;
        }
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            break;
        }
        std::uint16_t value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = static_cast<std::uint16_t>(value * 10 + (text[i] - '0'));
            ++i;
        }
        if (negative) {
            value = static_cast<std::uint16_t>(0u - value);
        }
        parts[part] = static_cast<std::int16_t>(value);
    }
    return parts;
}

FileVersionRecord ReadFileVersionFromImage(std::string_view image) {
    if (const auto block = FindPeVersionBlock(image)) {
        return VersionBlock(*block).record();
    }
    if (auto elf = ReadElfVersion(image)) {
        return std::move(*elf);
    }
    return {};
}

FileVersionRecord ReadFileVersion(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    const auto image = ReadRegularFile(path, MAX_IMAGE_SIZE);
    if (!image) {
        return {};
    }
    return ReadFileVersionFromImage(*image);
}

} // namespace inkwarden

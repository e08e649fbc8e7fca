#pragma once

#include <cstdint>

namespace inkwarden {

// Skin colours are 0xAARRGGBB; cairo wants channels from 0 to 1, Pango from 0 to 65535.
struct UnitChannels {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;
};

struct WideChannels {
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;
};

constexpr UnitChannels ToUnitChannels(std::uint32_t argb) {
    return {((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
            (argb >> 24) / 255.0};
}

constexpr WideChannels ToWideChannels(std::uint32_t argb) {
    return {static_cast<std::uint16_t>(((argb >> 16) & 0xFF) * 257),
            static_cast<std::uint16_t>(((argb >> 8) & 0xFF) * 257),
            static_cast<std::uint16_t>((argb & 0xFF) * 257)};
}

} // namespace inkwarden

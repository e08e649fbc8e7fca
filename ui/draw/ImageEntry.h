#pragma once

#include <cairo.h>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace inkwarden {

// A decoded image: premultiplied 32-bit pixels (native-endian 0xAARRGGBB, rows top-down)
// in a cairo image surface that this entry owns.
class ImageEntry {
public:
    // Larger images are refused (a quarter of a gigabyte of pixels, far beyond any screen).
    static constexpr std::int64_t MAX_PIXELS = std::int64_t{64} << 20;

    ImageEntry() = default;
    ~ImageEntry();
    ImageEntry(ImageEntry&& other) noexcept;
    ImageEntry& operator=(ImageEntry&& other) noexcept;
    ImageEntry(const ImageEntry&) = delete;
    ImageEntry& operator=(const ImageEntry&) = delete;

    // Decodes PNG, JPEG, BMP, GIF, TGA, PSD, PNM or HDR bytes. Pixels equal to mask (an
    // AARRGGBB value compared after premultiplication) become fully transparent.
    static std::optional<ImageEntry> decode(const void* bytes, std::size_t size,
                                            std::uint32_t mask = 0);
    // From 8-bit RGBA pixels, rows top-down, with the same copy rules as decode().
    static std::optional<ImageEntry> fromRgba(const std::uint8_t* rgba, int width, int height,
                                              std::uint32_t mask = 0);
    // A 1x1 image of an AARRGGBB colour.
    static std::optional<ImageEntry> fromColor(std::uint32_t argb);

    cairo_surface_t* surface() const { return surface_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool hasAlpha() const { return has_alpha_; }
    std::uint32_t pixel(int x, int y) const; // premultiplied 0xAARRGGBB; 0 outside

private:
    cairo_surface_t* surface_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    bool has_alpha_ = false;
};

// AARRGGBB with the colour channels multiplied by alpha / 255.
std::uint32_t PremultiplyColor(std::uint32_t argb);

} // namespace inkwarden

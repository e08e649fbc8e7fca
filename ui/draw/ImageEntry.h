#pragma once

#include <cairo.h>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace inkwarden {

// A decoded image: premultiplied 32-bit pixels (native-endian 0xAARRGGBB, rows top-down)
// in a cairo image surface that this entry owns. A high-resolution image holds `scale`
// device pixels per logical pixel (the surface's device scale): its width and height, and
// every source rectangle of the skin, are logical, so it stands in for its 1x image.
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
    // Width and height that the bytes' header announces, without decoding the pixels.
    static std::optional<std::pair<int, int>> probeSize(const void* bytes, std::size_t size);

    cairo_surface_t* surface() const { return surface_; }
    // Logical size.
    int width() const { return width_; }
    int height() const { return height_; }
    int scale() const { return scale_; }
    // Makes the pixels count as `scale` per logical pixel; false (and unchanged) when the
    // pixel size is not a multiple of it.
    bool setScale(int scale);
    bool hasAlpha() const { return has_alpha_; }
    // Premultiplied 0xAARRGGBB at a device pixel; 0 outside.
    std::uint32_t pixel(int x, int y) const;

private:
    cairo_surface_t* surface_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int scale_ = 1;
    bool has_alpha_ = false;
};

// AARRGGBB with the colour channels multiplied by alpha / 255.
std::uint32_t PremultiplyColor(std::uint32_t argb);

} // namespace inkwarden

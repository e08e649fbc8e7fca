#include "ui/draw/ImageEntry.h"

#include <climits>
#include <utility>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#include <stb/stb_image.h>

namespace inkwarden {

namespace {

std::uint32_t Multiply(std::uint32_t channel, std::uint32_t alpha) {
    return channel * alpha / 255;
}

} // namespace

std::uint32_t PremultiplyColor(std::uint32_t argb) {
    const std::uint32_t a = argb >> 24;
    if (a == 255)
        return argb;
    const std::uint32_t r = Multiply((argb >> 16) & 0xFF, a);
    const std::uint32_t g = Multiply((argb >> 8) & 0xFF, a);
    const std::uint32_t b = Multiply(argb & 0xFF, a);
    return (a << 24) | (r << 16) | (g << 8) | b;
}

ImageEntry::~ImageEntry() {
    if (surface_ != nullptr)
        cairo_surface_destroy(surface_);
}

ImageEntry::ImageEntry(ImageEntry&& other) noexcept
    : surface_(std::exchange(other.surface_, nullptr)), width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)), scale_(std::exchange(other.scale_, 1)),
      has_alpha_(std::exchange(other.has_alpha_, false)) {}

ImageEntry& ImageEntry::operator=(ImageEntry&& other) noexcept {
    if (this != &other) {
        if (surface_ != nullptr)
            cairo_surface_destroy(surface_);
        surface_ = std::exchange(other.surface_, nullptr);
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        scale_ = std::exchange(other.scale_, 1);
        has_alpha_ = std::exchange(other.has_alpha_, false);
    }
    return *this;
}

std::optional<ImageEntry> ImageEntry::decode(const void* bytes, std::size_t size,
                                             std::uint32_t mask) {
    if (bytes == nullptr || size == 0 || size > static_cast<std::size_t>(INT_MAX))
        return std::nullopt;
    // A few damaged header bytes can announce gigabytes of pixels, which the decoder would
    // reserve before it finds the data missing.
    if (const auto announced = probeSize(bytes, size);
        announced && static_cast<std::int64_t>(announced->first) * announced->second > MAX_PIXELS)
        return std::nullopt;
    int width = 0;
    int height = 0;
    int channels = 0;
    stbi_uc* rgba = stbi_load_from_memory(static_cast<const stbi_uc*>(bytes),
                                          static_cast<int>(size), &width, &height, &channels, 4);
    if (rgba == nullptr)
        return std::nullopt;
    auto entry = fromRgba(rgba, width, height, mask);
    stbi_image_free(rgba);
    return entry;
}

std::optional<ImageEntry> ImageEntry::fromRgba(const std::uint8_t* rgba, int width, int height,
                                               std::uint32_t mask) {
    if (rgba == nullptr || width <= 0 || height <= 0)
        return std::nullopt;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return std::nullopt;
    }
    ImageEntry entry;
    entry.surface_ = surface;
    entry.width_ = width;
    entry.height_ = height;
    cairo_surface_flush(surface);
    std::uint8_t* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* row =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        const std::uint8_t* src = rgba + static_cast<std::ptrdiff_t>(y) * width * 4;
        for (int x = 0; x < width; ++x, src += 4) {
            const std::uint32_t argb = (std::uint32_t{src[3]} << 24) |
                                       (std::uint32_t{src[0]} << 16) |
                                       (std::uint32_t{src[1]} << 8) | std::uint32_t{src[2]};
            std::uint32_t value = argb;
            if (src[3] != 255) {
                value = PremultiplyColor(argb);
                entry.has_alpha_ = true;
            }
            if (value == mask) {
                value = 0;
                entry.has_alpha_ = true;
            }
            row[x] = value;
        }
    }
    cairo_surface_mark_dirty(surface);
    return entry;
}

std::optional<ImageEntry> ImageEntry::fromColor(std::uint32_t argb) {
    const std::uint8_t rgba[4] = {
        static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
        static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 24)};
    return fromRgba(rgba, 1, 1, 0);
}

std::optional<std::pair<int, int>> ImageEntry::probeSize(const void* bytes, std::size_t size) {
    if (bytes == nullptr || size == 0 || size > static_cast<std::size_t>(INT_MAX))
        return std::nullopt;
    int width = 0;
    int height = 0;
    int channels = 0;
    if (stbi_info_from_memory(static_cast<const stbi_uc*>(bytes), static_cast<int>(size), &width,
                              &height, &channels) == 0)
        return std::nullopt;
    return std::pair{width, height};
}

bool ImageEntry::setScale(int scale) {
    const int pixel_width = width_ * scale_;
    const int pixel_height = height_ * scale_;
    if (surface_ == nullptr || scale < 1 || pixel_width % scale != 0 || pixel_height % scale != 0)
        return false;
    scale_ = scale;
    width_ = pixel_width / scale;
    height_ = pixel_height / scale;
    cairo_surface_set_device_scale(surface_, scale, scale);
    return true;
}

std::uint32_t ImageEntry::pixel(int x, int y) const {
    if (surface_ == nullptr || x < 0 || y < 0 || x >= width_ * scale_ || y >= height_ * scale_)
        return 0;
    cairo_surface_flush(surface_);
    const std::uint8_t* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    return reinterpret_cast<const std::uint32_t*>(data +
                                                  static_cast<std::ptrdiff_t>(y) * stride)[x];
}

} // namespace inkwarden

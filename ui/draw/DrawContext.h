#pragma once

#include "ui/base/UiGeometry.h"

#include <cairo.h>
#include <cstdint>
#include <string>

namespace inkwarden {

// The toolkit's drawing context: a cairo image surface of premultiplied 32-bit pixels
// (native-endian 0xAARRGGBB, i.e. B, G, R, A in memory, rows top-down) and its cairo_t.
// Owns one reference to each. Drawing is in logical pixels; the surface holds `scale`
// device pixels per logical pixel in each direction (its cairo device scale).
class DrawContext {
public:
    // Far beyond any screen; a larger scale makes no context.
    static constexpr int MAX_SCALE = 8;
    // Cairo's largest image side, in device pixels.
    static constexpr int MAX_PIXEL_SIDE = 32767;

    DrawContext() = default;
    // Cleared to 0 (transparent black); width and height are logical.
    DrawContext(int width, int height, int scale = 1);
    // Wraps an existing image surface (its device scale is kept); takes a reference.
    static DrawContext wrap(cairo_surface_t* surface);
    ~DrawContext();
    DrawContext(DrawContext&& other) noexcept;
    DrawContext& operator=(DrawContext&& other) noexcept;
    DrawContext(const DrawContext&) = delete;
    DrawContext& operator=(const DrawContext&) = delete;

    bool isValid() const { return cr_ != nullptr; }
    cairo_t* cairo() const { return cr_; }
    cairo_surface_t* surface() const { return surface_; }
    // Logical size.
    int width() const { return width_; }
    int height() const { return height_; }
    int scale() const { return scale_; }
    // Size of the pixel surface: the logical size times the scale.
    int pixelWidth() const { return width_ * scale_; }
    int pixelHeight() const { return height_ * scale_; }
    int stride() const;
    UiRect bounds() const { return {0, 0, width_, height_}; }

    // Pixels, addressed in device pixels; data() flushes pending drawing, markDirty() must
    // follow direct writes.
    std::uint8_t* data();
    const std::uint8_t* data() const;
    std::uint32_t pixel(int x, int y) const; // 0 outside the surface
    void setPixel(int x, int y, std::uint32_t argb);
    void markDirty();

    // Clips nest; every push is undone by one pop (the drawing state is saved with it).
    void pushClip(const UiRect& rect);
    void pushRoundClip(const UiRect& rect, UiSize corner);
    void popClip();
    int clipDepth() const { return clip_depth_; }

    // Sets the pixels of rect (within the clip) to 0.
    void clear(const UiRect& rect);
    bool savePng(const std::string& path) const;

private:
    void reset();

    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int scale_ = 1;
    int clip_depth_ = 0;
};

// Appends a rounded rectangle (corner = full ellipse width and height, as the markup's
// border round gives it) to the current path.
void RoundRectPath(cairo_t* cr, const UiRect& rect, UiSize corner);

// Makes an 0xAARRGGBB colour the source of the next drawing operation.
void SetSourceArgb(cairo_t* cr, std::uint32_t argb);

} // namespace inkwarden

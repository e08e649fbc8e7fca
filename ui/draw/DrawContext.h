#pragma once

#include "ui/base/UiGeometry.h"

#include <cairo.h>
#include <cstdint>
#include <string>

namespace inkwarden {

// The toolkit's drawing context: a cairo image surface of premultiplied 32-bit pixels
// (native-endian 0xAARRGGBB, i.e. B, G, R, A in memory, rows top-down) and its cairo_t.
// Owns one reference to each.
class DrawContext {
public:
    DrawContext() = default;
    DrawContext(int width, int height); // cleared to 0 (transparent black)
    // Wraps an existing image surface; takes a reference of its own.
    static DrawContext wrap(cairo_surface_t* surface);
    ~DrawContext();
    DrawContext(DrawContext&& other) noexcept;
    DrawContext& operator=(DrawContext&& other) noexcept;
    DrawContext(const DrawContext&) = delete;
    DrawContext& operator=(const DrawContext&) = delete;

    bool isValid() const { return cr_ != nullptr; }
    cairo_t* cairo() const { return cr_; }
    cairo_surface_t* surface() const { return surface_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const;
    UiRect bounds() const { return {0, 0, width_, height_}; }

    // Pixels; data() flushes pending drawing, markDirty() must follow direct writes.
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
    int clip_depth_ = 0;
};

// Appends a rounded rectangle (corner = full ellipse width and height, as the markup's
// border round gives it) to the current path.
void RoundRectPath(cairo_t* cr, const UiRect& rect, UiSize corner);

// Makes an 0xAARRGGBB colour the source of the next drawing operation.
void SetSourceArgb(cairo_t* cr, std::uint32_t argb);

} // namespace inkwarden

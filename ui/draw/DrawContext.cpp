#include "ui/draw/DrawContext.h"

#include "ui/base/UiColor.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace inkwarden {

DrawContext::DrawContext(int width, int height, int scale) {
    if (scale < 1 || scale > MAX_SCALE)
        return;
    width = std::max(width, 0);
    height = std::max(height, 0);
    // Beyond cairo's largest image the product would only overflow.
    if (std::int64_t{width} * scale > MAX_PIXEL_SIDE ||
        std::int64_t{height} * scale > MAX_PIXEL_SIDE)
        return;
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * scale, height * scale);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
        reset();
        return;
    }
    // Set before the context exists: a context takes the surface's device transform when
    // it is made.
    cairo_surface_set_device_scale(surface_, scale, scale);
    cr_ = cairo_create(surface_);
    width_ = width;
    height_ = height;
    scale_ = scale;
}

DrawContext DrawContext::wrap(cairo_surface_t* surface) {
    DrawContext dc;
    if (surface == nullptr || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32)
        return dc;
    double sx = 1;
    double sy = 1;
    cairo_surface_get_device_scale(surface, &sx, &sy);
    const int scale = static_cast<int>(sx);
    // Only whole, equal scales keep logical and device pixels aligned.
    if (scale < 1 || scale > MAX_SCALE || sx != scale || sy != sx)
        return dc;
    dc.surface_ = cairo_surface_reference(surface);
    dc.cr_ = cairo_create(dc.surface_);
    dc.scale_ = scale;
    dc.width_ = cairo_image_surface_get_width(surface) / scale;
    dc.height_ = cairo_image_surface_get_height(surface) / scale;
    return dc;
}

DrawContext::~DrawContext() {
    reset();
}

DrawContext::DrawContext(DrawContext&& other) noexcept
    : surface_(std::exchange(other.surface_, nullptr)), cr_(std::exchange(other.cr_, nullptr)),
      width_(std::exchange(other.width_, 0)), height_(std::exchange(other.height_, 0)),
      scale_(std::exchange(other.scale_, 1)), clip_depth_(std::exchange(other.clip_depth_, 0)) {}

DrawContext& DrawContext::operator=(DrawContext&& other) noexcept {
    if (this != &other) {
        reset();
        surface_ = std::exchange(other.surface_, nullptr);
        cr_ = std::exchange(other.cr_, nullptr);
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        scale_ = std::exchange(other.scale_, 1);
        clip_depth_ = std::exchange(other.clip_depth_, 0);
    }
    return *this;
}

void DrawContext::reset() {
    if (cr_ != nullptr)
        cairo_destroy(cr_);
    if (surface_ != nullptr)
        cairo_surface_destroy(surface_);
    cr_ = nullptr;
    surface_ = nullptr;
    width_ = height_ = clip_depth_ = 0;
    scale_ = 1;
}

int DrawContext::stride() const {
    return surface_ != nullptr ? cairo_image_surface_get_stride(surface_) : 0;
}

std::uint8_t* DrawContext::data() {
    if (surface_ == nullptr)
        return nullptr;
    cairo_surface_flush(surface_);
    return cairo_image_surface_get_data(surface_);
}

const std::uint8_t* DrawContext::data() const {
    if (surface_ == nullptr)
        return nullptr;
    cairo_surface_flush(surface_);
    return cairo_image_surface_get_data(surface_);
}

std::uint32_t DrawContext::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight())
        return 0;
    const std::uint8_t* row = data() + static_cast<std::ptrdiff_t>(y) * stride();
    return reinterpret_cast<const std::uint32_t*>(row)[x];
}

void DrawContext::setPixel(int x, int y, std::uint32_t argb) {
    if (x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight())
        return;
    std::uint8_t* row = data() + static_cast<std::ptrdiff_t>(y) * stride();
    reinterpret_cast<std::uint32_t*>(row)[x] = argb;
    markDirty();
}

void DrawContext::markDirty() {
    if (surface_ != nullptr)
        cairo_surface_mark_dirty(surface_);
}

void DrawContext::pushClip(const UiRect& rect) {
    if (cr_ == nullptr)
        return;
    cairo_save(cr_);
    cairo_rectangle(cr_, rect.left, rect.top, std::max(rect.width(), 0),
                    std::max(rect.height(), 0));
    cairo_clip(cr_);
    ++clip_depth_;
}

void DrawContext::pushRoundClip(const UiRect& rect, UiSize corner) {
    if (cr_ == nullptr)
        return;
    cairo_save(cr_);
    RoundRectPath(cr_, rect, corner);
    cairo_clip(cr_);
    ++clip_depth_;
}

void DrawContext::popClip() {
    if (cr_ == nullptr || clip_depth_ == 0)
        return;
    cairo_restore(cr_);
    --clip_depth_;
}

void DrawContext::clear(const UiRect& rect) {
    if (cr_ == nullptr || rect.isEmpty())
        return;
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(cr_, rect.left, rect.top, rect.width(), rect.height());
    cairo_fill(cr_);
    cairo_restore(cr_);
}

bool DrawContext::savePng(const std::string& path) const {
    if (surface_ == nullptr)
        return false;
    cairo_surface_flush(surface_);
    return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

void RoundRectPath(cairo_t* cr, const UiRect& rect, UiSize corner) {
    const double w = std::max(rect.width(), 0);
    const double h = std::max(rect.height(), 0);
    // The corner gives the ellipse's full size; it never exceeds the rectangle.
    const double rx = std::min(corner.cx / 2.0, w / 2.0);
    const double ry = std::min(corner.cy / 2.0, h / 2.0);
    if (rx <= 0 || ry <= 0) {
        cairo_rectangle(cr, rect.left, rect.top, w, h);
        return;
    }
    const double x = rect.left;
    const double y = rect.top;
    cairo_new_sub_path(cr);
    cairo_save(cr);
    cairo_translate(cr, x + w - rx, y + ry);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, -M_PI / 2, 0);
    cairo_restore(cr);
    cairo_save(cr);
    cairo_translate(cr, x + w - rx, y + h - ry);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, 0, M_PI / 2);
    cairo_restore(cr);
    cairo_save(cr);
    cairo_translate(cr, x + rx, y + h - ry);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, M_PI / 2, M_PI);
    cairo_restore(cr);
    cairo_save(cr);
    cairo_translate(cr, x + rx, y + ry);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, M_PI, 3 * M_PI / 2);
    cairo_restore(cr);
    cairo_close_path(cr);
}

void SetSourceArgb(cairo_t* cr, std::uint32_t argb) {
    const UnitChannels c = ToUnitChannels(argb);
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

} // namespace inkwarden

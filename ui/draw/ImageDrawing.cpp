#include "ui/draw/ImageDrawing.h"

#include "ui/base/UiColor.h"

#include <algorithm>
#include <utility>

namespace inkwarden {

namespace {

// Skin values are unchecked integers; past this no sum of them can overflow.
constexpr int MAX_OFFSET = 1 << 20;

int Bounded(int value) {
    return std::clamp(value, -MAX_OFFSET, MAX_OFFSET);
}

UiRect Bounded(const UiRect& r) {
    return {Bounded(r.left), Bounded(r.top), Bounded(r.right), Bounded(r.bottom)};
}

} // namespace

UiRect ImageDestRect(const UiRect& item, const UiRect& raw_dest) {
    if (raw_dest == UiRect{})
        return item;
    const UiRect dest = Bounded(raw_dest);
    UiRect d{item.left + dest.left, item.top + dest.top, item.left + dest.right,
             item.top + dest.bottom};
    d.left = std::clamp(d.left, item.left, item.right);
    d.top = std::clamp(d.top, item.top, item.bottom);
    d.right = std::clamp(d.right, item.left, item.right);
    d.bottom = std::clamp(d.bottom, item.top, item.bottom);
    return d;
}

UiRect ImageSourceRect(const ImageEntry& image, const UiRect& source) {
    if (source == UiRect{})
        return {0, 0, image.width(), image.height()};
    return {std::clamp(source.left, 0, image.width()), std::clamp(source.top, 0, image.height()),
            std::min(source.right, image.width()), std::min(source.bottom, image.height())};
}

namespace {

// One of the nine cells that the corner insets cut a rectangle into: column and row 0 are
// the left and top insets, 1 the middle, 2 the right and bottom insets.
UiRect NineSliceCell(const UiRect& r, const UiRect& corner, int column, int row) {
    const int xs[] = {r.left, r.left + corner.left, r.right - corner.right, r.right};
    const int ys[] = {r.top, r.top + corner.top, r.bottom - corner.bottom, r.bottom};
    return {xs[column], ys[row], xs[column + 1], ys[row + 1]};
}

struct PieceDrawer {
    DrawContext& dc;
    const ImageEntry& image;
    UiRect paint;
    double alpha; // fade / 255
    bool blend;

    // Stretches src of the image onto dst, clipped to the painted area.
    void draw(const UiRect& dst, const UiRect& wanted_src) const {
        // Corners larger than the image ask for pixels it does not have.
        const UiRect src = IntersectRect(wanted_src, {0, 0, image.width(), image.height()});
        if (dst.isEmpty() || src.isEmpty())
            return;
        const UiRect visible = IntersectRect(dst, paint);
        if (visible.isEmpty())
            return;
        cairo_t* cr = dc.cairo();
        // A sub-surface with padding keeps samples of a stretched piece inside that piece.
        cairo_surface_t* sub = cairo_surface_create_for_rectangle(
            image.surface(), src.left, src.top, src.width(), src.height());
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(sub);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
        cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
        cairo_matrix_t m;
        cairo_matrix_init_scale(&m, static_cast<double>(src.width()) / dst.width(),
                                static_cast<double>(src.height()) / dst.height());
        cairo_matrix_translate(&m, -dst.left, -dst.top);
        cairo_pattern_set_matrix(pattern, &m);

        cairo_save(cr);
        cairo_rectangle(cr, visible.left, visible.top, visible.width(), visible.height());
        cairo_clip(cr);
        cairo_set_source(cr, pattern);
        if (blend) {
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            cairo_paint_with_alpha(cr, alpha);
        } else {
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_paint(cr);
        }
        cairo_restore(cr);
        cairo_pattern_destroy(pattern);
        cairo_surface_destroy(sub);
    }

    // Repeats src across and/or down dst in steps of the source size; the last copy is cut.
    void tile(const UiRect& dst, const UiRect& src, bool across, bool down) const {
        if (dst.isEmpty() || src.isEmpty())
            return;
        const int step_x = across ? src.width() : dst.width();
        const int step_y = down ? src.height() : dst.height();
        for (int y = dst.top; y < dst.bottom; y += step_y) {
            const int h = std::min(step_y, dst.bottom - y);
            for (int x = dst.left; x < dst.right; x += step_x) {
                const int w = std::min(step_x, dst.right - x);
                UiRect piece_src = src;
                if (across)
                    piece_src.right = src.left + w;
                if (down)
                    piece_src.bottom = src.top + h;
                draw({x, y, x + w, y + h}, piece_src);
            }
        }
    }
};

} // namespace

bool DrawImage(DrawContext& dc, const UiRect& item, const UiRect& paint, const ImageEntry& image,
               const ImageDrawParams& params) {
    if (!dc.isValid() || image.surface() == nullptr)
        return false;
    const UiRect d = ImageDestRect(item, params.dest);
    const UiRect s = ImageSourceRect(image, params.source);
    const UiRect k = Bounded(params.corner);
    const PieceDrawer pieces{dc, image, paint, params.fade / 255.0,
                             image.hasAlpha() || params.fade < 255};
    if (params.fade == 0)
        return true;

    if (!params.hole) {
        const UiRect dst_centre = NineSliceCell(d, k, 1, 1);
        const UiRect src_centre = NineSliceCell(s, k, 1, 1);
        if (params.xtiled || params.ytiled)
            pieces.tile(dst_centre, src_centre, params.xtiled, params.ytiled);
        else
            pieces.draw(dst_centre, src_centre);
    }
    // The edges stretch along their length (top, bottom, left, right); the corners keep
    // their size.
    static constexpr std::pair<int, int> BORDER_CELLS[] = {{1, 0}, {1, 2}, {0, 1}, {2, 1},
                                                           {0, 0}, {2, 0}, {0, 2}, {2, 2}};
    for (const auto& [column, row] : BORDER_CELLS)
        pieces.draw(NineSliceCell(d, k, column, row), NineSliceCell(s, k, column, row));
    return true;
}

void FillColor(DrawContext& dc, const UiRect& rect, std::uint32_t argb) {
    const std::uint32_t a = argb >> 24;
    if (!dc.isValid() || a == 0 || rect.isEmpty())
        return;
    cairo_t* cr = dc.cairo();
    cairo_save(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    SetSourceArgb(cr, argb);
    cairo_set_operator(cr, a == 255 ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER);
    cairo_fill(cr);
    cairo_restore(cr);
}

void FillGradient(DrawContext& dc, const UiRect& rect, std::uint32_t from, std::uint32_t to,
                  bool vertical) {
    const std::uint32_t alpha = ((from >> 24) + (to >> 24)) / 2;
    if (!dc.isValid() || alpha == 0 || rect.isEmpty())
        return;
    cairo_t* cr = dc.cairo();
    cairo_pattern_t* gradient = vertical ? cairo_pattern_create_linear(0, rect.top, 0, rect.bottom)
                                         : cairo_pattern_create_linear(rect.left, 0, rect.right, 0);
    for (auto [offset, argb] : {std::pair{0.0, from}, std::pair{1.0, to}}) {
        const UnitChannels c = ToUnitChannels(argb);
        cairo_pattern_add_color_stop_rgb(gradient, offset, c.red, c.green, c.blue);
    }
    cairo_save(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(cr);
    cairo_set_source(cr, gradient);
    if (alpha == 255) {
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
    } else {
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        cairo_paint_with_alpha(cr, alpha / 255.0);
    }
    cairo_restore(cr);
    cairo_pattern_destroy(gradient);
}

} // namespace inkwarden

#include "ui/draw/TextDrawing.h"

#include "platform/UniqueResource.h"
#include "ui/base/UiColor.h"

#include <algorithm>
#include <memory>
#include <pango/pangocairo.h>

namespace inkwarden {

namespace {

using LayoutPtr = UniqueResource<PangoLayout, g_object_unref>;
using FontPtr = UniqueResource<PangoFontDescription, pango_font_description_free>;
using AttrListPtr = UniqueResource<PangoAttrList, pango_attr_list_unref>;

// Text drawn without a font of its own.
constexpr const char* FALLBACK_FONT = "Sans 12px";
// Measuring ignores the colour.
constexpr std::uint32_t MEASURE_COLOR = 0xFF000000;
// Longer digit runs are no text-table id; the bound keeps the number from overflowing.
constexpr long MAX_TABLE_ID = 100000000;

// A measuring context for callers that have no surface at hand.
cairo_t* MeasureContext() {
    static DrawContext context(1, 1);
    return context.cairo();
}

const PangoFontDescription* FallbackFont() {
    static FontPtr font(pango_font_description_from_string(FALLBACK_FONT));
    return font.get();
}

bool SingleLine(UINT flags) {
    return (flags & DT_SINGLELINE) != 0;
}

// One layout set up for the flags; width in pixels bounds wrapping and the ellipsis.
LayoutPtr MakeLayout(cairo_t* cr, std::string_view text, const PangoFontDescription* font,
                     UINT flags, int width) {
    LayoutPtr layout(pango_cairo_create_layout(cr));
    pango_layout_set_font_description(layout.get(), font != nullptr ? font : FallbackFont());
    pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
    if (SingleLine(flags))
        pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    const bool wrap = !SingleLine(flags) && (flags & DT_WORDBREAK) != 0;
    const bool ellipsis = (flags & DT_END_ELLIPSIS) != 0;
    if ((wrap || ellipsis) && width > 0) {
        pango_layout_set_width(layout.get(), width * PANGO_SCALE);
        if (wrap)
            pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
        if (ellipsis)
            pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    }
    if (flags & DT_CENTER)
        pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
    else if (flags & DT_RIGHT)
        pango_layout_set_alignment(layout.get(), PANGO_ALIGN_RIGHT);
    return layout;
}

void AddDecoration(PangoAttrList* attrs, TextDecoration decoration) {
    if (decoration.underline)
        pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (decoration.strike)
        pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
}

// Places the laid-out text in rect as the alignment flags say and draws it.
void ShowLayout(DrawContext& dc, PangoLayout* layout, const UiRect& rect, std::uint32_t color,
                UINT flags) {
    cairo_t* cr = dc.cairo();
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    double x = rect.left;
    // Without a layout width the alignment is ours to apply to the whole block.
    if (pango_layout_get_width(layout) < 0) {
        if (flags & DT_CENTER)
            x = rect.left + (rect.width() - logical.width) / 2;
        else if (flags & DT_RIGHT)
            x = rect.right - logical.width;
    }
    double y = rect.top;
    // Vertical placement applies to single-line text only, as the label flags define it.
    if (SingleLine(flags)) {
        if (flags & DT_VCENTER)
            y = rect.top + (rect.height() - logical.height) / 2;
        else if (flags & DT_BOTTOM)
            y = rect.bottom - logical.height;
    }
    cairo_save(cr);
    if ((flags & DT_NOCLIP) == 0) {
        cairo_rectangle(cr, rect.left, rect.top, std::max(rect.width(), 0),
                        std::max(rect.height(), 0));
        cairo_clip(cr);
    }
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    const UnitChannels c = ToUnitChannels(color);
    cairo_set_source_rgb(cr, c.red, c.green, c.blue);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
}

UiSize LayoutSize(PangoLayout* layout) {
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    return {logical.width, logical.height};
}

PangoAttribute* Ranged(PangoAttribute* attr, std::size_t start, std::size_t end) {
    attr->start_index = static_cast<guint>(start);
    attr->end_index = static_cast<guint>(end);
    return attr;
}

// The markup's spans as one text with attributes per span.
LayoutPtr MakeMarkupLayout(cairo_t* cr, std::string_view text, const PangoFontDescription* font,
                           UINT flags, int width, std::uint32_t base_color,
                           const MarkupTextOptions& options) {
    const auto spans =
        MarkupTextParser::parse(text, SingleLine(flags), options.colors, options.link_hot);
    const std::string plain = MarkupTextParser::plainText(spans);
    LayoutPtr layout = MakeLayout(cr, plain, font, flags, width);
    AttrListPtr attrs(pango_attr_list_new());
    std::size_t start = 0;
    for (const auto& span : spans) {
        const std::size_t end = start + span.text.size();
        const MarkupStyle& st = span.style;
        const PangoFontDescription* span_font = nullptr;
        if (st.font_id >= 0 && options.fonts.by_id)
            span_font = options.fonts.by_id(st.font_id);
        if ((st.bold || st.underline) && options.fonts.variant)
            if (const auto* variant = options.fonts.variant(st.bold, st.underline))
                span_font = variant;
        if (span_font != nullptr)
            pango_attr_list_insert(attrs.get(),
                                   Ranged(pango_attr_font_desc_new(span_font), start, end));
        if (st.bold && !options.fonts.variant)
            pango_attr_list_insert(attrs.get(),
                                   Ranged(pango_attr_weight_new(PANGO_WEIGHT_BOLD), start, end));
        if (st.underline)
            pango_attr_list_insert(
                attrs.get(), Ranged(pango_attr_underline_new(PANGO_UNDERLINE_SINGLE), start, end));
        const WideChannels c = ToWideChannels(st.color != 0 ? st.color : base_color);
        pango_attr_list_insert(
            attrs.get(), Ranged(pango_attr_foreground_new(c.red, c.green, c.blue), start, end));
        if (st.background != 0) {
            const WideChannels b = ToWideChannels(st.background);
            pango_attr_list_insert(
                attrs.get(), Ranged(pango_attr_background_new(b.red, b.green, b.blue), start, end));
        }
        start = end;
    }
    pango_layout_set_attributes(layout.get(), attrs.get());
    return layout;
}

} // namespace

void DrawPlainText(DrawContext& dc, const UiRect& rect, std::string_view text, std::uint32_t color,
                   const PangoFontDescription* font, UINT flags, TextDecoration decoration) {
    if (!dc.isValid() || text.empty())
        return;
    LayoutPtr layout = MakeLayout(dc.cairo(), text, font, flags, rect.width());
    if (decoration.underline || decoration.strike) {
        AttrListPtr attrs(pango_attr_list_new());
        AddDecoration(attrs.get(), decoration);
        pango_layout_set_attributes(layout.get(), attrs.get());
    }
    ShowLayout(dc, layout.get(), rect, color, flags);
}

UiSize MeasureText(std::string_view text, const PangoFontDescription* font, UINT flags, int width) {
    if (text.empty())
        return {};
    LayoutPtr layout = MakeLayout(MeasureContext(), text, font, flags, width);
    return LayoutSize(layout.get());
}

void DrawMarkupText(DrawContext& dc, const UiRect& rect, std::string_view text,
                    std::uint32_t base_color, const PangoFontDescription* font, UINT flags,
                    const MarkupTextOptions& options) {
    if (!dc.isValid() || text.empty())
        return;
    LayoutPtr layout =
        MakeMarkupLayout(dc.cairo(), text, font, flags, rect.width(), base_color, options);
    ShowLayout(dc, layout.get(), rect, base_color, flags);
}

UiSize MeasureMarkupText(std::string_view text, const PangoFontDescription* font, UINT flags,
                         int width, const MarkupTextOptions& options) {
    if (text.empty())
        return {};
    LayoutPtr layout =
        MakeMarkupLayout(MeasureContext(), text, font, flags, width, MEASURE_COLOR, options);
    return LayoutSize(layout.get());
}

std::string SubstituteTextTable(std::string_view text,
                                const std::function<std::optional<std::string>(int)>& lookup) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '%' && i + 2 < text.size() && text[i + 1] == '{' && lookup) {
            std::size_t j = i + 2;
            long n = 0;
            while (j < text.size() && text[j] >= '0' && text[j] <= '9' && n <= MAX_TABLE_ID) {
                n = n * 10 + (text[j] - '0');
                ++j;
            }
            if (j > i + 2 && j < text.size() && text[j] == '}') {
                if (auto entry = lookup(static_cast<int>(n))) {
                    out += *entry;
                    i = j + 1;
                    continue;
                }
            }
        }
        out += text[i];
        ++i;
    }
    return out;
}

} // namespace inkwarden

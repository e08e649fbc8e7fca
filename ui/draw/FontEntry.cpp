#include "ui/draw/FontEntry.h"

#include "ui/draw/FontAliases.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <mutex>
#include <pango/pangocairo.h>

namespace inkwarden {
namespace {

// A font without a face or a size in the skin.
constexpr const char* DEFAULT_FACE = "Sans";
constexpr int DEFAULT_SIZE = 12; // pixels
// Layouts are measured at the screen resolution the skins were drawn for.
constexpr double SKIN_DPI = 96.0;

// Loads the skin's face aliases into the default fontconfig setup once, before the first
// font is resolved.
void LoadFontAliases() {
    static std::once_flag once;
    std::call_once(once, [] {
        FcConfig* config = FcConfigGetCurrent();
        if (config != nullptr) {
            FcConfigParseAndLoadFromMemory(
                config, reinterpret_cast<const FcChar8*>(FONT_ALIASES_CONF), FcFalse);
        }
    });
}

} // namespace

std::unique_ptr<FontEntry> FontEntry::create(const std::string& face, int size, bool bold,
                                             bool underline, bool italic) {
    LoadFontAliases();
    std::unique_ptr<FontEntry> font(new FontEntry());
    font->face_ = face;
    font->size_ = size;
    font->bold_ = bold;
    font->underline_ = underline;
    font->italic_ = italic;

    font->description_ = pango_font_description_new();
    pango_font_description_set_family(font->description_,
                                      face.empty() ? DEFAULT_FACE : face.c_str());
    // The size is the character height in pixels.
    pango_font_description_set_absolute_size(
        font->description_, static_cast<double>(size > 0 ? size : DEFAULT_SIZE) * PANGO_SCALE);
    pango_font_description_set_weight(font->description_,
                                      bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(font->description_,
                                     italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    font->cairo_ = cairo_create(surface);
    cairo_surface_destroy(surface); // the context keeps its own reference
    font->layout_ = pango_cairo_create_layout(font->cairo_);
    if (font->layout_ == nullptr) {
        return nullptr;
    }
    // Unhinted metrics, so that sizes do not depend on the machine's font settings.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    PangoContext* context = pango_layout_get_context(font->layout_);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_cairo_context_set_resolution(context, SKIN_DPI);
    pango_layout_context_changed(font->layout_);
    pango_layout_set_font_description(font->layout_, font->description_);

    PangoFont* loaded = pango_context_load_font(context, font->description_);
    if (loaded == nullptr) {
        return nullptr;
    }
    g_object_unref(loaded);
    PangoFontMetrics* metrics = pango_context_get_metrics(context, font->description_, nullptr);
    font->ascent_ = PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(metrics));
    font->char_height_ = font->ascent_ + PANGO_PIXELS_CEIL(pango_font_metrics_get_descent(metrics));
    pango_font_metrics_unref(metrics);
    return font;
}

FontEntry::~FontEntry() {
    if (layout_ != nullptr) {
        g_object_unref(layout_);
    }
    if (cairo_ != nullptr) {
        cairo_destroy(cairo_);
    }
    if (description_ != nullptr) {
        pango_font_description_free(description_);
    }
}

std::string FontEntry::resolvedFamily() const {
    PangoContext* context = pango_layout_get_context(layout_);
    PangoFont* loaded = pango_context_load_font(context, description_);
    if (loaded == nullptr) {
        return {};
    }
    PangoFontDescription* actual = pango_font_describe(loaded);
    std::string family = pango_font_description_get_family(actual) != nullptr
                             ? pango_font_description_get_family(actual)
                             : "";
    pango_font_description_free(actual);
    g_object_unref(loaded);
    return family;
}

UiSize FontEntry::measureText(std::string_view text, int wrap_width) const {
    pango_layout_set_text(layout_, text.data(), static_cast<int>(text.size()));
    if (wrap_width > 0) {
        pango_layout_set_width(layout_, wrap_width * PANGO_SCALE);
        pango_layout_set_wrap(layout_, PANGO_WRAP_WORD_CHAR);
    } else {
        pango_layout_set_width(layout_, -1);
    }
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout_, &width, &height);
    return UiSize{width, height};
}

} // namespace inkwarden

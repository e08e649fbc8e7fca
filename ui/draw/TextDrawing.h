#pragma once

#include "ui/base/UiGeometry.h"
#include "ui/base/WinMessages.h"
#include "ui/draw/DrawContext.h"
#include "ui/draw/MarkupTextParser.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

typedef struct _PangoFontDescription PangoFontDescription;

namespace inkwarden {

// Font decoration that a PangoFontDescription does not carry.
struct TextDecoration {
    bool underline = false;
    bool strike = false;
};

// Draws text the way a label's style asks (DT_ flags: DT_LEFT/CENTER/RIGHT,
// DT_TOP/VCENTER/BOTTOM with DT_SINGLELINE, DT_WORDBREAK, DT_END_ELLIPSIS, DT_NOCLIP) in
// the colour's red, green and blue, clipped to rect. Prefix characters are never
// processed: "&" is drawn as it is. A null font is the toolkit's fallback face.
void DrawPlainText(DrawContext& dc, const UiRect& rect, std::string_view text, std::uint32_t color,
                   const PangoFontDescription* font, UINT flags, TextDecoration decoration = {});

// Width and height of text drawn in a box of the given width: single-line text (or text
// without DT_WORDBREAK) as one line per line break, else wrapped at that width.
UiSize MeasureText(std::string_view text, const PangoFontDescription* font, UINT flags,
                   int width = 9999);

// Fonts for the markup renderer: the variant of the base font with the extra styles
// (returns the font to use; null = the base font) and the font registered under an id.
struct MarkupFonts {
    std::function<const PangoFontDescription*(bool bold, bool underline)> variant;
    std::function<const PangoFontDescription*(int id)> by_id;
};

struct MarkupTextOptions {
    MarkupTextParser::Colors colors;
    bool link_hot = false;
    MarkupFonts fonts;
};

// Draws markup text (see MarkupTextParser) with base_color where no "c" tag applies.
void DrawMarkupText(DrawContext& dc, const UiRect& rect, std::string_view text,
                    std::uint32_t base_color, const PangoFontDescription* font, UINT flags,
                    const MarkupTextOptions& options = {});
UiSize MeasureMarkupText(std::string_view text, const PangoFontDescription* font, UINT flags,
                         int width = 9999, const MarkupTextOptions& options = {});

// Replaces every "%{n}" (n decimal) whose entry lookup(n) exists.
std::string SubstituteTextTable(std::string_view text,
                                const std::function<std::optional<std::string>(int)>& lookup);

} // namespace inkwarden

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace inkwarden {

// The text attributes in force for one stretch of markup text.
struct MarkupStyle {
    std::uint32_t color = 0;      // AARRGGBB; 0 = the label's own colour
    std::uint32_t background = 0; // 0 = none
    int font_id = -1;             // -1 = the label's font
    bool bold = false;
    bool underline = false;
    bool link = false;
    bool operator==(const MarkupStyle&) const = default;
};

struct MarkupSpan {
    std::string text; // "\n" for a line break
    MarkupStyle style;
};

// Markup text: tags are "<x ...>" or "{x ...}" with x one lower-case letter; "</x>" or
// "{/x}" restores the state before the matching opening tag. Characters that do not start
// a recognised tag are text. Line breaks ("n", "p") are dropped in single-line text.
class MarkupTextParser {
public:
    struct Colors {
        std::uint32_t link = 0xFF0000FF;
        std::uint32_t link_hover = 0xFFD3215F;
        std::uint32_t selected_background = 0xFFBAE4FF;
    };

    static std::vector<MarkupSpan> parse(std::string_view text, bool single_line,
                                         const Colors& colors, bool link_hot = false);
    static std::vector<MarkupSpan> parse(std::string_view text, bool single_line) {
        return parse(text, single_line, Colors{});
    }
    // The text of the spans without the tags.
    static std::string plainText(const std::vector<MarkupSpan>& spans);
};

} // namespace inkwarden

#include "ui/draw/TextDrawing.h"

#include "ui/draw/DrawContext.h"
#include "ui/draw/MarkupTextParser.h"

#include <gtest/gtest.h>
#include <memory>
#include <pango/pango.h>

namespace inkwarden {
namespace {

struct FontFree {
    void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};
std::unique_ptr<PangoFontDescription, FontFree> Font(const char* description) {
    return std::unique_ptr<PangoFontDescription, FontFree>(
        pango_font_description_from_string(description));
}

// Bounding box of the pixels that were drawn (alpha > 0).
UiRect InkBox(const DrawContext& dc) {
    UiRect box{dc.width(), dc.height(), 0, 0};
    for (int y = 0; y < dc.height(); ++y)
        for (int x = 0; x < dc.width(); ++x)
            if (dc.pixel(x, y) >> 24) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box;
}

int CountColor(const DrawContext& dc, const UiRect& r, std::uint32_t color) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            n += dc.pixel(x, y) == color;
    return n;
}

int RowCoverage(const DrawContext& dc, int y, int left, int right) {
    int n = 0;
    for (int x = left; x < right; ++x)
        n += (dc.pixel(x, y) >> 24) != 0;
    return n;
}

const auto CJK = Font("WenQuanYi Micro Hei 24px");

TEST(MarkupTextParserTest, TagsChangeTheStyleAndClosingRestoresIt) {
    const auto spans = MarkupTextParser::parse("a<c #fee88a><u>许可协议</u>x</c>b", true);
    ASSERT_EQ(spans.size(), 4u);
    EXPECT_EQ(spans[0].text, "a");
    EXPECT_EQ(spans[0].style, MarkupStyle{});
    EXPECT_EQ(spans[1].text, "许可协议");
    EXPECT_EQ(spans[1].style.color, 0xFFFEE88Au);
    EXPECT_TRUE(spans[1].style.underline);
    EXPECT_EQ(spans[2].text, "x");
    EXPECT_EQ(spans[2].style.color, 0xFFFEE88Au);
    EXPECT_FALSE(spans[2].style.underline);
    EXPECT_EQ(spans[3].style, MarkupStyle{});

    // Braces work the same, and closing an outer tag drops the inner ones as well.
    const auto braces = MarkupTextParser::parse("{b}{c 00ff00}G{/b}N", true);
    ASSERT_EQ(braces.size(), 2u);
    EXPECT_TRUE(braces[0].style.bold);
    EXPECT_EQ(braces[0].style.color, 0xFF00FF00u);
    EXPECT_EQ(braces[1].style, MarkupStyle{});
}

TEST(MarkupTextParserTest, AnythingThatIsNotARecognisedTagIsText) {
    auto plain = [](std::string_view text, bool single = true) {
        return MarkupTextParser::plainText(MarkupTextParser::parse(text, single));
    };
    EXPECT_EQ(plain("a < b & c > d"), "a < b & c > d");
    EXPECT_EQ(plain("<q>x</q>"), "<q>x</q>");     // unknown letter
    EXPECT_EQ(plain("<B>x"), "<B>x");             // upper case
    EXPECT_EQ(plain("<bold>x"), "<bold>x");       // more than one letter
    EXPECT_EQ(plain("<c #ff0000"), "<c #ff0000"); // never closed
    EXPECT_EQ(plain("<"), "<");
    EXPECT_EQ(plain("x</u>y"), "xy"); // a closing tag without an opening one
    EXPECT_EQ(plain("1<n>2"), "12");  // line breaks only in multi-line text
    EXPECT_EQ(plain("1<n>2", false), "1\n2");
    EXPECT_EQ(plain("<r><b>raw</b></r>"), "<b>raw</b>");
    EXPECT_EQ(plain("<i logo.png>", false), "");
    EXPECT_EQ(plain("<a http://x>link</a>"), "link");
    const auto link = MarkupTextParser::parse("<a>l</a>", true);
    EXPECT_EQ(link[0].style.color, 0xFF0000FFu);
}

TEST(TextTableTest, ReplacesKnownEntriesOnly) {
    auto lookup = [](int n) -> std::optional<std::string> {
        if (n == 3)
            return "three";
        return std::nullopt;
    };
    EXPECT_EQ(SubstituteTextTable("a%{3}b%{4}c", lookup), "athreeb%{4}c");
    EXPECT_EQ(SubstituteTextTable("%{3", lookup), "%{3");
    EXPECT_EQ(SubstituteTextTable("%{}%{x}%", lookup), "%{}%{x}%");
    EXPECT_EQ(SubstituteTextTable("%{3}", nullptr), "%{3}");
}

TEST(TextDrawingTest, MarkupColourAndUnderlineThenBaseColourReturns) {
    const std::string word = "许可协议";
    const int word_width = MeasureText(word, CJK.get(), DT_SINGLELINE).cx;
    ASSERT_GT(word_width, 60);
    DrawContext with(300, 50);
    DrawContext without(300, 50);
    const UINT flags = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
    DrawMarkupText(with, with.bounds(), "<c #fee88a><u>" + word + "</u></c>协议", 0xFFFFFFFF,
                   CJK.get(), flags);
    DrawMarkupText(without, without.bounds(), "<c #fee88a>" + word + "</c>协议", 0xFFFFFFFF,
                   CJK.get(), flags);
    const UiRect first{0, 0, word_width - 1, 50};
    const UiRect after{word_width + 1, 0, 300, 50};
    EXPECT_GT(CountColor(with, first, 0xFFFEE88A), 20);
    EXPECT_EQ(CountColor(with, first, 0xFFFFFFFF), 0);
    EXPECT_GT(CountColor(with, after, 0xFFFFFFFF), 20);
    EXPECT_EQ(CountColor(with, after, 0xFFFEE88A), 0);

    // The underline: a row covered across the word that the plain rendering leaves open.
    bool underline = false;
    for (int y = 25; y < 50 && !underline; ++y)
        if (RowCoverage(with, y, 0, word_width) > word_width * 9 / 10 &&
            RowCoverage(without, y, 0, word_width) < word_width / 2 &&
            RowCoverage(with, y, word_width + 4, 300) ==
                RowCoverage(without, y, word_width + 4, 300))
            underline = true;
    EXPECT_TRUE(underline);
}

TEST(TextDrawingTest, PlainTextAlignsClipsAndIgnoresAlpha) {
    const auto font = Font("DejaVu Sans 16px");
    const UiRect rect{20, 10, 220, 50};
    auto box = [&](UINT flags) {
        DrawContext dc(240, 60);
        DrawPlainText(dc, rect, "Mm&Ww", 0x00FF0000, font.get(), flags);
        EXPECT_GT(CountColor(dc, dc.bounds(), 0xFFFF0000), 5); // alpha 00 still draws red
        return InkBox(dc);
    };
    const UiRect left = box(DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    const UiRect center = box(DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    const UiRect right = box(DT_SINGLELINE | DT_BOTTOM | DT_RIGHT);
    const UiRect top = box(DT_SINGLELINE | DT_TOP);
    EXPECT_LE(left.left - rect.left, 3);
    EXPECT_LE(rect.right - right.right, 3);
    EXPECT_LE(std::abs((center.left - rect.left) - (rect.right - center.right)), 3);
    EXPECT_LE(std::abs((left.top + left.bottom) / 2 - (rect.top + rect.bottom) / 2), 3);
    EXPECT_LE(rect.bottom - right.bottom, 6);
    EXPECT_LE(top.top - rect.top, 6);
    EXPECT_LT(top.top, left.top);

    // Clipped to the rectangle.
    DrawContext dc(100, 40);
    DrawPlainText(dc, {10, 10, 40, 20}, "MMMMMMMMMM", 0xFF000000, font.get(), DT_SINGLELINE);
    const UiRect ink = InkBox(dc);
    EXPECT_GE(ink.left, 10);
    EXPECT_GE(ink.top, 10);
    EXPECT_LE(ink.right, 40);
    EXPECT_LE(ink.bottom, 20);
}

TEST(TextDrawingTest, MeasurementWrapsElidesAndKeepsAmpersands) {
    const auto font = Font("DejaVu Sans 14px");
    const UiSize one = MeasureText("AB", font.get(), DT_SINGLELINE);
    EXPECT_GT(MeasureText("A&B", font.get(), DT_SINGLELINE).cx, one.cx); // "&" is text
    EXPECT_EQ(MeasureText("", font.get(), DT_SINGLELINE), (UiSize{0, 0}));

    const std::string longText = "the quick brown fox jumps over the lazy dog again and again";
    const UiSize line = MeasureText(longText, font.get(), DT_SINGLELINE);
    EXPECT_GT(line.cx, 200);
    const UiSize wrapped = MeasureText(longText, font.get(), DT_WORDBREAK, 120);
    EXPECT_LE(wrapped.cx, 120);
    EXPECT_GE(wrapped.cy, 3 * line.cy);
    const UiSize elided = MeasureText(longText, font.get(), DT_SINGLELINE | DT_END_ELLIPSIS, 120);
    EXPECT_LE(elided.cx, 120);
    EXPECT_EQ(elided.cy, line.cy);
    // "n" breaks multi-line markup only.
    EXPECT_EQ(MeasureMarkupText("a<n>b", font.get(), DT_SINGLELINE).cy, line.cy);
    EXPECT_GE(MeasureMarkupText("a<n>b", font.get(), DT_WORDBREAK).cy, 2 * line.cy);
}

TEST(TextDrawingTest, BoldComesFromTheVariantCallable) {
    const auto font = Font("DejaVu Sans 16px");
    const auto bold = Font("DejaVu Sans Bold 16px");
    int asked = 0;
    MarkupTextOptions options;
    options.fonts.variant = [&](bool is_bold, bool) -> const PangoFontDescription* {
        ++asked;
        return is_bold ? bold.get() : nullptr;
    };
    const int plain = MeasureMarkupText("WWWW", font.get(), DT_SINGLELINE, 9999, options).cx;
    const int heavy = MeasureMarkupText("<b>WWWW</b>", font.get(), DT_SINGLELINE, 9999, options).cx;
    EXPECT_GT(heavy, plain);
    EXPECT_EQ(asked, 1);
}

} // namespace
} // namespace inkwarden

#pragma once

#include "ui/controls/AlignmentWords.h"
#include "ui/controls/CControlUI.h"
#include "ui/draw/MarkupTextParser.h"

#include <string>
#include <utility>
#include <vector>

namespace inkwarden {

class FontEntry;

// Text in a control's rectangle.
class CLabelUI : public CControlUI {
public:
    // Text style bits, as the platform's text drawing takes them.
    static constexpr unsigned TEXT_LEFT = DT_LEFT;
    static constexpr unsigned TEXT_CENTER = DT_CENTER;
    static constexpr unsigned TEXT_RIGHT = DT_RIGHT;
    static constexpr unsigned TEXT_TOP = DT_TOP;
    static constexpr unsigned TEXT_VCENTER = DT_VCENTER;
    static constexpr unsigned TEXT_BOTTOM = DT_BOTTOM;
    static constexpr unsigned TEXT_WORDBREAK = DT_WORDBREAK;
    static constexpr unsigned TEXT_SINGLELINE = DT_SINGLELINE;
    static constexpr unsigned TEXT_NOPREFIX = DT_NOPREFIX;
    static constexpr unsigned TEXT_END_ELLIPSIS = DT_END_ELLIPSIS;
    // A line of text is the font's character height and this much more.
    static constexpr int LINE_HEIGHT_EXTRA = 8;

    CLabelUI();

    const char* getClass() const override { return "Label"; }
    void* getInterface(std::string_view name) override;

    void setText(std::string_view text) override;
    void setFixedWidth(int cx) override;
    void setFixedHeight(int cy) override;
    UiSize estimateSize(UiSize available) override;
    void setAttribute(std::string_view name, std::string_view value) override;
    void doEvent(UiEvent& event) override;
    void paintText(DrawContext& dc) override;

    AccessibleRole getAccessibleRole() const override { return AccessibleRole::LABEL; }
    // The text as shown: the text table applied, markup removed.
    std::string getAccessibleName() const override;
    std::optional<std::string> getAccessibleText() const override;

    unsigned getTextStyle() const { return text_style_; }
    void setTextStyle(unsigned style);
    int getFont() const { return font_; }
    void setFont(int id);
    std::uint32_t getTextColor() const { return text_color_; }
    void setTextColor(std::uint32_t color);
    std::uint32_t getDisabledTextColor() const { return disabled_text_color_; }
    void setDisabledTextColor(std::uint32_t color);
    const UiRect& getTextPadding() const { return text_padding_; }
    void setTextPadding(UiRect padding);
    bool isShowHtml() const { return show_html_; }
    void setShowHtml(bool show);
    bool isMultiLine() const { return (text_style_ & TEXT_SINGLELINE) == 0; }
    // How many pixels the text in its font is wider (one line) or, wrapped, taller
    // (multi-line) than the padded item rectangle, 0 when it fits: a text in another
    // language may not fit its control.
    int textOverflow() const;
    // The effect attributes are kept for painting; the installer's skin uses none.
    std::string getTextEffect(std::string_view name) const;

protected:
    // Stores a property that changes the text's measured size, and repaints.
    template <typename T> void setMeasured(T& field, T value) {
        field = value;
        resetEstimate();
        invalidate();
    }
    // The item rectangle less the text padding.
    UiRect textRect() const;
    // The fixed size when a fixed height is set, else (fixed width, one line of the font).
    UiSize fixedOrOneLineSize() const;
    // A control that takes no mouse input hands mouse events to its parent; true when the
    // event went on.
    bool passOnWhileMouseDisabled(UiEvent& event);
    // The font this label draws with: its own id through the manager, else the default.
    FontEntry* resolveFont() const;
    // Text as measured: markup tags removed when show-html is set.
    std::string measurableText() const;
    void resetEstimate() { estimate_valid_ = false; }
    // A colour of 0 is unset: the manager's default (or default disabled) colour applies.
    std::uint32_t textColorOrDefault(std::uint32_t color, bool disabled) const;
    // The label's colour rule: text colour when enabled, else the disabled colour.
    std::uint32_t labelTextColor() const;
    // The text as it is shown: after the text table, as markup spans when show-html is set
    // (else one plain span).
    std::vector<MarkupSpan> shownSpans() const;
    static std::string afterTextTable(const std::string& text);
    // Draws the text (after the text table) in the padded item rectangle, as markup when
    // show-html is set; `text` replaces the stored text when given.
    void drawText(DrawContext& dc, std::uint32_t color, const std::string* text = nullptr);

    unsigned text_style_;

private:
    // Replaces the style bits under mask.
    void setTextStyleBits(unsigned mask, unsigned bits);
    void alignFromWords(std::string_view value, const AlignmentWords& words);
    void setTextEffect(std::string_view name, std::string_view value);

    int font_ = -1;
    std::uint32_t text_color_ = 0;
    std::uint32_t disabled_text_color_ = 0;
    UiRect text_padding_;
    bool show_html_ = false;
    std::vector<std::pair<std::string, std::string>> text_effects_;

    bool estimate_valid_ = false;
    UiSize estimate_available_;
    UiSize estimate_;
};

} // namespace inkwarden

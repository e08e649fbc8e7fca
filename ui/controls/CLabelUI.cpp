#include "ui/controls/CLabelUI.h"

#include "ui/controls/AttributeTable.h"
#include "ui/draw/FontEntry.h"
#include "ui/draw/TextDrawing.h"
#include "ui/markup/ColorFormat.h"
#include "ui/markup/ValueFormats.h"
#include "ui/runtime/PaintManager.h"

#include <algorithm>
#include <iterator>

namespace inkwarden {
namespace {

constexpr std::string_view TEXT_EFFECT_ATTRIBUTES[] = {
    "enabledeffect", "enabledluminous",  "luminousfuzzy",    "gradientangle",
    "enabledstroke", "enabledshadow",    "gradientlength",   "shadowoffset",
    "textcolor1",    "textshadowcolora", "textshadowcolorb", "strokecolor",
};

bool IsTextEffect(std::string_view name) {
    return std::find(std::begin(TEXT_EFFECT_ATTRIBUTES), std::end(TEXT_EFFECT_ATTRIBUTES), name) !=
           std::end(TEXT_EFFECT_ATTRIBUTES);
}

bool IsTagLetter(char c) {
    return c >= 'a' && c <= 'z';
}

} // namespace

CLabelUI::CLabelUI() : text_style_(TEXT_SINGLELINE | TEXT_VCENTER | TEXT_LEFT) {}

void* CLabelUI::getInterface(std::string_view name) {
    if (name == "Label") {
        return this;
    }
    return CControlUI::getInterface(name);
}

void CLabelUI::setText(std::string_view text) {
    if (text_ != text) {
        resetEstimate();
    }
    CControlUI::setText(text);
}

void CLabelUI::setFixedWidth(int cx) {
    if (cx >= 0 && cx != getFixedWidth()) {
        resetEstimate();
    }
    CControlUI::setFixedWidth(cx);
}

void CLabelUI::setFixedHeight(int cy) {
    if (cy >= 0 && cy != getFixedHeight()) {
        resetEstimate();
    }
    CControlUI::setFixedHeight(cy);
}

void CLabelUI::setTextStyle(unsigned style) {
    setMeasured(text_style_, style);
}

void CLabelUI::setFont(int id) {
    setMeasured(font_, id);
}

void CLabelUI::setTextColor(std::uint32_t color) {
    setPainted(text_color_, color);
}

void CLabelUI::setDisabledTextColor(std::uint32_t color) {
    setPainted(disabled_text_color_, color);
}

void CLabelUI::setTextPadding(UiRect padding) {
    setMeasured(text_padding_, padding);
}

void CLabelUI::setShowHtml(bool show) {
    if (show_html_ != show) {
        setMeasured(show_html_, show);
    }
}

std::string CLabelUI::getTextEffect(std::string_view name) const {
    for (const auto& [key, value] : text_effects_) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

FontEntry* CLabelUI::resolveFont() const {
    if (manager_ != nullptr) {
        return manager_->getFont(font_);
    }
    // Measuring a detached label still needs some font.
    static PaintManager fallback;
    return fallback.getDefaultFont();
}

std::string CLabelUI::measurableText() const {
    if (!show_html_) {
        return text_;
    }
    // A tag is "<" or "{", an optional "/", one lower-case letter, then " ", ">" or "}"
    // for an opening tag (">" or "}" for a closing one); it runs to the next ">" or "}".
    std::string out;
    const std::string& t = text_;
    size_t i = 0;
    while (i < t.size()) {
        char c = t[i];
        if ((c == '<' || c == '{') && i + 2 < t.size()) {
            size_t j = i + 1;
            bool closing = t[j] == '/';
            if (closing) {
                ++j;
            }
            if (j + 1 < t.size() && IsTagLetter(t[j]) &&
                (t[j + 1] == '>' || t[j + 1] == '}' || (!closing && t[j + 1] == ' '))) {
                if (!closing && t[j] == 'n') {
                    out += '\n';
                }
                size_t end = t.find_first_of(">}", j + 1);
                i = end == std::string::npos ? t.size() : end + 1;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

int CLabelUI::textOverflow() const {
    FontEntry* font = resolveFont();
    const std::string text = measurableText();
    if (font == nullptr || text.empty()) {
        return 0;
    }
    const UiRect room = textRect();
    const int width = room.right - room.left;
    if (isMultiLine()) {
        // Wrapped at the control's width, the lines must fit its height.
        return std::max(0,
                        font->measureText(text, std::max(1, width)).cy - (room.bottom - room.top));
    }
    return std::max(0, font->measureText(text).cx - width);
}

UiSize CLabelUI::estimateSize(UiSize available) {
    const int cx = getFixedWidth();
    const int cy = getFixedHeight();
    if (cx > 0 && cy > 0) {
        return UiSize{cx, cy};
    }
    if (estimate_valid_ && estimate_available_ == available) {
        return estimate_;
    }
    FontEntry* font = resolveFont();
    const UiRect& pad = text_padding_;
    UiSize size;
    if (!isMultiLine()) {
        size.cy = cy > 0
                      ? cy
                      : pad.top + pad.bottom + (font ? font->charHeight() : 0) + LINE_HEIGHT_EXTRA;
        if (cx > 0) {
            size.cx = cx;
        } else {
            // Measured in a box 9999 pixels wide, so one line.
            UiSize text = font ? font->measureText(measurableText()) : UiSize{};
            size.cx = pad.left + pad.right + std::min(text.cx, MAX_SIZE);
        }
    } else {
        size.cx = cx > 0 ? cx : available.cx;
        int wrap = size.cx - pad.left - pad.right;
        UiSize text = font && wrap > 0 ? font->measureText(measurableText(), wrap) : UiSize{};
        size.cy = pad.top + pad.bottom + text.cy;
    }
    estimate_valid_ = true;
    estimate_available_ = available;
    estimate_ = size;
    return size;
}

UiRect CLabelUI::textRect() const {
    const UiRect& pad = text_padding_;
    return UiRect{item_.left + pad.left, item_.top + pad.top, item_.right - pad.right,
                  item_.bottom - pad.bottom};
}

UiSize CLabelUI::fixedOrOneLineSize() const {
    if (getFixedHeight() > 0) {
        return UiSize{getFixedWidth(), getFixedHeight()};
    }
    FontEntry* font = resolveFont();
    return UiSize{getFixedWidth(), (font ? font->charHeight() : 0) + LINE_HEIGHT_EXTRA};
}

bool CLabelUI::passOnWhileMouseDisabled(UiEvent& event) {
    if (isMouseEnabled() || !IsMouseEvent(event.kind)) {
        return false;
    }
    if (parent_ != nullptr) {
        parent_->doEvent(event);
    } else {
        CLabelUI::doEvent(event);
    }
    return true;
}

void CLabelUI::doEvent(UiEvent& event) {
    if (event.kind == UiEventKind::SETFOCUS || event.kind == UiEventKind::KILLFOCUS) {
        setFocusedFlag(event.kind == UiEventKind::SETFOCUS);
        return;
    }
    CControlUI::doEvent(event);
}

std::uint32_t CLabelUI::textColorOrDefault(std::uint32_t color, bool disabled) const {
    if (color != 0) {
        return color;
    }
    if (manager_ == nullptr) {
        return disabled ? PaintManager::DEFAULT_DISABLED_COLOR : PaintManager::DEFAULT_FONT_COLOR;
    }
    return disabled ? manager_->getDefaultDisabledColor() : manager_->getDefaultFontColor();
}

std::uint32_t CLabelUI::labelTextColor() const {
    return isEnabled() ? textColorOrDefault(text_color_, false)
                       : textColorOrDefault(disabled_text_color_, true);
}

void CLabelUI::paintText(DrawContext& dc) {
    if (text_.empty()) {
        return;
    }
    drawText(dc, labelTextColor());
}

std::string CLabelUI::afterTextTable(const std::string& text) {
    return SubstituteTextTable(text, [](int id) -> std::optional<std::string> {
        const std::string* entry = PaintManager::getMultiLanguageString(id);
        return entry ? std::optional<std::string>(*entry) : std::nullopt;
    });
}

std::vector<MarkupSpan> CLabelUI::shownSpans() const {
    const std::string shown = afterTextTable(text_);
    if (!show_html_) {
        return {MarkupSpan{shown, MarkupStyle{}}};
    }
    return MarkupTextParser::parse(shown, !isMultiLine());
}

std::optional<std::string> CLabelUI::getAccessibleText() const {
    return MarkupTextParser::plainText(shownSpans());
}

std::string CLabelUI::getAccessibleName() const {
    std::string text = MarkupTextParser::plainText(shownSpans());
    return text.empty() ? accessibleNameWithoutText() : text;
}

void CLabelUI::drawText(DrawContext& dc, std::uint32_t color, const std::string* text) {
    const std::string& source = text != nullptr ? *text : text_;
    if (source.empty()) {
        return;
    }
    const UiRect rect = textRect();
    if (rect.isEmpty()) {
        return;
    }
    const std::string shown = afterTextTable(source);
    FontEntry* font = resolveFont();
    const PangoFontDescription* description = font ? font->description() : nullptr;
    const UINT flags = text_style_ | DT_NOPREFIX;
    if (show_html_) {
        MarkupTextOptions options;
        if (manager_ != nullptr) {
            options.colors.link = manager_->getDefaultLinkFontColor();
            options.colors.link_hover = manager_->getDefaultLinkHoverFontColor();
            options.colors.selected_background = manager_->getDefaultSelectedBkColor();
            PaintManager* manager = manager_;
            options.fonts.by_id = [manager](int id) -> const PangoFontDescription* {
                FontEntry* entry = manager->getFont(id);
                return entry ? entry->description() : nullptr;
            };
        }
        DrawMarkupText(dc, rect, shown, color, description, flags, options);
    } else {
        TextDecoration decoration;
        decoration.underline = font != nullptr && font->underline();
        DrawPlainText(dc, rect, shown, color, description, flags, decoration);
    }
}

void CLabelUI::setAttribute(std::string_view name, std::string_view value) {
    using L = CLabelUI;
    using V = std::string_view;
    static constexpr AttributeSetter<CLabelUI> ATTRIBUTES[] = {
        {"align", [](L& l, V v) { l.alignFromWords(v, HORIZONTAL_ALIGNMENT); }},
        {"valign", [](L& l, V v) { l.alignFromWords(v, VERTICAL_ALIGNMENT); }},
        {"endellipsis",
         [](L& l, V v) {
             l.setTextStyleBits(TEXT_END_ELLIPSIS, ParseBool(v) ? TEXT_END_ELLIPSIS : 0);
         }},
        {"font", [](L& l, V v) { l.setFont(ParseInt(v)); }},
        {"textcolor", [](L& l, V v) { l.setTextColor(ParseColor(v)); }},
        {"disabledtextcolor", [](L& l, V v) { l.setDisabledTextColor(ParseColor(v)); }},
        {"textpadding", [](L& l, V v) { l.setTextPadding(ParseRect(v)); }},
        {"multiline",
         [](L& l, V v) {
             l.setTextStyleBits(TEXT_SINGLELINE | TEXT_WORDBREAK,
                                ParseBool(v) ? TEXT_WORDBREAK : TEXT_SINGLELINE);
         }},
        {"showhtml", [](L& l, V v) { l.setShowHtml(ParseBool(v)); }},
    };
    if (ApplyAttribute(ATTRIBUTES, *this, name, value)) {
        return;
    }
    if (IsTextEffect(name)) {
        setTextEffect(name, value);
        return;
    }
    CControlUI::setAttribute(name, value);
}

void CLabelUI::setTextStyleBits(unsigned mask, unsigned bits) {
    setTextStyle((text_style_ & ~mask) | bits);
}

void CLabelUI::alignFromWords(std::string_view value, const AlignmentWords& words) {
    // Every word the value contains applies, in the table's order.
    unsigned mask = 0;
    for (const AlignmentWord& word : words) {
        mask |= word.bits;
    }
    for (const AlignmentWord& word : words) {
        if (value.find(word.word) != std::string_view::npos) {
            setTextStyleBits(mask, word.bits);
        }
    }
}

void CLabelUI::setTextEffect(std::string_view name, std::string_view value) {
    for (auto& [key, stored] : text_effects_) {
        if (key == name) {
            stored.assign(value);
            return;
        }
    }
    text_effects_.emplace_back(std::string(name), std::string(value));
}

} // namespace inkwarden

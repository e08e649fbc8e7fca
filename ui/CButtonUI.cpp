#include "ui/CButtonUI.h"

#include "ui/ColorFormat.h"
#include "ui/FontEntry.h"
#include "ui/ValueFormats.h"

#include <algorithm>

namespace inkwarden {

CButtonUI::CButtonUI() {
    text_style_ = TEXT_SINGLELINE | TEXT_VCENTER | TEXT_CENTER;
}

void* CButtonUI::getInterface(std::string_view name) {
    if (name == "Button") {
        return this;
    }
    return CLabelUI::getInterface(name);
}

unsigned CButtonUI::getControlFlags() const {
    return (isKeyboardEnabled() ? 1u : 0u) | (isEnabled() ? 2u : 0u);
}

void CButtonUI::setEnabled(bool enabled) {
    CControlUI::setEnabled(enabled);
    if (!enabled) {
        button_state_ = 0;
    }
}

UiSize CButtonUI::estimateSize(UiSize) {
    if (getFixedHeight() > 0) {
        return UiSize{getFixedWidth(), getFixedHeight()};
    }
    FontEntry* font = resolveFont();
    return UiSize{getFixedWidth(), (font ? font->charHeight() : 0) + 8};
}

void CButtonUI::setAttribute(std::string_view name, std::string_view value) {
    if (name == "normalimage") {
        setImageAttribute(normal_image_, value);
    } else if (name == "hotimage") {
        setImageAttribute(hot_image_, value);
    } else if (name == "pushedimage") {
        setImageAttribute(pushed_image_, value);
    } else if (name == "focusedimage") {
        setImageAttribute(focused_image_, value);
    } else if (name == "disabledimage") {
        setImageAttribute(disabled_image_, value);
    } else if (name == "foreimage") {
        setImageAttribute(fore_image_, value);
    } else if (name == "hotforeimage") {
        setImageAttribute(hot_fore_image_, value);
    } else if (name == "fivestatusimage") {
        setImageAttribute(five_status_image_, value);
    } else if (name == "fadedelta") {
        fade_delta_ = std::clamp(ParseInt(value), 0, 255);
    } else if (name == "hotbkcolor") {
        hot_bk_color_ = ParseColor(value);
    } else if (name == "hottextcolor") {
        hot_text_color_ = ParseColor(value);
    } else if (name == "pushedtextcolor") {
        pushed_text_color_ = ParseColor(value);
    } else if (name == "focusedtextcolor") {
        focused_text_color_ = ParseColor(value);
    } else {
        CLabelUI::setAttribute(name, value);
    }
}

} // namespace inkwarden

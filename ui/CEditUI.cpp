#include "ui/CEditUI.h"

#include "ui/ColorFormat.h"
#include "ui/FontEntry.h"
#include "ui/ValueFormats.h"

namespace inkwarden {

CEditUI::CEditUI() {
    setTextPadding(UiRect{4, 3, 4, 3});
    setBkColor(0xFFFFFFFF);
}

void* CEditUI::getInterface(std::string_view name) {
    if (name == "Edit") {
        return this;
    }
    return CLabelUI::getInterface(name);
}

void CEditUI::setEnabled(bool enabled) {
    CControlUI::setEnabled(enabled);
    if (!enabled) {
        edit_state_ = 0;
    }
}

UiSize CEditUI::estimateSize(UiSize) {
    if (getFixedHeight() > 0) {
        return UiSize{getFixedWidth(), getFixedHeight()};
    }
    FontEntry* font = resolveFont();
    return UiSize{getFixedWidth(), (font ? font->charHeight() : 0) + 8};
}

void CEditUI::setReadOnly(bool read_only) {
    read_only_ = read_only;
    invalidate();
}

void CEditUI::setPasswordMode(bool password) {
    password_ = password;
    invalidate();
}

void CEditUI::setAttribute(std::string_view name, std::string_view value) {
    if (name == "readonly") {
        setReadOnly(ParseBool(value));
    } else if (name == "numberonly") {
        number_only_ = ParseBool(value);
    } else if (name == "password") {
        setPasswordMode(ParseBool(value));
    } else if (name == "autoselall") {
        auto_sel_all_ = ParseBool(value);
    } else if (name == "maxchar") {
        setMaxChar(ParseInt(value));
    } else if (name == "normalimage") {
        setImageAttribute(normal_image_, value);
    } else if (name == "hotimage") {
        setImageAttribute(hot_image_, value);
    } else if (name == "focusedimage") {
        setImageAttribute(focused_image_, value);
    } else if (name == "disabledimage") {
        setImageAttribute(disabled_image_, value);
    } else if (name == "nativebkcolor") {
        native_bk_color_ = ParseColor(value);
    } else {
        CLabelUI::setAttribute(name, value);
    }
}

} // namespace inkwarden

#include "ui/CProgressUI.h"

#include "ui/ValueFormats.h"

namespace inkwarden {

CProgressUI::CProgressUI() {
    text_style_ = TEXT_SINGLELINE | TEXT_CENTER;
    setFixedHeight(12);
}

void* CProgressUI::getInterface(std::string_view name) {
    if (name == "Progress") {
        return this;
    }
    return CLabelUI::getInterface(name);
}

void CProgressUI::setHorizontal(bool horizontal) {
    if (horizontal_ == horizontal) {
        return;
    }
    horizontal_ = horizontal;
    invalidate();
}

void CProgressUI::setMinValue(int value) {
    min_ = value;
    invalidate();
}

void CProgressUI::setMaxValue(int value) {
    max_ = value;
    invalidate();
}

void CProgressUI::setValue(int value) {
    if (value > max_) {
        value = max_;
    }
    if (value < min_) {
        value = min_;
    }
    value_ = value;
    invalidate();
}

void CProgressUI::setAttribute(std::string_view name, std::string_view value) {
    if (name == "foreimage") {
        setImageAttribute(fore_image_, value);
    } else if (name == "hor") {
        setHorizontal(ParseBool(value));
    } else if (name == "min") {
        setMinValue(ParseInt(value));
    } else if (name == "max") {
        setMaxValue(ParseInt(value));
    } else if (name == "value") {
        setValue(ParseInt(value));
    } else {
        CLabelUI::setAttribute(name, value);
    }
}

} // namespace inkwarden

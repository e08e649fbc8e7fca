#include "ui/controls/CProgressUI.h"

#include "ui/markup/ValueFormats.h"

#include <algorithm>

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

UiRect CProgressUI::fillRect() const {
    int max = max_;
    // An empty range paints as a range of one.
    if (min_ >= max) {
        max = min_ + 1;
    }
    const int value = std::clamp(value_, min_, max);
    const long long range = static_cast<long long>(max) - min_;
    const int width = item_.width();
    const int height = item_.height();
    if (horizontal_) {
        const int fill = static_cast<int>(width * (static_cast<long long>(value) - min_) / range);
        return UiRect{0, 0, fill, height};
    }
    const int top = static_cast<int>((static_cast<long long>(max) - value) * height / range);
    return UiRect{0, top, width, height};
}

void CProgressUI::paintStatusImage(DrawContext& dc) {
    const UiRect fill = fillRect();
    if (fill.isEmpty()) {
        return;
    }
    drawImage(dc, fore_image_, &fill);
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

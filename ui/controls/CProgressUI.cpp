#include "ui/controls/CProgressUI.h"

#include "ui/controls/AttributeTable.h"
#include "ui/markup/ValueFormats.h"

#include <algorithm>

namespace inkwarden {

CProgressUI::CProgressUI() {
    text_style_ = TEXT_SINGLELINE | TEXT_CENTER;
    setFixedHeight(DEFAULT_HEIGHT);
}

void* CProgressUI::getInterface(std::string_view name) {
    if (name == "Progress") {
        return this;
    }
    return CLabelUI::getInterface(name);
}

void CProgressUI::setHorizontal(bool horizontal) {
    if (horizontal_ != horizontal) {
        setPainted(horizontal_, horizontal);
    }
}

void CProgressUI::setMinValue(int value) {
    setPainted(min_, value);
}

void CProgressUI::setMaxValue(int value) {
    setPainted(max_, value);
}

void CProgressUI::setValue(int value) {
    // Cut to the maximum first, so that an empty range keeps the minimum.
    if (value > max_) {
        value = max_;
    }
    if (value < min_) {
        value = min_;
    }
    setPainted(value_, value);
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
    using P = CProgressUI;
    using V = std::string_view;
    static constexpr AttributeSetter<CProgressUI> ATTRIBUTES[] = {
        {"foreimage", [](P& p, V v) { p.setImageAttribute(p.fore_image_, v); }},
        {"hor", [](P& p, V v) { p.setHorizontal(ParseBool(v)); }},
        {"min", [](P& p, V v) { p.setMinValue(ParseInt(v)); }},
        {"max", [](P& p, V v) { p.setMaxValue(ParseInt(v)); }},
        {"value", [](P& p, V v) { p.setValue(ParseInt(v)); }},
    };
    if (!ApplyAttribute(ATTRIBUTES, *this, name, value)) {
        CLabelUI::setAttribute(name, value);
    }
}

} // namespace inkwarden

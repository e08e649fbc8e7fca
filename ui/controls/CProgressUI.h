#pragma once

#include "ui/controls/CLabelUI.h"

namespace inkwarden {

// A bar filled in proportion to its value.
class CProgressUI : public CLabelUI {
public:
    static constexpr int DEFAULT_HEIGHT = 12;
    static constexpr int DEFAULT_MAX_VALUE = 100;

    CProgressUI();

    const char* getClass() const override { return "Progress"; }
    void* getInterface(std::string_view name) override;
    void setAttribute(std::string_view name, std::string_view value) override;
    void paintStatusImage(DrawContext& dc) override;
    AccessibleRole getAccessibleRole() const override { return AccessibleRole::PROGRESS_BAR; }
    std::optional<AccessibleValue> getAccessibleValue() const override {
        return AccessibleValue{double(min_), double(max_), double(value_)};
    }
    std::optional<std::string> getAccessibleText() const override { return std::nullopt; }
    // The fore image's destination relative to the control for the current value; empty
    // when the value fills nothing.
    UiRect fillRect() const;

    bool isHorizontal() const { return horizontal_; }
    void setHorizontal(bool horizontal);
    int getMinValue() const { return min_; }
    void setMinValue(int value);
    int getMaxValue() const { return max_; }
    void setMaxValue(int value);
    int getValue() const { return value_; }
    // Stores the value clamped into [minimum, maximum].
    void setValue(int value);
    const ImageDescription& getForeImage() const { return fore_image_; }

private:
    bool horizontal_ = true;
    int min_ = 0;
    int max_ = DEFAULT_MAX_VALUE;
    int value_ = 0;
    ImageDescription fore_image_;
};

} // namespace inkwarden

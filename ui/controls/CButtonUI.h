#pragma once

#include "ui/controls/CLabelUI.h"

namespace inkwarden {

// A push button with image states.
class CButtonUI : public CLabelUI {
public:
    CButtonUI();

    const char* getClass() const override { return "Button"; }
    void* getInterface(std::string_view name) override;
    unsigned getControlFlags() const override;
    void setEnabled(bool enabled) override;
    UiSize estimateSize(UiSize available) override;
    void setAttribute(std::string_view name, std::string_view value) override;
    bool activate() override;
    void doEvent(UiEvent& event) override;
    // A button drawn as underlined (or link) markup text is a link; any other a push button.
    AccessibleRole getAccessibleRole() const override;
    std::optional<std::string> getAccessibleText() const override { return std::nullopt; }
    std::string getAccessibleAction() const override { return ACCESSIBLE_ACTION; }
    void paintStatusImage(DrawContext& dc) override;
    void paintText(DrawContext& dc) override;

    // The control's own timer that steps the fade between normal and hot images.
    static constexpr unsigned FADE_TIMER = 11;
    static constexpr unsigned FADE_INTERVAL_MS = 30;
    // The default action: what a click does.
    static constexpr const char* ACCESSIBLE_ACTION = "click";

    unsigned getButtonState() const { return button_state_; }
    const ImageDescription& getNormalImage() const { return normal_image_; }
    const ImageDescription& getHotImage() const { return hot_image_; }
    const ImageDescription& getHotForeImage() const { return hot_fore_image_; }
    const ImageDescription& getPushedImage() const { return pushed_image_; }
    const ImageDescription& getFocusedImage() const { return focused_image_; }
    const ImageDescription& getDisabledImage() const { return disabled_image_; }
    const ImageDescription& getForeImage() const { return fore_image_; }
    // Cut into the five state images once images can be decoded.
    const ImageDescription& getFiveStatusImage() const { return five_status_image_; }
    std::uint32_t getHotBkColor() const { return hot_bk_color_; }
    std::uint32_t getHotTextColor() const { return hot_text_color_; }
    std::uint32_t getPushedTextColor() const { return pushed_text_color_; }
    std::uint32_t getFocusedTextColor() const { return focused_text_color_; }
    int getFadeDelta() const { return fade_delta_; }
    int getFadeAlpha() const { return fade_alpha_; }

protected:
    // The text colour of the button's states, falling back to the label's rule.
    std::uint32_t buttonTextColor() const;
    // The five-state image, once cut into the state images.
    void applyFiveStatusImage();

    unsigned button_state_ = 0;

private:
    // Press, drag and release: the button clicks when released over itself.
    void onPressEvent(const UiEvent& event);
    void onMouseEnter(const UiEvent& event);
    void onMouseLeave(const UiEvent& event);
    // One fade step towards the hot image while hot, back to normal otherwise.
    void stepFade();
    // The hot images; true when a hot-fore image or the hot background colour ends the
    // painting there.
    bool paintHot(DrawContext& dc);
    // The normal image, blended with the hot one while fading back.
    void paintNormal(DrawContext& dc);

    ImageDescription normal_image_;
    ImageDescription hot_image_;
    ImageDescription hot_fore_image_;
    ImageDescription pushed_image_;
    ImageDescription focused_image_;
    ImageDescription disabled_image_;
    ImageDescription fore_image_;
    ImageDescription five_status_image_;
    std::uint32_t hot_bk_color_ = 0;
    std::uint32_t hot_text_color_ = 0;
    std::uint32_t pushed_text_color_ = 0;
    std::uint32_t focused_text_color_ = 0;
    int fade_delta_ = 0;
    int fade_alpha_ = 255;
    bool five_status_applied_ = false;
};

} // namespace inkwarden

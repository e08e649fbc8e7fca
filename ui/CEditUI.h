#pragma once

#include "ui/CLabelUI.h"

namespace inkwarden {

// A single-line edit field. The native edit window it borrows while focused comes with
// the window host.
class CEditUI : public CLabelUI {
public:
    CEditUI();

    const char* getClass() const override { return "Edit"; }
    void* getInterface(std::string_view name) override;
    unsigned getControlFlags() const override { return isEnabled() ? 2u | 1u : 0u; }
    void setEnabled(bool enabled) override;
    UiSize estimateSize(UiSize available) override;
    void setAttribute(std::string_view name, std::string_view value) override;

    int getMaxChar() const { return max_char_; }
    void setMaxChar(int count) { max_char_ = count; }
    bool isReadOnly() const { return read_only_; }
    void setReadOnly(bool read_only);
    bool isPasswordMode() const { return password_; }
    void setPasswordMode(bool password);
    char getPasswordChar() const { return password_char_; }
    bool isAutoSelAll() const { return auto_sel_all_; }
    bool isNumberOnly() const { return number_only_; }
    unsigned getWindowStyles() const { return window_styles_; }
    std::uint32_t getNativeBkColor() const { return native_bk_color_; }
    unsigned getEditState() const { return edit_state_; }
    const ImageDescription& getNormalImage() const { return normal_image_; }
    const ImageDescription& getHotImage() const { return hot_image_; }
    const ImageDescription& getFocusedImage() const { return focused_image_; }
    const ImageDescription& getDisabledImage() const { return disabled_image_; }

private:
    int max_char_ = 255;
    bool read_only_ = false;
    bool password_ = false;
    char password_char_ = '*';
    bool auto_sel_all_ = false;
    bool number_only_ = false;
    unsigned window_styles_ = 0;
    std::uint32_t native_bk_color_ = 0xFFFFFFFF;
    unsigned edit_state_ = 0;
    ImageDescription normal_image_;
    ImageDescription hot_image_;
    ImageDescription focused_image_;
    ImageDescription disabled_image_;
};

} // namespace inkwarden

#pragma once

#include "ui/controls/CLabelUI.h"
#include "ui/native/INativeWindowLayer.h"

namespace inkwarden {

// A single-line edit field. While it has focus it borrows a native edit window of the
// layer, which takes the keys and reports changes back.
class CEditUI : public CLabelUI {
public:
    static constexpr std::uint32_t OPAQUE_WHITE = 0xFFFFFFFF;
    static constexpr UiRect DEFAULT_TEXT_PADDING{4, 3, 4, 3};
    static constexpr int DEFAULT_MAX_CHAR = 255;

    CEditUI();
    ~CEditUI() override;

    const char* getClass() const override { return "Edit"; }
    void* getInterface(std::string_view name) override;
    unsigned getControlFlags() const override {
        return isEnabled() ? FLAG_SET_CURSOR | FLAG_TAB_STOP : 0u;
    }
    void setEnabled(bool enabled) override;
    UiSize estimateSize(UiSize available) override;
    void setAttribute(std::string_view name, std::string_view value) override;
    void setText(std::string_view text) override;
    // A hidden edit gives up its native window, which would otherwise stay on screen.
    void setVisible(bool visible) override;
    void setInternVisible(bool visible) override;
    void doEvent(UiEvent& event) override;
    // The field's words are its content, not its name: the name is the tooltip or the
    // accessible-name attribute (a skin names the field after its label).
    AccessibleRole getAccessibleRole() const override { return AccessibleRole::TEXT_ENTRY; }
    std::string getAccessibleName() const override { return accessibleNameWithoutText(); }
    unsigned getAccessibleStates() const override;
    std::optional<std::string> getAccessibleText() const override;
    void paintStatusImage(DrawContext& dc) override;
    void paintText(DrawContext& dc) override;

    // The native edit window while editing, else 0.
    NativeWindowId getEditWindow() const { return edit_window_; }
    // Where the native window goes: the padded item rectangle, narrowed to a band of the
    // font's height, clipped by every visible ancestor (empty when one is hidden).
    UiRect editWindowRect() const;

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
    // A click while enabled: the native window opens, or takes the click when open.
    void onButtonDown(const UiEvent& event, bool editing);
    void createEditWindow();
    void destroyEditWindow();
    LRESULT editMessage(UINT message, WPARAM wparam, LPARAM lparam);

    NativeWindowId edit_window_ = 0;
    INativeWindowLayer* edit_layer_ = nullptr;
    bool edit_initialised_ = false;
    int max_char_ = DEFAULT_MAX_CHAR;
    bool read_only_ = false;
    bool password_ = false;
    char password_char_ = '*';
    bool auto_sel_all_ = false;
    bool number_only_ = false;
    unsigned window_styles_ = 0;
    // Opaque white leaves the native edit its own background.
    std::uint32_t native_bk_color_ = OPAQUE_WHITE;
    unsigned edit_state_ = 0;
    ImageDescription normal_image_;
    ImageDescription hot_image_;
    ImageDescription focused_image_;
    ImageDescription disabled_image_;
};

} // namespace inkwarden

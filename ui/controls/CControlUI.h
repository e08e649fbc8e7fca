#pragma once

#include "ui/base/Notification.h"
#include "ui/base/UiEvent.h"
#include "ui/base/UiGeometry.h"
#include "ui/draw/ImageDescription.h"
#include "ui/native/AccessibleNode.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace inkwarden {

class DrawContext;
class PaintManager;

struct FloatPercent {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// The base of every control and layout: geometry, visibility, the common attributes,
// events from the paint manager and painting in a fixed order of steps.
class CControlUI {
public:
    static constexpr int MAX_SIZE = 9999;
    // Alpha of an image drawn without fading.
    static constexpr int OPAQUE_ALPHA = 255;

    // What a control asks of the paint manager, as bits of getControlFlags.
    enum ControlFlag : unsigned {
        FLAG_TAB_STOP = 0x1,   // Tab may move focus to it
        FLAG_SET_CURSOR = 0x2, // it sets the cursor while the mouse is over it
    };

    // The state bits of the controls that paint by state (buttons, options, edits).
    enum ControlState : unsigned {
        STATE_FOCUSED = 0x01,
        STATE_SELECTED = 0x02,
        STATE_DISABLED = 0x04,
        STATE_HOT = 0x08,
        STATE_PUSHED = 0x10,
        STATE_CAPTURED = 0x40,
    };

    CControlUI();
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    virtual std::string getName() const { return name_; }
    virtual void setName(std::string_view name) { name_.assign(name); }
    virtual const char* getClass() const { return "Control"; }
    // The object itself when `name` is the class text, else nothing.
    virtual void* getInterface(std::string_view name);
    virtual unsigned getControlFlags() const { return 0; }

    // `init` registers named controls of the subtree with the manager.
    virtual void setManager(PaintManager* manager, CControlUI* parent, bool init = true);
    PaintManager* getManager() const { return manager_; }
    CControlUI* getParent() const { return parent_; }

    virtual std::string getText() const { return text_; }
    virtual void setText(std::string_view text);

    // Geometry.
    const UiRect& getPos() const { return item_; }
    virtual void setPos(UiRect rect, bool invalidate = true);
    UiPoint getFixedXY() const { return fixed_xy_; }
    virtual void setFixedXY(UiPoint xy);
    int getFixedWidth() const { return fixed_width_; }
    virtual void setFixedWidth(int cx);
    int getFixedHeight() const { return fixed_height_; }
    virtual void setFixedHeight(int cy);
    int getMinWidth() const { return min_width_; }
    virtual void setMinWidth(int cx);
    int getMaxWidth() const { return max_width_; }
    virtual void setMaxWidth(int cx);
    int getMinHeight() const { return min_height_; }
    virtual void setMinHeight(int cy);
    int getMaxHeight() const { return max_height_; }
    virtual void setMaxHeight(int cy);
    const UiRect& getPadding() const { return padding_; }
    virtual void setPadding(UiRect padding);
    const FloatPercent& getFloatPercent() const { return float_percent_; }
    virtual void setFloatPercent(FloatPercent percent);
    virtual bool isFloat() const { return float_; }
    virtual void setFloat(bool value);
    virtual UiSize estimateSize(UiSize available);

    // Visibility: the control's own flag and the flag its parent passes down.
    virtual bool isVisible() const { return visible_ && intern_visible_; }
    bool isOwnVisible() const { return visible_; }
    virtual void setVisible(bool visible);
    virtual void setInternVisible(bool visible);
    virtual bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool enabled);
    virtual bool isMouseEnabled() const { return mouse_enabled_; }
    virtual void setMouseEnabled(bool enabled) { mouse_enabled_ = enabled; }
    virtual bool isKeyboardEnabled() const { return keyboard_enabled_; }
    virtual void setKeyboardEnabled(bool enabled) { keyboard_enabled_ = enabled; }
    virtual bool isFocused() const { return focused_; }
    virtual void setFocus();
    // Called by the manager when focus moves; records the flag only.
    void setFocusedFlag(bool focused) { focused_ = focused; }

    bool isUpdateNeeded() const { return update_needed_; }
    void needUpdate();
    void needParentUpdate();
    void invalidate();

    // A control drawn over this one and asked first by hit-testing; owned.
    CControlUI* getCover() const { return cover_.get(); }
    void setCover(CControlUI* cover);

    // Succeeds when the control is visible and enabled; buttons click on success.
    virtual bool activate();
    // The deepest visible, mouse-enabled control under a client point, or nothing.
    virtual CControlUI* findControl(UiPoint point);
    // On-event handlers first; any that answers false stops the event before doEvent.
    virtual void handleEvent(UiEvent& event);
    virtual void doEvent(UiEvent& event);

    virtual void setAttribute(std::string_view name, std::string_view value);
    // name="value" pairs, separated by one space; a malformed pair ends the list.
    void applyAttributeList(std::string_view list);
    // Unrecognised attributes, first value per name.
    std::string getCustomAttribute(std::string_view name) const;

    // The plain properties.
    const std::string& getToolTip() const { return tooltip_; }
    void setToolTip(std::string_view text);
    const std::string& getUserData() const { return user_data_; }
    void setUserData(std::string_view text) { user_data_.assign(text); }
    std::intptr_t getTag() const { return tag_; }
    void setTag(std::intptr_t tag) { tag_ = tag; }
    char getShortcut() const { return shortcut_; }
    void setShortcut(char c) { shortcut_ = c; }
    std::uint32_t getBkColor() const { return bk_color_; }
    void setBkColor(std::uint32_t color);
    std::uint32_t getBkColor2() const { return bk_color2_; }
    void setBkColor2(std::uint32_t color);
    std::uint32_t getBkColor3() const { return bk_color3_; }
    void setBkColor3(std::uint32_t color);
    std::uint32_t getBorderColor() const { return border_color_; }
    void setBorderColor(std::uint32_t color);
    std::uint32_t getFocusBorderColor() const { return focus_border_color_; }
    void setFocusBorderColor(std::uint32_t color);
    bool isColorHsl() const { return color_hsl_; }
    const UiRect& getBorderSize() const { return border_size_; }
    void setBorderSize(UiRect size);
    int getBorderStyle() const { return border_style_; }
    UiSize getBorderRound() const { return border_round_; }
    void setBorderRound(UiSize round);
    const ImageDescription& getBkImage() const { return bk_image_; }
    void setBkImage(std::string_view text);
    bool isContextMenuUsed() const { return menu_used_; }
    const std::string& getVirtualWnd() const { return virtual_wnd_; }

    // What a screen reader learns of the control. The name is the control's text (as
    // shown, without markup); else its tooltip; else the "accessiblename" attribute, which a
    // skin sets where the words are painted into an image.
    virtual AccessibleRole getAccessibleRole() const;
    virtual std::string getAccessibleName() const;
    virtual unsigned getAccessibleStates() const;
    virtual std::optional<AccessibleValue> getAccessibleValue() const { return std::nullopt; }
    // The words the control holds, for controls that hold words (labels, edit fields).
    virtual std::optional<std::string> getAccessibleText() const { return std::nullopt; }
    // The name of the default action (what activate() does), empty without one.
    virtual std::string getAccessibleAction() const { return {}; }
    const std::string& getAccessibleNameAttribute() const { return accessible_name_; }
    void setAccessibleNameAttribute(std::string_view name);

    // Paints the part of the control inside paint: background colour, background image,
    // status image, text, border; clipped to the border round when one is set.
    virtual void doPaint(DrawContext& dc, const UiRect& paint);
    virtual void paintBkColor(DrawContext& dc);
    virtual void paintBkImage(DrawContext& dc);
    virtual void paintStatusImage(DrawContext& dc);
    virtual void paintText(DrawContext& dc);
    virtual void paintBorder(DrawContext& dc);

    // Handlers other code attaches; notify handlers run before the manager's notifiers.
    std::vector<std::function<bool(CControlUI*)>> on_init;
    std::vector<std::function<bool(CControlUI*)>> on_size;
    std::vector<std::function<bool(Notification&)>> on_notify;
    std::vector<std::function<bool(UiEvent&)>> on_event;

protected:
    // Stores a property that only shows when painted, and repaints.
    template <typename T> void setPainted(T& field, T value) {
        field = value;
        invalidate();
    }
    // Stores a property of the geometry, and asks the parent for a layout.
    template <typename T> void setLaidOut(T& field, T value) {
        field = value;
        needParentUpdate();
    }
    static void setStateBit(unsigned& state, unsigned bit, bool on) {
        state = on ? state | bit : state & ~bit;
    }
    // The focused and disabled bits follow the control before it paints by state.
    void syncFocusAndEnabledBits(unsigned& state) const {
        setStateBit(state, STATE_FOCUSED, isFocused());
        setStateBit(state, STATE_DISABLED, !isEnabled());
    }
    // Assigns an image attribute: the same text with the image loaded changes nothing.
    void setImageAttribute(ImageDescription& image, std::string_view text);
    void sendNotify(const char* type, std::intptr_t wparam = 0, std::intptr_t lparam = 0);
    // The name without the control's text: the tooltip, else the attribute.
    std::string accessibleNameWithoutText() const;
    // Draws an image description over the item rectangle (or over dest, given relative to
    // it), with fade scaled by alpha / 255. False when nothing could be drawn.
    bool drawImage(DrawContext& dc, ImageDescription& image, const UiRect* dest = nullptr,
                   int alpha = OPAQUE_ALPHA);
    // The part of the item rectangle being painted; set by doPaint.
    UiRect paint_rect_;

    PaintManager* manager_ = nullptr;
    CControlUI* parent_ = nullptr;
    std::string name_;
    std::string text_;
    UiRect item_;

private:
    // Minimum and maximum sizes: negative values and the same value change nothing.
    void setSizeLimit(int& limit, int value);
    // The attributes that set several properties at once.
    void setPosAttribute(UiRect pos);
    void setFloatAttribute(std::string_view value);
    // Names that no class knows: the first non-empty value per non-empty name is kept.
    void setCustomAttribute(std::string_view name, std::string_view value);
    void invalidateWithinAncestors(UiRect area);

    std::string tooltip_;
    std::string accessible_name_;
    std::string user_data_;
    std::string virtual_wnd_;
    std::intptr_t tag_ = 0;
    char shortcut_ = 0;
    std::uint32_t bk_color_ = 0;
    std::uint32_t bk_color2_ = 0;
    std::uint32_t bk_color3_ = 0;
    std::uint32_t border_color_ = 0;
    std::uint32_t focus_border_color_ = 0;
    bool color_hsl_ = false;
    UiRect border_size_;
    int border_style_ = 0;
    UiSize border_round_;
    ImageDescription bk_image_;

    UiPoint fixed_xy_;
    int fixed_width_ = 0;
    int fixed_height_ = 0;
    int min_width_ = 0;
    int min_height_ = 0;
    int max_width_ = MAX_SIZE;
    int max_height_ = MAX_SIZE;
    UiRect padding_;
    bool float_ = false;
    FloatPercent float_percent_;

    bool visible_ = true;
    bool intern_visible_ = true;
    bool enabled_ = true;
    bool mouse_enabled_ = true;
    bool keyboard_enabled_ = true;
    bool focused_ = false;
    bool menu_used_ = false;
    bool update_needed_ = true;

    std::unique_ptr<CControlUI> cover_;
    std::vector<std::pair<std::string, std::string>> custom_attributes_;
};

} // namespace inkwarden

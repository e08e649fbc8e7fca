#pragma once

#include "ui/base/UiEvent.h"
#include "ui/base/UiGeometry.h"
#include "ui/base/WinMessages.h"
#include "ui/native/INativeWindowLayer.h"

#include <cstdint>
#include <vector>

namespace inkwarden {

class CControlUI;
class IMessageFilterUI;
class PaintManager;

// Where a window's keyboard and mouse go: the focused, hot, pressed and key-pressed
// controls, the mouse capture, the modifier keys, Tab order and shortcuts, hover tracking
// and the tooltip. Its manager dispatches the input messages to it and reaches the tree
// through it only by the manager's public operations. UI thread only.
class InputRouter {
public:
    // How long the mouse rests on a control before it counts as hovering.
    static constexpr unsigned DEFAULT_HOVER_TIME_MS = 1000;
    // The focus ring lies this far outside the focused control: an outer band in the focus
    // ring colour, then an inner line in its second colour.
    static constexpr int FOCUS_RING_OUTSET = 3;
    static constexpr int FOCUS_RING_INNER = 1;

    explicit InputRouter(PaintManager& manager);
    InputRouter(const InputRouter&) = delete;
    InputRouter& operator=(const InputRouter&) = delete;

    // The window whose input this is; a null layer routes to controls without one.
    void bind(INativeWindowLayer* layer, NativeWindowId window);
    // Drops every reference into the tree (a new tree or a new window), without events.
    void forgetTree();
    // Forgets a control that goes away; a capture it held is let go.
    void forget(CControlUI* control);

    // The time stamp of events and notifications: the layer's clock, else the monotonic one.
    std::uint64_t now() const;
    UiEvent makeEvent(UiEventKind kind, CControlUI* sender, UiPoint point, WPARAM wparam = 0,
                      LPARAM lparam = 0, WPARAM key_state = 0) const;
    void sendEvent(CControlUI* control, UiEvent event);
    // An event at the last mouse position with the modifier keys' state.
    void sendAtMouse(CControlUI* control, UiEventKind kind, WPARAM wparam, LPARAM lparam);

    // Keys. Modifiers are followed on every message the window and its children get.
    void trackKey(UINT message, WPARAM wparam);
    WPARAM keyState() const;
    void addPreMessageFilter(IMessageFilterUI* filter);
    void removePreMessageFilter(IMessageFilterUI* filter);
    void clearPreMessageFilters();
    // The look before dispatch: pre-message filters, then Tab moves focus, Alt keys go to
    // the focused control, and a system character activates the control with that shortcut.
    bool preMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    bool onKeyDownOrChar(UINT message, WPARAM wparam, LPARAM lparam);
    bool onKeyUp(WPARAM wparam, LPARAM lparam);

    // Mouse.
    void noteMousePosition(UiPoint point) { last_mouse_ = point; }
    UiPoint mousePosition() const { return last_mouse_; }
    bool onMouseMove(WPARAM wparam, LPARAM lparam);
    bool onButtonDown(UINT message, WPARAM wparam, LPARAM lparam);
    bool onButtonUp(WPARAM wparam, LPARAM lparam);
    bool onContextMenu(WPARAM wparam, LPARAM lparam);
    bool onMouseWheel(WPARAM wparam, LPARAM lparam);
    bool onMouseHover(WPARAM wparam);
    bool onMouseLeave();
    bool onSetCursor(WPARAM wparam, LPARAM lparam, LRESULT& result);
    // The window closes: mouse and focus let go, the keyboard back to the owner.
    void onClose();
    // The window lost the keyboard to one of its native children: their control is focused.
    void onKillFocus(WPARAM wparam);
    unsigned hoverTime() const { return hover_time_; }
    void setHoverTime(unsigned ms) { hover_time_ = ms; }
    CControlUI* hot() const { return hot_; }
    CControlUI* pressed() const { return pressed_; }
    void addMouseLeaveNeeded(CControlUI* control);
    void removeMouseLeaveNeeded(CControlUI* control);

    // Capture.
    void setCapture();
    void releaseCapture();
    bool isCaptured() const { return captured_; }

    // Focus.
    CControlUI* focus() const { return focus_; }
    void setFocus(CControlUI* control, bool focus_window);
    void setFocusByKeyboard(CControlUI* control);
    // The next (or previous) tab stop among the visible, enabled controls, wrapping around;
    // while the tree waits for layout, focus waits for the next paint.
    bool focusNext(bool forward);
    // Focus is placed by the next paint: on the control, or without one on the first stop.
    void needFocus(CControlUI* control = nullptr);
    bool isFocusNeeded() const { return focus_needed_; }
    // The paint's step: focus that waited for a layout is placed, once none is pending.
    void placePendingFocus(const UiRect& client);
    bool isFocusRingShown() const { return focus_ring_shown_; }
    void showFocusRing(bool shown);
    static UiRect focusRingRect(const CControlUI* control);

private:
    // Tab moves focus; Alt keys go to the focused control; a system character activates.
    bool onTabKey(WPARAM wparam);
    bool onSysKeyDown(WPARAM wparam, LPARAM lparam);
    bool onSysChar(WPARAM wparam);
    // A key event: the character is the message's wParam, the key state Shift/Control/Alt.
    UiEvent makeKeyEvent(UiEventKind kind, CControlUI* sender, WPARAM wparam, LPARAM lparam) const;
    // The hot control becomes `under`: leave and enter events, the tooltip hidden.
    void changeHot(CControlUI* under, UiPoint point, WPARAM key_state);
    // The pressed control gets a last event of `kind` and is forgotten.
    void releasePressed(UiEventKind kind, UiPoint point, WPARAM wparam, LPARAM lparam,
                        WPARAM key_state);
    void hideTooltip();
    // A mouse move at a point, through the manager's whole dispatch (its filters too).
    void resendMouseMove(UiPoint point);

    PaintManager& manager_;
    INativeWindowLayer* layer_ = nullptr;
    NativeWindowId window_ = 0;

    CControlUI* focus_ = nullptr;
    CControlUI* hot_ = nullptr;
    CControlUI* pressed_ = nullptr;
    CControlUI* key_pressed_ = nullptr;
    CControlUI* pending_focus_ = nullptr;
    bool focus_needed_ = false;
    bool focus_ring_shown_ = false;
    bool captured_ = false;
    bool mouse_tracking_ = false;
    bool tooltip_shown_ = false;
    UiPoint last_mouse_;
    unsigned hover_time_ = DEFAULT_HOVER_TIME_MS;
    bool shift_down_ = false;
    bool control_down_ = false;
    bool alt_down_ = false;

    std::vector<IMessageFilterUI*> pre_filters_;
    std::vector<CControlUI*> mouse_leave_;
};

} // namespace inkwarden

#include "ui/runtime/InputRouter.h"

#include "ui/controls/CControlUI.h"
#include "ui/controls/ForEachControl.h"
#include "ui/runtime/PaintManager.h"
#include "ui/runtime/Registrations.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace inkwarden {
namespace {

UiPoint PointOf(LPARAM lparam) {
    return UiPoint{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
}

// Alt in the key state of key events, beside MK_SHIFT and MK_CONTROL.
constexpr WPARAM MK_ALT = 0x0020;

} // namespace

InputRouter::InputRouter(PaintManager& manager) : manager_(manager) {}

void InputRouter::bind(INativeWindowLayer* layer, NativeWindowId window) {
    layer_ = layer;
    window_ = window;
}

void InputRouter::forgetTree() {
    focus_ = nullptr;
    hot_ = nullptr;
    pressed_ = nullptr;
    key_pressed_ = nullptr;
    pending_focus_ = nullptr;
    mouse_leave_.clear();
}

void InputRouter::forget(CControlUI* control) {
    if (focus_ == control) {
        focus_ = nullptr;
    }
    if (hot_ == control) {
        hot_ = nullptr;
    }
    if (pressed_ == control) {
        pressed_ = nullptr;
        // The mouse was held for this control alone; kept, it would freeze the hot
        // control and keep the pointer grabbed until some later button-up.
        releaseCapture();
    }
    if (key_pressed_ == control) {
        key_pressed_ = nullptr;
    }
    if (pending_focus_ == control) {
        pending_focus_ = nullptr;
    }
    std::erase(mouse_leave_, control);
}

std::uint64_t InputRouter::now() const {
    if (layer_ != nullptr) {
        return layer_->tickCount();
    }
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

UiEvent InputRouter::makeEvent(UiEventKind kind, CControlUI* sender, UiPoint point, WPARAM wparam,
                               LPARAM lparam, WPARAM key_state) const {
    UiEvent event;
    event.kind = kind;
    event.sender = sender;
    event.timestamp = static_cast<std::uint32_t>(now());
    event.point = point;
    event.wparam = wparam;
    event.lparam = lparam;
    event.key_state = key_state;
    return event;
}

UiEvent InputRouter::makeKeyEvent(UiEventKind kind, CControlUI* sender, WPARAM wparam,
                                  LPARAM lparam) const {
    UiEvent event = makeEvent(kind, sender, last_mouse_, wparam, lparam, keyState());
    event.character = static_cast<char32_t>(wparam);
    return event;
}

void InputRouter::sendEvent(CControlUI* control, UiEvent event) {
    if (control != nullptr) {
        event.sender = control;
        control->handleEvent(event);
    }
}

void InputRouter::sendAtMouse(CControlUI* control, UiEventKind kind, WPARAM wparam, LPARAM lparam) {
    sendEvent(control, makeEvent(kind, control, last_mouse_, wparam, lparam, keyState()));
}

// Keys.

void InputRouter::trackKey(UINT message, WPARAM wparam) {
    const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    const bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
    if (!down && !up) {
        return;
    }
    if (wparam == VK_SHIFT) {
        shift_down_ = down;
    } else if (wparam == VK_CONTROL) {
        control_down_ = down;
    } else if (wparam == VK_MENU) {
        alt_down_ = down;
    }
}

WPARAM InputRouter::keyState() const {
    return (shift_down_ ? MK_SHIFT : 0) | (control_down_ ? MK_CONTROL : 0) |
           (alt_down_ ? MK_ALT : 0);
}

void InputRouter::addPreMessageFilter(IMessageFilterUI* filter) {
    AppendOnce(pre_filters_, filter);
}

void InputRouter::removePreMessageFilter(IMessageFilterUI* filter) {
    std::erase(pre_filters_, filter);
}

void InputRouter::clearPreMessageFilters() {
    pre_filters_.clear();
}

bool InputRouter::preMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (RunMessageFilters(pre_filters_, message, wparam, lparam, result)) {
        return true;
    }
    switch (message) {
    case WM_KEYDOWN:
        return onTabKey(wparam);
    case WM_SYSKEYDOWN:
        return onSysKeyDown(wparam, lparam);
    case WM_SYSCHAR:
        return onSysChar(wparam);
    default:
        return false;
    }
}

bool InputRouter::onTabKey(WPARAM wparam) {
    if (wparam != VK_TAB) {
        return false;
    }
    showFocusRing(true);
    focusNext(!shift_down_);
    return true;
}

bool InputRouter::onSysKeyDown(WPARAM wparam, LPARAM lparam) {
    if (focus_ != nullptr) {
        sendEvent(focus_, makeKeyEvent(UiEventKind::SYSKEY, focus_, wparam, lparam));
    }
    return false;
}

bool InputRouter::onSysChar(WPARAM wparam) {
    // The control whose shortcut is the typed character takes focus and activates; hidden
    // and disabled subtrees are passed over.
    CControlUI* root = manager_.getRoot();
    if (root == nullptr) {
        return false;
    }
    const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(wparam)));
    CControlUI* found = nullptr;
    ForEachControl(root, [&](CControlUI* c) {
        if (!c->isVisible() || !c->isEnabled()) {
            return VisitResult::SKIP_CHILDREN;
        }
        if (c->getShortcut() != 0 &&
            std::toupper(static_cast<unsigned char>(c->getShortcut())) == wanted) {
            found = c;
            return VisitResult::STOP;
        }
        return VisitResult::CONTINUE;
    });
    if (found == nullptr) {
        return false;
    }
    setFocusByKeyboard(found);
    found->activate();
    return true;
}

bool InputRouter::onKeyDownOrChar(UINT message, WPARAM wparam, LPARAM lparam) {
    if (focus_ == nullptr) {
        return false;
    }
    CControlUI* control = focus_;
    const UiEventKind kind = message == WM_KEYDOWN ? UiEventKind::KEYDOWN : UiEventKind::CHAR;
    const UiEvent event = makeKeyEvent(kind, control, wparam, lparam);
    if (message == WM_KEYDOWN) {
        key_pressed_ = control;
    }
    sendEvent(control, event);
    return false;
}

bool InputRouter::onKeyUp(WPARAM wparam, LPARAM lparam) {
    // Key-up goes to the control that got the key-down, wherever the focus is now.
    if (key_pressed_ == nullptr) {
        return false;
    }
    CControlUI* control = key_pressed_;
    key_pressed_ = nullptr;
    sendEvent(control, makeKeyEvent(UiEventKind::KEYUP, control, wparam, lparam));
    return false;
}

// Mouse.

bool InputRouter::onMouseMove(WPARAM wparam, LPARAM lparam) {
    // Hover and leave are tracked from the first move on.
    if (!mouse_tracking_ && layer_ != nullptr) {
        layer_->trackMouse(window_, hover_time_);
        mouse_tracking_ = true;
    }
    const UiPoint pt = PointOf(lparam);
    last_mouse_ = pt;
    CControlUI* under = manager_.findControl(pt);
    if (under != nullptr && under->getManager() != &manager_) {
        return false; // another manager's control
    }
    if (!captured_ && under != hot_) {
        changeHot(under, pt, wparam);
    }
    // The pressed control follows the mouse wherever it goes.
    CControlUI* target = pressed_ != nullptr ? pressed_ : under;
    if (target != nullptr) {
        sendEvent(target, makeEvent(UiEventKind::MOUSEMOVE, target, pt, 0, 0, wparam));
    }
    return false;
}

void InputRouter::changeHot(CControlUI* under, UiPoint point, WPARAM key_state) {
    if (hot_ != nullptr || !mouse_leave_.empty()) {
        if (hot_ != nullptr) {
            sendEvent(hot_, makeEvent(UiEventKind::MOUSELEAVE, hot_, point, 0, 0, key_state));
        }
        auto leaving = mouse_leave_; // a handler may change the list
        for (CControlUI* c : leaving) {
            if (c != hot_) {
                sendEvent(c, makeEvent(UiEventKind::MOUSELEAVE, c, point, 0, 0, key_state));
            }
        }
        hot_ = nullptr;
        hideTooltip();
    }
    if (under != nullptr) {
        hot_ = under;
        sendEvent(under, makeEvent(UiEventKind::MOUSEENTER, under, point, 0, 0, key_state));
    }
}

bool InputRouter::onButtonDown(UINT message, WPARAM wparam, LPARAM lparam) {
    // A click activates the window unless it is marked not to.
    if (!manager_.isNoActivate() && layer_ != nullptr && layer_->focus() != window_) {
        layer_->setFocus(window_);
    }
    const UiPoint pt = PointOf(lparam);
    last_mouse_ = pt;
    // The mouse has taken over: the focus no longer shows its ring.
    showFocusRing(false);
    CControlUI* control = manager_.findControl(pt);
    if (control == nullptr || control->getManager() != &manager_) {
        return false;
    }
    switch (message) {
    case WM_LBUTTONDOWN:
        pressed_ = control;
        setFocus(control, true);
        setCapture();
        sendEvent(control, makeEvent(UiEventKind::BUTTONDOWN, control, pt, wparam, lparam, wparam));
        break;
    case WM_LBUTTONDBLCLK:
        // A double click does not move the focus.
        pressed_ = control;
        setCapture();
        sendEvent(control, makeEvent(UiEventKind::DBLCLICK, control, pt, wparam, lparam, wparam));
        break;
    default:
        // The right button presses without capturing the mouse.
        setFocus(control, true);
        sendEvent(control,
                  makeEvent(UiEventKind::RBUTTONDOWN, control, pt, wparam, lparam, wparam));
        pressed_ = control;
        break;
    }
    return false;
}

bool InputRouter::onButtonUp(WPARAM wparam, LPARAM lparam) {
    const UiPoint pt = PointOf(lparam);
    last_mouse_ = pt;
    releaseCapture();
    releasePressed(UiEventKind::BUTTONUP, pt, wparam, lparam, wparam);
    return false;
}

bool InputRouter::onContextMenu(WPARAM wparam, LPARAM lparam) {
    releasePressed(UiEventKind::CONTEXTMENU, last_mouse_, wparam, lparam, keyState());
    return false;
}

void InputRouter::releasePressed(UiEventKind kind, UiPoint point, WPARAM wparam, LPARAM lparam,
                                 WPARAM key_state) {
    if (pressed_ == nullptr) {
        return;
    }
    // Forgotten first: the event may press something else.
    CControlUI* pressed = pressed_;
    pressed_ = nullptr;
    sendEvent(pressed, makeEvent(kind, pressed, point, wparam, lparam, key_state));
}

bool InputRouter::onMouseWheel(WPARAM wparam, LPARAM lparam) {
    // Wheel positions are screen points; the last client position is the one used.
    CControlUI* control = manager_.findControl(last_mouse_);
    if (control == nullptr || control->getManager() != &manager_) {
        return false;
    }
    const WPARAM towards_user = GET_WHEEL_DELTA_WPARAM(wparam) < 0 ? 1 : 0;
    sendEvent(control, makeEvent(UiEventKind::SCROLLWHEEL, control, last_mouse_, towards_user,
                                 lparam, LOWORD(wparam)));
    // The content may have moved under the mouse.
    resendMouseMove(last_mouse_);
    return false;
}

bool InputRouter::onMouseHover(WPARAM wparam) {
    if (hot_ == nullptr) {
        return false;
    }
    if (!hot_->getToolTip().empty() && layer_ != nullptr) {
        layer_->showTooltip(window_, hot_->getToolTip(), last_mouse_);
        tooltip_shown_ = true;
    }
    sendEvent(hot_, makeEvent(UiEventKind::MOUSEHOVER, hot_, last_mouse_, 0, 0, wparam));
    return false;
}

bool InputRouter::onMouseLeave() {
    hideTooltip();
    if (!mouse_tracking_) {
        return false;
    }
    mouse_tracking_ = false;
    // Still over the client area (a native child took the mouse): move there. Otherwise a
    // move outside the window ends the hot state.
    UiPoint pt{-1, -1};
    if (layer_ != nullptr && layer_->focus() == window_) {
        const UiPoint cursor = layer_->cursorPosition(window_);
        if (manager_.getClientRect().contains(cursor)) {
            pt = cursor;
        }
    }
    resendMouseMove(pt);
    // Tracking starts again with the next real move.
    mouse_tracking_ = false;
    return false;
}

void InputRouter::resendMouseMove(UiPoint point) {
    LRESULT ignored = 0;
    manager_.messageHandler(WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y), ignored);
}

bool InputRouter::onSetCursor(WPARAM wparam, LPARAM lparam, LRESULT& result) {
    // Client area only, and not while the mouse is captured.
    if (LOWORD(static_cast<std::uintptr_t>(lparam)) != HTCLIENT || captured_ || layer_ == nullptr) {
        return false;
    }
    const UiPoint pt = layer_->cursorPosition(window_);
    CControlUI* control = manager_.findControl(pt);
    if (control == nullptr || (control->getControlFlags() & CControlUI::FLAG_SET_CURSOR) == 0) {
        return false;
    }
    sendEvent(control, makeEvent(UiEventKind::SETCURSOR, control, pt, wparam, lparam, keyState()));
    result = 1;
    return true;
}

void InputRouter::onClose() {
    // Let go of the mouse and the focus, hand the keyboard back to the owner, drop the
    // tooltip.
    if (hot_ != nullptr) {
        sendEvent(hot_, makeEvent(UiEventKind::MOUSELEAVE, hot_, last_mouse_));
        hot_ = nullptr;
    }
    releasePressed(UiEventKind::BUTTONUP, last_mouse_, 0, 0, 0);
    setFocus(nullptr, false);
    if (layer_ != nullptr && layer_->focus() == window_) {
        const NativeWindowId owner = layer_->parentOf(window_);
        if (owner != 0) {
            layer_->setFocus(owner);
        }
    }
    hideTooltip();
}

void InputRouter::onKillFocus(WPARAM wparam) {
    const auto to = static_cast<NativeWindowId>(wparam);
    if (CControlUI* owner = manager_.getNativeWindowOwner(to)) {
        if (owner != focus_) {
            setFocus(owner, false);
        }
    }
}

void InputRouter::hideTooltip() {
    if (tooltip_shown_ && layer_ != nullptr) {
        layer_->hideTooltip(window_);
        tooltip_shown_ = false;
    }
}

void InputRouter::addMouseLeaveNeeded(CControlUI* control) {
    AppendOnce(mouse_leave_, control);
}

void InputRouter::removeMouseLeaveNeeded(CControlUI* control) {
    std::erase(mouse_leave_, control);
}

// Capture.

void InputRouter::setCapture() {
    if (layer_ != nullptr && window_ != 0) {
        layer_->setCapture(window_);
    }
    captured_ = true;
}

void InputRouter::releaseCapture() {
    if (captured_ && layer_ != nullptr) {
        layer_->releaseCapture();
    }
    captured_ = false;
}

// Focus.

void InputRouter::setFocus(CControlUI* control, bool focus_window) {
    if (focus_window && layer_ != nullptr && window_ != 0 && !manager_.isNoActivate() &&
        control != focus_ && layer_->focus() != window_) {
        layer_->setFocus(window_);
    }
    if (control == focus_) {
        return;
    }
    if (focus_ring_shown_) {
        // The ring leaves the old control and comes to the new one.
        manager_.invalidate(focusRingRect(focus_));
        manager_.invalidate(focusRingRect(control));
    }
    if (focus_ != nullptr) {
        CControlUI* old = focus_;
        focus_ = nullptr;
        sendEvent(old, makeEvent(UiEventKind::KILLFOCUS, old, last_mouse_));
        old->setFocusedFlag(false);
        manager_.sendNotify(old, "killfocus");
    }
    if (control != nullptr && control->getManager() == &manager_ && control->isVisible() &&
        control->isEnabled()) {
        focus_ = control;
        sendEvent(control, makeEvent(UiEventKind::SETFOCUS, control, last_mouse_));
        control->setFocusedFlag(true);
        manager_.sendNotify(control, "setfocus");
    }
}

void InputRouter::setFocusByKeyboard(CControlUI* control) {
    showFocusRing(true);
    setFocus(control, true);
}

void InputRouter::showFocusRing(bool shown) {
    if (focus_ring_shown_ == shown) {
        return;
    }
    focus_ring_shown_ = shown;
    manager_.invalidate(focusRingRect(focus_));
}

UiRect InputRouter::focusRingRect(const CControlUI* control) {
    if (control == nullptr) {
        return {};
    }
    const UiRect& r = control->getPos();
    return {r.left - FOCUS_RING_OUTSET, r.top - FOCUS_RING_OUTSET, r.right + FOCUS_RING_OUTSET,
            r.bottom + FOCUS_RING_OUTSET};
}

void InputRouter::needFocus(CControlUI* control) {
    pending_focus_ = control;
    focus_needed_ = true;
}

bool InputRouter::focusNext(bool forward) {
    CControlUI* root = manager_.getRoot();
    if (root == nullptr) {
        return false;
    }
    // While the tree is being laid out, focus waits for the next paint.
    if (forward && (manager_.isLayoutNeeded() || manager_.isUpdateNeeded())) {
        focus_needed_ = true;
        manager_.invalidateAll();
        return true;
    }
    // Visible, enabled controls in tree order; tab stops among them are candidates.
    std::vector<CControlUI*> order;
    ForEachControl(root, [&order](CControlUI* c) {
        if (!c->isVisible() || !c->isEnabled()) {
            return VisitResult::SKIP_CHILDREN;
        }
        order.push_back(c);
        return VisitResult::CONTINUE;
    });
    auto is_stop = [](CControlUI* c) {
        return (c->getControlFlags() & CControlUI::FLAG_TAB_STOP) != 0 && c->isKeyboardEnabled();
    };
    const auto at = std::find(order.begin(), order.end(), focus_);
    const long n = static_cast<long>(order.size());
    const long start = at == order.end() ? (forward ? -1 : n) : at - order.begin();
    CControlUI* next = nullptr;
    for (long step = 1; step <= n && next == nullptr; ++step) {
        long i = forward ? start + step : start - step;
        i = ((i % n) + n) % n; // wraps around
        if (is_stop(order[static_cast<size_t>(i)])) {
            next = order[static_cast<size_t>(i)];
        }
    }
    if (next != nullptr) {
        setFocus(next, true);
    }
    focus_needed_ = false;
    return true;
}

void InputRouter::placePendingFocus(const UiRect& client) {
    if (!focus_needed_) {
        return;
    }
    // Focus placed during a layout would land on stale rectangles: it waits for the next
    // paint, which the invalidation asks for.
    if (manager_.isLayoutNeeded() || manager_.isUpdateNeeded()) {
        manager_.invalidate(client);
        return;
    }
    focus_needed_ = false;
    if (pending_focus_ != nullptr) {
        CControlUI* target = pending_focus_;
        pending_focus_ = nullptr;
        setFocus(target, true);
    } else {
        focusNext(true);
    }
}

} // namespace inkwarden

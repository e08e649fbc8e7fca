#include "ui/native/gtk/GtkInputTranslator.h"

#include "ui/native/gtk/GtkKeyMap.h"
#include "ui/native/gtk/GtkSignalBinding.h"
#include "ui/native/gtk/GtkWindowLayer.h"
#include "ui/native/gtk/GtkWindowRecord.h"

#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <utility>

namespace inkwarden {

namespace {

// Used when the GTK settings do not say.
constexpr gint DEFAULT_DOUBLE_CLICK_MS = 400;
constexpr gint DEFAULT_DOUBLE_CLICK_DISTANCE = 5; // pixels either way

LPARAM PointParam(UiPoint p) {
    return MAKELPARAM(p.x, p.y);
}

UiPoint ScreenPoint(double x_root, double y_root) {
    return {static_cast<int>(std::floor(x_root)), static_cast<int>(std::floor(y_root))};
}

// The client point of a root point in a window's drawing area.
UiPoint ClientPoint(GtkWidget* area, double x_root, double y_root) {
    int ox = 0;
    int oy = 0;
    if (GdkWindow* gdk = gtk_widget_get_window(area))
        gdk_window_get_origin(gdk, &ox, &oy);
    const UiPoint screen = ScreenPoint(x_root, y_root);
    return {screen.x - ox, screen.y - oy};
}

WPARAM KeyStateFlags(guint state) {
    WPARAM flags = 0;
    if (state & GDK_BUTTON1_MASK)
        flags |= MK_LBUTTON;
    if (state & GDK_BUTTON3_MASK)
        flags |= MK_RBUTTON;
    if (state & GDK_BUTTON2_MASK)
        flags |= MK_MBUTTON;
    if (state & GDK_SHIFT_MASK)
        flags |= MK_SHIFT;
    if (state & GDK_CONTROL_MASK)
        flags |= MK_CONTROL;
    return flags;
}

std::optional<GdkWindowEdge> EdgeOf(LRESULT hit) {
    switch (hit) {
    case HTLEFT:
        return GDK_WINDOW_EDGE_WEST;
    case HTRIGHT:
        return GDK_WINDOW_EDGE_EAST;
    case HTTOP:
        return GDK_WINDOW_EDGE_NORTH;
    case HTTOPLEFT:
        return GDK_WINDOW_EDGE_NORTH_WEST;
    case HTTOPRIGHT:
        return GDK_WINDOW_EDGE_NORTH_EAST;
    case HTBOTTOM:
        return GDK_WINDOW_EDGE_SOUTH;
    case HTBOTTOMLEFT:
        return GDK_WINDOW_EDGE_SOUTH_WEST;
    case HTBOTTOMRIGHT:
        return GDK_WINDOW_EDGE_SOUTH_EAST;
    default:
        return std::nullopt;
    }
}

const char* CursorName(CursorShape shape) {
    switch (shape) {
    case CursorShape::HAND:
        return "pointer";
    case CursorShape::IBEAM:
        return "text";
    case CursorShape::ARROW:
        break;
    }
    return "default";
}

// The virtual key of the key's own symbol without modifiers, so Shift+1 is still the key 1.
UINT VirtualKeyOf(const GdkEventKey& k) {
    guint base = k.keyval;
    gdk_keymap_translate_keyboard_state(gdk_keymap_get_for_display(gdk_display_get_default()),
                                        k.hardware_keycode, GdkModifierType(0), k.group, &base,
                                        nullptr, nullptr, nullptr);
    const UINT vk = VirtualKeyFromKeyval(base);
    return vk != 0 ? vk : VirtualKeyFromKeyval(k.keyval);
}

bool AltHeld(const GdkEventKey& k, UINT vk) {
    return (k.state & GDK_MOD1_MASK) != 0 || vk == VK_MENU;
}

// Keys an entry has no use for: they stay with the toolkit.
bool IsToolkitKey(UINT vk) {
    return vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_TAB;
}

} // namespace

// Signal handlers that hand the event to one of the translator's own handlers.
struct GtkInputTranslator::SignalHandler {
    using Handler = bool (GtkInputTranslator::*)(NativeWindowId, GdkEvent*);

    template <Handler H> static gboolean on(GtkWidget*, GdkEvent* event, gpointer data) {
        const GtkSignalBinding& b = GtkSignalBinding::of(data);
        return (b.as<GtkInputTranslator>()->*H)(b.id, event);
    }
    template <Handler H> static std::pair<const char*, GCallback> signal(const char* name) {
        return {name, G_CALLBACK(&on<H>)};
    }
    static void connect(GtkInputTranslator* translator, GtkWidget* widget, NativeWindowId id,
                        std::initializer_list<std::pair<const char*, GCallback>> signals) {
        for (const auto& [name, handler] : signals)
            GtkSignalBinding::connect(widget, name, handler, translator, id);
    }
};

GtkInputTranslator::GtkInputTranslator(GtkWindowLayer& layer) : layer_(layer) {}

GtkInputTranslator::~GtkInputTranslator() {
    for (auto& [shape, cursor] : cursors_)
        g_object_unref(cursor);
}

void GtkInputTranslator::connectArea(GtkWidget* area, NativeWindowId id) {
    using S = SignalHandler;
    gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                    GDK_POINTER_MOTION_MASK | GDK_ENTER_NOTIFY_MASK |
                                    GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK |
                                    GDK_SMOOTH_SCROLL_MASK);
    S::connect(this, area, id,
               {S::signal<&GtkInputTranslator::onButton>("button-press-event"),
                S::signal<&GtkInputTranslator::onButton>("button-release-event"),
                S::signal<&GtkInputTranslator::onMotion>("motion-notify-event"),
                S::signal<&GtkInputTranslator::onCrossing>("enter-notify-event"),
                S::signal<&GtkInputTranslator::onCrossing>("leave-notify-event"),
                S::signal<&GtkInputTranslator::onScroll>("scroll-event")});
}

void GtkInputTranslator::connectToplevel(GtkWidget* window, NativeWindowId id) {
    using S = SignalHandler;
    gtk_widget_add_events(window, GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK |
                                      GDK_FOCUS_CHANGE_MASK | GDK_STRUCTURE_MASK);
    S::connect(this, window, id,
               {S::signal<&GtkInputTranslator::onKey>("key-press-event"),
                S::signal<&GtkInputTranslator::onKey>("key-release-event"),
                S::signal<&GtkInputTranslator::onFocusIn>("focus-in-event"),
                S::signal<&GtkInputTranslator::onFocusOut>("focus-out-event"),
                S::signal<&GtkInputTranslator::onConfigure>("configure-event"),
                S::signal<&GtkInputTranslator::onWindowState>("window-state-event"),
                S::signal<&GtkInputTranslator::onDelete>("delete-event")});
}

void GtkInputTranslator::connectEntry(GtkWidget* entry, NativeWindowId id) {
    using S = SignalHandler;
    S::connect(this, entry, id,
               {S::signal<&GtkInputTranslator::onKey>("key-press-event"),
                S::signal<&GtkInputTranslator::onKey>("key-release-event"),
                S::signal<&GtkInputTranslator::onFocusIn>("focus-in-event")});
}

void GtkInputTranslator::forget(NativeWindowId window) {
    if (pointer_window_ == window)
        pointer_window_ = 0;
}

NativeWindowId GtkInputTranslator::targetOf(NativeWindowId id) const {
    const NativeWindowId capture = layer_.capture_;
    return capture != 0 && layer_.exists(capture) ? capture : id;
}

void GtkInputTranslator::setCursor(CursorShape shape) {
    cursor_ = shape;
    GtkWindowRecord* w = layer_.find(pointer_window_);
    if (w == nullptr)
        return;
    GdkWindow* gdk = gtk_widget_get_window(w->area);
    if (gdk == nullptr)
        return;
    auto it = cursors_.find(shape);
    if (it == cursors_.end()) {
        GdkCursor* cursor =
            gdk_cursor_new_from_name(gdk_window_get_display(gdk), CursorName(shape));
        if (cursor == nullptr)
            return;
        it = cursors_.emplace(shape, cursor).first;
    }
    gdk_window_set_cursor(gdk, it->second);
}

void GtkInputTranslator::cancelHover(GtkWindowRecord& w) {
    if (w.hover_source != 0)
        g_source_remove(w.hover_source);
    w.hover_source = 0;
}

void GtkInputTranslator::trackMouse(NativeWindowId window, unsigned hover_ms) {
    GtkWindowRecord* w = layer_.find(window);
    if (w == nullptr)
        return;
    w->track_leave = true;
    w->hover_ms = hover_ms;
    cancelHover(*w);
    if (!w->pointer_inside) {
        // The pointer is already elsewhere: the leave is due at once.
        layer_.post(window, WM_MOUSELEAVE, 0, 0);
        w->track_leave = false;
        return;
    }
    if (hover_ms == 0)
        return;
    w->hover_source = layer_.addTimeout(hover_ms, [window](GtkWindowLayer& layer) {
        layer.input_->onHoverElapsed(window);
        return false;
    });
}

void GtkInputTranslator::onHoverElapsed(NativeWindowId id) {
    GtkWindowRecord* w = layer_.find(id);
    if (w == nullptr)
        return;
    w->hover_source = 0;
    if (w->hover_ms == 0)
        return;
    w->hover_ms = 0; // one hover per trackMouse
    layer_.dispatchQueued(id, WM_MOUSEHOVER, 0, PointParam(layer_.cursorPosition(id)));
}

gint GtkInputTranslator::pressButton() const {
    return static_cast<gint>(press_button_ != 0 ? press_button_ : GDK_BUTTON_PRIMARY);
}

GtkWindow* GtkInputTranslator::dragWindow(NativeWindowId window) {
    GtkWidget* top = layer_.toplevelWidget(window);
    if (top == nullptr)
        return nullptr;
    // The window manager takes the pointer over; nothing stays captured.
    layer_.capture_ = 0;
    return GTK_WINDOW(top);
}

void GtkInputTranslator::beginMoveDrag(NativeWindowId window, UiPoint screen_point) {
    if (GtkWindow* top = dragWindow(window)) {
        gtk_window_begin_move_drag(top, pressButton(), screen_point.x, screen_point.y, press_time_);
    }
}

void GtkInputTranslator::beginResizeDrag(NativeWindowId window, LRESULT hit_code,
                                         UiPoint screen_point) {
    const auto edge = EdgeOf(hit_code);
    if (!edge)
        return;
    if (GtkWindow* top = dragWindow(window)) {
        gtk_window_begin_resize_drag(top, *edge, pressButton(), screen_point.x, screen_point.y,
                                     press_time_);
    }
}

bool GtkInputTranslator::onButton(NativeWindowId id, GdkEvent* event) {
    const GdkEventButton& b = event->button;
    // Double clicks are found on the plain presses; GDK's own would repeat them.
    if (b.type == GDK_2BUTTON_PRESS || b.type == GDK_3BUTTON_PRESS)
        return TRUE;
    if (b.button != GDK_BUTTON_PRIMARY && b.button != GDK_BUTTON_SECONDARY)
        return FALSE;
    const NativeWindowId target = targetOf(id);
    GtkWindowRecord* w = layer_.find(target);
    if (w == nullptr)
        return FALSE;
    return b.type == GDK_BUTTON_RELEASE ? onRelease(target, *w, b) : onPress(target, *w, b);
}

bool GtkInputTranslator::onRelease(NativeWindowId target, GtkWindowRecord& w,
                                   const GdkEventButton& b) {
    const bool left = b.button == GDK_BUTTON_PRIMARY;
    const UiPoint client = ClientPoint(w.area, b.x_root, b.y_root);
    const WPARAM keys = KeyStateFlags(b.state) & ~(left ? MK_LBUTTON : MK_RBUTTON);
    layer_.dispatchQueued(target, left ? WM_LBUTTONUP : WM_RBUTTONUP, keys, PointParam(client));
    return TRUE;
}

bool GtkInputTranslator::onPress(NativeWindowId target, GtkWindowRecord& w,
                                 const GdkEventButton& b) {
    const bool left = b.button == GDK_BUTTON_PRIMARY;
    const UiPoint client = ClientPoint(w.area, b.x_root, b.y_root);
    const UiPoint screen = ScreenPoint(b.x_root, b.y_root);
    press_button_ = b.button;
    press_time_ = b.time;
    const bool is_double = isDoubleClick(target, b, screen, w.area);
    focusOnClick(target);

    const LRESULT hit = layer_.capture_ == target
                            ? HTCLIENT
                            : layer_.send(target, WM_NCHITTEST, 0, PointParam(screen));
    if (!layer_.exists(target))
        return TRUE;
    const WPARAM keys = KeyStateFlags(b.state) | (left ? MK_LBUTTON : MK_RBUTTON);
    if (hit == HTCLIENT) {
        const UINT message =
            left ? (is_double ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN) : WM_RBUTTONDOWN;
        layer_.dispatchQueued(target, message, keys, PointParam(client));
    } else if (left) {
        layer_.dispatchQueued(target, is_double ? WM_NCLBUTTONDBLCLK : WM_NCLBUTTONDOWN,
                              static_cast<WPARAM>(hit), PointParam(screen));
    }
    return TRUE;
}

bool GtkInputTranslator::isDoubleClick(NativeWindowId target, const GdkEventButton& b,
                                       UiPoint screen, GtkWidget* widget) {
    gint double_time = DEFAULT_DOUBLE_CLICK_MS;
    gint double_distance = DEFAULT_DOUBLE_CLICK_DISTANCE;
    g_object_get(gtk_widget_get_settings(widget), "gtk-double-click-time", &double_time,
                 "gtk-double-click-distance", &double_distance, nullptr);
    // A third press after a double click starts over.
    const LastPress& last = last_press_;
    const bool is_double = !last.was_double && last.window == target && last.button == b.button &&
                           b.time - last.time <= static_cast<guint32>(double_time) &&
                           std::abs(screen.x - last.screen.x) <= double_distance &&
                           std::abs(screen.y - last.screen.y) <= double_distance;
    last_press_ = LastPress{target, b.button, b.time, screen, is_double};
    return is_double;
}

void GtkInputTranslator::focusOnClick(NativeWindowId target) {
    GtkWindowRecord* top = layer_.toplevelOf(target);
    const NativeWindowId focus = layer_.focus_;
    if (top == nullptr || focus == target)
        return;
    const GtkWindowRecord* focused = layer_.find(focus);
    if (focused == nullptr || !focused->is_edit || layer_.toplevelOf(focus) != top)
        layer_.setFocus(target);
}

bool GtkInputTranslator::onMotion(NativeWindowId id, GdkEvent* event) {
    const GdkEventMotion& m = event->motion;
    const NativeWindowId target = targetOf(id);
    GtkWindowRecord* w = layer_.find(target);
    if (w == nullptr)
        return FALSE;
    pointer_window_ = id;
    if (GtkWindowRecord* under = layer_.find(id))
        under->pointer_inside = true;
    // Moving restarts the hover wait.
    if (w->hover_ms != 0 && w->hover_source != 0)
        trackMouse(target, w->hover_ms);
    const UiPoint client = ClientPoint(w->area, m.x_root, m.y_root);
    layer_.dispatchQueued(target, WM_MOUSEMOVE, KeyStateFlags(m.state), PointParam(client));
    gdk_event_request_motions(&m);
    return TRUE;
}

bool GtkInputTranslator::onCrossing(NativeWindowId id, GdkEvent* event) {
    const GdkEventCrossing& c = event->crossing;
    GtkWindowRecord* w = layer_.find(id);
    if (w == nullptr || c.detail == GDK_NOTIFY_INFERIOR)
        return FALSE;
    if (c.type == GDK_ENTER_NOTIFY) {
        w->pointer_inside = true;
        pointer_window_ = id;
        setCursor(cursor_);
        return FALSE;
    }
    // Leaving for one of our own entries over the window is not leaving the window.
    if (c.mode != GDK_CROSSING_NORMAL && c.mode != GDK_CROSSING_UNGRAB)
        return FALSE;
    w->pointer_inside = false;
    cancelHover(*w);
    w->hover_ms = 0;
    if (w->track_leave) {
        w->track_leave = false;
        layer_.dispatchQueued(id, WM_MOUSELEAVE, 0, 0);
    }
    return FALSE;
}

bool GtkInputTranslator::onScroll(NativeWindowId id, GdkEvent* event) {
    const GdkEventScroll& s = event->scroll;
    int delta = 0;
    switch (s.direction) {
    case GDK_SCROLL_UP:
        delta = WHEEL_DELTA;
        break;
    case GDK_SCROLL_DOWN:
        delta = -WHEEL_DELTA;
        break;
    case GDK_SCROLL_SMOOTH:
        delta = static_cast<int>(std::lround(-s.delta_y * WHEEL_DELTA));
        break;
    default:
        return FALSE;
    }
    if (delta == 0)
        return TRUE;
    // Like the original platform, the wheel goes to the window with the keyboard.
    const GtkWindowRecord* top = layer_.toplevelOf(id);
    const NativeWindowId focus = layer_.focus_;
    const NativeWindowId target = focus != 0 && layer_.toplevelOf(focus) == top ? focus : id;
    layer_.dispatchQueued(target, WM_MOUSEWHEEL,
                          MAKEWPARAM(static_cast<int>(KeyStateFlags(s.state)), delta),
                          PointParam(ScreenPoint(s.x_root, s.y_root)));
    return TRUE;
}

NativeWindowId GtkInputTranslator::keyTarget(NativeWindowId id, const GtkWindowRecord& self) const {
    // A top-level window's keys go to the window of it that has the keyboard.
    const NativeWindowId focus = layer_.focus_;
    if (!self.is_edit && focus != 0 && layer_.toplevelOf(focus) == &self)
        return focus;
    return id;
}

bool GtkInputTranslator::onKey(NativeWindowId id, GdkEvent* event) {
    const GdkEventKey& k = event->key;
    const GtkWindowRecord* self = layer_.find(id);
    if (self == nullptr)
        return FALSE;
    if (!self->is_edit) {
        // An entry with GTK's focus gets its keys through its own handler.
        GtkWidget* focused = gtk_window_get_focus(GTK_WINDOW(self->widget.get()));
        if (focused != nullptr && GTK_IS_ENTRY(focused))
            return FALSE;
    }
    const UINT vk = VirtualKeyOf(k);
    return k.type == GDK_KEY_RELEASE ? onKeyRelease(id, *self, k, vk)
                                     : onKeyPress(id, *self, k, vk);
}

bool GtkInputTranslator::onKeyRelease(NativeWindowId id, const GtkWindowRecord& self,
                                      const GdkEventKey& k, UINT vk) {
    keys_down_.erase(k.hardware_keycode);
    if (vk == 0)
        return FALSE;
    const bool is_edit = self.is_edit;
    const bool alt = AltHeld(k, vk);
    layer_.dispatchQueued(keyTarget(id, self), alt ? WM_SYSKEYUP : WM_KEYUP, vk, KeyUpParam(alt));
    return !is_edit || IsToolkitKey(vk);
}

bool GtkInputTranslator::onKeyPress(NativeWindowId id, const GtkWindowRecord& self,
                                    const GdkEventKey& k, UINT vk) {
    const bool alt = AltHeld(k, vk);
    const bool control = (k.state & GDK_CONTROL_MASK) != 0;
    const bool repeat = !keys_down_.insert(k.hardware_keycode).second;
    const NativeWindowId target = keyTarget(id, self);
    bool delivered = true;
    if (vk != 0) {
        delivered = layer_.dispatchQueued(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk,
                                          KeyDownParam(repeat, alt));
    }
    if (!layer_.exists(id))
        return TRUE;
    if (self.is_edit) {
        // The entry types the text itself; keys it has no use for stay with the toolkit,
        // and so does a key the message loop took.
        return !delivered || IsToolkitKey(vk);
    }
    // A key down the message loop took makes no character.
    if (!delivered || !layer_.exists(target))
        return TRUE;
    if (const unsigned ch = CharacterFromKeyval(k.keyval, control && !alt); ch != 0)
        layer_.dispatchQueued(target, alt ? WM_SYSCHAR : WM_CHAR, ch, KEY_REPEAT_ONCE);
    return TRUE;
}

bool GtkInputTranslator::onFocusIn(NativeWindowId id, GdkEvent*) {
    GtkWindowRecord* w = layer_.find(id);
    if (w == nullptr)
        return FALSE;
    if (w->is_edit) {
        layer_.changeFocus(id);
        return FALSE;
    }
    // The window is active again: its last focus (or itself) gets the keyboard.
    const NativeWindowId restore =
        w->saved_focus != 0 && layer_.exists(w->saved_focus) ? w->saved_focus : id;
    w->saved_focus = 0;
    if (GtkWindowRecord* r = layer_.find(restore); r != nullptr && r->is_edit)
        gtk_widget_grab_focus(r->widget.get());
    layer_.changeFocus(restore);
    return FALSE;
}

bool GtkInputTranslator::onFocusOut(NativeWindowId id, GdkEvent*) {
    GtkWindowRecord* w = layer_.find(id);
    if (w == nullptr || w->is_edit)
        return FALSE;
    const NativeWindowId focus = layer_.focus_;
    if (focus != 0 && layer_.toplevelOf(focus) == w) {
        // Kept for the window's next activation.
        w->saved_focus = focus;
        layer_.changeFocus(0);
    }
    return FALSE;
}

bool GtkInputTranslator::onConfigure(NativeWindowId id, GdkEvent* event) {
    GtkWindowRecord* w = layer_.find(id);
    if (w == nullptr)
        return FALSE;
    const GdkEventConfigure& c = event->configure;
    int x = c.x;
    int y = c.y;
    if (GdkWindow* gdk = gtk_widget_get_window(w->widget.get()))
        gdk_window_get_origin(gdk, &x, &y);
    const UiRect old = w->rect;
    w->rect = {x, y, x + c.width, y + c.height};
    if (old.left != x || old.top != y)
        layer_.send(id, WM_MOVE, 0, MAKELPARAM(x, y));
    if (layer_.exists(id) && (old.width() != c.width || old.height() != c.height)) {
        const WPARAM kind = layer_.isMaximized(id) ? SIZE_MAXIMIZED : SIZE_RESTORED;
        layer_.send(id, WM_SIZE, kind, MAKELPARAM(c.width, c.height));
    }
    return FALSE;
}

bool GtkInputTranslator::onWindowState(NativeWindowId id, GdkEvent* event) {
    const GdkEventWindowState& s = event->window_state;
    if ((s.changed_mask & GDK_WINDOW_STATE_ICONIFIED) &&
        (s.new_window_state & GDK_WINDOW_STATE_ICONIFIED))
        layer_.send(id, WM_SIZE, SIZE_MINIMIZED, 0);
    return FALSE;
}

bool GtkInputTranslator::onDelete(NativeWindowId id, GdkEvent*) {
    // The toolkit decides; GTK never destroys the window by itself.
    layer_.send(id, WM_CLOSE, 0, 0);
    return TRUE;
}

} // namespace inkwarden

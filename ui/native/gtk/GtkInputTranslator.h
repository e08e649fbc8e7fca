#pragma once

#include "ui/native/INativeWindowLayer.h"

#include <cstdint>
#include <gtk/gtk.h>
#include <map>
#include <set>

namespace inkwarden {

class GtkWindowLayer;
struct GtkWindowRecord;

// Turns the GDK events of the layer's windows into the toolkit's messages: buttons with
// the toolkit's own double-click detection, motion with capture, crossing and hover,
// the wheel, keys with the repeat bit, focus, configure and window-state changes, and
// the close request. It also owns what follows the pointer: the cursor shape and the
// drags that a button press starts.
class GtkInputTranslator {
public:
    explicit GtkInputTranslator(GtkWindowLayer& layer);
    ~GtkInputTranslator();
    GtkInputTranslator(const GtkInputTranslator&) = delete;
    GtkInputTranslator& operator=(const GtkInputTranslator&) = delete;

    // The pointer signals of a window's drawing area.
    void connectArea(GtkWidget* area, NativeWindowId id);
    // The keyboard, focus, structure and close signals of a top-level GtkWindow.
    void connectToplevel(GtkWidget* window, NativeWindowId id);
    // The keyboard and focus signals of an edit's entry.
    void connectEntry(GtkWidget* entry, NativeWindowId id);

    void setCursor(CursorShape shape);
    void trackMouse(NativeWindowId window, unsigned hover_ms);
    void beginMoveDrag(NativeWindowId window, UiPoint screen_point);
    void beginResizeDrag(NativeWindowId window, LRESULT hit_code, UiPoint screen_point);
    // The window is gone.
    void forget(NativeWindowId window);

private:
    // The last button press, for the toolkit's own double clicks, which read down, up,
    // double click, up (GDK's double and triple presses would repeat them).
    struct LastPress {
        NativeWindowId window = 0;
        unsigned button = 0;
        std::uint32_t time = 0;
        UiPoint screen;
        bool was_double = false;
    };
    struct SignalHandler;

    // The capturing window while it holds the capture, else the window of the event.
    NativeWindowId targetOf(NativeWindowId id) const;
    bool isDoubleClick(NativeWindowId target, const GdkEventButton& b, UiPoint screen,
                       GtkWidget* widget);
    // Clicking a window gives it the keyboard, unless an edit of it has GTK's focus.
    void focusOnClick(NativeWindowId target);
    // The top-level window a drag moves or resizes; the drag ends any capture.
    GtkWindow* dragWindow(NativeWindowId window);
    // The button of the press that started the drag (the left one without a press).
    gint pressButton() const;
    void cancelHover(GtkWindowRecord& w);
    NativeWindowId keyTarget(NativeWindowId id, const GtkWindowRecord& self) const;

    bool onButton(NativeWindowId id, GdkEvent* event);
    bool onPress(NativeWindowId target, GtkWindowRecord& w, const GdkEventButton& b);
    bool onRelease(NativeWindowId target, GtkWindowRecord& w, const GdkEventButton& b);
    bool onMotion(NativeWindowId id, GdkEvent* event);
    bool onCrossing(NativeWindowId id, GdkEvent* event);
    bool onScroll(NativeWindowId id, GdkEvent* event);
    bool onKey(NativeWindowId id, GdkEvent* event);
    bool onKeyPress(NativeWindowId id, const GtkWindowRecord& self, const GdkEventKey& k, UINT vk);
    bool onKeyRelease(NativeWindowId id, const GtkWindowRecord& self, const GdkEventKey& k,
                      UINT vk);
    bool onFocusIn(NativeWindowId id, GdkEvent* event);
    bool onFocusOut(NativeWindowId id, GdkEvent* event);
    bool onConfigure(NativeWindowId id, GdkEvent* event);
    bool onWindowState(NativeWindowId id, GdkEvent* event);
    bool onDelete(NativeWindowId id, GdkEvent* event);
    void onHoverElapsed(NativeWindowId id);

    GtkWindowLayer& layer_;
    NativeWindowId pointer_window_ = 0; // the window under the pointer, for setCursor
    std::map<CursorShape, GdkCursor*> cursors_;
    CursorShape cursor_ = CursorShape::ARROW;
    std::set<unsigned> keys_down_; // hardware keycodes, for the repeat bit
    // The event that started the current button press, for drags.
    unsigned press_button_ = 0;
    std::uint32_t press_time_ = 0;
    LastPress last_press_;
};

} // namespace inkwarden

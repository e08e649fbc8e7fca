#pragma once

#include "ui/native/INativeWindowLayer.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

typedef struct _GtkWidget GtkWidget;
typedef struct _GdkCursor GdkCursor;
typedef union _GdkEvent GdkEvent;
typedef struct _cairo_surface cairo_surface_t;

namespace inkwarden {

// The desktop window layer on GTK 3: undecorated windows painted from the presented
// buffer, GDK events turned into the toolkit's messages, timers and posts on the GLib
// main context. Everything but post() runs on the thread that made the layer.
class GtkWindowLayer : public INativeWindowLayer {
public:
    // Null when there is no display to open.
    static std::unique_ptr<GtkWindowLayer> open();
    ~GtkWindowLayer() override;

    NativeWindowId create(const WindowCreateParams& params) override;
    void destroy(NativeWindowId window) override;
    bool exists(NativeWindowId window) const override;
    LRESULT defaultProc(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) override;
    LRESULT send(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) override;
    bool post(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) override;
    int run() override;
    void quit(int exit_code) override;
    void setPreTranslateHook(PreTranslateHook hook) override { hook_ = std::move(hook); }
    NativeWindowId parentOf(NativeWindowId window) const override;

    UiRect clientRect(NativeWindowId window) const override;
    UiRect windowRect(NativeWindowId window) const override;
    void setWindowRect(NativeWindowId window, const UiRect& rect) override;
    UiRect workArea(NativeWindowId window) const override;
    void show(NativeWindowId window, ShowCommand command) override;
    bool isVisible(NativeWindowId window) const override;
    bool isMinimized(NativeWindowId window) const override;
    bool isMaximized(NativeWindowId window) const override;
    void setTitle(NativeWindowId window, const std::string& title) override;
    void setIcon(NativeWindowId window, const DrawContext& image, bool large) override;
    bool saveScreenshot(NativeWindowId window, const std::string& path) const override;

    void invalidate(NativeWindowId window, const UiRect& rect) override;
    bool supportsPerPixelAlpha(NativeWindowId window) const override;
    void present(NativeWindowId window, const DrawContext& buffer, const UiRect& area,
                 PresentMode mode, std::uint8_t constant_alpha) override;
    void setRegion(NativeWindowId window, const UiRect& rect, UiSize corner) override;

    bool setTimer(NativeWindowId window, std::uintptr_t id, unsigned elapse_ms) override;
    bool killTimer(NativeWindowId window, std::uintptr_t id) override;
    std::uint32_t tickCount() const override;

    void setCapture(NativeWindowId window) override;
    void releaseCapture() override;
    NativeWindowId capture() const override { return capture_; }
    void setCursor(CursorShape shape) override;
    void setFocus(NativeWindowId window) override;
    NativeWindowId focus() const override { return focus_; }
    UiPoint cursorPosition(NativeWindowId window) const override;
    void trackMouse(NativeWindowId window, unsigned hover_ms) override;
    void beginMoveDrag(NativeWindowId window, UiPoint screen_point) override;
    void beginResizeDrag(NativeWindowId window, LRESULT hit_code, UiPoint screen_point) override;

    NativeWindowId createEdit(const EditCreateParams& params) override;
    std::string editText(NativeWindowId edit) const override;
    void setEditText(NativeWindowId edit, const std::string& text) override;
    void setEditSelection(NativeWindowId edit, int start, int end) override;
    std::pair<int, int> editSelection(NativeWindowId edit) const override;

    int messageBox(NativeWindowId owner, const std::string& text, const std::string& caption,
                   UINT flags) override;
    void showTooltip(NativeWindowId owner, const std::string& text, UiPoint at) override;
    void hideTooltip(NativeWindowId owner) override;
    bool openUrl(const std::string& url) override;
    std::optional<std::string> pickFolder(NativeWindowId owner, const std::string& title,
                                          const std::string& prompt,
                                          const std::string& initial_folder) override;

    struct Window;
    struct Binding;

private:
    GtkWindowLayer();

    Window* find(NativeWindowId window) const;
    Window* toplevelOf(NativeWindowId window) const;
    void connect(GtkWidget* widget, const char* signal, void* handler, NativeWindowId id);
    void changeFocus(NativeWindowId window);
    // Input and posts go through the pre-translate hook first; false when it took them.
    bool dispatchQueued(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam);
    void applyMinMaxInfo(NativeWindowId window);

    // GDK event handlers, called with the window's id.
    bool onButton(NativeWindowId id, GdkEvent* event);
    bool onMotion(NativeWindowId id, GdkEvent* event);
    bool onCrossing(NativeWindowId id, GdkEvent* event);
    bool onScroll(NativeWindowId id, GdkEvent* event);
    bool onKey(NativeWindowId id, GdkEvent* event);
    bool onFocus(NativeWindowId id, bool in);
    bool onConfigure(NativeWindowId id, GdkEvent* event);
    bool onWindowState(NativeWindowId id, GdkEvent* event);
    bool onDelete(NativeWindowId id);
    bool onDraw(NativeWindowId id, void* cr);
    void onEditChanged(NativeWindowId id);
    void onHoverElapsed(NativeWindowId id);
    void onTimer(NativeWindowId id, std::uintptr_t timer);
    void deliverPost(NativeWindowId id, UINT message, WPARAM wparam, LPARAM lparam);

    friend struct Binding;
    struct Callbacks;
    friend struct Callbacks;

    std::map<NativeWindowId, std::unique_ptr<Window>> windows_;
    NativeWindowId next_id_ = 1;
    NativeWindowId capture_ = 0;
    NativeWindowId focus_ = 0;
    NativeWindowId pointer_window_ = 0; // the window under the pointer, for setCursor
    std::map<CursorShape, GdkCursor*> cursors_;
    CursorShape cursor_ = CursorShape::ARROW;
    std::set<unsigned> keys_down_; // hardware keycodes, for the repeat bit
    // The event that started the current button press, for drags.
    unsigned press_button_ = 0;
    std::uint32_t press_time_ = 0;
    // Own double-click detection so a double click reads down, up, double click, up.
    std::uint32_t last_press_time_ = 0;
    unsigned last_press_button_ = 0;
    int last_press_x_ = 0;
    int last_press_y_ = 0;
    NativeWindowId last_press_window_ = 0;
    bool last_press_was_double_ = false;
    void* loop_ = nullptr; // GMainLoop
    std::optional<int> quit_code_;
    // Posts check this token on delivery: the layer may be gone before they run.
    std::shared_ptr<GtkWindowLayer*> alive_;
    PreTranslateHook hook_;
};

} // namespace inkwarden

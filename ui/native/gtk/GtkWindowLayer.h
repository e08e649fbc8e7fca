#pragma once

#include "ui/native/WindowLayerBase.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

typedef struct _GtkWidget GtkWidget;
typedef struct _cairo cairo_t;

namespace inkwarden {

class GtkEditField;
class GtkInputTranslator;
struct GtkWindowRecord;

// The desktop window layer on GTK 3: undecorated windows painted from the presented
// buffer, GDK events turned into the toolkit's messages, timers and posts on the GLib
// main context. Everything but post() runs on the thread that made the layer.
//
// This class keeps the windows themselves (creation, geometry, showing, painting, region,
// icons, screenshots, timers and posts); GtkInputTranslator turns GDK events into
// messages, GtkEditField runs the child edit windows and GtkDialogs the shell's boxes.
class GtkWindowLayer : public WindowLayerBase {
public:
    // Null when there is no display to open.
    static std::unique_ptr<GtkWindowLayer> open();
    ~GtkWindowLayer() override;

    NativeWindowId create(const WindowCreateParams& params) override;
    bool post(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) override;
    int run() override;
    void quit(int exit_code) override;

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

    // The scale GDK gives the window (GDK_SCALE, or the monitor's).
    int scaleFactor(NativeWindowId window) const override;
    void invalidate(NativeWindowId window, const UiRect& rect) override;
    bool supportsPerPixelAlpha(NativeWindowId window) const override;
    void present(NativeWindowId window, const DrawContext& buffer, const UiRect& area,
                 PresentMode mode, std::uint8_t constant_alpha) override;
    void setRegion(NativeWindowId window, const UiRect& rect, UiSize corner) override;

    bool setTimer(NativeWindowId window, std::uintptr_t id, unsigned elapse_ms) override;
    bool killTimer(NativeWindowId window, std::uintptr_t id) override;
    std::uint32_t tickCount() const override;

    // Focus and capture are kept here; the pointer and the keyboard are the translator's.
    void setCapture(NativeWindowId window) override;
    void releaseCapture() override;
    void setFocus(NativeWindowId window) override;
    UiPoint cursorPosition(NativeWindowId window) const override;
    void setCursor(CursorShape shape) override;
    void trackMouse(NativeWindowId window, unsigned hover_ms) override;
    void beginMoveDrag(NativeWindowId window, UiPoint screen_point) override;
    void beginResizeDrag(NativeWindowId window, LRESULT hit_code, UiPoint screen_point) override;

    // GtkEditField.
    NativeWindowId createEdit(const EditCreateParams& params) override;
    std::string editText(NativeWindowId edit) const override;
    void setEditText(NativeWindowId edit, const std::string& text) override;
    void setEditSelection(NativeWindowId edit, int start, int end) override;
    std::pair<int, int> editSelection(NativeWindowId edit) const override;

    // GtkAccessibleBridge.
    void setAccessibleTree(NativeWindowId window, IAccessibleTree* tree) override;

    // GtkDialogs.
    int messageBox(NativeWindowId owner, const std::string& text, const std::string& caption,
                   UINT flags) override;
    void showTooltip(NativeWindowId owner, const std::string& text, UiPoint at) override;
    void hideTooltip(NativeWindowId owner) override;
    bool openUrl(const std::string& url) override;
    std::optional<std::string> pickFolder(NativeWindowId owner, const std::string& title,
                                          const std::string& prompt,
                                          const std::string& initial_folder) override;

private:
    friend class GtkEditField;
    friend class GtkInputTranslator;

    // Called on the main context while the layer lives; answers whether to run again.
    using TimeoutCallback = std::function<bool(GtkWindowLayer&)>;

    GtkWindowLayer();

    GtkWindowRecord* find(NativeWindowId window) const;
    GtkWindowRecord* toplevelOf(NativeWindowId window) const;
    GtkWidget* toplevelWidget(NativeWindowId window) const;
    // The overlay of a new window: its drawing area under a fixed for children and edits.
    GtkWidget* buildClientArea(GtkWindowRecord& w);
    // The undecorated GtkWindow of a new top-level window around its overlay.
    GtkWidget* buildToplevel(const WindowCreateParams& params, const GtkWindowRecord* owner,
                             GtkWidget* overlay, NativeWindowId id);
    void applyMinMaxInfo(NativeWindowId window);
    // A GLib timeout on the main context; returns its source id.
    unsigned addTimeout(unsigned ms, TimeoutCallback callback);
    void stopWindow(WindowRecord& record) override;
    void forgetWindow(WindowRecord& record) override;

    // The "draw" signal of a window's drawing area: shows the presented pixels.
    static int onDrawSignal(GtkWidget* widget, cairo_t* cr, void* binding);
    // The drawing area's scale factor changed (GDK_SCALE, another monitor).
    static void onScaleSignal(GtkWidget* widget, void* param, void* binding);
    bool onDraw(NativeWindowId id, cairo_t* cr);
    void onTimer(NativeWindowId id, std::uintptr_t timer);
    void deliverPost(NativeWindowId id, UINT message, WPARAM wparam, LPARAM lparam);

    void* loop_ = nullptr; // GMainLoop
    std::optional<int> quit_code_;
    // Posts and timeouts check this token on delivery: the layer may be gone before they run.
    std::shared_ptr<GtkWindowLayer*> alive_;
    std::unique_ptr<GtkInputTranslator> input_;
    std::unique_ptr<GtkEditField> edits_;
};

} // namespace inkwarden

#pragma once

#include "ui/base/UiGeometry.h"
#include "ui/base/WinMessages.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

typedef struct _PangoFontDescription PangoFontDescription;

namespace inkwarden {

class DrawContext;
class IAccessibleTree;

// Opaque window handle of a layer; 0 is no window.
using NativeWindowId = std::uint64_t;

// Receives a window's events as messages (message, wParam, lParam) and answers them.
// Whatever the sink does not handle it passes to INativeWindowLayer::defaultProc.
using MessageSink = std::function<LRESULT(UINT message, WPARAM wparam, LPARAM lparam)>;

// A message as the message loop takes it off the queue, before it is dispatched.
struct NativeMessage {
    NativeWindowId window = 0;
    UINT message = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
};

// Offered every queued input and posted message first; true consumes it.
using PreTranslateHook = std::function<bool(const NativeMessage&)>;

enum class CursorShape { ARROW, HAND, IBEAM };

enum class ShowCommand { HIDE, SHOW, SHOW_NO_ACTIVATE, MINIMIZE, MAXIMIZE, RESTORE };

enum class PresentMode {
    OPAQUE,    // the buffer's alpha is ignored
    PER_PIXEL, // premultiplied per-pixel alpha, times the constant alpha
};

struct WindowCreateParams {
    NativeWindowId parent = 0; // 0 = top level; else owner (popup) or parent (WS_CHILD)
    std::string title;
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    UiRect rect;      // screen for top-level windows, parent client for child windows
    MessageSink sink; // must outlive the window
    // A top-level window's application id: the desktop matches the window to the
    // program's menu entry by it (the window class on X11, the app id on Wayland).
    std::string app_id;
};

// The child edit window that an edit control borrows while it has focus.
// Keys and focus changes go to its own sink; changes are reported to the parent as
// WM_COMMAND with MAKEWPARAM(0, EN_CHANGE) and lParam = the edit's id.
struct EditCreateParams {
    NativeWindowId parent = 0;
    UiRect rect;                                // parent client coordinates
    const PangoFontDescription* font = nullptr; // borrowed
    std::string text;
    int limit = 255;         // characters
    std::uint32_t style = 0; // ES_ flags: alignment, ES_PASSWORD, ES_READONLY, ES_NUMBER
    std::string password_char = "*";
    std::uint32_t text_color = 0xFF000000; // AARRGGBB, alpha ignored
    MessageSink sink;
};

// What the toolkit asks of the platform's windows. Every call is made on the UI thread
// except post(), which any thread may call and which never waits.
class INativeWindowLayer {
public:
    virtual ~INativeWindowLayer() = default;

    // Windows. create() delivers WM_NCCREATE (lParam = the new window's id, so that the
    // sink knows its window before create() returns) and WM_CREATE to the sink before it
    // returns; a WM_CREATE answer of -1 fails it (0 is returned). A top-level window is
    // then asked WM_GETMINMAXINFO (lParam = MINMAXINFO*) for its tracking limits.
    // destroy() delivers WM_DESTROY, destroys the children and ends with WM_NCDESTROY.
    virtual NativeWindowId create(const WindowCreateParams& params) = 0;
    virtual void destroy(NativeWindowId window) = 0;
    virtual bool exists(NativeWindowId window) const = 0;
    virtual LRESULT defaultProc(NativeWindowId window, UINT message, WPARAM wparam,
                                LPARAM lparam) = 0;
    virtual LRESULT send(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) = 0;
    // Thread-safe, non-blocking; work posted for a window that is gone is dropped.
    virtual bool post(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) = 0;
    // Runs the message loop until quit(); returns its exit code.
    virtual int run() = 0;
    virtual void quit(int exit_code) = 0;
    // The loop's first look at each message (the toolkit's translateMessage).
    virtual void setPreTranslateHook(PreTranslateHook hook) { (void)hook; }
    // Parent (child windows) or owner (popups); 0 for a top-level window.
    virtual NativeWindowId parentOf(NativeWindowId window) const {
        (void)window;
        return 0;
    }

    // Geometry. Client rectangles start at (0, 0); window rectangles are in screen (or
    // parent client) coordinates.
    virtual UiRect clientRect(NativeWindowId window) const = 0;
    virtual UiRect windowRect(NativeWindowId window) const = 0;
    virtual void setWindowRect(NativeWindowId window, const UiRect& rect) = 0;
    virtual UiRect workArea(NativeWindowId window) const = 0;
    virtual void show(NativeWindowId window, ShowCommand command) = 0;
    virtual bool isVisible(NativeWindowId window) const = 0;
    virtual bool isMinimized(NativeWindowId window) const = 0;
    virtual bool isMaximized(NativeWindowId window) const = 0;
    virtual void setTitle(NativeWindowId window, const std::string& title) = 0;
    // The window's icon at one size (large: title bars and switchers; small: lists).
    virtual void setIcon(NativeWindowId window, const DrawContext& image, bool large) {
        (void)window;
        (void)image;
        (void)large;
    }
    // Writes what the window shows on the screen now as a PNG.
    virtual bool saveScreenshot(NativeWindowId window, const std::string& path) const {
        (void)window;
        (void)path;
        return false;
    }

    // Device pixels per logical pixel. Geometry is logical everywhere; the toolkit paints
    // at this scale, and a window whose scale changes gets WM_DPICHANGED.
    virtual int scaleFactor(NativeWindowId window) const {
        (void)window;
        return 1;
    }

    // Painting. invalidate() asks for a WM_PAINT; present() puts a painted buffer (the
    // premultiplied image of the whole client area, at the buffer's scale) on the screen for
    // the given area (logical pixels).
    virtual void invalidate(NativeWindowId window, const UiRect& rect) = 0;
    virtual bool supportsPerPixelAlpha(NativeWindowId window) const = 0;
    virtual void present(NativeWindowId window, const DrawContext& buffer, const UiRect& area,
                         PresentMode mode, std::uint8_t constant_alpha) = 0;
    // Rounded-rectangle region in window coordinates; an empty rect removes it.
    virtual void setRegion(NativeWindowId window, const UiRect& rect, UiSize corner) = 0;

    // Timers deliver WM_TIMER with wParam = the id. Setting a running id restarts it.
    virtual bool setTimer(NativeWindowId window, std::uintptr_t id, unsigned elapse_ms) = 0;
    virtual bool killTimer(NativeWindowId window, std::uintptr_t id) = 0;
    virtual std::uint32_t tickCount() const = 0;

    // Input.
    virtual void setCapture(NativeWindowId window) = 0;
    virtual void releaseCapture() = 0;
    virtual NativeWindowId capture() const = 0;
    virtual void setCursor(CursorShape shape) = 0;
    virtual void setFocus(NativeWindowId window) = 0;
    virtual NativeWindowId focus() const = 0;
    virtual UiPoint cursorPosition(NativeWindowId window) const = 0; // client coordinates
    // Asks for one WM_MOUSEHOVER after hover_ms at rest and one WM_MOUSELEAVE.
    virtual void trackMouse(NativeWindowId window, unsigned hover_ms) = 0;
    // The window drags the hit-test asked for (HTCAPTION moves, HTLEFT..HTBOTTOMRIGHT resize).
    virtual void beginMoveDrag(NativeWindowId window, UiPoint screen_point) = 0;
    virtual void beginResizeDrag(NativeWindowId window, LRESULT hit_code, UiPoint screen_point) = 0;

    // Child edit window.
    virtual NativeWindowId createEdit(const EditCreateParams& params) = 0;
    virtual std::string editText(NativeWindowId edit) const = 0;
    virtual void setEditText(NativeWindowId edit, const std::string& text) = 0;
    // Selection in characters; end -1 = to the end.
    virtual void setEditSelection(NativeWindowId edit, int start, int end) = 0;
    virtual std::pair<int, int> editSelection(NativeWindowId edit) const = 0;

    // Accessibility: the window's controls, offered to assistive technologies; null
    // withdraws them. The tree stays valid until it is withdrawn or the window is gone.
    virtual void setAccessibleTree(NativeWindowId window, IAccessibleTree* tree) {
        (void)window;
        (void)tree;
    }

    // Shell and dialogs.
    virtual int messageBox(NativeWindowId owner, const std::string& text,
                           const std::string& caption, UINT flags) = 0; // IDOK / IDCANCEL
    virtual void showTooltip(NativeWindowId owner, const std::string& text, UiPoint at) = 0;
    virtual void hideTooltip(NativeWindowId owner) = 0;
    virtual bool openUrl(const std::string& url) = 0;
    virtual std::optional<std::string> pickFolder(NativeWindowId owner, const std::string& title,
                                                  const std::string& prompt,
                                                  const std::string& initial_folder) = 0;
};

} // namespace inkwarden

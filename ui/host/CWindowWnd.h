#pragma once

#include "ui/base/UiGeometry.h"
#include "ui/native/INativeWindowLayer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace inkwarden {

// A thin owner of one native top-level window on the process's window layer: class
// registration by name, creation, the window procedure that finds the object, close,
// centring and icons.
class CWindowWnd {
public:
    // A class's own procedure; an empty one is the layer's default procedure.
    using WindowProc = std::function<LRESULT(NativeWindowId, UINT, WPARAM, LPARAM)>;

    CWindowWnd();
    virtual ~CWindowWnd();
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    NativeWindowId getHWND() const { return hwnd_; }

    // Registers the class on first use, then creates the window; 0 on failure. A position
    // or size of CW_USEDEFAULT lets the layer choose (the skin's size comes later).
    NativeWindowId create(NativeWindowId parent, std::string_view name, std::uint32_t style,
                          std::uint32_t ex_style, int x = CW_USEDEFAULT, int y = CW_USEDEFAULT,
                          int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT);
    NativeWindowId create(NativeWindowId parent, std::string_view name, std::uint32_t style,
                          std::uint32_t ex_style, const UiRect& rect);

    void showWindow(bool show = true, bool take_focus = true);
    // Posts WM_CLOSE with wParam = code.
    void close(UINT code = IDOK);
    // Over the owner, or over the work area when there is none or it is minimised.
    void centerWindow();
    // The icon resource at the large and the small icon size.
    void setIcon(UINT resource_id);
    void resizeClient(int cx = -1, int cy = -1);

    LRESULT sendMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
    bool postMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0);

    // The process's class registry. Registering a name that exists succeeds and keeps
    // the first registration; an empty name fails.
    static bool registerClass(const std::string& name, std::uint32_t class_style,
                              WindowProc proc = {});
    static bool isClassRegistered(const std::string& name);

    // Icon sizes of this platform, each a multiple of 16.
    static constexpr int LARGE_ICON_SIZE = 32;
    static constexpr int SMALL_ICON_SIZE = 16;

protected:
    virtual const char* windowClassName() const = 0;
    // An existing class whose procedure this class extends; none by default.
    virtual const char* superClassName() const { return nullptr; }
    virtual UINT classStyle() const { return 0; }
    // The id by which the desktop matches a top-level window to its program (X11 window
    // class, Wayland app id); none by default.
    virtual const char* applicationId() const { return nullptr; }
    virtual LRESULT handleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    // After the native window is gone.
    virtual void onFinalMessage(NativeWindowId window) { (void)window; }

    // The previous window procedure.
    LRESULT callOldProc(UINT message, WPARAM wparam, LPARAM lparam);
    INativeWindowLayer* layer() const;
    // The style the window was created with, as the window host changes it.
    std::uint32_t getStyle() const { return style_; }
    void setStyle(std::uint32_t style) { style_ = style; }

    NativeWindowId hwnd_ = 0;
    WindowProc old_proc_;
    bool subclassed_ = false;

private:
    bool registerWindowClass();
    bool registerSuperclass();
    LRESULT windowProc(UINT message, WPARAM wparam, LPARAM lparam);

    bool attached_ = false; // the native window has found this object
    std::uint32_t style_ = 0;
};

} // namespace inkwarden

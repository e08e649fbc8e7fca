#include "ui/native/WindowLayerBase.h"

namespace inkwarden {

WindowLayerBase::WindowLayerBase() = default;
WindowLayerBase::~WindowLayerBase() = default;

void WindowLayerBase::adopt(std::unique_ptr<WindowRecord> record) {
    const NativeWindowId id = record->id;
    windows_.emplace(id, std::move(record));
}

WindowRecord* WindowLayerBase::findRecord(NativeWindowId window) const {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.get();
}

bool WindowLayerBase::exists(NativeWindowId window) const {
    return findRecord(window) != nullptr;
}

NativeWindowId WindowLayerBase::parentOf(NativeWindowId window) const {
    const WindowRecord* w = findRecord(window);
    return w == nullptr ? 0 : w->parent;
}

std::vector<NativeWindowId> WindowLayerBase::children(NativeWindowId window) const {
    std::vector<NativeWindowId> out;
    for (const auto& [id, w] : windows_)
        if (w->parent == window)
            out.push_back(id);
    return out;
}

bool WindowLayerBase::deliverCreate(NativeWindowId window) {
    send(window, WM_NCCREATE, 0, static_cast<LPARAM>(window));
    if (exists(window) && send(window, WM_CREATE, 0, 0) == CREATE_REFUSED)
        destroy(window);
    return exists(window);
}

void WindowLayerBase::destroy(NativeWindowId window) {
    if (!exists(window))
        return;
    send(window, WM_DESTROY, 0, 0);
    for (NativeWindowId child : children(window))
        destroy(child);
    WindowRecord* w = findRecord(window);
    if (w == nullptr)
        return;
    stopWindow(*w);
    send(window, WM_NCDESTROY, 0, 0);
    auto node = windows_.extract(window);
    if (capture_ == window)
        capture_ = 0;
    if (focus_ == window)
        focus_ = 0;
    if (!node.empty())
        forgetWindow(*node.mapped());
}

LRESULT WindowLayerBase::send(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) {
    const WindowRecord* w = findRecord(window);
    if (w == nullptr)
        return 0;
    if (!w->sink)
        return defaultProc(window, message, wparam, lparam);
    // A copy: the sink may destroy its own window.
    MessageSink sink = w->sink;
    return sink(message, wparam, lparam);
}

bool WindowLayerBase::dispatchQueued(NativeWindowId window, UINT message, WPARAM wparam,
                                     LPARAM lparam) {
    if (hook_) {
        // A copy: the hook may replace itself.
        const PreTranslateHook hook = hook_;
        if (hook(NativeMessage{window, message, wparam, lparam}))
            return false;
    }
    if (!exists(window))
        return false;
    send(window, message, wparam, lparam);
    return true;
}

void WindowLayerBase::changeFocus(NativeWindowId window) {
    const NativeWindowId old = focus_;
    if (old == window)
        return;
    focus_ = window;
    if (old != 0)
        send(old, WM_KILLFOCUS, static_cast<WPARAM>(window), 0);
    if (window != 0 && exists(window) && focus_ == window)
        send(window, WM_SETFOCUS, static_cast<WPARAM>(old), 0);
}

LRESULT WindowLayerBase::defaultProc(NativeWindowId window, UINT message, WPARAM wparam,
                                     LPARAM lparam) {
    switch (message) {
    case WM_NCCREATE:
        return 1;
    case WM_CLOSE:
        destroy(window);
        return 0;
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_NCLBUTTONDOWN:
        beginNonClientDrag(window, wparam, lparam);
        return 0;
    case WM_NCLBUTTONDBLCLK:
        if (static_cast<LRESULT>(wparam) == HTCAPTION)
            show(window, isMaximized(window) ? ShowCommand::RESTORE : ShowCommand::MAXIMIZE);
        return 0;
    case WM_SYSKEYDOWN:
        // Alt+F4 asks the window to close, as its system menu would.
        if (wparam == VK_F4)
            send(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND:
        runSystemCommand(window, wparam);
        return 0;
    case WM_MOUSEACTIVATE:
        return MA_ACTIVATE;
    default:
        return 0;
    }
}

void WindowLayerBase::beginNonClientDrag(NativeWindowId window, WPARAM hit_code,
                                         LPARAM screen_point) {
    const UiPoint p{GET_X_LPARAM(screen_point), GET_Y_LPARAM(screen_point)};
    const auto hit = static_cast<LRESULT>(hit_code);
    if (hit == HTCAPTION)
        beginMoveDrag(window, p);
    else if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT)
        beginResizeDrag(window, hit, p);
}

void WindowLayerBase::runSystemCommand(NativeWindowId window, WPARAM command) {
    switch (command & SC_COMMAND_MASK) {
    case SC_CLOSE:
        send(window, WM_CLOSE, 0, 0);
        break;
    case SC_MINIMIZE:
        show(window, ShowCommand::MINIMIZE);
        break;
    case SC_MAXIMIZE:
        show(window, ShowCommand::MAXIMIZE);
        break;
    case SC_RESTORE:
        show(window, ShowCommand::RESTORE);
        break;
    default:
        break;
    }
}

} // namespace inkwarden

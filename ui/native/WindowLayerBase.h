#pragma once

#include "ui/native/INativeWindowLayer.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace inkwarden {

// What every layer keeps of a window; each layer derives its own record with the rest.
struct WindowRecord {
    virtual ~WindowRecord() = default;

    NativeWindowId id = 0;
    NativeWindowId parent = 0; // parent (child windows) or owner (popups); 0 for top level
    std::uint32_t style = 0;
    UiRect rect;      // last known window rectangle (screen, or parent client)
    MessageSink sink; // empty: the default procedure answers
    bool is_edit = false;
};

// The part of a window layer that is the same on every platform: the window records and
// their ids, sending to a window's sink, the default window procedure, the order in which
// a window and its children are destroyed, the focus and capture bookkeeping and the
// pre-translate hook. The desktop and the headless layer derive from it, so that tests on
// the headless layer take the same close and destroy paths as the desktop.
class WindowLayerBase : public INativeWindowLayer {
public:
    WindowLayerBase();
    ~WindowLayerBase() override;
    WindowLayerBase(const WindowLayerBase&) = delete;
    WindowLayerBase& operator=(const WindowLayerBase&) = delete;

    // WM_DESTROY, the children (each the same way), then WM_NCDESTROY; the record goes
    // after that, and capture and focus with it.
    void destroy(NativeWindowId window) override;
    bool exists(NativeWindowId window) const override;
    // Alt+F4 and the system commands close, minimise, maximise and restore; a non-client
    // press on the caption or a border starts the platform's move or resize drag, and a
    // double click on the caption toggles the maximised state.
    LRESULT defaultProc(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) override;
    LRESULT send(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) override;
    void setPreTranslateHook(PreTranslateHook hook) override { hook_ = std::move(hook); }
    NativeWindowId parentOf(NativeWindowId window) const override;
    NativeWindowId capture() const override { return capture_; }
    NativeWindowId focus() const override { return focus_; }

    // The windows whose parent or owner is `window`, in the order they were made.
    std::vector<NativeWindowId> children(NativeWindowId window) const;

protected:
    using Records = std::map<NativeWindowId, std::unique_ptr<WindowRecord>>;

    // Ids are handed out before the record is kept, so that a layer can bind its platform
    // objects to the id first and keep the record once they are complete.
    NativeWindowId allocateId() { return next_id_++; }
    void adopt(std::unique_ptr<WindowRecord> record);
    WindowRecord* findRecord(NativeWindowId window) const;
    template <typename Record> Record* findAs(NativeWindowId window) const {
        return static_cast<Record*>(findRecord(window));
    }
    const Records& records() const { return windows_; }

    // WM_NCCREATE, then WM_CREATE; a window whose WM_CREATE answers -1 is destroyed.
    // True while the window lives on.
    bool deliverCreate(NativeWindowId window);
    // Queued input and posts: offered to the pre-translate hook, then sent. False when the
    // hook took the message or the window is gone.
    bool dispatchQueued(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam);
    // Moves the keyboard focus: WM_KILLFOCUS to the old window, then WM_SETFOCUS to the
    // new one unless the old one's handler moved the focus again.
    void changeFocus(NativeWindowId window);

    // destroy() calls these: before WM_NCDESTROY the layer stops the window's timers, and
    // once the record is out of the registry (so that the platform's last events for it
    // find no window) the layer lets go of what else refers to it. The record dies after.
    virtual void stopWindow(WindowRecord& record) { (void)record; }
    virtual void forgetWindow(WindowRecord& record) { (void)record; }

    NativeWindowId capture_ = 0;
    NativeWindowId focus_ = 0;

private:
    void beginNonClientDrag(NativeWindowId window, WPARAM hit_code, LPARAM screen_point);
    void runSystemCommand(NativeWindowId window, WPARAM command);

    Records windows_;
    NativeWindowId next_id_ = 1;
    PreTranslateHook hook_;
};

} // namespace inkwarden

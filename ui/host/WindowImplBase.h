#pragma once

#include "ui/controls/IDialogBuilderCallback.h"
#include "ui/host/CNotifyPump.h"
#include "ui/host/CWindowWnd.h"
#include "ui/runtime/IMessageFilterUI.h"
#include "ui/runtime/INotifyUI.h"
#include "ui/runtime/PaintManager.h"

#include <string>

namespace inkwarden {

class CControlUI;

// Where a window's skin comes from.
enum class SkinSource {
    Folder,         // files under the resource path
    ZipFile,        // zipFileName() under the resource path
    ModuleResource, // skinFile() is the id of an "xml" module resource
    ZipResource,    // the "ZIPRES" module resource resourceId()
};

// The base of skinned, caption-less windows: builds the skin into its paint manager on
// creation, handles the non-client messages so that the window can be dragged, sized and
// closed, and receives the manager's notifications through its message map.
class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
public:
    WindowImplBase();
    ~WindowImplBase() override;

    // Called once the control tree is attached.
    virtual void onWindowReady() {}
    // The window buttons: "closebtn", "minbtn", "maxbtn", "restorebtn".
    virtual void onClick(Notification& msg);

    PaintManager& getPaintManager() { return paint_manager_; }

    // INotifyUI: every notification goes to the pump.
    void notify(Notification& msg) override;
    // IMessageFilterUI: Return and Escape key-downs go to handleDefaultKey; the message is
    // never consumed.
    LRESULT messageHandler(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
    // IDialogBuilderCallback: no classes of its own.
    CControlUI* createControl(const char* name) override;

    // Where the non-client hit-test puts a client point. `under` is the control there.
    static LRESULT hitTest(UiPoint client, const UiRect& client_rect, bool maximized,
                           const UiRect& size_box, const UiRect& caption, const CControlUI* under);

    static const NotifyMap NOTIFY_MAP;

protected:
    virtual std::string skinFolder() = 0;
    virtual std::string skinFile() = 0;
    // Escape closes with code 1 and returns 1; other keys return 0.
    virtual LRESULT handleDefaultKey(WPARAM key);
    virtual SkinSource skinSource() const { return SkinSource::Folder; }
    virtual std::string zipFileName() const { return {}; }
    // A decimal resource id for ZipResource.
    virtual std::string resourceId() const { return {}; }

    virtual LRESULT onClose(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onDestroy(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onNcActivate(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    // lParam: the proposed window rectangle (UiRect*), or 0.
    virtual LRESULT onNcCalcSize(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onNcPaint(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onNcHitTest(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onGetMinMaxInfo(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onMouseWheel(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onMouseHover(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onSize(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onChar(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onSysCommand(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onCreate(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onKeyDown(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onKillFocus(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onSetFocus(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onLButtonDown(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onLButtonUp(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    virtual LRESULT onMouseMove(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    // Messages without a named handler, or whose handler left them; sets handled to false.
    virtual LRESULT handleCustomMessage(UINT message, WPARAM wparam, LPARAM lparam, bool& handled);
    // The window's style without the caption bits.
    virtual std::uint32_t windowStyle() const;

    UINT classStyle() const override { return CS_DBLCLKS; }
    LRESULT handleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
    void onFinalMessage(NativeWindowId window) override;
    const NotifyMap* getNotifyMap() const override { return &NOTIFY_MAP; }

    PaintManager paint_manager_;

private:
    using MessageHandler = LRESULT (WindowImplBase::*)(UINT, WPARAM, LPARAM, bool&);

    // The on... handler of a message; null for messages without one.
    static MessageHandler namedHandler(UINT message);
    // What the default handlers answer: 0, and the message goes on.
    static LRESULT leaveUnhandled(bool& handled);
    // The paint manager takes the window and sees its messages after this window.
    void attachPaintManager();
    // The resource path set before, else skinFolder() (under the program's folder unless
    // it is absolute).
    std::string resourcePath();
    // The archive skinSource() names; false when a resource archive is missing.
    bool openSkinArchive();
    // The control tree of skinFile(); null when it does not build.
    CControlUI* buildSkinTree();
    // The skin did not build: the message box, then the end of the process.
    void failSkinLoad();
};

} // namespace inkwarden

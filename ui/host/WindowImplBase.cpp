#include "ui/host/WindowImplBase.h"

#include "platform/TextEncoding.h"
#include "platform/Translation.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/DialogBuilder.h"
#include "ui/host/WindowHost.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"

#include <cctype>
#include <charconv>
#include <map>
#include <span>
#include <string_view>
#include <vector>

namespace inkwarden {
namespace {

std::optional<int> ParseId(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The skin archive of the module resource, kept for the life of the process.
std::vector<unsigned char>& ResourceZipBlock() {
    static std::vector<unsigned char> block;
    return block;
}

const NotifyMapEntry WINDOW_ENTRIES[] = {
    {"click", "", NotifySignature::NOTIFICATION, NotifyHandlerOf<&WindowImplBase::onClick>(),
     nullptr},
    {},
};

} // namespace

const NotifyMap WindowImplBase::NOTIFY_MAP{&CNotifyPump::NOTIFY_MAP, WINDOW_ENTRIES};

WindowImplBase::WindowImplBase() = default;
WindowImplBase::~WindowImplBase() = default;

void WindowImplBase::notify(Notification& msg) {
    notifyPump(msg);
}

LRESULT WindowImplBase::messageHandler(UINT message, WPARAM wparam, LPARAM, bool&) {
    if (message == WM_KEYDOWN && (wparam == VK_RETURN || wparam == VK_ESCAPE))
        return handleDefaultKey(wparam);
    return 0;
}

CControlUI* WindowImplBase::createControl(const char*) {
    return nullptr;
}

LRESULT WindowImplBase::handleDefaultKey(WPARAM key) {
    if (key == VK_ESCAPE) {
        close(IDOK);
        return 1;
    }
    return 0;
}

void WindowImplBase::onClick(Notification& msg) {
    const std::string name = msg.sender != nullptr ? msg.sender->getName() : std::string{};
    if (name == "closebtn")
        close(IDOK);
    else if (name == "minbtn")
        sendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == "maxbtn")
        sendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name == "restorebtn")
        sendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
}

WindowImplBase::MessageHandler WindowImplBase::namedHandler(UINT message) {
    static const std::map<UINT, MessageHandler> HANDLERS = {
        {WM_CREATE, &WindowImplBase::onCreate},
        {WM_CLOSE, &WindowImplBase::onClose},
        {WM_DESTROY, &WindowImplBase::onDestroy},
        {WM_NCACTIVATE, &WindowImplBase::onNcActivate},
        {WM_NCCALCSIZE, &WindowImplBase::onNcCalcSize},
        {WM_NCPAINT, &WindowImplBase::onNcPaint},
        {WM_NCHITTEST, &WindowImplBase::onNcHitTest},
        {WM_GETMINMAXINFO, &WindowImplBase::onGetMinMaxInfo},
        {WM_MOUSEWHEEL, &WindowImplBase::onMouseWheel},
        {WM_SIZE, &WindowImplBase::onSize},
        {WM_CHAR, &WindowImplBase::onChar},
        {WM_SYSCOMMAND, &WindowImplBase::onSysCommand},
        {WM_KEYDOWN, &WindowImplBase::onKeyDown},
        {WM_KILLFOCUS, &WindowImplBase::onKillFocus},
        {WM_SETFOCUS, &WindowImplBase::onSetFocus},
        {WM_LBUTTONUP, &WindowImplBase::onLButtonUp},
        {WM_LBUTTONDOWN, &WindowImplBase::onLButtonDown},
        {WM_MOUSEMOVE, &WindowImplBase::onMouseMove},
        {WM_MOUSEHOVER, &WindowImplBase::onMouseHover},
    };
    const auto it = HANDLERS.find(message);
    return it == HANDLERS.end() ? nullptr : it->second;
}

LRESULT WindowImplBase::handleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    // The named handler first; one that leaves the message (or none) passes it on to the
    // custom handler, then to the paint manager, then to the default procedure.
    bool handled = false;
    LRESULT result = 0;
    if (const MessageHandler handler = namedHandler(message)) {
        handled = true;
        result = (this->*handler)(message, wparam, lparam, handled);
        if (handled)
            return result;
    }
    result = handleCustomMessage(message, wparam, lparam, handled);
    if (handled)
        return result;
    if (paint_manager_.messageHandler(message, wparam, lparam, result))
        return result;
    return CWindowWnd::handleMessage(message, wparam, lparam);
}

LRESULT WindowImplBase::leaveUnhandled(bool& handled) {
    handled = false;
    return 0;
}

LRESULT WindowImplBase::handleCustomMessage(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

std::uint32_t WindowImplBase::windowStyle() const {
    return getStyle() & ~WS_CAPTION;
}

LRESULT WindowImplBase::onClose(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

LRESULT WindowImplBase::onDestroy(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

LRESULT WindowImplBase::onNcActivate(UINT, WPARAM wparam, LPARAM, bool& handled) {
    if (layer()->isMinimized(hwnd_)) {
        handled = false;
        return 0;
    }
    // No frame is drawn either way.
    return wparam == 0 ? 1 : 0;
}

LRESULT WindowImplBase::onNcCalcSize(UINT, WPARAM, LPARAM lparam, bool&) {
    if (lparam != 0 && layer()->isMaximized(hwnd_)) {
        auto* proposed = reinterpret_cast<UiRect*>(lparam);
        const UiRect area = layer()->workArea(hwnd_);
        proposed->right = proposed->left + area.width();
        proposed->bottom = proposed->top + area.height();
        return WVR_REDRAW;
    }
    // The whole window is client area.
    return 0;
}

LRESULT WindowImplBase::onNcPaint(UINT, WPARAM, LPARAM, bool&) {
    return 0;
}

LRESULT WindowImplBase::hitTest(UiPoint pt, const UiRect& client, bool maximized,
                                const UiRect& size_box, const UiRect& caption,
                                const CControlUI* under) {
    if (!maximized) {
        if (pt.y < client.top + size_box.top) {
            if (pt.x < client.left + size_box.left)
                return HTTOPLEFT;
            if (pt.x > client.right - size_box.right)
                return HTTOPRIGHT;
            return HTTOP;
        }
        if (pt.y > client.bottom - size_box.bottom) {
            if (pt.x < client.left + size_box.left)
                return HTBOTTOMLEFT;
            if (pt.x > client.right - size_box.right)
                return HTBOTTOMRIGHT;
            return HTBOTTOM;
        }
        if (pt.x < client.left + size_box.left)
            return HTLEFT;
        if (pt.x > client.right - size_box.right)
            return HTRIGHT;
    }
    if (pt.x >= client.left + caption.left && pt.x < client.right - caption.right &&
        pt.y >= caption.top && pt.y < caption.bottom) {
        // Buttons, options and texts in the caption band stay clickable.
        if (under != nullptr) {
            const char* cls = under->getClass();
            if (EqualsIgnoringAsciiCase(cls, "Button") || EqualsIgnoringAsciiCase(cls, "Option") ||
                EqualsIgnoringAsciiCase(cls, "Text"))
                return HTCLIENT;
        }
        return HTCAPTION;
    }
    return HTCLIENT;
}

LRESULT WindowImplBase::onNcHitTest(UINT, WPARAM, LPARAM lparam, bool&) {
    INativeWindowLayer* host = layer();
    const UiRect window = host->windowRect(hwnd_);
    const UiPoint pt{GET_X_LPARAM(lparam) - window.left, GET_Y_LPARAM(lparam) - window.top};
    const UiRect client = host->clientRect(hwnd_);
    const bool maximized = host->isMaximized(hwnd_);
    return hitTest(pt, client, maximized, paint_manager_.getSizeBox(),
                   paint_manager_.getCaptionRect(), paint_manager_.findControl(pt));
}

LRESULT WindowImplBase::onGetMinMaxInfo(UINT, WPARAM, LPARAM lparam, bool& handled) {
    // The paint manager applies the skin's limits after us.
    handled = false;
    auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
    if (info == nullptr)
        return 0;
    const UiRect area = layer()->workArea(hwnd_);
    // Work areas are in screen coordinates here, which is the primary monitor's too.
    info->max_position = {area.left, area.top};
    info->max_track_size = {area.width(), area.height()};
    const UiSize min = paint_manager_.getMinInfo();
    info->min_track_size = {min.cx, min.cy};
    return 0;
}

LRESULT WindowImplBase::onMouseWheel(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

LRESULT WindowImplBase::onMouseHover(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

LRESULT WindowImplBase::onSize(UINT, WPARAM, LPARAM, bool& handled) {
    const UiSize corner = paint_manager_.getRoundCorner();
    INativeWindowLayer* host = layer();
    if ((corner.cx != 0 || corner.cy != 0) && !host->isMinimized(hwnd_)) {
        const UiRect window = host->windowRect(hwnd_);
        host->setRegion(hwnd_, {0, 0, window.width() + 1, window.height() + 1}, corner);
    }
    handled = false;
    return 0;
}

LRESULT WindowImplBase::onChar(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

LRESULT WindowImplBase::onSysCommand(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
    if (wparam == SC_CLOSE) {
        sendMessage(WM_CLOSE);
        return 0;
    }
    INativeWindowLayer* host = layer();
    const bool was_maximized = host->isMaximized(hwnd_);
    const LRESULT result = CWindowWnd::handleMessage(message, wparam, lparam);
    if (hwnd_ != 0 && host->isMaximized(hwnd_) != was_maximized) {
        CControlUI* max_button = paint_manager_.findControlByName("maxbtn");
        CControlUI* restore_button = paint_manager_.findControlByName("restorebtn");
        if (max_button != nullptr && restore_button != nullptr) {
            max_button->setVisible(was_maximized);
            restore_button->setVisible(!was_maximized);
        }
    }
    (void)handled;
    return result;
}

LRESULT WindowImplBase::onCreate(UINT, WPARAM, LPARAM, bool&) {
    // No caption; the layer's windows carry no frame, so only the style changes.
    setStyle((getStyle() & ~WS_CAPTION) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    attachPaintManager();
    PaintManager::setResourcePath(resourcePath());
    // Without the archive the window stays empty.
    if (!openSkinArchive())
        return 0;
    CControlUI* root = buildSkinTree();
    // A skin that does not build ends the program.
    if (root == nullptr) {
        failSkinLoad();
        return CREATE_REFUSED;
    }
    paint_manager_.attachRoot(root);
    paint_manager_.addNotifier(this);
    onWindowReady();
    return 0;
}

void WindowImplBase::attachPaintManager() {
    // The manager takes the window; this window sees its messages first.
    paint_manager_.init(layer(), hwnd_);
    paint_manager_.on_resize_window = [this](UiSize size) { resizeClient(size.cx, size.cy); };
    paint_manager_.addPreMessageFilter(this);
}

std::string WindowImplBase::resourcePath() {
    const std::string path = PaintManager::getResourcePath();
    if (!path.empty())
        return path;
    const std::string folder = skinFolder();
    // A folder that is already absolute is not put under the program's folder.
    return !folder.empty() && folder.front() == '/' ? folder
                                                    : WindowHost::getInstancePath() + folder;
}

bool WindowImplBase::openSkinArchive() {
    switch (skinSource()) {
    case SkinSource::ZipFile:
        PaintManager::setResourceZip(zipFileName(), true);
        return true;
    case SkinSource::ZipResource: {
        const std::optional<int> id = ParseId(resourceId());
        const auto bytes =
            id ? ModuleResources::find("ZIPRES", *id) : std::span<const unsigned char>{};
        if (bytes.empty())
            return false;
        std::vector<unsigned char>& block = ResourceZipBlock();
        if (block.empty())
            block.assign(bytes.begin(), bytes.end());
        PaintManager::setResourceZipMemory(block);
        return true;
    }
    case SkinSource::Folder:
    case SkinSource::ModuleResource:
        break;
    }
    return true;
}

CControlUI* WindowImplBase::buildSkinTree() {
    DialogBuilder builder;
    if (skinSource() != SkinSource::ModuleResource)
        return builder.create(skinFile(), this, &paint_manager_);
    // The skin file names an "xml" module resource by its number.
    const std::optional<int> id = ParseId(skinFile());
    return id ? builder.create(*id, "xml", this, &paint_manager_) : nullptr;
}

void WindowImplBase::failSkinLoad() {
    layer()->messageBox(0, Tr("Cannot load the skin's files"), Tr("Error"), MB_OK | MB_ICONERROR);
    WindowHost::exitProcess(1);
}

LRESULT WindowImplBase::onKeyDown(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

LRESULT WindowImplBase::onKillFocus(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

LRESULT WindowImplBase::onSetFocus(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

LRESULT WindowImplBase::onLButtonDown(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

LRESULT WindowImplBase::onLButtonUp(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

LRESULT WindowImplBase::onMouseMove(UINT, WPARAM, LPARAM, bool& handled) {
    return leaveUnhandled(handled);
}

void WindowImplBase::onFinalMessage(NativeWindowId) {
    paint_manager_.removePreMessageFilter(this);
    paint_manager_.removeNotifier(this);
    paint_manager_.reapObjects(paint_manager_.getRoot());
}

} // namespace inkwarden

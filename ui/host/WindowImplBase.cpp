#include "ui/host/WindowImplBase.h"

#include "platform/TextEncoding.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/DialogBuilder.h"
#include "ui/host/WindowHost.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"

#include <cctype>
#include <charconv>
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

LRESULT WindowImplBase::handleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    bool handled = true;
    switch (message) {
    case WM_CREATE:
        result = onCreate(message, wparam, lparam, handled);
        break;
    case WM_CLOSE:
        result = onClose(message, wparam, lparam, handled);
        break;
    case WM_DESTROY:
        result = onDestroy(message, wparam, lparam, handled);
        break;
    case WM_NCACTIVATE:
        result = onNcActivate(message, wparam, lparam, handled);
        break;
    case WM_NCCALCSIZE:
        result = onNcCalcSize(message, wparam, lparam, handled);
        break;
    case WM_NCPAINT:
        result = onNcPaint(message, wparam, lparam, handled);
        break;
    case WM_NCHITTEST:
        result = onNcHitTest(message, wparam, lparam, handled);
        break;
    case WM_GETMINMAXINFO:
        result = onGetMinMaxInfo(message, wparam, lparam, handled);
        break;
    case WM_MOUSEWHEEL:
        result = onMouseWheel(message, wparam, lparam, handled);
        break;
    case WM_SIZE:
        result = onSize(message, wparam, lparam, handled);
        break;
    case WM_CHAR:
        result = onChar(message, wparam, lparam, handled);
        break;
    case WM_SYSCOMMAND:
        result = onSysCommand(message, wparam, lparam, handled);
        break;
    case WM_KEYDOWN:
        result = onKeyDown(message, wparam, lparam, handled);
        break;
    case WM_KILLFOCUS:
        result = onKillFocus(message, wparam, lparam, handled);
        break;
    case WM_SETFOCUS:
        result = onSetFocus(message, wparam, lparam, handled);
        break;
    case WM_LBUTTONUP:
        result = onLButtonUp(message, wparam, lparam, handled);
        break;
    case WM_LBUTTONDOWN:
        result = onLButtonDown(message, wparam, lparam, handled);
        break;
    case WM_MOUSEMOVE:
        result = onMouseMove(message, wparam, lparam, handled);
        break;
    case WM_MOUSEHOVER:
        result = onMouseHover(message, wparam, lparam, handled);
        break;
    default:
        handled = false;
        break;
    }
    if (handled)
        return result;
    result = handleCustomMessage(message, wparam, lparam, handled);
    if (handled)
        return result;
    if (paint_manager_.messageHandler(message, wparam, lparam, result))
        return result;
    return CWindowWnd::handleMessage(message, wparam, lparam);
}

LRESULT WindowImplBase::handleCustomMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

std::uint32_t WindowImplBase::windowStyle() const {
    return getStyle() & ~WS_CAPTION;
}

LRESULT WindowImplBase::onClose(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT WindowImplBase::onDestroy(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
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
        return 0x300; // redraw
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
    handled = false;
    return 0;
}

LRESULT WindowImplBase::onMouseHover(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
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
    handled = false;
    return 0;
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
    // 1. No caption; the layer's windows carry no frame, so only the style changes.
    setStyle((getStyle() & ~WS_CAPTION) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);

    // 2. The manager takes the window; this window sees its messages first.
    INativeWindowLayer* host = layer();
    paint_manager_.init(host, hwnd_);
    paint_manager_.on_resize_window = [this](UiSize size) { resizeClient(size.cx, size.cy); };
    paint_manager_.addPreMessageFilter(this);

    // 3. The resource path.
    std::string path = PaintManager::getResourcePath();
    if (path.empty()) {
        const std::string folder = skinFolder();
        // A folder that is already absolute is not put under the program's folder.
        path = !folder.empty() && folder.front() == '/' ? folder
                                                        : WindowHost::getInstancePath() + folder;
    }
    PaintManager::setResourcePath(path);

    // 4. The archive.
    switch (skinSource()) {
    case SkinSource::ZipFile:
        PaintManager::setResourceZip(zipFileName(), true);
        break;
    case SkinSource::ZipResource: {
        const std::optional<int> id = ParseId(resourceId());
        const auto bytes =
            id ? ModuleResources::find("ZIPRES", *id) : std::span<const unsigned char>{};
        // Without the archive the window stays empty.
        if (bytes.empty())
            return 0;
        std::vector<unsigned char>& block = ResourceZipBlock();
        if (block.empty())
            block.assign(bytes.begin(), bytes.end());
        PaintManager::setResourceZipMemory(block);
        break;
    }
    case SkinSource::Folder:
    case SkinSource::ModuleResource:
        break;
    }

    // 5. The tree.
    CControlUI* root = nullptr;
    DialogBuilder builder;
    if (skinSource() == SkinSource::ModuleResource) {
        if (const std::optional<int> id = ParseId(skinFile()))
            root = builder.create(*id, "xml", this, &paint_manager_);
    } else {
        root = builder.create(skinFile(), this, &paint_manager_);
    }

    // 6. A skin that does not build ends the program.
    if (root == nullptr) {
        failSkinLoad();
        return -1;
    }

    // 7. Attach and go.
    paint_manager_.attachRoot(root);
    paint_manager_.addNotifier(this);
    onWindowReady();
    return 0;
}

void WindowImplBase::failSkinLoad() {
    layer()->messageBox(0, "加载资源文件失败", "错误", MB_OK | MB_ICONERROR);
    WindowHost::exitProcess(1);
}

LRESULT WindowImplBase::onKeyDown(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT WindowImplBase::onKillFocus(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT WindowImplBase::onSetFocus(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT WindowImplBase::onLButtonDown(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT WindowImplBase::onLButtonUp(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT WindowImplBase::onMouseMove(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

void WindowImplBase::onFinalMessage(NativeWindowId) {
    paint_manager_.removePreMessageFilter(this);
    paint_manager_.removeNotifier(this);
    paint_manager_.reapObjects(paint_manager_.getRoot());
}

} // namespace inkwarden

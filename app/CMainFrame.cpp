#include "app/CMainFrame.h"

#include "BuildConfig.h"
#include "net/ProxyCredentials.h"
#include "telemetry/EventCodes.h"
#include "telemetry/EventSpool.h"
#include "ui/controls/CButtonUI.h"
#include "ui/controls/CCheckBoxUI.h"
#include "ui/controls/CEditUI.h"
#include "ui/controls/CLabelUI.h"
#include "ui/controls/CProgressUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/host/WindowHost.h"

#include <cstdio>
#include <string_view>
#include <utility>

namespace inkwarden {
namespace {

const NotifyMapEntry MAIN_FRAME_ENTRIES[] = {
    // Through the base's virtual onClick, which this class overrides.
    {"click", "", NotifySignature::NOTIFICATION, NotifyHandlerOf<&WindowImplBase::onClick>(),
     nullptr},
    {},
};

template <typename T> T* FindAs(PaintManager& manager, const char* name, const char* type) {
    CControlUI* control = manager.findControlByName(name);
    return control != nullptr ? static_cast<T*>(control->getInterface(type)) : nullptr;
}

// The installer's own services: events the service misses wait in the user's state folder.
CMainFrame::Services InstallerServices() {
    CMainFrame::Services services;
    services.events.spool_folder = EventSpool::DefaultFolder();
    return services;
}

} // namespace

const NotifyMap CMainFrame::NOTIFY_MAP{&WindowImplBase::NOTIFY_MAP, MAIN_FRAME_ENTRIES};

CMainFrame::CMainFrame() : CMainFrame(InstallerServices()) {}

CMainFrame::CMainFrame(Services services)
    : InstallOptions(static_cast<IInstallWindow&>(*this), std::move(services)),
      ui_thread_(std::this_thread::get_id()) {}

CMainFrame::~CMainFrame() {
    // The close handling has stopped everything; a window that never closed stops here.
    ui_tasks_.close();
    StopInstall();
    reporter.Stop();
}

void CMainFrame::RunOnUiThread(UiTaskQueue::Task task) {
    if (OnUiThread()) {
        task();
    } else {
        ui_tasks_.post(std::move(task));
    }
}

void CMainFrame::FindControls() {
    PaintManager& manager = paint_manager_;
    close_button = FindAs<CButtonUI>(manager, "closebtn", "Button");
    progress = FindAs<CProgressUI>(manager, "progress", "Progress");
    tab_page = FindAs<CTabLayoutUI>(manager, "tab_page", "TabLayout");
    start_button = FindAs<CButtonUI>(manager, "btn_install_start", "Button");
    contact_button = FindAs<CButtonUI>(manager, "btn_contact_us", "Button");
    agree_box = FindAs<CCheckBoxUI>(manager, "btn_check_agree", "CheckBox");
    install_path = FindAs<CEditUI>(manager, "install_path", "Edit");
    space_required = FindAs<CLabelUI>(manager, "space_required", "Label");
    space_available = FindAs<CLabelUI>(manager, "space_available", "Label");
    install_percent = FindAs<CLabelUI>(manager, "install_percent", "Label");
    disk_space_error = FindAs<CLabelUI>(manager, "disk_space_error", "Label");
    failure_reason = FindAs<CLabelUI>(manager, "failure_reason", "Label");
}

void CMainFrame::onWindowReady() {
    SetDialogOwner(layer(), getHWND());
    const NativeWindowId window = getHWND();
    INativeWindowLayer* native = layer();
    ui_tasks_.open([native, window] { return native->post(window, WM_INSTALL_TASKS, 0, 0); });
    // The controls first, then the folder that the edit shows.
    FindControls();
    if (install_path == nullptr || start_button == nullptr) {
        std::printf("skin lacks install_path or btn_install_start\n");
    }
    InitInstallFolder();
    // The option boxes take their states once the folder is known.
    PaintManager& manager = paint_manager_;
    desk_link_box = FindAs<CCheckBoxUI>(manager, "btn_check_desk_lnk", "CheckBox");
    start_link_box = FindAs<CCheckBoxUI>(manager, "btn_check_startup_lnk", "CheckBox");
    bootup_box = FindAs<CCheckBoxUI>(manager, "btn_check_bootup", "CheckBox");
    InitOptionBoxes();
    // A number in the program's file name is not honoured: the identifiers are fixed.
    app_id = APP_ID;
    union_id = UNION_ID;
    // The first page's event waits in the reporter's queue until the first frame is shown
    // (OnFirstFramePresented).
    reporter.app_id = app_id;
    reporter.union_id = union_id;
    ShowPage(PAGE_CONFIGURATION);
    if (!custom_shown) {
        SetCustomPanel(false);
    }
    if (space_available != nullptr) {
        UpdateDiskSpace();
    }
}

void CMainFrame::onClick(Notification& msg) {
    // The click handlers by control name. Plain functions rather than member pointers: the
    // handlers live in base classes, and calling a converted member pointer trips the
    // undefined-behaviour checker.
    using ClickHandler = void (*)(CMainFrame&);
    static const std::pair<std::string_view, ClickHandler> CLICKS[] = {
        {"btn_install_finish", [](CMainFrame& frame) { frame.OnFinishClicked(); }},
        {"btn_install_start", [](CMainFrame& frame) { frame.OnStartClicked(); }},
        {"btn_install_license", [](CMainFrame& frame) { frame.OnLicencePageClicked(); }},
        {"btn_contact_us", [](CMainFrame& frame) { frame.OnContactClicked(); }},
        {"btn_install_custom", [](CMainFrame& frame) { frame.ToggleCustomPanel(); }},
        {"btn_install_custom_icon", [](CMainFrame& frame) { frame.ToggleCustomPanel(); }},
        {"btn_dir_select", [](CMainFrame& frame) { frame.OnBrowseClicked(); }},
        {"btn_check_agree", [](CMainFrame& frame) { frame.OnLicenceClicked(); }},
        {"btn_check_desk_lnk", [](CMainFrame& frame) { frame.OnDesktopLinkClicked(); }},
        {"btn_check_startup_lnk", [](CMainFrame& frame) { frame.OnStartLinkClicked(); }},
        {"btn_install_retry", [](CMainFrame& frame) { frame.OnRetryClicked(); }},
    };
    const std::string name = msg.sender != nullptr ? msg.sender->getName() : std::string();
    for (const auto& [control, handler] : CLICKS) {
        if (name == control) {
            handler(*this);
            break;
        }
    }
    WindowImplBase::onClick(msg);
}

void CMainFrame::OnFinishClicked() {
    LaunchProduct();
    postMessage(WM_CLOSE, 0, 1);
}

void CMainFrame::OnLicencePageClicked() {
    OpenPage(LICENCE_PAGE);
}

void CMainFrame::OnContactClicked() {
    reporter.Report(event_code::CONTACT_CLICKED);
    OpenPage(CONTACT_PAGE);
}

void CMainFrame::OnRetryClicked() {
    reporter.Report(event_code::RETRY_CLICKED);
    ShowPage(PAGE_INSTALLING);
    StartInstall();
}

void CMainFrame::OpenPage(const char* path) {
    // A browser that cannot start is not reported.
    layer()->openUrl(std::string(build_config::WEBSITE) + path);
}

std::string CMainFrame::skinFolder() {
    return WindowHost::getInstancePath();
}

void CMainFrame::ToggleCustomPanel() {
    if (paint_manager_.findControlByName("install_custom") == nullptr) {
        return;
    }
    custom_shown = !custom_shown;
    SetCustomPanel(custom_shown);
}

void CMainFrame::SetCustomPanel(bool shown) {
    if (!OnUiThread()) {
        ui_tasks_.post([this, shown] { SetCustomPanel(shown); });
        return;
    }
    // The window keeps its position.
    if (CControlUI* panel =
            FindAs<CControlUI>(paint_manager_, "install_custom", "VerticalLayout")) {
        UiRect rect = layer()->windowRect(getHWND());
        rect.right = rect.left + WINDOW_WIDTH;
        rect.bottom = rect.top + (shown ? UNFOLDED_HEIGHT : FOLDED_HEIGHT);
        layer()->setWindowRect(getHWND(), rect);
        panel->setVisible(shown);
    }
    // The toggle's icon tells which way the next click folds.
    if (auto* icon = FindAs<CButtonUI>(paint_manager_, "btn_install_custom_icon", "Button")) {
        icon->setAttribute("normalimage", shown ? EXPAND_ICON : FOLD_ICON);
    }
}

LRESULT CMainFrame::handleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INSTALL_TASKS:
        ui_tasks_.drain();
        return 0;
    case WM_PAINT:
        return OnPaintMessage(wparam, lparam);
    case WM_TIMER:
        OnInstallTimer(static_cast<unsigned>(wparam));
        break;
    case WM_NCLBUTTONDBLCLK:
        return 1; // neither maximises nor restores
    default:
        break;
    }
    return WindowImplBase::handleMessage(message, wparam, lparam);
}

LRESULT CMainFrame::OnPaintMessage(WPARAM wparam, LPARAM lparam) {
    const LRESULT result = WindowImplBase::handleMessage(WM_PAINT, wparam, lparam);
    if (!first_frame_presented_) {
        first_frame_presented_ = true;
        // After the paint has returned, so that the frame reaches the screen first.
        ui_tasks_.post([this] { OnFirstFramePresented(); });
    }
    return result;
}

void CMainFrame::OnFirstFramePresented() {
    // Nothing the first frame shows: the window icon and the event service.
    setIcon(ICON_RESOURCE);
    reporter.Start();
}

LRESULT CMainFrame::handleDefaultKey(WPARAM key) {
    if (key == VK_RETURN) {
        if (CButtonUI* button = DefaultButton()) {
            button->activate();
        }
        return 1;
    }
    if (key == VK_ESCAPE) {
        if (attempt_running) {
            close(IDOK);
        }
        return 1;
    }
    return 0;
}

CButtonUI* CMainFrame::DefaultButton() {
    if (tab_page == nullptr) {
        return nullptr;
    }
    static const std::pair<int, const char*> DEFAULTS[] = {
        {PAGE_CONFIGURATION, "btn_install_start"},
        {PAGE_SUCCESS, "btn_install_finish"},
        {PAGE_FAILURE, "btn_install_retry"},
    };
    for (const auto& [page, name] : DEFAULTS) {
        if (page == tab_page->getCurSel()) {
            auto* button = FindAs<CButtonUI>(paint_manager_, name, "Button");
            return button != nullptr && button->isVisible() && button->isEnabled() ? button
                                                                                   : nullptr;
        }
    }
    return nullptr;
}

LRESULT CMainFrame::onClose(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
    // Every close request (button, Escape, the window manager's) asks while an attempt runs,
    // since closing stops it; none asks when nothing would be lost.
    if (attempt_running) {
        const int answer = layer()->messageBox(getHWND(), Tr(EXIT_QUESTION), Tr(EXIT_CAPTION),
                                               MB_OKCANCEL | MB_ICONQUESTION);
        if (answer != IDOK) {
            handled = true;
            return 0;
        }
    }
    sign_in_prompt_.CloseAll();
    // Waits for a running package; what the attempt hands over from now on is dropped.
    StopInstall();
    ui_tasks_.close();
    // The loop ends after this message; the base's handling destroys the window.
    WindowHost::postQuitMessage(0);
    reporter.Stop();
    return WindowImplBase::onClose(message, wparam, lparam, handled);
}

void CMainFrame::SetProgressValue(int value) {
    pending_progress_ = value;
    if (OnUiThread()) {
        if (progress != nullptr) {
            progress->setValue(value);
        }
        return;
    }
    if (!progress_queued_.exchange(true)) {
        ui_tasks_.post([this] {
            progress_queued_ = false;
            if (progress != nullptr) {
                progress->setValue(pending_progress_);
            }
        });
    }
}

void CMainFrame::SetPercentText(const std::string& text) {
    if (OnUiThread()) {
        {
            std::lock_guard<std::mutex> lock(percent_mutex_);
            pending_percent_ = text;
        }
        if (install_percent != nullptr) {
            install_percent->setText(text);
        }
        return;
    }
    std::lock_guard<std::mutex> lock(percent_mutex_);
    pending_percent_ = text;
    if (percent_queued_) {
        return;
    }
    percent_queued_ = true;
    ui_tasks_.post([this] {
        std::string latest;
        {
            std::lock_guard<std::mutex> lock(percent_mutex_);
            percent_queued_ = false;
            latest = pending_percent_;
        }
        if (install_percent != nullptr) {
            install_percent->setText(latest);
        }
    });
}

void CMainFrame::SetFailureText(const std::string& text) {
    RunOnUiThread([this, text] {
        if (failure_reason != nullptr) {
            failure_reason->setText(text);
        }
    });
}

void CMainFrame::SelectPage(int index) {
    RunOnUiThread([this, index] {
        if (tab_page != nullptr) {
            tab_page->selectItem(index, true);
        }
    });
}

void CMainFrame::SetCloseEnabled(bool enabled) {
    RunOnUiThread([this, enabled] {
        if (close_button != nullptr) {
            close_button->setEnabled(enabled);
        }
    });
}

void CMainFrame::ShowContactButton() {
    RunOnUiThread([this] {
        if (contact_button != nullptr) {
            contact_button->setVisible(true);
        }
    });
}

void CMainFrame::StartInstallTimer() {
    RunOnUiThread([this] { layer()->setTimer(getHWND(), INSTALL_TIMER_ID, TIMER_PERIOD_MS); });
}

void CMainFrame::KillInstallTimer() {
    RunOnUiThread([this] { layer()->killTimer(getHWND(), INSTALL_TIMER_ID); });
}

bool CMainFrame::AskProxySignIn(const std::string& proxy) {
    if (tab_page == nullptr) {
        return false;
    }
    ui_tasks_.post([this, proxy] {
        // Known credentials that brought this ask were turned down.
        const bool refused = ProxyCredentialsFor(proxy).has_value();
        const bool asking = sign_in_prompt_.Ask(
            getHWND(), proxy, refused, [this, proxy](std::optional<ProxyCredentials> given) {
                if (!given) {
                    DeclineProxySignIn();
                    return;
                }
                // Kept for the run: every later transfer through this proxy signs in.
                RememberProxyCredentials(proxy, *given);
                RetryWithProxySignIn();
            });
        if (!asking) {
            DeclineProxySignIn();
        }
    });
    return true;
}

} // namespace inkwarden

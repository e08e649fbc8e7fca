#include "app/CMainFrame.h"

#include "BuildConfig.h"
#include "app/ReleaseLine.h"
#include "app/SupportLinks.h"
#include "net/ProxyCredentials.h"
#include "platform/DiagnosticSink.h"
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
    : ui_thread_(std::this_thread::get_id()),
      controller(static_cast<IInstallWindow&>(*this), std::move(services)), options(controller) {}

CMainFrame::~CMainFrame() {
    // The close handling has stopped everything; a window that never closed stops here.
    ui_tasks_.close();
    controller.StopInstall();
    controller.reporter.Stop();
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
    options.start_button = FindAs<CButtonUI>(manager, "btn_install_start", "Button");
    contact_button = FindAs<CButtonUI>(manager, "btn_contact_us", "Button");
    options.agree_box = FindAs<CCheckBoxUI>(manager, "btn_check_agree", "CheckBox");
    options.install_path = FindAs<CEditUI>(manager, "install_path", "Edit");
    options.space_required = FindAs<CLabelUI>(manager, "space_required", "Label");
    options.space_available = FindAs<CLabelUI>(manager, "space_available", "Label");
    install_percent = FindAs<CLabelUI>(manager, "install_percent", "Label");
    options.disk_space_error = FindAs<CLabelUI>(manager, "disk_space_error", "Label");
    failure_reason = FindAs<CLabelUI>(manager, "failure_reason", "Label");
    cancel_button = FindAs<CButtonUI>(manager, "btn_install_cancel", "Button");
    release_line = FindAs<CLabelUI>(manager, "release_line", "Label");
}

void CMainFrame::onWindowReady() {
    options.SetDialogOwner(layer(), getHWND());
    const NativeWindowId window = getHWND();
    INativeWindowLayer* native = layer();
    ui_tasks_.open([native, window] { return native->post(window, WM_INSTALL_TASKS, 0, 0); });
    // The controls first, then the folder that the edit shows.
    FindControls();
    if (options.install_path == nullptr || options.start_button == nullptr) {
        PrintDiagnostic("skin lacks install_path or btn_install_start\n");
    }
    options.InitInstallFolder();
    // The option boxes take their states once the folder is known.
    PaintManager& manager = paint_manager_;
    options.desk_link_box = FindAs<CCheckBoxUI>(manager, "btn_check_desk_lnk", "CheckBox");
    options.start_link_box = FindAs<CCheckBoxUI>(manager, "btn_check_startup_lnk", "CheckBox");
    options.bootup_box = FindAs<CCheckBoxUI>(manager, "btn_check_bootup", "CheckBox");
    options.events_box = FindAs<CCheckBoxUI>(manager, "btn_check_events", "CheckBox");
    options.InitOptionBoxes();
    // A number in the program's file name is not honoured: the identifiers are fixed.
    controller.app_id = APP_ID;
    controller.union_id = UNION_ID;
    // The first page's event waits in the reporter's queue until the first frame is shown
    // (OnFirstFramePresented).
    controller.reporter.app_id = controller.app_id;
    controller.reporter.union_id = controller.union_id;
    controller.ShowPage(InstallController::PAGE_CONFIGURATION);
    if (!controller.custom_shown) {
        SetCustomPanel(false);
    }
    if (options.space_available != nullptr) {
        options.UpdateDiskSpace();
    }
}

void CMainFrame::onClick(Notification& msg) {
    // The click handlers by control name.
    using ClickHandler = void (*)(CMainFrame&);
    static const std::pair<std::string_view, ClickHandler> CLICKS[] = {
        {"btn_install_finish", [](CMainFrame& frame) { frame.OnFinishClicked(); }},
        {"btn_install_start", [](CMainFrame& frame) { frame.options.OnStartClicked(); }},
        {"btn_install_license", [](CMainFrame& frame) { frame.OnLicencePageClicked(); }},
        {"btn_contact_us", [](CMainFrame& frame) { frame.OnContactClicked(); }},
        {"btn_install_custom", [](CMainFrame& frame) { frame.ToggleCustomPanel(); }},
        {"btn_install_custom_icon", [](CMainFrame& frame) { frame.ToggleCustomPanel(); }},
        {"btn_dir_select", [](CMainFrame& frame) { frame.options.OnBrowseClicked(); }},
        {"btn_check_agree", [](CMainFrame& frame) { frame.options.OnLicenceClicked(); }},
        {"btn_check_desk_lnk", [](CMainFrame& frame) { frame.options.OnDesktopLinkClicked(); }},
        {"btn_check_startup_lnk", [](CMainFrame& frame) { frame.options.OnStartLinkClicked(); }},
        {"btn_check_bootup", [](CMainFrame& frame) { frame.options.OnBootupClicked(); }},
        {"btn_check_events", [](CMainFrame& frame) { frame.options.OnEventsClicked(); }},
        {"btn_install_retry", [](CMainFrame& frame) { frame.OnRetryClicked(); }},
        {"btn_show_details", [](CMainFrame& frame) { frame.OnShowDetailsClicked(); }},
        {"btn_install_cancel", [](CMainFrame& frame) { frame.OnCancelClicked(); }},
        {"btn_events_info", [](CMainFrame& frame) { frame.OpenPage(EVENTS_PAGE); }},
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
    controller.LaunchProduct();
    postMessage(WM_CLOSE, 0, 1);
}

void CMainFrame::OnLicencePageClicked() {
    OpenPage(LICENCE_PAGE);
}

void CMainFrame::OnContactClicked() {
    controller.reporter.Report(event_code::CONTACT_CLICKED);
    OpenPage(CONTACT_PAGE);
}

void CMainFrame::OnRetryClicked() {
    controller.reporter.Report(event_code::RETRY_CLICKED);
    controller.ShowPage(InstallController::PAGE_INSTALLING);
    controller.StartInstall();
}

void CMainFrame::OnCancelClicked() {
    // The download may have ended while the question was open: then there is nothing to
    // cancel any more and the attempt goes on.
    if (AskToQuit()) {
        controller.CancelDownload();
    }
}

bool CMainFrame::AskToQuit() {
    return layer()->messageBox(getHWND(), Tr(EXIT_QUESTION), Tr(EXIT_CAPTION),
                               MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void CMainFrame::OnShowDetailsClicked() {
    const std::string log = DiagnosticSink::Shared().LogPath();
    SupportLinks(*layer(), getHWND()).ShowLog(log.empty() ? InstallerLogPath() : log);
}

void CMainFrame::OpenPage(const char* path) {
    SupportLinks(*layer(), getHWND()).OpenPage(std::string(build_config::WEBSITE) + path);
}

std::string CMainFrame::skinFolder() {
    return WindowHost::getInstancePath();
}

void CMainFrame::ToggleCustomPanel() {
    if (paint_manager_.findControlByName("install_custom") == nullptr) {
        return;
    }
    controller.custom_shown = !controller.custom_shown;
    SetCustomPanel(controller.custom_shown);
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
    controller.reporter.Start();
    // The first page names the release once the service has answered.
    controller.StartReleaseQuery();
}

LRESULT CMainFrame::handleDefaultKey(WPARAM key) {
    if (key == VK_RETURN) {
        if (CButtonUI* button = DefaultButton()) {
            button->activate();
        }
        return 1;
    }
    if (key == VK_ESCAPE) {
        if (controller.attempt_running) {
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
        {InstallController::PAGE_CONFIGURATION, "btn_install_start"},
        {InstallController::PAGE_SUCCESS, "btn_install_finish"},
        {InstallController::PAGE_FAILURE, "btn_install_retry"},
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
    if (controller.attempt_running && !AskToQuit()) {
        handled = true;
        return 0;
    }
    sign_in_prompt_.CloseAll();
    // Waits for a running package; what the attempt hands over from now on is dropped.
    controller.StopInstall();
    ui_tasks_.close();
    // The loop ends after this message; the base's handling destroys the window.
    WindowHost::postQuitMessage(0);
    controller.reporter.Stop();
    return WindowImplBase::onClose(message, wparam, lparam, handled);
}

void CMainFrame::SelectPage(int index) {
    RunOnUiThread([this, index] {
        if (tab_page != nullptr) {
            tab_page->selectItem(index, true);
        }
    });
}

void CMainFrame::Checking() {
    RunOnUiThread([this] {
        // A fresh bar; an earlier attempt's creep must not move it.
        layer()->killTimer(getHWND(), InstallBar::TIMER_ID);
        if (progress != nullptr) {
            progress->setValue(0);
        }
        if (failure_reason != nullptr) {
            failure_reason->setText(std::string());
        }
        line_.Reset();
        SetPercentText(Tr(CHECKING_TEXT));
        SetCancelShown(false);
    });
}

void CMainFrame::Downloading(const DownloadFigures& figures) {
    if (OnUiThread()) {
        ShowDownload(figures);
        return;
    }
    std::lock_guard<std::mutex> lock(download_mutex_);
    pending_download_ = figures;
    if (download_queued_) {
        return;
    }
    download_queued_ = true;
    ui_tasks_.post([this] {
        DownloadFigures latest;
        {
            std::lock_guard<std::mutex> lock(download_mutex_);
            download_queued_ = false;
            latest = pending_download_;
        }
        ShowDownload(latest);
    });
}

void CMainFrame::ShowDownload(const DownloadFigures& figures) {
    if (progress != nullptr) {
        progress->setValue(InstallBar::DownloadValue(figures.fraction));
    }
    // The line speaks of the download alone: its percentage, speed and time left.
    const int percent = static_cast<int>(figures.fraction * 100);
    if (auto text = line_.Update(figures.done, figures.total, percent, figures.bytes_per_second,
                                 ProgressLine::Clock::now())) {
        SetPercentText(*text);
    }
    SetCancelShown(true);
}

void CMainFrame::Installing() {
    RunOnUiThread([this] {
        SetCancelShown(false);
        if (progress != nullptr) {
            progress->setValue(bar_.StartInstalling());
        }
        layer()->setTimer(getHWND(), InstallBar::TIMER_ID, InstallBar::TIMER_PERIOD_MS);
        SetPercentText(Tr(INSTALLING_TEXT));
    });
}

void CMainFrame::Done(InstallFailure cause, const std::string& cause_text, bool offer_contact) {
    RunOnUiThread([this, cause, cause_text, offer_contact] {
        SetCancelShown(false);
        if (failure_reason != nullptr) {
            failure_reason->setText(cause_text);
        }
        if (cause != InstallFailure::NONE) {
            if (auto* picture = FindAs<CControlUI>(paint_manager_, "failure_picture", "Control")) {
                picture->setAttribute("bkimage",
                                      std::string("file='") + InstallFailurePicture(cause) + "'");
            }
        }
        if (offer_contact && contact_button != nullptr) {
            contact_button->setVisible(true);
        }
    });
}

void CMainFrame::Cancelled() {
    RunOnUiThread([this] {
        SetCancelShown(false);
        if (progress != nullptr) {
            progress->setValue(0);
        }
        SetPercentText(std::string());
    });
}

void CMainFrame::ReleaseKnown(const std::string& version, std::optional<std::int64_t> size) {
    RunOnUiThread([this, version, size] {
        if (release_line != nullptr) {
            release_line->setText(ReleaseLineText(version, size));
        }
    });
}

void CMainFrame::SetPercentText(const std::string& text) {
    if (install_percent != nullptr) {
        install_percent->setText(text);
    }
}

void CMainFrame::SetCancelShown(bool shown) {
    if (cancel_button != nullptr && cancel_button->isVisible() != shown) {
        cancel_button->setVisible(shown);
    }
}

void CMainFrame::OnInstallTimer(unsigned timer_id) {
    if (timer_id != InstallBar::TIMER_ID) {
        return;
    }
    const int value = bar_.Tick();
    if (progress != nullptr) {
        progress->setValue(value);
    }
    if (!bar_.Creeping()) {
        layer()->killTimer(getHWND(), InstallBar::TIMER_ID);
    }
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
                    controller.DeclineProxySignIn();
                    return;
                }
                // Kept for the run: every later transfer through this proxy signs in.
                RememberProxyCredentials(proxy, *given);
                controller.RetryWithProxySignIn();
            });
        if (!asking) {
            controller.DeclineProxySignIn();
        }
    });
    return true;
}

} // namespace inkwarden

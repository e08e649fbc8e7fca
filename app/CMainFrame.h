#pragma once

#include "app/InstallBar.h"
#include "app/InstallController.h"
#include "app/InstallOptions.h"
#include "app/ProgressLine.h"
#include "app/ProxySignInPrompt.h"
#include "app/UiTaskQueue.h"
#include "platform/Translation.h"
#include "ui/host/WindowImplBase.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace inkwarden {

class CButtonUI;
class CLabelUI;
class CProgressUI;
class CTabLayoutUI;

// The installer's one skinned window: finds its controls once the skin is built, turns
// clicks into the install options and the install sequence, folds the custom panel, opens
// the licence and contact pages, and asks before it closes. Everything the install thread
// and the download workers change reaches the UI thread through a non-blocking post.
class CMainFrame : private IInstallWindow, public WindowImplBase {
public:
    using Services = InstallController::Services;

    static constexpr const char* WINDOW_CLASS = "MainWndFrame";
    // The task switcher's and screen readers' name of the window, translated when shown.
    static constexpr const char* WINDOW_TITLE = N_("Inkwarden Setup");
    // The desktop knows the window by this (its menu entry's StartupWMClass).
    static constexpr const char* APPLICATION_ID = "inkwarden-installer";
    // Visible, with the overlapped window's frame bits (the window host takes the caption
    // bits off again).
    static constexpr std::uint32_t WINDOW_STYLE = WS_VISIBLE | WS_OVERLAPPED | WS_CAPTION |
                                                  WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                                                  WS_MAXIMIZEBOX;
    static constexpr int SKIN_RESOURCE = 105;
    static constexpr UINT ICON_RESOURCE = 101;
    static constexpr int WINDOW_WIDTH = 570;
    static constexpr int UNFOLDED_HEIGHT = 560;
    static constexpr int FOLDED_HEIGHT = 370;
    static constexpr const char* EXPAND_ICON =
        "file='png/item_expand.png' source='0,0,14,14' dest='0,0,14,14'";
    static constexpr const char* FOLD_ICON =
        "file='png/item_fold.png' source='0,0,14,14' dest='0,0,14,14'";
    static constexpr const char* LICENCE_PAGE = "/printer_license_chs.htm";
    static constexpr const char* CONTACT_PAGE = "/contact-us.html";
    // What the usage events carry, published beside the licence (docs/usage-events.md).
    static constexpr const char* EVENTS_PAGE = "/usage-events.html";
    static constexpr const char* EXIT_QUESTION = N_("Do you want to quit the installer?");
    static constexpr const char* EXIT_CAPTION = N_("Inkwarden Setup");
    // The line under the bar while the version service is asked, and while the package runs.
    static constexpr const char* CHECKING_TEXT = N_("Looking for the latest release...");
    static constexpr const char* INSTALLING_TEXT = N_("Installing...");
    // Wakes the UI thread for the work other threads handed over.
    static constexpr UINT WM_INSTALL_TASKS = WM_APP + 0x49;

    CMainFrame();
    explicit CMainFrame(Services services);
    ~CMainFrame() override;

    void onWindowReady() override;
    void onClick(Notification& msg) override;

    // Any thread: runs on the UI thread, at once when called there.
    void SetCustomPanel(bool shown) override;
    void ToggleCustomPanel();

    // Control references, found once in onWindowReady (the option controls are the
    // options').
    CButtonUI* close_button = nullptr;
    CProgressUI* progress = nullptr;
    CTabLayoutUI* tab_page = nullptr;
    CButtonUI* contact_button = nullptr;
    CLabelUI* install_percent = nullptr;
    CLabelUI* failure_reason = nullptr;
    CButtonUI* cancel_button = nullptr;
    CLabelUI* release_line = nullptr;

    static const NotifyMap NOTIFY_MAP;

private:
    // Before the controller: the install thread it joins on the way out still posts here.
    const std::thread::id ui_thread_;
    UiTaskQueue ui_tasks_;

public:
    // The attempt, and the user's choices that it installs with.
    InstallController controller;
    InstallOptions options;

protected:
    const char* windowClassName() const override { return WINDOW_CLASS; }
    const char* applicationId() const override { return APPLICATION_ID; }
    LRESULT handleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
    std::string skinFolder() override;
    std::string skinFile() override { return "main_frame.xml"; }
    SkinSource skinSource() const override { return SkinSource::ZipResource; }
    std::string resourceId() const override { return std::to_string(SKIN_RESOURCE); }
    LRESULT onClose(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;
    // Return presses the page's default button; Escape is a close request, made only while
    // an attempt runs (the only time a close asks).
    LRESULT handleDefaultKey(WPARAM key) override;
    const NotifyMap* getNotifyMap() const override { return &NOTIFY_MAP; }

private:
    // IInstallWindow: the install thread's and the workers' view of the window.
    bool HasTabPage() const override { return tab_page != nullptr; }
    bool HasContactButton() const override { return contact_button != nullptr; }
    void SelectPage(int index) override;
    void Checking() override;
    void Downloading(const DownloadFigures& figures) override;
    void Installing() override;
    void Done(InstallFailure cause, const std::string& cause_text, bool offer_contact) override;
    void Cancelled() override;
    void ReleaseKnown(const std::string& version, std::optional<std::int64_t> size) override;

    // On the UI thread: the installing page's bar and line.
    void ShowDownload(const DownloadFigures& figures);
    void SetPercentText(const std::string& text);
    void SetCancelShown(bool shown);
    void OnInstallTimer(unsigned timer_id);
    bool AskProxySignIn(const std::string& proxy) override;

    bool OnUiThread() const { return std::this_thread::get_id() == ui_thread_; }
    // Runs the task now on the UI thread, else hands it over.
    void RunOnUiThread(UiTaskQueue::Task task);
    void FindControls();
    // The first paint presents the first frame; what it does not show starts after it.
    LRESULT OnPaintMessage(WPARAM wparam, LPARAM lparam);
    void OnFirstFramePresented();
    void OpenPage(const char* path);
    // The clicks that the install options do not handle themselves.
    void OnFinishClicked();
    void OnLicencePageClicked();
    void OnContactClicked();
    void OnRetryClicked();
    void OnShowDetailsClicked();
    void OnCancelClicked();
    // Asks the close question; true when the user agreed.
    bool AskToQuit();
    // The button that Return presses on the page shown, if it can be pressed now.
    CButtonUI* DefaultButton();

    // Download reports come in bursts from several workers: only the latest counts, and one
    // hand-over at a time is enough.
    std::mutex download_mutex_;
    DownloadFigures pending_download_;
    bool download_queued_ = false;
    // UI thread only.
    InstallBar bar_;
    ProgressLine line_;
    bool first_frame_presented_ = false;
    ProxySignInPrompt sign_in_prompt_;
};

} // namespace inkwarden

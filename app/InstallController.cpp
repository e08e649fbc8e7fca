#include "app/InstallController.h"

#include "app/EventCodes.h"
#include "platform/FileVersion.h"
#include "platform/Paths.h"
#include "platform/ProcessRunner.h"
#include "release/LatestVersionQuery.h"

#include <cstdio>
#include <sys/stat.h>

namespace inkwarden {
namespace {

std::string PercentText(int percent) {
    char text[16];
    std::snprintf(text, sizeof(text), "%d%%", percent);
    return text;
}

} // namespace

InstallController::InstallController(IInstallWindow& window)
    : InstallController(window, Services{}) {}

InstallController::InstallController(IInstallWindow& window, Services services)
    : reporter(services.events), window_(window),
      latest_version_url_(std::move(services.latest_version_url)) {}

InstallController::~InstallController() {
    // The owner joins the thread in its close handling; joining here keeps a forgotten
    // StopInstall from terminating the process.
    StopInstall();
}

void InstallController::ShowPage(int index) {
    // 1. Nothing while the UI thread joins the install thread, or without the tab layout.
    if (stopping || !window_.HasTabPage()) {
        return;
    }
    // 2. The page's event.
    static const int PAGE_EVENTS[] = {event_code::PAGE_CONFIGURATION, event_code::PAGE_INSTALLING,
                                      event_code::PAGE_SUCCESS, event_code::PAGE_FAILURE};
    if (index >= 0 && index < 4) {
        reporter.Report(PAGE_EVENTS[index]);
    }
    // 3. Select the page, with the change notification.
    window_.SelectPage(index);
    // 4. Every page but the configuration folds the custom panel.
    if (index != 0) {
        window_.SetCustomPanel(false);
    }
}

void InstallController::StartInstall() {
    ++attempt_count;
    StopInstall(); // no earlier attempt may still run
    install_thread = std::thread(&InstallController::InstallThreadMain, this);
}

void InstallController::StopInstall() {
    stopping = true;
    if (install_thread.joinable()) {
        downloader.cancel = true;
        downloader.WaitIdle();
        // Ends a query that is running on the install thread as a failed one; the client
        // makes a new handle for its next request.
        query_client.ReleaseHandle();
        install_thread.join(); // also waits for a running package
    }
    stopping = false;
}

void InstallController::InstallThreadMain() {
    // 1.
    window_.KillInstallTimer();
    install_fraction = 0.0;
    window_.SetProgressValue(0);
    // 2.
    window_.SetCloseEnabled(false);
    // 3.
    const bool ok = RunInstall();
    // 4. The contact button appears only after the second attempt of the program failed.
    int page = 2;
    if (!ok) {
        if (attempt_count == 2 && window_.HasContactButton()) {
            window_.ShowContactButton();
            reporter.Report(event_code::CONTACT_SHOWN);
        }
        page = 3;
    }
    // 5.-7.
    ShowPage(page);
    finished = true;
    window_.SetCloseEnabled(true);
}

bool InstallController::RunInstall() {
    // 1.
    latest_version = QueryLatestVersion();
    // 2.-3.
    std::string url = !latest_version.Download_silent_url.empty()
                          ? latest_version.Download_silent_url
                          : latest_version.Download_url;
    if (!test_url.empty()) {
        url = test_url;
    }
    // 4.
    if (url.empty()) {
        return false;
    }
    // 5.-6.
    const std::string path = PackagePath();
    if (!DownloadPackage(url, path)) {
        return false;
    }
    // 7. The install phase moves the bar on from the half.
    install_fraction = DOWNLOAD_SHARE;
    window_.StartInstallTimer();
    // 8.-10. A downloaded file carries no execute bit here; the exit code decides nothing.
    const std::string command = BuildPackageCommandLine();
    MakeExecutable(path);
    std::uint32_t exit_code = 0;
    if (stopping) {
        return false; // the window is closing: do not start the package now
    }
    if (!RunProcess(command, ParentPath(path), true, &exit_code)) {
        return false;
    }
    // 11.
    return VerifyInstalledVersion();
}

bool InstallController::DownloadPackage(const std::string& url, const std::string& path) {
    // 1.
    downloader.WaitIdle();
    downloader.cancel = false;
    downloader.busy = false;
    downloader.url = url;
    downloader.target_path = path;
    downloader.reported_bytes = 0;
    downloader.total_size = 0;
    downloader.connection_count = CONNECTIONS;
    // A StopInstall that came while the query ran must not be undone by clearing cancel:
    // stopping is set before cancel, so checking it after the clear sees every stop.
    if (stopping) {
        return false;
    }
    // 2.
    return downloader.Download([this](std::int64_t done, std::int64_t total, double fraction) {
        OnDownloadProgress(done, total, fraction);
    });
}

void InstallController::OnDownloadProgress(std::int64_t, std::int64_t, double fraction) {
    window_.SetProgressValue(static_cast<int>(fraction * 1000 * DOWNLOAD_SHARE));
    if (window_.HasPercentLabel()) {
        window_.SetPercentText(PercentText(static_cast<int>(fraction * 100 * DOWNLOAD_SHARE)));
    }
}

void InstallController::OnInstallTimer(unsigned timer_id) {
    if (timer_id != INSTALL_TIMER_ID) {
        return;
    }
    const double fraction = install_fraction.fetch_add(TIMER_STEP) + TIMER_STEP;
    window_.SetProgressValue(static_cast<int>(fraction * 1000));
    if (window_.HasPercentLabel()) {
        window_.SetPercentText(PercentText(static_cast<int>(fraction * 100)));
    }
    if (fraction > TIMER_STOP_THRESHOLD) {
        window_.KillInstallTimer();
    }
}

LatestVersionInfo InstallController::QueryLatestVersion() {
    return inkwarden::QueryLatestVersion(query_client, app_id, union_id, latest_version_url_);
}

std::string InstallController::PackagePath() const {
    return TempFolder() + "/" + PACKAGE_FILE_NAME;
}

std::string InstallController::ProductPath() const {
    return install_folder + "/" + PRODUCT_FILE_NAME;
}

std::string InstallController::BuildPackageCommandLine() const {
    std::string command = "\"" + PackagePath() + "\" -install_path:\"" + install_folder + "\"";
    command += desktop_link ? " -desktop_link:1" : " -desktop_link:0";
    command += start_link ? " -start_link:1" : " -start_link:0";
    command += bootup ? " -bootup:1" : " -bootup:0";
    command += " -silent";
    command += " -union_id:" + std::to_string(union_id);
    return command;
}

bool InstallController::VerifyInstalledVersion() const {
    // Two empty versions would otherwise match when the package installed nothing at all.
    struct stat info {};
    if (::stat(ProductPath().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    const std::string installed = ReadFileVersion(ProductPath()).file_version;
    if (test_url.empty()) {
        return installed == latest_version.Version_number;
    }
    return installed == ReadFileVersion(PackagePath()).file_version;
}

void InstallController::LaunchProduct() {
    reporter.Report(event_code::FINISH_CLICKED);
    const std::string product = ProductPath();
    RunProcess("\"" + product + "\" -printer_detect", ParentPath(product), false);
}

} // namespace inkwarden

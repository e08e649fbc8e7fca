#include "app/InstallController.h"

#include "platform/FileVersion.h"
#include "platform/Paths.h"
#include "platform/ProcessRunner.h"
#include "release/LatestVersionQuery.h"
#include "telemetry/EventCodes.h"

#include <cerrno>
#include <cstdio>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {
namespace {

constexpr unsigned char FIRST_PRINTABLE = 0x20;
constexpr unsigned char DELETE_CHARACTER = 0x7f;

std::string PercentText(int percent) {
    char text[16];
    std::snprintf(text, sizeof(text), "%d%%", percent);
    return text;
}

} // namespace

bool FolderFitsPackageCommandLine(const std::string& folder) {
    for (const char c : folder) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || byte < FIRST_PRINTABLE || byte == DELETE_CHARACTER) {
            return false;
        }
    }
    return folder.empty() || folder.back() != '\\';
}

InstallController::InstallController(IInstallWindow& window)
    : InstallController(window, Services{}) {}

InstallController::InstallController(IInstallWindow& window, Services services)
    : reporter(services.events), window_(window),
      latest_version_url_(std::move(services.latest_version_url)),
      release_key_required_(!services.release_public_key.empty()),
      release_key_pem_(std::move(services.release_public_key)) {
    query_client.SetDeadline(services.query_deadline);
    query_client.SetBodyLimit(QUERY_REPLY_LIMIT);
}

InstallController::~InstallController() {
    // The owner joins the thread in its close handling; joining here keeps a forgotten
    // StopInstall from terminating the process.
    StopInstall();
}

void InstallController::ShowPage(int index) {
    // Nothing while the UI thread joins the install thread, or without the tab layout.
    if (stopping || !window_.HasTabPage()) {
        return;
    }
    // Every page reports its own event.
    static const int PAGE_EVENTS[] = {event_code::PAGE_CONFIGURATION, event_code::PAGE_INSTALLING,
                                      event_code::PAGE_SUCCESS, event_code::PAGE_FAILURE};
    if (index >= 0 && index < static_cast<int>(std::size(PAGE_EVENTS))) {
        reporter.Report(PAGE_EVENTS[index]);
    }
    // Selected with the change notification.
    window_.SelectPage(index);
    // Every page but the configuration folds the custom panel.
    if (index != PAGE_CONFIGURATION) {
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
        // Ends a query that is running on the install thread as a failed one, and refuses
        // one that is about to start; the next attempt gets a new handle.
        query_client.Close();
        install_thread.join(); // also waits for a running package
        query_client.Reopen();
    }
    stopping = false;
}

void InstallController::InstallThreadMain() {
    // A fresh bar; an earlier attempt's install timer must not move it.
    window_.KillInstallTimer();
    install_fraction = 0.0;
    window_.SetProgressValue(0);
    // The last attempt's cause goes with it.
    failure = InstallFailure::NONE;
    window_.SetFailureText(std::string());
    // No close while the attempt runs.
    window_.SetCloseEnabled(false);
    const bool ok = RunInstall();
    // The contact button appears only after the second attempt of the program failed.
    int page = PAGE_SUCCESS;
    if (!ok) {
        if (attempt_count == CONTACT_ATTEMPT && window_.HasContactButton()) {
            window_.ShowContactButton();
            reporter.Report(event_code::CONTACT_SHOWN);
        }
        window_.SetFailureText(InstallFailureText(failure));
        page = PAGE_FAILURE;
    }
    ShowPage(page);
    finished = true;
    window_.SetCloseEnabled(true);
}

bool InstallController::RunInstall() {
    release_check = ReleaseCheck::PASSED;
    // An earlier attempt's refused certificate or sign-in says nothing about this one.
    TakeLastingFault();
    // A folder that would split into other arguments is never handed on; the window and the
    // tool refuse it before this.
    if (!FolderFitsPackageCommandLine(install_folder)) {
        std::printf("install folder refused: the package's command line cannot carry it\n");
        return false;
    }
    latest_version = QueryLatestVersion();
    // A test URL names a file of the typist's own choosing: the reply's trust does not apply.
    if (test_url.empty() && !AcceptReleaseReply()) {
        if (release_check == ReleaseCheck::NO_REPLY) {
            return Fail(TransferFailure(release_reply_.fault, InstallFailure::SERVICE_UNREACHABLE),
                        release_reply_.cause);
        }
        return Fail(InstallFailure::RELEASE_INVALID);
    }
    // The silent package before the plain one; a test URL overrides both.
    std::string url = !latest_version.Download_silent_url.empty()
                          ? latest_version.Download_silent_url
                          : latest_version.Download_url;
    if (!test_url.empty()) {
        url = test_url;
    }
    // An answer that names no package did not decipher or parse.
    if (url.empty()) {
        return Fail(InstallFailure::RELEASE_INVALID, "the reply names no package");
    }
    const std::string path = PackagePath();
    if (!DownloadPackage(url, path)) {
        return Fail(DownloadFailure(), downloader.FailureReason());
    }
    if (test_url.empty() && !VerifyDownloadedPackage(path)) {
        return Fail(InstallFailure::RELEASE_INVALID, ReleaseCheckText(release_check));
    }
    // The install phase moves the bar on from the half.
    install_fraction = DOWNLOAD_SHARE;
    window_.StartInstallTimer();
    // A downloaded file carries no execute bit here. The exit code decides no success, only
    // which cause a failed check names.
    const std::string command = BuildPackageCommandLine();
    MakeExecutable(path);
    std::uint32_t exit_code = 0;
    if (stopping) {
        return false; // the window is closing: do not start the package now
    }
    if (!RunProcess(command, ParentPath(path), true, &exit_code)) {
        return Fail(InstallFailure::PACKAGE_FAILED, "it could not be started");
    }
    if (VerifyInstalledVersion()) {
        return true;
    }
    // An old product beside a package that broke off says nothing about the release.
    if (!ProductInstalled() || exit_code != 0) {
        return Fail(InstallFailure::PACKAGE_FAILED, "exit status " + std::to_string(exit_code));
    }
    return Fail(InstallFailure::VERSION_MISMATCH);
}

bool InstallController::Fail(InstallFailure cause, const std::string& detail) {
    failure = cause;
    if (detail.empty()) {
        std::printf("install failed: %s\n", InstallFailureDiagnostic(cause));
    } else {
        std::printf("install failed: %s (%s)\n", InstallFailureDiagnostic(cause), detail.c_str());
    }
    return false;
}

InstallFailure InstallController::DownloadFailure() const {
    const int error = downloader.FailureError();
    if (error == ENOSPC || error == EDQUOT) {
        return InstallFailure::DISK_FULL;
    }
    return TransferFailure(TakeLastingFault().fault, InstallFailure::DOWNLOAD_FAILED);
}

InstallFailure InstallController::TransferFailure(TransferFault fault, InstallFailure otherwise) {
    switch (fault) {
    case TransferFault::CERTIFICATE_UNTRUSTED:
    case TransferFault::CA_BUNDLE_UNREADABLE:
        return InstallFailure::CERTIFICATE_UNTRUSTED;
    case TransferFault::PROXY_AUTH_REQUIRED:
        return InstallFailure::PROXY_SIGN_IN;
    default:
        return otherwise;
    }
}

bool InstallController::DownloadPackage(const std::string& url, const std::string& path) {
    // A fresh engine state for this download, once the last one has ended.
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
    return downloader.Download([this](std::int64_t done, std::int64_t total, double fraction) {
        OnDownloadProgress(done, total, fraction);
    });
}

bool InstallController::AcceptReleaseReply() {
    release_check = CheckReleaseReply(release_reply_, release_key_required_);
    if (release_check != ReleaseCheck::PASSED) {
        std::printf("release check failed: %s\n", ReleaseCheckText(release_check));
        return false;
    }
    std::printf("release check: reply %s\n", ReplySignatureText(release_reply_.signature));
    return true;
}

bool InstallController::VerifyDownloadedPackage(const std::string& path) {
    const PackageFields& fields = release_reply_.package;
    const ReleaseCheck check = CheckPackageFile(path, fields);
    if (check != ReleaseCheck::PASSED) {
        release_check = check;
        // Nothing that failed its check stays behind to be run later.
        ::unlink(path.c_str());
        std::printf("package check failed: %s; %s removed\n", ReleaseCheckText(check),
                    path.c_str());
        return false;
    }
    if (fields.size || fields.sha256) {
        std::printf("package check: size %s, SHA-256 %s verified\n",
                    fields.size ? std::to_string(*fields.size).c_str() : "(not given)",
                    fields.sha256 ? fields.sha256->c_str() : "(not given)");
    }
    return true;
}

void InstallController::OnDownloadProgress(std::int64_t, std::int64_t, double fraction) {
    window_.SetProgressValue(static_cast<int>(fraction * BAR_RANGE * DOWNLOAD_SHARE));
    if (window_.HasPercentLabel()) {
        window_.SetPercentText(
            PercentText(static_cast<int>(fraction * PERCENT_RANGE * DOWNLOAD_SHARE)));
    }
}

void InstallController::OnInstallTimer(unsigned timer_id) {
    if (timer_id != INSTALL_TIMER_ID) {
        return;
    }
    const double fraction = install_fraction.fetch_add(TIMER_STEP) + TIMER_STEP;
    window_.SetProgressValue(static_cast<int>(fraction * BAR_RANGE));
    if (window_.HasPercentLabel()) {
        window_.SetPercentText(PercentText(static_cast<int>(fraction * PERCENT_RANGE)));
    }
    if (fraction > TIMER_STOP_THRESHOLD) {
        window_.KillInstallTimer();
    }
}

LatestVersionInfo InstallController::QueryLatestVersion() {
    // Parsed here, on the install thread, rather than on the way to the window's first frame.
    if (release_key_required_ && !release_key_) {
        release_key_ = ReleasePublicKey::FromPem(release_key_pem_);
    }
    release_reply_ = QueryRelease(query_client, app_id, union_id, latest_version_url_,
                                  release_key_ ? &*release_key_ : nullptr);
    return release_reply_.info;
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

bool InstallController::ProductInstalled() const {
    struct stat info {};
    return ::stat(ProductPath().c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool InstallController::VerifyInstalledVersion() const {
    // Two empty versions would otherwise match when the package installed nothing at all.
    if (!ProductInstalled()) {
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

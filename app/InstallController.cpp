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
    // A user who asked the environment for no tracking gets no event at all.
    if (EventReporter::DoNotTrackRequested()) {
        reporter.SetEnabled(false);
    }
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
    attempt_running = true;
    install_thread = std::thread(&InstallController::InstallThreadMain, this);
}

void InstallController::StopInstall() {
    stopping = true;
    if (install_thread.joinable()) {
        downloader.Cancel();
        downloader.WaitIdle();
        // Ends a query that is running on the install thread as a failed one, and refuses
        // one that is about to start; the next attempt gets a new handle.
        query_client.Close();
        install_thread.join(); // also waits for a running package
        query_client.Reopen();
        // The cancel may have come while no download ran: the next attempt starts free of it.
        downloader.ResetCancel();
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
    attempt_running = false;
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
    // A bundle replaces the query and the download; the rest is the same.
    if (!offline_dir.empty()) {
        const std::string path = PackagePath();
        return TakeOfflinePackage(path) && RunPackage(path);
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
        // A server that announces another size than the signed one serves another package.
        if (download_result_.size_refused) {
            release_check = ReleaseCheck::PACKAGE_SIZE;
            return Fail(InstallFailure::RELEASE_INVALID, download_result_.cause);
        }
        return Fail(DownloadFailure(), download_result_.cause);
    }
    if (test_url.empty() && !VerifyDownloadedPackage(path)) {
        return Fail(InstallFailure::RELEASE_INVALID, ReleaseCheckText(release_check));
    }
    return RunPackage(path);
}

bool InstallController::RunPackage(const std::string& path) {
    // The install phase moves the bar on from the half.
    install_fraction = DOWNLOAD_SHARE;
    window_.StartInstallTimer();
    if (window_.HasPercentLabel()) {
        window_.SetPercentText(Tr(INSTALLING_TEXT));
    }
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
    const int error = download_result_.error;
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
    DownloadRequest request;
    request.url = url;
    request.target_path = path;
    request.connections = CONNECTIONS;
    // The signed size bounds the download; a test URL names a file of its own.
    if (test_url.empty()) {
        request.expected_size = release_reply_.package.size;
        request.piece_size = release_reply_.package.piece_size.value_or(0);
        request.piece_sha256 = release_reply_.package.piece_sha256;
    }
    // A StopInstall sets stopping before it cancels: one that came before this point ends
    // the attempt here, a later one cancels the download.
    download_result_ = {};
    progress_line_.Reset();
    if (stopping) {
        download_result_.cause = "cancelled";
        return false;
    }
    download_result_ = downloader.Download(
        request, [this](std::int64_t done, std::int64_t total, double fraction) {
            OnDownloadProgress(done, total, fraction);
        });
    return download_result_.done;
}

bool InstallController::AcceptReleaseReply() {
    release_check = CheckReleaseReply(release_reply_, release_key_required_);
    if (release_check != ReleaseCheck::PASSED) {
        std::printf("release check failed: %s\n", ReleaseCheckText(release_check));
        return false;
    }
    if (release_reply_.certified_until) {
        std::printf("release check: reply signed by a key certified until %s\n",
                    UtcTimeText(*release_reply_.certified_until).c_str());
    } else {
        std::printf("release check: reply %s\n", ReplySignatureText(release_reply_.signature));
    }
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

void InstallController::OnDownloadProgress(std::int64_t done, std::int64_t total, double fraction) {
    window_.SetProgressValue(static_cast<int>(fraction * BAR_RANGE * DOWNLOAD_SHARE));
    if (window_.HasPercentLabel()) {
        // The line speaks of the download alone: its percentage, speed and time left.
        const int percent = static_cast<int>(fraction * PERCENT_RANGE);
        if (auto line = progress_line_.Update(done, total, percent, ProgressLine::Clock::now())) {
            window_.SetPercentText(*line);
        }
    }
}

void InstallController::OnInstallTimer(unsigned timer_id) {
    if (timer_id != INSTALL_TIMER_ID) {
        return;
    }
    const double fraction = install_fraction.fetch_add(TIMER_STEP) + TIMER_STEP;
    window_.SetProgressValue(static_cast<int>(fraction * BAR_RANGE));
    if (fraction > TIMER_STOP_THRESHOLD) {
        window_.KillInstallTimer();
    }
}

const ReleasePublicKey* InstallController::ReleaseKey() {
    // Parsed here, on the install thread, rather than on the way to the window's first frame.
    if (release_key_required_ && !release_key_) {
        release_key_ = ReleasePublicKey::FromPem(release_key_pem_);
    }
    return release_key_ ? &*release_key_ : nullptr;
}

LatestVersionInfo InstallController::QueryLatestVersion() {
    release_reply_ =
        QueryRelease(query_client, app_id, union_id, latest_version_url_, ReleaseKey());
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
    // A bundle announces its version as the reply does; a test URL does not apply to it.
    if (test_url.empty() || !offline_dir.empty()) {
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

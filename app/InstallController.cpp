#include "app/InstallController.h"

#include "app/FailureCause.h"
#include "app/InstallFolderCheck.h"
#include "platform/DiagnosticSink.h"
#include "platform/DirectoryHelpers.h"
#include "platform/FileVersion.h"
#include "platform/Paths.h"
#include "platform/PrivateFolder.h"
#include "platform/ProcessRunner.h"
#include "release/LatestVersionQuery.h"
#include "telemetry/EventCodes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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
    sign_in_rounds_ = 0;
    RunAttemptThread();
}

void InstallController::RunAttemptThread() {
    // No earlier attempt may still run. An early query that runs is left to finish: the
    // attempt waits for its answer.
    if (install_thread.joinable()) {
        StopInstall();
    }
    cancelled = false;
    attempt_running = true;
    install_thread = std::thread(&InstallController::InstallThreadMain, this);
}

void InstallController::RetryWithProxySignIn() {
    // The same attempt once more: not counted, the page stays.
    RunAttemptThread();
}

void InstallController::DeclineProxySignIn() {
    FinishAttempt(false);
}

bool InstallController::AskForProxySignIn() {
    if (failure != InstallFailure::PROXY_SIGN_IN || stopping || sign_in_proxy_.empty() ||
        sign_in_rounds_ >= SIGN_IN_ROUNDS) {
        return false;
    }
    ++sign_in_rounds_;
    return window_.AskProxySignIn(sign_in_proxy_);
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
        if (query_thread_.joinable()) {
            query_thread_.join();
        }
        query_client.Reopen();
        // The cancel may have come while no download ran: the next attempt starts free of it.
        downloader.ResetCancel();
    } else if (query_thread_.joinable()) {
        query_client.Close();
        query_thread_.join();
        query_client.Reopen();
    }
    stopping = false;
}

bool InstallController::CancelDownload() {
    if (!attempt_running || step_ != Step::DOWNLOADING) {
        return false;
    }
    // The downloader keeps its record on a cancel; the attempt sees the flag once the
    // download returns.
    cancelled = true;
    downloader.Cancel();
    return true;
}

void InstallController::StartReleaseQuery() {
    // A bundle needs no query; a second call finds the first one's thread.
    if (!offline_dir.empty() || query_thread_.joinable() || install_thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(early_mutex_);
        early_running_ = true;
    }
    query_thread_ = std::thread(&InstallController::ReleaseQueryMain, this);
}

void InstallController::ReleaseQueryMain() {
    ReleaseReply reply =
        QueryRelease(query_client, app_id, union_id, latest_version_url_, ReleaseKey());
    // Only a reply that passed its checks names a release on the first page.
    const bool trusted =
        reply.answered && CheckReleaseReply(reply, release_key_required_) == ReleaseCheck::PASSED;
    if (trusted) {
        window_.ReleaseKnown(reply.info.Version_number, reply.package.size);
    }
    std::lock_guard<std::mutex> lock(early_mutex_);
    if (trusted) {
        early_reply_ = std::move(reply);
    }
    early_running_ = false;
    early_done_.notify_all();
}

LatestVersionInfo InstallController::TakeOrQueryLatestVersion() {
    {
        // A click while the early query runs waits for its answer rather than asking again.
        std::unique_lock<std::mutex> lock(early_mutex_);
        early_done_.wait(lock, [this] { return !early_running_; });
        if (early_reply_) {
            release_reply_ = std::move(*early_reply_);
            early_reply_.reset();
            return release_reply_.info;
        }
    }
    return QueryLatestVersion();
}

void InstallController::InstallThreadMain() {
    // The last attempt's cause goes with it.
    failure = InstallFailure::NONE;
    failure_text_.clear();
    const bool ok = RunInstall();
    step_ = Step::IDLE;
    if (cancelled) {
        // Back to the choices; a cancel that came as the download ended must not stay
        // behind for the next one.
        downloader.ResetCancel();
        window_.Cancelled();
        attempt_running = false;
        ShowPage(PAGE_CONFIGURATION);
        return;
    }
    // A proxy that wants a sign-in: the window asks, and its answer ends or repeats this
    // attempt.
    if (!ok && AskForProxySignIn()) {
        return;
    }
    FinishAttempt(ok);
}

void InstallController::FinishAttempt(bool ok) {
    if (!ok && failure == InstallFailure::PROXY_SIGN_IN && !sign_in_proxy_.empty()) {
        failure_text_ = ProxySignInText(sign_in_proxy_);
    }
    // The contact button appears only after the second attempt of the program failed.
    const bool offer_contact = !ok && attempt_count == CONTACT_ATTEMPT;
    if (offer_contact && window_.HasContactButton()) {
        reporter.Report(event_code::CONTACT_SHOWN);
    }
    window_.Done(ok ? InstallFailure::NONE : failure.load(), ok ? std::string() : failure_text_,
                 offer_contact);
    ShowPage(ok ? PAGE_SUCCESS : PAGE_FAILURE);
    finished = true;
    attempt_running = false;
}

bool InstallController::RunInstall() {
    release_check = ReleaseCheck::PASSED;
    // An earlier attempt's refused certificate or sign-in says nothing about this one.
    TakeLastingFault();
    sign_in_proxy_.clear();
    // A folder that would split into other arguments is never handed on; the window and the
    // tool refuse it before this.
    if (!FolderFitsPackageCommandLine(install_folder)) {
        PrintDiagnostic("install folder refused: the package's command line cannot carry it\n");
        return false;
    }
    if (!CheckFolders()) {
        return false;
    }
    // A bundle replaces the query and the download; the rest is the same.
    if (!offline_dir.empty()) {
        const std::string path = PackagePath();
        if (!TakeOfflinePackage(path) || !RunPackage(path)) {
            return false;
        }
        RemovePackage(path);
        return true;
    }
    step_ = Step::CHECKING;
    window_.Checking();
    latest_version = TakeOrQueryLatestVersion();
    // A test URL names a file of the typist's own choosing: the reply's trust does not apply.
    if (test_url.empty() && !AcceptReleaseReply()) {
        // A service that answered with an error status is there, but not well.
        if (release_check == ReleaseCheck::NO_REPLY && release_reply_.status != 0) {
            return Fail(InstallFailure::SERVICE_ERROR,
                        "HTTP status " + std::to_string(release_reply_.status),
                        ServiceErrorText(release_reply_.status));
        }
        if (release_check == ReleaseCheck::NO_REPLY) {
            sign_in_proxy_ = TakeLastingFault().proxy;
            return Fail(TransferFailure(release_reply_.fault, InstallFailure::SERVICE_UNREACHABLE),
                        release_reply_.cause);
        }
        return Fail(InstallFailure::RELEASE_INVALID);
    }
    if (test_url.empty()) {
        window_.ReleaseKnown(latest_version.Version_number, release_reply_.package.size);
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
    if (test_url.empty() && !CheckRoomFor(static_cast<std::uint64_t>(std::max<std::int64_t>(
                                release_reply_.package.size.value_or(0), 0)))) {
        return false;
    }
    const std::string path = PackagePath();
    const bool downloaded = DownloadPackage(url, path);
    if (cancelled) {
        PrintDiagnostic("download cancelled; what arrived is kept for the next run\n");
        return false;
    }
    if (!downloaded) {
        // A server that announces another size than the signed one serves another package.
        if (download_result_.size_refused) {
            release_check = ReleaseCheck::PACKAGE_SIZE;
            return Fail(InstallFailure::RELEASE_INVALID, download_result_.cause);
        }
        return FailDownload();
    }
    if (test_url.empty() && !VerifyDownloadedPackage(path)) {
        return Fail(InstallFailure::RELEASE_INVALID, ReleaseCheckText(release_check));
    }
    if (!RunPackage(path)) {
        return false;
    }
    RemovePackage(path);
    return true;
}

bool InstallController::CheckFolders() {
    const FolderVerdict verdict = CheckInstallFolder(install_folder);
    if (verdict.problem != FolderProblem::NONE) {
        const InstallFailure cause = verdict.problem == FolderProblem::READ_ONLY
                                         ? InstallFailure::FOLDER_READ_ONLY
                                         : InstallFailure::FOLDER_NOT_WRITABLE;
        return Fail(cause, verdict.place, FolderVerdictText(verdict));
    }
    // The package's folder is this user's alone, so nothing another user left can be in the
    // way or be swapped in.
    const std::string folder = ParentPath(PackagePath());
    if (const int error = MakePrivateFolder(folder)) {
        return Fail(InstallFailure::TEMP_FOLDER, folder + ": " + std::strerror(error),
                    TempFolderText(folder, error));
    }
    return true;
}

bool InstallController::CheckRoomFor(std::uint64_t package_size) {
    const FolderVerdict verdict =
        CheckRoom(install_folder, ParentPath(PackagePath()), package_size);
    if (verdict.problem == FolderProblem::NONE) {
        return true;
    }
    return Fail(InstallFailure::DISK_FULL,
                std::to_string(verdict.needed) + " bytes needed, " + std::to_string(verdict.free) +
                    " free on " + verdict.place,
                FolderVerdictText(verdict));
}

bool InstallController::FailDownload() {
    const InstallFailure cause = DownloadFailure();
    const std::string folder = ParentPath(PackagePath());
    switch (cause) {
    case InstallFailure::DISK_FULL: {
        const std::uint64_t free = VolumeFreeBytes(NearestExistingFolder(folder)).value_or(0);
        const auto total =
            static_cast<std::uint64_t>(std::max<std::int64_t>(download_result_.total_size, 0));
        return Fail(cause, download_result_.cause,
                    total > free ? NoRoomText(total, free, VolumeOf(folder))
                                 : std::string(InstallFailureText(cause)));
    }
    case InstallFailure::TEMP_FOLDER:
        return Fail(cause, download_result_.cause, TempFolderText(folder, download_result_.error));
    case InstallFailure::DOWNLOAD_FAILED:
        return Fail(cause, download_result_.cause, DownloadFailedText(download_result_.cause));
    default:
        return Fail(cause, download_result_.cause);
    }
}

void InstallController::RemovePackage(const std::string& path) const {
    ::unlink(path.c_str());
    ::unlink(SegmentedDownloader::ControlPath(path).c_str());
}

bool InstallController::RunPackage(const std::string& path) {
    step_ = Step::INSTALLING;
    window_.Installing();
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

bool InstallController::Fail(InstallFailure cause, const std::string& detail,
                             const std::string& page_text) {
    failure = cause;
    failure_text_ = page_text.empty() ? std::string(InstallFailureText(cause)) : page_text;
    if (detail.empty()) {
        PrintDiagnostic("install failed: %s\n", InstallFailureDiagnostic(cause));
    } else {
        PrintDiagnostic("install failed: %s (%s)\n", InstallFailureDiagnostic(cause),
                        detail.c_str());
    }
    return false;
}

InstallFailure InstallController::DownloadFailure() {
    const int error = download_result_.error;
    if (error == ENOSPC || error == EDQUOT) {
        return InstallFailure::DISK_FULL;
    }
    // The package's folder was made ours before: it turned read-only or was taken over.
    if (error == EACCES || error == EPERM || error == EROFS) {
        return InstallFailure::TEMP_FOLDER;
    }
    const LastingFault lasting = TakeLastingFault();
    sign_in_proxy_ = lasting.proxy;
    return TransferFailure(lasting.fault, InstallFailure::DOWNLOAD_FAILED);
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
        request.mirrors = release_reply_.package.mirrors;
        request.piece_size = release_reply_.package.piece_size.value_or(0);
        request.piece_sha256 = release_reply_.package.piece_sha256;
    }
    // A StopInstall sets stopping before it cancels: one that came before this point ends
    // the attempt here, a later one cancels the download.
    download_result_ = {};
    rate_.Reset();
    step_ = Step::DOWNLOADING;
    if (stopping || cancelled) {
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
        PrintDiagnostic("release check failed: %s\n", ReleaseCheckText(release_check));
        return false;
    }
    if (release_reply_.certified_until) {
        PrintDiagnostic("release check: reply signed by a key certified until %s\n",
                        UtcTimeText(*release_reply_.certified_until).c_str());
    } else {
        PrintDiagnostic("release check: reply %s\n", ReplySignatureText(release_reply_.signature));
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
        PrintDiagnostic("package check failed: %s; %s removed\n", ReleaseCheckText(check),
                        path.c_str());
        return false;
    }
    if (fields.size || fields.sha256) {
        PrintDiagnostic("package check: size %s, SHA-256 %s verified\n",
                        fields.size ? std::to_string(*fields.size).c_str() : "(not given)",
                        fields.sha256 ? fields.sha256->c_str() : "(not given)");
    }
    return true;
}

void InstallController::OnDownloadProgress(std::int64_t done, std::int64_t total, double fraction) {
    rate_.Add(TransferRate::Clock::now(), done);
    window_.Downloading({done, total, fraction, rate_.BytesPerSecond()});
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
    return InstallerCacheFolder() + "/" + PACKAGE_FILE_NAME;
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

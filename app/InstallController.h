#pragma once

#include "app/IInstallWindow.h"
#include "app/InstallFailure.h"
#include "app/TransferRate.h"
#include "net/HttpClient.h"
#include "net/SegmentedDownloader.h"
#include "platform/Translation.h"
#include "release/LatestVersionInfo.h"
#include "release/ReleaseCheck.h"
#include "release/ReleasePublicKey.h"
#include "release/ReleaseReply.h"
#include "telemetry/EventReporter.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace inkwarden {

// Whether the package's command line carries folder as one literal argument inside its
// quotes: no double quote, no control character such as a line break (Windows file names hold
// neither), and no backslash at the end, which would escape the closing quote.
bool FolderFitsPackageCommandLine(const std::string& folder);

// The install controller of the installer window: one attempt after another on an install
// thread, the package hand-off and the events. It tells its window what happens (checking,
// downloading, installing, done) and leaves the drawing to it.
class InstallController {
public:
    // The pages of the tab layout.
    static constexpr int PAGE_CONFIGURATION = 0;
    static constexpr int PAGE_INSTALLING = 1;
    static constexpr int PAGE_SUCCESS = 2;
    static constexpr int PAGE_FAILURE = 3;
    // The failed attempt of the program's run after which the contact button shows.
    static constexpr int CONTACT_ATTEMPT = 2;
    static constexpr int CONNECTIONS = 6;
    static constexpr const char* PACKAGE_FILE_NAME = "InkwardenTemp.exe";
    static constexpr const char* PRODUCT_FILE_NAME = "InkwardenMain.exe";
    // The version query ends by then whatever the service does (a slow connect, slow
    // headers, a trickled reply), and the attempt fails as unreachable.
    static constexpr std::chrono::milliseconds QUERY_DEADLINE{30000};
    // A version reply is a few hundred bytes; a service that sends more does not fill memory.
    static constexpr std::size_t QUERY_REPLY_LIMIT = 1 << 20;
    // Sign-ins a proxy may turn down in a row before the attempt ends on the failure page.
    static constexpr int SIGN_IN_ROUNDS = 3;

    // Where the services are, and the key their replies must be signed with; a deployment's
    // compiled-in addresses and key by default. An empty key takes unsigned replies.
    struct Services {
        std::string latest_version_url = LATEST_VERSION_URL;
        EventReporter::Options events;
        std::string release_public_key = build_config::RELEASE_PUBLIC_KEY;
        std::chrono::milliseconds query_deadline = QUERY_DEADLINE;
    };

    explicit InstallController(IInstallWindow& window);
    InstallController(IInstallWindow& window, Services services);
    virtual ~InstallController(); // the install thread must have been joined (StopInstall)

    InstallController(const InstallController&) = delete;
    InstallController& operator=(const InstallController&) = delete;

    void StartInstall();
    void StopInstall();
    // Any thread: stops a running attempt's query or download and keeps what arrived for the
    // next run; the attempt then ends on the first page. False once the download is over.
    bool CancelDownload();
    // Asks the version service ahead of the install, off the calling thread, so that the
    // first page can name the release; the first attempt takes this answer.
    void StartReleaseQuery();
    // The window's answer after AskProxySignIn, on the UI thread: the attempt again with the
    // credentials now kept, or its end on the failure page.
    void RetryWithProxySignIn();
    void DeclineProxySignIn();
    void ShowPage(int index);
    void InstallThreadMain();
    bool RunInstall();
    bool DownloadPackage(const std::string& url, const std::string& path);
    // The trust checks around the download: the reply before anything is fetched, the
    // package after the download and before it is made executable (removed on a mismatch).
    bool AcceptReleaseReply();
    bool VerifyDownloadedPackage(const std::string& path);
    // The offline road instead of the query and download: the bundle in offline_dir is
    // checked and its package copied to path and checked as a downloaded one would be.
    bool TakeOfflinePackage(const std::string& path);
    // The package at path run with the user's choices, then the installed version checked.
    bool RunPackage(const std::string& path);
    void OnDownloadProgress(std::int64_t done, std::int64_t total, double fraction);
    LatestVersionInfo QueryLatestVersion();

    // Package hand-off and product launch.
    std::string PackagePath() const;
    std::string ProductPath() const;
    std::string BuildPackageCommandLine() const;
    bool VerifyInstalledVersion() const;
    // Whether the package left the product file behind at all.
    bool ProductInstalled() const;
    void LaunchProduct();

    // Members in declaration order; the window reads and sets the options.
    SegmentedDownloader downloader;
    HttpClient query_client;
    std::thread install_thread;
    EventReporter reporter;
    LatestVersionInfo latest_version;
    std::string install_folder;
    std::string test_url;
    // An offline release bundle's folder; when set, no version query is made.
    std::string offline_dir;
    std::int32_t app_id = APP_ID;
    std::int32_t union_id = UNION_ID;
    std::atomic<std::int32_t> attempt_count{0};
    bool custom_shown = true;
    bool licence_agreed = true;
    bool desktop_link = true;
    bool start_link = true;
    bool bootup = true;
    std::atomic<bool> finished{false};
    // From StartInstall until the attempt's result page: while it is set, closing asks.
    std::atomic<bool> attempt_running{false};
    std::atomic<bool> stopping{false};
    // Set by CancelDownload until the next attempt starts.
    std::atomic<bool> cancelled{false};
    // The first trust check that failed in the last attempt, PASSED when none did.
    std::atomic<ReleaseCheck> release_check{ReleaseCheck::PASSED};
    // Why the last attempt failed; NONE while one runs and after a success.
    std::atomic<InstallFailure> failure{InstallFailure::NONE};
    // The failure page's line for it, with its figures; read after the attempt ended.
    const std::string& FailureText() const { return failure_text_; }

private:
    // Records why the attempt fails and says so on the diagnostic output; always false. The
    // page shows page_text, or the cause's own words without one.
    bool Fail(InstallFailure cause, const std::string& detail = std::string(),
              const std::string& page_text = std::string());
    // The checks before anything is fetched: the install folder, then the package's folder.
    bool CheckFolders();
    bool CheckRoomFor(std::uint64_t package_size);
    bool FailDownload();
    // After a success the package and its resume record go; a failure keeps them.
    void RemovePackage(const std::string& path) const;
    InstallFailure DownloadFailure();
    void RunAttemptThread();
    // Whether the window now asks for the proxy's sign-in (then it answers, not the thread).
    bool AskForProxySignIn();
    // The result page of the attempt, its cause and the close button.
    void FinishAttempt(bool ok);
    // The page's cause for a transfer that got no answer: its own for a refused certificate
    // or a proxy's sign-in, otherwise the step's.
    static InstallFailure TransferFailure(TransferFault fault, InstallFailure otherwise);

    // The attempt's step, for CancelDownload.
    enum class Step { IDLE, CHECKING, DOWNLOADING, INSTALLING };
    // The early answer when there is one, else a query of its own.
    LatestVersionInfo TakeOrQueryLatestVersion();
    void ReleaseQueryMain();

    IInstallWindow& window_;
    // The download's speed; reports come one at a time from the download's workers.
    TransferRate rate_;
    std::atomic<Step> step_{Step::IDLE};
    std::string latest_version_url_;
    // A key text that does not parse still requires signatures, which then never hold.
    bool release_key_required_ = false;
    std::string release_key_pem_;
    std::optional<ReleasePublicKey> release_key_; // parsed by the first query
    // Parses the key once; nullptr without one or when it does not parse.
    const ReleasePublicKey* ReleaseKey();
    ReleaseReply release_reply_;
    // "HOST:PORT" of the proxy that asked for a sign-in in the last attempt, and how many
    // sign-ins were asked for since the user started it. Written by the install thread, read
    // by the UI thread only after the window was asked.
    std::string sign_in_proxy_;
    std::atomic<int> sign_in_rounds_{0};
    // How the last download ended; written and read on the install thread only.
    DownloadResult download_result_;
    std::string failure_text_;
    // The early query: its thread, and its reply until the first attempt takes it.
    std::thread query_thread_;
    std::mutex early_mutex_;
    std::condition_variable early_done_;
    bool early_running_ = false;
    std::optional<ReleaseReply> early_reply_;
};

} // namespace inkwarden

// The causes a person can act on, each made real: a read-only volume, a folder of another
// user, a small disk, a version service that answers 503, one that is not there, a download
// that is refused, and the installer's own temporary folder taken over.
#include "app/FailureCause.h"

#include "app/InstallController.h"
#include "app/InstallFolderCheck.h"
#include "app/SupportLinks.h"
#include "tests/support/FaultServer.h"
#include "tests/support/FreePort.h"
#include "tests/support/InstallWorld.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmpfsMount.h"
#include "ui/native/headless/HeadlessWindowLayer.h"

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace inkwarden {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uid_t NOBODY = 65534;
constexpr std::uint64_t RELEASE_SIZE = 48'000'000;

// The failure page as the install thread leaves it.
class PageWindow : public IInstallWindow {
public:
    bool HasTabPage() const override { return true; }
    bool HasContactButton() const override { return false; }
    // The window shows the cause's words and the picture the cause names.
    void Done(InstallFailure cause, const std::string& text, bool) override {
        set([&] {
            failure_text = text;
            picture = InstallFailurePicture(cause);
        });
    }
    void SelectPage(int index) override {
        set([&] { page = index; });
    }
    void SetCustomPanel(bool) override {}

    int waitForResultPage() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, 30s, [this] { return page >= 2; });
        return page;
    }

    int page = -1;
    std::string failure_text;
    std::string picture;

private:
    template <typename Change> void set(Change change) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            change();
        }
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
};

class FailureCauseTest : public ::testing::Test {
protected:
    // One attempt against the version service at url; the page it ended on.
    int Attempt(const std::string& url, const std::string& folder) {
        InstallController::Services services;
        services.latest_version_url = url;
        services.events.url = url;
        services.release_public_key = "";
        controller = std::make_unique<InstallController>(window, services);
        controller->install_folder = folder;
        controller->ShowPage(1);
        controller->StartInstall();
        const int page = window.waitForResultPage();
        controller->StopInstall();
        return page;
    }
    std::string folder() const { return (world.root / "opt/Inkwarden").string(); }

    test::InstallWorld world{"inkwarden-causes"};
    PageWindow window;
    std::unique_ptr<InstallController> controller;
};

TEST_F(FailureCauseTest, AServiceThatAnswersAnErrorIsNotTheNetwork) {
    test::FaultServer server;
    ASSERT_TRUE(server.start([](const test::FaultRequest&, int fd) {
        test::FaultServer::send(fd, "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 4\r\n"
                                    "Connection: close\r\n\r\nbusy");
    }));
    EXPECT_EQ(Attempt(server.url(LATEST_VERSION_PATH), folder()), 3);
    EXPECT_EQ(controller->failure, InstallFailure::SERVICE_ERROR);
    EXPECT_EQ(window.failure_text, "The update service has a problem (HTTP 503); try again later.");
    EXPECT_EQ(window.picture, "png/logo_fail_service.png");

    // Nobody listening is the network's cause, with the network's picture.
    const std::string nowhere =
        "http://127.0.0.1:" + std::to_string(test::FreePort::Find()) + LATEST_VERSION_PATH;
    EXPECT_EQ(Attempt(nowhere, folder()), 3);
    EXPECT_EQ(controller->failure, InstallFailure::SERVICE_UNREACHABLE);
    EXPECT_EQ(window.failure_text, "Cannot reach the update service; check the network or proxy.");
    EXPECT_EQ(window.picture, "png/logo_retry.png");
}

TEST_F(FailureCauseTest, ARefusedDownloadSaysWhatTheServerDid) {
    auto service = world.startService(
        world.writeRelease(world.productVersion(), "{service}/packages/missing.bin", ""));
    ASSERT_TRUE(service->running()) << service->output();
    EXPECT_EQ(Attempt(service->address() + LATEST_VERSION_PATH, folder()), 3);
    EXPECT_EQ(controller->failure, InstallFailure::DOWNLOAD_FAILED);
    EXPECT_EQ(window.failure_text, "The download failed: HTTP status 404.");
    EXPECT_EQ(window.picture, "png/logo_fail_download.png");
}

TEST_F(FailureCauseTest, AReadOnlyInstallFolderIsNamedBeforeAnythingIsAsked) {
    const fs::path opt = world.root / "opt";
    fs::create_directories(opt);
    test::TmpfsMount disk(opt.string(), 1 << 20, true);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.why();
    }
    test::FaultServer server;
    ASSERT_TRUE(server.start([](const test::FaultRequest&, int) {}));
    EXPECT_EQ(Attempt(server.url(LATEST_VERSION_PATH), folder()), 3);
    EXPECT_EQ(controller->failure, InstallFailure::FOLDER_READ_ONLY);
    EXPECT_EQ(window.failure_text, opt.string() + " is read-only; choose another folder.");
    EXPECT_EQ(window.picture, "png/logo_fail_folder.png");
    EXPECT_TRUE(server.requests().empty()) << "no query for a folder that cannot be used";
}

// The package's folder is the installer's own: made private, checked, and left clean.
TEST_F(FailureCauseTest, TheTemporaryFolderIsPrivateAndAnImpostorIsNamed) {
    auto service = world.startService(
        world.writeRelease(world.productVersion(), "{service}/packages/InkwardenSetup.bin", ""));
    ASSERT_TRUE(service->running()) << service->output();
    const std::string url = service->address() + LATEST_VERSION_PATH;
    const fs::path cache = world.root / "tmp";

    // Success: the folder is the user's alone, and neither the package nor its record stays.
    fs::permissions(cache, fs::perms::all);
    EXPECT_EQ(Attempt(url, folder()), 2);
    struct stat info {};
    ASSERT_EQ(::stat(cache.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_FALSE(fs::exists(cache / "InkwardenTemp.exe"));
    EXPECT_FALSE(
        fs::exists(SegmentedDownloader::ControlPath((cache / "InkwardenTemp.exe").string())));

    // A link in the folder's place is refused before the query, and named on the page.
    const fs::path real = world.root / "elsewhere";
    fs::create_directories(real);
    ::setenv("INKWARDEN_CACHE_DIR", (world.root / "link").c_str(), 1);
    fs::create_directory_symlink(real, world.root / "link");
    EXPECT_EQ(Attempt(url, folder()), 3);
    EXPECT_EQ(controller->failure, InstallFailure::TEMP_FOLDER);
    EXPECT_EQ(window.failure_text, "The installer cannot use its temporary folder " +
                                       (world.root / "link").string() +
                                       ": it is a link or not a folder.");
    EXPECT_EQ(window.picture, "png/logo_fail_folder.png");
    EXPECT_TRUE(fs::is_empty(real));

    if (::geteuid() == 0) {
        // Another user's folder: what root's earlier run left is the same case the other way.
        ::setenv("INKWARDEN_CACHE_DIR", real.c_str(), 1);
        ASSERT_EQ(::chown(real.c_str(), NOBODY, NOBODY), 0);
        EXPECT_EQ(Attempt(url, folder()), 3);
        EXPECT_EQ(window.failure_text, "The installer cannot use its temporary folder " +
                                           real.string() + ": it belongs to another user.");
    }
    ::setenv("INKWARDEN_CACHE_DIR", cache.c_str(), 1);
}

TEST_F(FailureCauseTest, AFailedPackageRunKeepsThePackageForTheRetry) {
    world.writeScriptPackage("broken.sh", "exit 3");
    auto service = world.startService(world.writeRelease("", "{service}/packages/broken.sh", ""));
    ASSERT_TRUE(service->running()) << service->output();
    EXPECT_EQ(Attempt(service->address() + LATEST_VERSION_PATH, folder()), 3);
    EXPECT_EQ(controller->failure, InstallFailure::PACKAGE_FAILED);
    EXPECT_EQ(window.picture, "png/logo_fail_package.png");
    EXPECT_TRUE(fs::exists(world.root / "tmp/InkwardenTemp.exe"));
}

// The folder checks themselves, which the window's start click and the tool share.

TEST(InstallFolderCheckTest, AFolderTheUserMayNotWriteToIsNamed) {
    test::TempDir temp;
    const fs::path closed = temp.path() / "closed";
    fs::create_directory(closed);
    fs::permissions(closed, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const std::string wanted = (closed / "Inkwarden").string();
    FolderProblem problem = FolderProblem::NONE;
    if (::geteuid() != 0) {
        problem = CheckInstallFolder(wanted).problem;
    } else {
        // Root writes anywhere: the check runs as another user, in a child.
        fs::permissions(temp.path(), fs::perms::all);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool dropped = ::setgid(NOBODY) == 0 && ::setuid(NOBODY) == 0;
            ::_exit(dropped ? static_cast<int>(CheckInstallFolder(wanted).problem) : 100);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 100) << "could not become another user";
        problem = static_cast<FolderProblem>(WEXITSTATUS(status));
    }
    EXPECT_EQ(problem, FolderProblem::NOT_WRITABLE);
    const FolderVerdict verdict{FolderProblem::NOT_WRITABLE, closed.string()};
    EXPECT_EQ(FolderVerdictText(verdict),
              "You may not write to " + closed.string() + ": choose a folder in your home.");
    EXPECT_EQ(CheckInstallFolder(temp.file("fine/Inkwarden")).problem, FolderProblem::NONE);
}

TEST(InstallFolderCheckTest, NoRoomNamesTheFiguresAndTheVolume) {
    test::TempDir temp;
    const fs::path small = temp.path() / "small";
    fs::create_directory(small);
    test::TmpfsMount disk(small.string(), 3 << 20);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.why();
    }
    const std::string install = (small / "opt/Inkwarden").string();
    // Package and product on one small volume: twice the release's size.
    FolderVerdict verdict = CheckRoom(install, (small / "cache").string(), RELEASE_SIZE);
    EXPECT_EQ(verdict.problem, FolderProblem::NO_ROOM);
    EXPECT_EQ(verdict.place, small.string());
    EXPECT_EQ(verdict.needed, 2 * RELEASE_SIZE);
    EXPECT_EQ(FolderVerdictText(verdict), "The install needs 96 MB, 3.1 MB free on " +
                                              small.string() + "; free some space and try again.");
    // The package elsewhere: the product alone must fit here.
    verdict = CheckRoom(install, temp.path().string(), RELEASE_SIZE);
    EXPECT_EQ(verdict.needed, RELEASE_SIZE);
    EXPECT_EQ(verdict.place, small.string());
    EXPECT_EQ(CheckRoom(install, temp.path().string(), 1000).problem, FolderProblem::NONE);
    EXPECT_EQ(CheckRoom(install, temp.path().string(), 0).problem, FolderProblem::NONE);
}

// The tool refuses such a folder as the window does, before any query.
TEST(InstallFolderCheckTest, TheToolChecksTheFolderBeforeTheQuery) {
    test::TempDir temp;
    const fs::path ro = temp.path() / "ro";
    fs::create_directory(ro);
    test::TmpfsMount disk(ro.string(), 1 << 20, true);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.why();
    }
    test::FaultServer server;
    ASSERT_TRUE(server.start([](const test::FaultRequest&, int) {}));
    const std::string command = std::string(IW_TOOL) + " install --folder " + ro.string() +
                                "/Inkwarden --service " + server.url("") + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    const int status = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 2) << output;
    EXPECT_NE(output.find(ro.string() + " is read-only; choose another folder."), std::string::npos)
        << output;
    EXPECT_TRUE(server.requests().empty()) << output;
}

// Show details and the licence link where nothing can be started.
TEST(SupportLinksTest, WithoutABrowserTheWindowSaysWhereToLook) {
    test::TempDir temp;
    const std::string log = temp.file("state/inkwarden/installer.log");
    HeadlessWindowLayer layer;
    SupportLinks links(layer, 7);

    links.ShowLog(log);
    ASSERT_EQ(layer.messageBoxCalls().size(), 1u) << "no log yet: says where it will be";
    EXPECT_NE(layer.messageBoxCalls()[0].text.find(log), std::string::npos);

    fs::create_directories(temp.path() / "state/inkwarden");
    {
        std::ofstream out(log);
        for (int i = 0; i < 100; ++i) {
            out << "2026-12-09T18:00:00.000Z retry: " << i << "\n";
        }
    }
    links.ShowLog(log);
    ASSERT_EQ(layer.openedUrls().size(), 1u);
    EXPECT_EQ(layer.openedUrls()[0], "file://" + temp.path().string() + "/state/inkwarden");
    EXPECT_EQ(layer.messageBoxCalls().size(), 1u) << "the folder opened: nothing more to say";

    layer.refuseUrls(true);
    links.ShowLog(log);
    ASSERT_EQ(layer.messageBoxCalls().size(), 2u);
    const std::string shown = layer.messageBoxCalls()[1].text;
    EXPECT_NE(shown.find("retry: 99\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("retry: 80\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("retry: 79\n"), std::string::npos) << "the last twenty lines";

    links.OpenPage("https://inkwarden.example/printer_license_chs.htm");
    ASSERT_EQ(layer.messageBoxCalls().size(), 3u);
    EXPECT_EQ(layer.messageBoxCalls()[2].text, "No web browser could be started. The page is at:\n"
                                               "https://inkwarden.example/printer_license_chs.htm");
}

} // namespace
} // namespace inkwarden

#include "app/InstallController.h"

#include "platform/FileVersion.h"
#include "platform/RegistryFile.h"
#include "tests/support/InstallWorld.h"
#include "tests/support/Latch.h"
#include "tests/support/TmpfsMount.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <httplib.h>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The window side of the sequence, recording what the install thread asked of it.
class RecordingWindow : public IInstallWindow {
public:
    bool HasTabPage() const override { return true; }
    bool HasPercentLabel() const override { return true; }
    bool HasContactButton() const override { return true; }

    void SetProgressValue(int value) override {
        change([&] {
            progress = value;
            progress_history.push_back(value);
        });
    }
    void SetPercentText(const std::string& text) override {
        change([&] { percent = text; });
    }
    void SelectPage(int index) override {
        change([&] { pages.push_back(index); });
    }
    void SetCustomPanel(bool shown) override {
        change([&] { panel_shown = shown; });
    }
    void SetCloseEnabled(bool enabled) override {
        change([&] { close_enabled = enabled; });
    }
    void ShowContactButton() override {
        change([&] { contact_shown = true; });
    }
    void StartInstallTimer() override {
        change([&] { timer_running = true; });
    }
    void KillInstallTimer() override {
        change([&] { timer_running = false; });
    }

    // Waits until the condition over the fields holds; false when it did not in time.
    bool waitUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds timeout = 30s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, condition);
    }
    // Waits until a page other than the installing page was selected.
    int waitForResultPage(std::chrono::milliseconds timeout = 30s) {
        waitUntil([this] { return !pages.empty() && pages.back() >= 2; }, timeout);
        std::lock_guard<std::mutex> lock(mutex_);
        return pages.empty() ? -1 : pages.back();
    }
    template <typename T> T read(const T& field) {
        std::lock_guard<std::mutex> lock(mutex_);
        return field;
    }

    int progress = -1;
    std::vector<int> progress_history;
    std::string percent;
    std::vector<int> pages;
    bool panel_shown = true;
    bool close_enabled = true;
    bool contact_shown = false;
    bool timer_running = false;

private:
    // Every change wakes the waiters.
    template <typename Change> void change(Change apply) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            apply();
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
};

// The installer's attempts with a short pause between a segment's attempts.
DownloadTimings QuickTimings() {
    DownloadTimings timings;
    timings.segment_pause = 20ms;
    return timings;
}

class InstallControllerTest : public ::testing::Test {
protected:
    std::unique_ptr<test::DemoServiceProcess> StartService(const std::string& release,
                                                           std::vector<std::string> extra = {}) {
        auto service = world.startService(release, std::move(extra));
        EXPECT_TRUE(service->running()) << service->output();
        return service;
    }

    // The service with the sample package of the product's version as the plain URL.
    std::unique_ptr<test::DemoServiceProcess>
    ServeSamplePackage(std::vector<std::string> extra = {}) {
        return StartService(
            world.writeRelease(world.productVersion(), "{service}/packages/InkwardenSetup.bin", ""),
            std::move(extra));
    }

    std::unique_ptr<InstallController> MakeController(const test::DemoServiceProcess& service) {
        InstallController::Services services;
        services.latest_version_url = service.address() + LATEST_VERSION_PATH;
        services.events.url = service.address() + EVENT_PATH;
        auto controller = std::make_unique<InstallController>(window, services);
        controller->downloader.SetTimings(QuickTimings());
        controller->install_folder = (world.root / "opt/Inkwarden").string();
        controller->reporter.Start();
        return controller;
    }

    // What the start click does after its checks.
    void Click(InstallController& controller) {
        controller.ShowPage(1);
        controller.StartInstall();
    }

    static std::vector<int> Events(const test::DemoServiceProcess& service, size_t expected) {
        return service.eventCodes(expected);
    }

    test::InstallWorld world;
    RecordingWindow window;
};

TEST_F(InstallControllerTest, SuccessfulAttemptInstallsTheProductFromTheSilentUrl) {
    auto service =
        StartService(world.writeRelease(world.productVersion(), "{service}/packages/missing.bin",
                                        "{service}/packages/InkwardenSetup.bin"));
    auto controller = MakeController(*service);
    controller->ShowPage(0);
    Click(*controller);
    EXPECT_EQ(window.waitForResultPage(), 2) << service->output();
    controller->StopInstall();

    const fs::path folder = world.root / "opt/Inkwarden";
    EXPECT_EQ(ReadFileVersion((folder / "InkwardenMain.exe").string()).file_version,
              world.productVersion());
    EXPECT_TRUE(fs::exists(world.root / "home/Desktop/inkwarden.desktop"));
    EXPECT_TRUE(fs::exists(world.root / "home/.local/share/applications/inkwarden.desktop"));
    EXPECT_TRUE(fs::exists(world.root / "home/.config/autostart/inkwarden.desktop"));
    EXPECT_EQ(
        ReadMachineString("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Inkwarden",
                          "InstallLocation"),
        folder.string());
    EXPECT_TRUE(controller->finished);
    EXPECT_TRUE(window.read(window.close_enabled));
    EXPECT_FALSE(window.read(window.panel_shown));
    EXPECT_EQ(window.read(window.progress), 500); // the bar at the download's end
    EXPECT_TRUE(window.read(window.timer_running));
    EXPECT_EQ(service->output().find("missing.bin"), std::string::npos);

    controller->LaunchProduct();
    // The product writes its marker after creating it: wait for the line, not the file.
    std::string argument;
    for (int i = 0; i < 250 && argument.empty(); ++i) {
        std::this_thread::sleep_for(20ms);
        std::ifstream marker(folder / "InkwardenMain.started");
        std::getline(marker, argument);
    }
    EXPECT_EQ(argument, "-printer_detect");
    EXPECT_EQ(Events(*service, 4), (std::vector<int>{901100, 901200, 901300, 901301}));
    controller->reporter.Stop();
}

TEST_F(InstallControllerTest, UrlChoice) {
    // Only the plain URL: that one.
    auto service = ServeSamplePackage();
    auto controller = MakeController(*service);
    Click(*controller);
    EXPECT_EQ(window.waitForResultPage(), 2) << service->output();
    controller->StopInstall();
    controller->reporter.Stop();

    // Neither URL: failure without any download.
    auto empty_service = StartService(world.writeRelease(world.productVersion(), "", ""));
    auto failing = MakeController(*empty_service);
    window.pages.clear();
    Click(*failing);
    EXPECT_EQ(window.waitForResultPage(), 3);
    failing->StopInstall();
    EXPECT_EQ(empty_service->output().find("/packages/"), std::string::npos);
    EXPECT_EQ(Events(*empty_service, 2), (std::vector<int>{901200, 901201}));
    failing->reporter.Stop();
}

TEST_F(InstallControllerTest, TestUrlOverridesTheServiceAndComparesWithThePackage) {
    auto service = StartService(world.writeRelease("9.9.9.9", "", ""));
    auto controller = MakeController(*service);
    controller->test_url = service->address() + "/packages/InkwardenSetup.bin";
    Click(*controller);
    EXPECT_EQ(window.waitForResultPage(), 2) << service->output();
    controller->StopInstall();
    EXPECT_EQ(controller->latest_version.Version_number, "9.9.9.9"); // the query still ran
    controller->reporter.Stop();
}

TEST_F(InstallControllerTest, ExitCodeDecidesNothingAndEmptyVersionsMatch) {
    // A package that installs a file without a version and exits with an error code.
    world.writeScriptPackage("script.sh",
                             "for a in \"$@\"; do case \"$a\" in -install_path:*) "
                             "d=\"${a#-install_path:}\";; esac; done\n"
                             "mkdir -p \"$d\" && echo plain > \"$d/InkwardenMain.exe\"\nexit 7");
    auto service = StartService(world.writeRelease("", "{service}/packages/script.sh", ""));
    auto controller = MakeController(*service);
    Click(*controller);
    EXPECT_EQ(window.waitForResultPage(), 2) << service->output();
    controller->StopInstall();
    controller->reporter.Stop();
}

TEST_F(InstallControllerTest, SecondFailureShowsTheContactButtonOnce) {
    auto service = ServeSamplePackage({"--fail-downloads", "3"});
    auto controller = MakeController(*service);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        window.pages.clear();
        if (attempt > 1) {
            controller->reporter.Report(901202); // what the retry click reports first
        }
        Click(*controller);
        EXPECT_EQ(window.waitForResultPage(), 3);
        EXPECT_EQ(window.read(window.contact_shown), attempt >= 2);
        EXPECT_EQ(window.read(window.progress_history).front(), 0); // reset before the query
    }
    controller->StopInstall();
    EXPECT_EQ(Events(*service, 9), (std::vector<int>{901200, 901201, 901202, 901200, 901203, 901201,
                                                     901202, 901200, 901201}));
    controller->reporter.Stop();
}

TEST_F(InstallControllerTest, ProgressArithmetic) {
    auto service = StartService(world.writeRelease("", "", ""));
    auto controller = MakeController(*service);
    controller->OnDownloadProgress(400, 1000, 0.4);
    EXPECT_EQ(window.progress, 200);
    EXPECT_EQ(window.percent, "20%");

    controller->install_fraction = 0.5;
    window.timer_running = true;
    controller->OnInstallTimer(513); // not ours
    EXPECT_EQ(window.progress, 200);
    controller->OnInstallTimer(512);
    EXPECT_EQ(window.progress, 501);
    EXPECT_EQ(window.percent, "50%");
    int ticks = 1;
    while (window.timer_running && ticks < 1000) {
        controller->OnInstallTimer(512);
        ++ticks;
    }
    EXPECT_EQ(ticks, 490);
    EXPECT_EQ(window.progress, 990);
    EXPECT_EQ(window.percent, "99%");
    controller->reporter.Stop();
}

TEST_F(InstallControllerTest, StopDuringTheDownloadSwitchesNoPage) {
    auto service = ServeSamplePackage({"--throttle", "20000"});
    auto controller = MakeController(*service);
    Click(*controller);
    window.waitUntil([&] { return window.progress > 0; }, 4s);
    const auto started = std::chrono::steady_clock::now();
    controller->StopInstall();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(window.read(window.pages), std::vector<int>{1});
    controller->reporter.Stop();
}

TEST_F(InstallControllerTest, StopDuringThePackageRunWaitsForIt) {
    world.writeScriptPackage("slow.sh", "touch \"$TMPDIR/package-started\"\nsleep 0.5\n"
                                        "touch \"$TMPDIR/package-ended\"");
    auto service = StartService(world.writeRelease("", "{service}/packages/slow.sh", ""));
    auto controller = MakeController(*service);
    Click(*controller);
    window.waitUntil([&] { return window.timer_running; }, 2s);
    // The package runs in a process of its own: its first line tells that it has started.
    for (int i = 0; i < 200 && !fs::exists(world.root / "tmp/package-started"); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    controller->StopInstall();
    EXPECT_TRUE(fs::exists(world.root / "tmp/package-ended"));
    EXPECT_EQ(window.read(window.pages), std::vector<int>{1});
    controller->reporter.Stop();
}

TEST_F(InstallControllerTest, StopDuringTheQueryEndsItPromptly) {
    // Answers only once the test is done with it, or after three seconds.
    test::Latch asked;
    test::Latch may_answer;
    httplib::Server slow;
    slow.Post(".*", [&](const httplib::Request&, httplib::Response& res) {
        asked.open();
        may_answer.waitOpen(3s);
        res.set_content("", "text/plain");
    });
    const int port = slow.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { slow.listen_after_bind(); });

    InstallController::Services services;
    services.latest_version_url = "http://127.0.0.1:" + std::to_string(port) + LATEST_VERSION_PATH;
    services.events.url = services.latest_version_url;
    InstallController controller(window, services);
    controller.test_url = "http://127.0.0.1:1/never"; // a stop must not go on to the download
    Click(controller);
    EXPECT_TRUE(asked.waitOpen(10s)); // the query is under way
    const auto started = std::chrono::steady_clock::now();
    controller.StopInstall();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_EQ(window.read(window.pages), std::vector<int>{1});
    may_answer.open();
    slow.stop();
    thread.join();
}

// Faults during an attempt: each ends on the failure page, never on the success page.

TEST_F(InstallControllerTest, FullTemporaryFolderFailsTheAttempt) {
    test::TmpfsMount disk((world.root / "tmp").string(), 64 * 1024);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.why();
    }
    auto service = ServeSamplePackage();
    auto controller = MakeController(*service);
    Click(*controller);
    EXPECT_EQ(window.waitForResultPage(), 3);
    controller->StopInstall();
    EXPECT_FALSE(fs::exists(world.root / "opt/Inkwarden/InkwardenMain.exe"));
    EXPECT_FALSE(fs::exists(world.root / "tmp/InkwardenTemp.exe"));
    EXPECT_EQ(Events(*service, 2), (std::vector<int>{901200, 901201}));
    controller->reporter.Stop();
}

TEST_F(InstallControllerTest, ReadOnlyFoldersFailTheAttempt) {
    auto service = ServeSamplePackage();
    // The temporary folder, then the install folder's parent, made read-only.
    for (const fs::path& folder : {world.root / "tmp", world.root / "opt"}) {
        SCOPED_TRACE(folder.string());
        fs::create_directories(folder);
        test::TmpfsMount disk(folder.string(), 1 << 20, true);
        if (!disk.mounted()) {
            GTEST_SKIP() << disk.why();
        }
        auto controller = MakeController(*service);
        window.pages.clear();
        Click(*controller);
        EXPECT_EQ(window.waitForResultPage(), 3) << service->output();
        controller->StopInstall();
        controller->reporter.Stop();
    }
    EXPECT_FALSE(fs::exists(world.root / "opt/Inkwarden/InkwardenMain.exe"));
}

TEST_F(InstallControllerTest, PackageKilledBySignalOrInstallingNothingFails) {
    // Killed before it installed anything; exits at once without installing anything.
    world.writeScriptPackage("killed.sh", "kill -KILL $$");
    world.writeScriptPackage("nothing.sh", "exit 0");
    for (const std::string name : {"killed.sh", "nothing.sh"}) {
        SCOPED_TRACE(name);
        // An empty version would match a product without one, so only the file's absence
        // can tell this failure.
        auto service = StartService(world.writeRelease("", "{service}/packages/" + name, ""));
        auto controller = MakeController(*service);
        window.pages.clear();
        Click(*controller);
        EXPECT_EQ(window.waitForResultPage(), 3) << service->output();
        controller->StopInstall();
        EXPECT_EQ(Events(*service, 2), (std::vector<int>{901200, 901201}));
        controller->reporter.Stop();
    }
}

TEST_F(InstallControllerTest, CorruptRegistryFileIsLeftAloneAndTheProductStillInstalls) {
    const std::string garbage = "\xFF\xFE\x00garbage [HKEY_LOCAL_MACHINE\\x]\n\"a\"=\"b\\";
    { std::ofstream(world.root / "machine.reg", std::ios::binary) << garbage; }
    EXPECT_EQ(
        ReadMachineString("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Inkwarden",
                          "InstallLocation"),
        "");
    auto service = ServeSamplePackage();
    auto controller = MakeController(*service);
    Click(*controller);
    // The package cannot record its folder and says so; the version check still decides.
    EXPECT_EQ(window.waitForResultPage(), 2) << service->output();
    controller->StopInstall();
    std::ifstream in(world.root / "machine.reg", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);
    controller->reporter.Stop();
}

TEST(PackageCommandLineTest, OptionsFollowTheQuotedPaths) {
    struct NoWindow : IInstallWindow {
        bool HasTabPage() const override { return false; }
        bool HasPercentLabel() const override { return false; }
        bool HasContactButton() const override { return false; }
        void SetProgressValue(int) override {}
        void SetPercentText(const std::string&) override {}
        void SelectPage(int) override {}
        void SetCustomPanel(bool) override {}
        void SetCloseEnabled(bool) override {}
        void ShowContactButton() override {}
        void StartInstallTimer() override {}
        void KillInstallTimer() override {}
    } window;
    ::setenv("TMPDIR", "/var/tmp", 1);
    InstallController controller(window);
    controller.install_folder = "/opt/Program Files/Inkwarden";
    EXPECT_EQ(controller.BuildPackageCommandLine(),
              "\"/var/tmp/InkwardenTemp.exe\" -install_path:\"/opt/Program Files/Inkwarden\""
              " -desktop_link:1 -start_link:1 -bootup:1 -silent -union_id:57426");
    controller.desktop_link = false;
    controller.union_id = -5;
    EXPECT_EQ(controller.BuildPackageCommandLine(),
              "\"/var/tmp/InkwardenTemp.exe\" -install_path:\"/opt/Program Files/Inkwarden\""
              " -desktop_link:0 -start_link:1 -bootup:1 -silent -union_id:-5");
    EXPECT_EQ(controller.ProductPath(), "/opt/Program Files/Inkwarden/InkwardenMain.exe");
}

} // namespace
} // namespace inkwarden

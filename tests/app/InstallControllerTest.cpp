#include "app/InstallController.h"

#include "demo/ReleaseSigner.h"
#include "platform/CommandLineSplitter.h"
#include "platform/FileVersion.h"
#include "platform/RegistryFile.h"
#include "release/PackageDigest.h"
#include "tests/support/FaultServer.h"
#include "tests/support/FreePort.h"
#include "tests/support/HostileReleaseServer.h"
#include "tests/support/InstallWorld.h"
#include "tests/support/Latch.h"
#include "tests/support/TestBundle.h"
#include "tests/support/TestFiles.h"
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
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The window side of the sequence, recording what the attempt told it.
class RecordingWindow : public IInstallWindow {
public:
    bool HasTabPage() const override { return true; }
    bool HasContactButton() const override { return true; }

    void SelectPage(int index) override {
        change([&] { pages.push_back(index); });
    }
    void SetCustomPanel(bool shown) override {
        change([&] { panel_shown = shown; });
    }
    void Checking() override {
        change([&] { steps.push_back("checking"); });
    }
    void Downloading(const DownloadFigures& figures) override {
        change([&] {
            if (steps.empty() || steps.back() != "downloading") {
                steps.push_back("downloading");
            }
            download = figures;
        });
    }
    void Installing() override {
        change([&] {
            steps.push_back("installing");
            installing = true;
        });
    }
    void Done(InstallFailure failure, const std::string& text, bool offer_contact) override {
        change([&] {
            steps.push_back("done");
            cause = failure;
            failure_text = text;
            contact_shown = contact_shown || offer_contact;
        });
    }
    void Cancelled() override {
        change([&] { steps.push_back("cancelled"); });
    }
    void ReleaseKnown(const std::string& version, std::optional<std::int64_t> size) override {
        change([&] {
            release_version = version;
            release_size = size;
        });
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

    std::vector<std::string> steps;
    DownloadFigures download;
    InstallFailure cause = InstallFailure::NONE;
    std::string failure_text;
    std::vector<int> pages;
    bool panel_shown = true;
    bool contact_shown = false;
    bool installing = false;
    std::string release_version;
    std::optional<std::int64_t> release_size;

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
    EXPECT_FALSE(window.read(window.panel_shown));
    EXPECT_EQ(window.read(window.steps),
              (std::vector<std::string>{"checking", "downloading", "installing", "done"}));
    EXPECT_EQ(window.read(window.download).fraction, 1.0);
    EXPECT_EQ(window.read(window.download).done, window.read(window.download).total);
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

TEST_F(InstallControllerTest, MirrorsInTheSignedReplyServeThePackageBesideItsUrl) {
    // Two more demo services serve the same folder; the release names them as mirrors, and
    // the reply that carries them is signed under the build's demo key.
    const std::string packages = (world.root / "packages").string();
    test::DemoServiceProcess first_mirror({"--packages", packages});
    test::DemoServiceProcess second_mirror({"--packages", packages});
    ASSERT_TRUE(first_mirror.running() && second_mirror.running());
    const std::string release =
        world.writeRelease(world.productVersion(), "{service}/packages/InkwardenSetup.bin", "");
    std::string data = test::TestFiles::ReadAll(release);
    data.insert(data.rfind('}'), R"(,"Package_mirrors":[")" + first_mirror.address() +
                                     R"(/packages/InkwardenSetup.bin",")" +
                                     second_mirror.address() + R"(/packages/InkwardenSetup.bin"])");
    std::ofstream(release) << data;
    auto service = StartService(release);
    auto controller = MakeController(*service);
    Click(*controller);
    EXPECT_EQ(window.waitForResultPage(), 2) << service->output();
    controller->StopInstall();
    controller->reporter.Stop();

    EXPECT_EQ(controller->release_check, ReleaseCheck::PASSED);
    EXPECT_NE(service->output().find("(signed)"), std::string::npos);
    EXPECT_EQ(
        ReadFileVersion((world.root / "opt/Inkwarden/InkwardenMain.exe").string()).file_version,
        world.productVersion());
    // Every source served ranges of the package.
    for (test::DemoServiceProcess* source : {service.get(), &first_mirror, &second_mirror}) {
        EXPECT_NE(source->output().find("GET /packages/InkwardenSetup.bin Range: bytes="),
                  std::string::npos)
            << source->output();
    }
}

TEST_F(InstallControllerTest, ASignedReplyWithPieceDigestsFromTheDemoServiceInstalls) {
    // The release names a piece size: the reply, signed under the demo key, carries the
    // package's piece digests, and the download checks each piece as it arrives.
    const std::string release =
        world.writeRelease(world.productVersion(), "{service}/packages/InkwardenSetup.bin", "");
    const std::string six_fields = test::TestFiles::ReadAll(release);
    const auto with_piece_size = [&](const std::string& value) {
        std::ofstream(release) << "{\"Package_piece_size\":" + value + "," + six_fields.substr(1);
    };
    with_piece_size("65536");
    auto service = StartService(release);
    auto controller = MakeController(*service);
    Click(*controller);
    EXPECT_EQ(window.waitForResultPage(), 2) << service->output();
    EXPECT_EQ(controller->release_check, ReleaseCheck::PASSED);
    controller->StopInstall();
    controller->reporter.Stop();

    // A piece size of another form keeps the service from starting, with the reason.
    with_piece_size("1000");
    auto refused = world.startService(release);
    EXPECT_FALSE(refused->running());
    EXPECT_NE(refused->output().find("Package_piece_size must be a power of two"),
              std::string::npos)
        << refused->output();
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
    EXPECT_EQ(failing->failure, InstallFailure::RELEASE_INVALID);
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
        EXPECT_EQ(controller->failure, InstallFailure::DOWNLOAD_FAILED) << "each attempt queries";
        EXPECT_EQ(window.read(window.contact_shown), attempt >= 2);
        EXPECT_EQ(window.read(window.steps).back(), "done");
    }
    controller->StopInstall();
    EXPECT_EQ(Events(*service, 9), (std::vector<int>{901200, 901201, 901202, 901200, 901203, 901201,
                                                     901202, 901200, 901201}));
    controller->reporter.Stop();
}

TEST_F(InstallControllerTest, DownloadReportsCarryBytesAndTheRecentSpeed) {
    auto service = StartService(world.writeRelease("", "", ""));
    auto controller = MakeController(*service);
    controller->OnDownloadProgress(400, 1000, 0.4);
    EXPECT_EQ(window.download.done, 400);
    EXPECT_EQ(window.download.total, 1000);
    EXPECT_EQ(window.download.bytes_per_second, 0.0) << "no speed from one report";
    std::this_thread::sleep_for(50ms);
    controller->OnDownloadProgress(900, 1000, 0.9);
    EXPECT_GT(window.download.bytes_per_second, 0.0);
    EXPECT_LT(window.download.bytes_per_second, 500 / 0.05);
    controller->reporter.Stop();
}

TEST_F(InstallControllerTest, StopDuringTheDownloadSwitchesNoPage) {
    auto service = ServeSamplePackage({"--throttle", "20000"});
    auto controller = MakeController(*service);
    Click(*controller);
    window.waitUntil([&] { return window.download.done > 0; }, 4s);
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
    window.waitUntil([&] { return window.installing; }, 2s);
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

// Each failing step names its own cause on the failure page; the next attempt starts without it.
TEST_F(InstallControllerTest, TheFailurePageSaysWhichStepFailed) {
    world.writeScriptPackage("nothing.sh", "exit 0");
    struct Case {
        const char* version; // "" for the product's own
        const char* url;
        std::vector<std::string> extra;
        InstallFailure failure;
    };
    const std::string sample = "{service}/packages/InkwardenSetup.bin";
    const Case cases[] = {
        {"", "", {}, InstallFailure::RELEASE_INVALID},
        {"", sample.c_str(), {"--fail-downloads", "1000"}, InstallFailure::DOWNLOAD_FAILED},
        {"", "{service}/packages/nothing.sh", {}, InstallFailure::PACKAGE_FAILED},
        {"9.9.9.9", sample.c_str(), {}, InstallFailure::VERSION_MISMATCH},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        fs::remove_all(world.root / "opt");
        const std::string version = *c.version != 0 ? c.version : world.productVersion();
        auto service = StartService(world.writeRelease(version, c.url, ""), c.extra);
        auto controller = MakeController(*service);
        window.pages.clear();
        Click(*controller);
        EXPECT_EQ(window.waitForResultPage(), 3) << service->output();
        controller->StopInstall();
        EXPECT_EQ(controller->failure, c.failure);
        EXPECT_EQ(window.read(window.cause), c.failure);
        const std::string text = window.read(window.failure_text);
        EXPECT_EQ(text, controller->FailureText());
        // The download's cause is the engine's, after the step's words.
        if (c.failure == InstallFailure::DOWNLOAD_FAILED) {
            EXPECT_EQ(text.rfind("The download failed: ", 0), 0u) << text;
        } else {
            EXPECT_EQ(text, InstallFailureText(c.failure));
        }
        EXPECT_EQ(Events(*service, 2), (std::vector<int>{901200, 901201})) << "events unchanged";
        controller->reporter.Stop();
    }

    // Nothing listens: unreachable. Then a retry that succeeds clears the line.
    auto service = ServeSamplePackage();
    InstallController::Services services;
    services.latest_version_url =
        "http://127.0.0.1:" + std::to_string(test::FreePort::Find()) + LATEST_VERSION_PATH;
    services.events.url = service->address() + EVENT_PATH;
    InstallController unreachable(window, services);
    unreachable.install_folder = (world.root / "opt/Inkwarden").string();
    window.pages.clear();
    Click(unreachable);
    EXPECT_EQ(window.waitForResultPage(), 3);
    unreachable.StopInstall();
    EXPECT_EQ(unreachable.failure, InstallFailure::SERVICE_UNREACHABLE);
    EXPECT_EQ(window.read(window.cause), InstallFailure::SERVICE_UNREACHABLE);

    auto controller = MakeController(*service);
    window.pages.clear();
    Click(*controller);
    EXPECT_EQ(window.waitForResultPage(), 2) << service->output();
    controller->StopInstall();
    EXPECT_EQ(controller->failure, InstallFailure::NONE);
    EXPECT_EQ(window.read(window.cause), InstallFailure::NONE);
    controller->reporter.Stop();
}

// A service that the low-speed rule lets live: the query ends by its deadline all the same,
// and the attempt fails as unreachable.
TEST_F(InstallControllerTest, ATricklingVersionServiceEndsTheAttemptByTheDeadline) {
    // A long reply announced and trickled at two bytes a second.
    test::FaultServer server;
    ASSERT_TRUE(server.start([&](const test::FaultRequest&, int fd) {
        test::FaultServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        server.sendPaced(fd, std::string(100000, 'A'), 2, 1000);
    }));
    constexpr auto DEADLINE = 1500ms;
    InstallController::Services services;
    services.latest_version_url = server.url(LATEST_VERSION_PATH);
    services.events.url = server.url(EVENT_PATH);
    services.query_deadline = DEADLINE;
    InstallController controller(window, services);
    controller.install_folder = (world.root / "opt/Inkwarden").string();
    const auto started = std::chrono::steady_clock::now();
    Click(controller);
    EXPECT_EQ(window.waitForResultPage(10s), 3);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, DEADLINE - 100ms) << "the trickle did hold the query until then";
    EXPECT_LT(took, DEADLINE + 2s);
    controller.StopInstall();
    EXPECT_EQ(controller.failure, InstallFailure::SERVICE_UNREACHABLE);
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
    EXPECT_EQ(controller->failure, InstallFailure::DISK_FULL);
    EXPECT_EQ(window.read(window.cause), InstallFailure::DISK_FULL);
    // With the figures: what the package needs and what the small disk has.
    const std::string text = window.read(window.failure_text);
    EXPECT_EQ(text.rfind("The install needs ", 0), 0u) << text;
    EXPECT_NE(text.find(" free on " + (world.root / "tmp").string()), std::string::npos) << text;
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
        EXPECT_EQ(controller->failure, InstallFailure::PACKAGE_FAILED);
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

// A window without any of the controls, for the command-line tests.
struct NoWindow : IInstallWindow {
    bool HasTabPage() const override { return false; }
    bool HasContactButton() const override { return false; }
    void SelectPage(int) override {}
    void SetCustomPanel(bool) override {}
};

TEST(PackageCommandLineTest, OptionsFollowTheQuotedPaths) {
    NoWindow window;
    // Named only: nothing makes the folder here.
    ::setenv("INKWARDEN_CACHE_DIR", "/var/tmp/inkwarden", 1);
    InstallController controller(window);
    controller.install_folder = "/opt/Program Files/Inkwarden";
    EXPECT_EQ(
        controller.BuildPackageCommandLine(),
        "\"/var/tmp/inkwarden/InkwardenTemp.exe\" -install_path:\"/opt/Program Files/Inkwarden\""
        " -desktop_link:1 -start_link:1 -bootup:1 -silent -union_id:57426");
    controller.desktop_link = false;
    controller.union_id = -5;
    EXPECT_EQ(
        controller.BuildPackageCommandLine(),
        "\"/var/tmp/inkwarden/InkwardenTemp.exe\" -install_path:\"/opt/Program Files/Inkwarden\""
        " -desktop_link:0 -start_link:1 -bootup:1 -silent -union_id:-5");
    EXPECT_EQ(controller.ProductPath(), "/opt/Program Files/Inkwarden/InkwardenMain.exe");
    ::unsetenv("INKWARDEN_CACHE_DIR");
}

// The trust checks of an attempt: a signed reply before anything is fetched, the package's
// size and SHA-256 before it is made executable.

using Reply = test::HostileReleaseServer::Reply;

const demo::ReleaseSigner& TestSigner() {
    static const demo::ReleaseSigner signer = *demo::ReleaseSigner::Generate();
    return signer;
}

class InstallTrustTest : public InstallControllerTest {
protected:
    // The sample package as the honest reply describes it.
    test::HostileReleaseServer::Script SampleScript(Reply reply) {
        test::HostileReleaseServer::Script script;
        script.reply = reply;
        script.release = {
            "墨守精灵",  world.productVersion(), "test", "", "{server}/packages/InkwardenSetup.bin",
            "2026-12-08"};
        const std::string package = (world.root / "packages/InkwardenSetup.bin").string();
        script.package_bytes = test::TestFiles::ReadAll(package);
        const auto digest = DigestFile(package);
        script.package.size = digest->size;
        script.package.sha256 = digest->sha256;
        return script;
    }

    // A controller that asks the hostile server; its events go nowhere.
    std::unique_ptr<InstallController> MakeController(const test::HostileReleaseServer& server,
                                                      const std::string& key_pem) {
        InstallController::Services services;
        services.latest_version_url = server.versionUrl();
        services.release_public_key = key_pem;
        auto controller = std::make_unique<InstallController>(window, services);
        controller->downloader.SetTimings(QuickTimings());
        controller->install_folder = (world.root / "opt/Inkwarden").string();
        return controller;
    }
    using InstallControllerTest::MakeController;

    int RunAttempt(InstallController& controller) {
        window.pages.clear();
        Click(controller);
        const int page = window.waitForResultPage();
        controller.StopInstall();
        return page;
    }

    // Nothing of the package is left to be run: no file under either name, nothing
    // executable in the temporary folder, no product.
    void ExpectNothingRunnableLeft() {
        EXPECT_FALSE(fs::exists(world.root / "tmp/InkwardenTemp.exe"));
        EXPECT_FALSE(fs::exists(world.root / "tmp/InkwardenTemp.exe.tmp"));
        for (const auto& entry : fs::directory_iterator(world.root / "tmp")) {
            EXPECT_EQ(entry.status().permissions() & fs::perms::owner_exec, fs::perms::none)
                << entry.path();
        }
        EXPECT_FALSE(fs::exists(world.root / "opt/Inkwarden/InkwardenMain.exe"));
    }

    const std::string key = TestSigner().publicPem();
};

TEST_F(InstallTrustTest, ASignedReplyFromTheDemoServiceInstallsAVerifiedPackage) {
    const std::string private_key = (world.root / "signing.pem").string();
    std::ofstream(private_key) << TestSigner().privatePem();
    auto service = ServeSamplePackage({"--signing-key", private_key});
    InstallController::Services services;
    services.latest_version_url = service->address() + LATEST_VERSION_PATH;
    services.events.url = service->address() + EVENT_PATH;
    services.release_public_key = key;
    InstallController controller(window, services);
    controller.downloader.SetTimings(QuickTimings());
    controller.install_folder = (world.root / "opt/Inkwarden").string();
    EXPECT_EQ(RunAttempt(controller), 2) << service->output();
    EXPECT_EQ(controller.release_check, ReleaseCheck::PASSED);
    EXPECT_EQ(
        ReadFileVersion((world.root / "opt/Inkwarden/InkwardenMain.exe").string()).file_version,
        world.productVersion());
    EXPECT_NE(service->output().find("(signed)"), std::string::npos);
}

TEST_F(InstallTrustTest, ForgedOrIncompleteRepliesFailBeforeAnyPackageRequest) {
    struct Case {
        Reply reply;
        bool drop_size;
        ReleaseCheck check;
    };
    const Case cases[] = {
        {Reply::FLIPPED_SIGNATURE_BYTE, false, ReleaseCheck::BAD_SIGNATURE},
        {Reply::OTHER_NONCE, false, ReleaseCheck::BAD_SIGNATURE},
        {Reply::ALTERED_AFTER_SIGNING, false, ReleaseCheck::BAD_SIGNATURE},
        {Reply::UNSIGNED, false, ReleaseCheck::UNSIGNED},
        {Reply::SIGNED, true, ReleaseCheck::MISSING_PACKAGE_FIELDS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.reply));
        test::HostileReleaseServer::Script script = SampleScript(c.reply);
        if (c.drop_size) {
            script.package.size.reset();
        }
        test::HostileReleaseServer server(TestSigner(), script);
        ASSERT_TRUE(server.running());
        auto controller = MakeController(server, key);
        EXPECT_EQ(RunAttempt(*controller), 3);
        EXPECT_EQ(controller->release_check, c.check);
        EXPECT_EQ(controller->failure, InstallFailure::RELEASE_INVALID);
        EXPECT_EQ(server.queries(), 1);
        EXPECT_EQ(server.packageRequests(), 0);
        EXPECT_EQ(controller->latest_version.Download_silent_url.empty(), c.reply != Reply::SIGNED);
        ExpectNothingRunnableLeft();
    }
}

TEST_F(InstallTrustTest, APackageUnlikeTheReplysIsRemovedAndNeverRun) {
    struct Case {
        const char* name;
        std::function<void(std::string&)> change;
        ReleaseCheck check;
    };
    const Case cases[] = {
        {"same size, one byte changed", [](std::string& bytes) { bytes[bytes.size() / 2] ^= 1; },
         ReleaseCheck::PACKAGE_SHA256},
        {"truncated", [](std::string& bytes) { bytes.resize(bytes.size() - 1000); },
         ReleaseCheck::PACKAGE_SIZE},
        {"oversized", [](std::string& bytes) { bytes += "#!/bin/sh\ntouch /tmp/owned\n"; },
         ReleaseCheck::PACKAGE_SIZE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::HostileReleaseServer::Script script = SampleScript(Reply::SIGNED);
        c.change(script.package_bytes);
        test::HostileReleaseServer server(TestSigner(), script);
        auto controller = MakeController(server, key);
        EXPECT_EQ(RunAttempt(*controller), 3);
        EXPECT_EQ(controller->release_check, c.check);
        EXPECT_EQ(controller->failure, InstallFailure::RELEASE_INVALID);
        EXPECT_GT(server.packageRequests(), 0);
        EXPECT_FALSE(window.read(window.installing)) << "the install phase never started";
        ExpectNothingRunnableLeft();
    }
}

TEST_F(InstallTrustTest, WithoutAKeyTheFieldsAreCheckedWhenPresent) {
    // A wrong SHA-256 still fails...
    test::HostileReleaseServer::Script wrong = SampleScript(Reply::UNSIGNED);
    wrong.package.sha256 = std::string(64, 'e');
    test::HostileReleaseServer wrong_server(TestSigner(), wrong);
    auto failing = MakeController(wrong_server, "");
    EXPECT_EQ(RunAttempt(*failing), 3);
    EXPECT_EQ(failing->release_check, ReleaseCheck::PACKAGE_SHA256);
    ExpectNothingRunnableLeft();

    // ... and an unsigned reply without them installs as before.
    test::HostileReleaseServer::Script plain = SampleScript(Reply::UNSIGNED);
    plain.package = PackageFields{};
    test::HostileReleaseServer plain_server(TestSigner(), plain);
    auto installing = MakeController(plain_server, "");
    EXPECT_EQ(RunAttempt(*installing), 2);
    EXPECT_EQ(installing->release_check, ReleaseCheck::PASSED);
}

TEST_F(InstallTrustTest, ATestUrlIsTakenAsTheTypistChoseIt) {
    // With a key, an unsigned reply and no fields: the test URL's package still installs.
    test::HostileReleaseServer::Script script = SampleScript(Reply::UNSIGNED);
    script.package = PackageFields{};
    test::HostileReleaseServer server(TestSigner(), script);
    auto controller = MakeController(server, key);
    controller->test_url = server.address() + "/packages/chosen.bin";
    EXPECT_EQ(RunAttempt(*controller), 2);
    EXPECT_EQ(controller->release_check, ReleaseCheck::PASSED);
}

TEST_F(InstallTrustTest, AFolderThatWouldSplitIsRefusedBeforeTheQuery) {
    test::HostileReleaseServer server(TestSigner(), SampleScript(Reply::SIGNED));
    auto controller = MakeController(server, key);
    for (const std::string& folder : {(world.root / "x\" -install_path:\"/tmp/elsewhere").string(),
                                      (world.root / "a\nb").string()}) {
        controller->install_folder = folder;
        EXPECT_EQ(RunAttempt(*controller), 3);
    }
    EXPECT_EQ(server.queries(), 0);
    EXPECT_EQ(server.packageRequests(), 0);
}

TEST(PackageCommandLineTest, AcceptedFoldersReachThePackageAsOneLiteralArgument) {
    NoWindow window;
    InstallController controller(window);
    const std::string accepted[] = {"/opt/Program Files/Inkwarden",   "/srv/a\\b/Inkwarden",
                                    "/srv/$(touch x) `id`/Inkwarden", "/srv/墨守/Inkwarden",
                                    "/srv/it's -silent/Inkwarden",    "/srv/\\\\server\\x"};
    for (const std::string& folder : accepted) {
        ASSERT_TRUE(FolderFitsPackageCommandLine(folder)) << folder;
        controller.install_folder = folder;
        const std::vector<std::string> arguments =
            SplitCommandLine(controller.BuildPackageCommandLine());
        ASSERT_EQ(arguments.size(), 7u) << folder;
        EXPECT_EQ(arguments[1], "-install_path:" + folder);
    }
    const std::string refused[] = {"/tmp/x\" -install_path:\"/tmp/elsewhere",
                                   "/srv/a\"b c",
                                   "/srv/a\nb",
                                   "/srv/a\rb",
                                   "/srv/a\tb",
                                   std::string("/srv/a\0b", 8),
                                   "/srv/a\\"};
    for (const std::string& folder : refused) {
        EXPECT_FALSE(FolderFitsPackageCommandLine(folder)) << folder;
    }
}

// Offline bundles: the attempt asks no service and downloads nothing. The "service" here
// counts what it is asked; the events go to a port nobody listens on.
class OfflineInstallTest : public InstallTrustTest {
protected:
    void SetUp() override {
        bundle.version = world.productVersion();
        bundle.package_bytes =
            test::TestFiles::ReadAll((world.root / "packages/InkwardenSetup.bin").string());
    }

    int Install(const std::string& key_pem = "") {
        InstallController::Services services;
        services.latest_version_url = server.versionUrl();
        services.events.url =
            "http://127.0.0.1:" + std::to_string(test::FreePort::Find()) + EVENT_PATH;
        services.release_public_key = key_pem.empty() ? key : key_pem;
        controller = std::make_unique<InstallController>(window, services);
        controller->install_folder = (world.root / "opt/Inkwarden").string();
        controller->offline_dir = folder;
        controller->reporter.Start();
        const int page = RunAttempt(*controller);
        controller->reporter.Stop();
        EXPECT_EQ(server.queries(), 0);
        EXPECT_EQ(server.packageRequests(), 0);
        return page;
    }

    test::HostileReleaseServer server{TestSigner(), SampleScript(Reply::SIGNED)};
    const std::string folder = (world.root / "bundle").string();
    test::TestBundle bundle;
    std::unique_ptr<InstallController> controller;
};

TEST_F(OfflineInstallTest, ABundleInstallsWithoutAnyService) {
    bundle.writeTo(folder, TestSigner());
    EXPECT_EQ(Install(), 2);
    EXPECT_EQ(controller->release_check, ReleaseCheck::PASSED);
    EXPECT_EQ(
        ReadFileVersion((world.root / "opt/Inkwarden/InkwardenMain.exe").string()).file_version,
        world.productVersion());
    EXPECT_EQ(window.read(window.download).fraction, 1.0); // the copy stood for the download
    // The bundle's package is copied, not moved: the folder can be used again.
    EXPECT_TRUE(fs::exists(folder + "/InkwardenSetup.bin"));

    // A test URL does not apply to a bundle, and the version is still the bundle's.
    controller->test_url = server.address() + "/packages/other.bin";
    EXPECT_EQ(RunAttempt(*controller), 2);
    EXPECT_EQ(server.packageRequests(), 0);
}

TEST_F(OfflineInstallTest, EventsGoOutWhenTheEventServiceIsThere) {
    bundle.writeTo(folder, TestSigner());
    auto service = ServeSamplePackage();
    InstallController::Services services;
    services.latest_version_url = service->address() + LATEST_VERSION_PATH;
    services.events.url = service->address() + EVENT_PATH;
    services.release_public_key = key;
    InstallController offline(window, services);
    offline.install_folder = (world.root / "opt/Inkwarden").string();
    offline.offline_dir = folder;
    offline.reporter.Start();
    EXPECT_EQ(RunAttempt(offline), 2);
    EXPECT_EQ(Events(*service, 2), (std::vector<int>{901200, 901300}));
    offline.reporter.Stop();
    EXPECT_EQ(service->output().find("query:"), std::string::npos) << "a version query was made";
}

TEST_F(OfflineInstallTest, ABundleThatDoesNotHoldRunsNothing) {
    const std::string package = folder + "/InkwardenSetup.bin";
    const struct {
        const char* name;
        std::function<void()> spoil;
        ReleaseCheck check = ReleaseCheck::PASSED; // of the package, when it came that far
    } cases[] = {
        {"tampered package",
         [&] {
             std::fstream file(package, std::ios::in | std::ios::out | std::ios::binary);
             file.seekp(1000);
             file.put('\x7f');
         },
         ReleaseCheck::PACKAGE_SHA256},
        {"edited release.json",
         [&] {
             const std::string json = folder + "/release.json";
             std::string text = test::TestFiles::ReadAll(json);
             text.replace(text.find(bundle.version), bundle.version.size(), "9.9.9.9");
             std::ofstream(json, std::ios::binary | std::ios::trunc) << text;
         }},
        {"signed by another key",
         [&] { test::ResignBundle(folder, *demo::ReleaseSigner::Generate()); }},
        {"expired",
         [&] {
             test::TestBundle expired = bundle;
             expired.not_after = UtcNow() - std::chrono::hours(48);
             expired.writeTo(folder, TestSigner());
         }},
        {"package outside the folder",
         [&] {
             test::TestBundle outside = bundle;
             outside.package_file = "../packages/InkwardenSetup.bin";
             outside.writeTo(folder, TestSigner());
         }},
        {"package missing", [&] { fs::remove(package); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        bundle.writeTo(folder, TestSigner());
        c.spoil();
        EXPECT_EQ(Install(), 3);
        EXPECT_EQ(controller->failure, InstallFailure::RELEASE_INVALID);
        EXPECT_EQ(controller->release_check, c.check);
        ExpectNothingRunnableLeft();
    }
}

TEST_F(OfflineInstallTest, AFullTemporaryFolderIsAFullDisk) {
    bundle.writeTo(folder, TestSigner());
    test::TmpfsMount disk((world.root / "tmp").string(), 64 * 1024);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.why();
    }
    EXPECT_EQ(Install(), 3);
    EXPECT_EQ(controller->failure, InstallFailure::DISK_FULL);
    ExpectNothingRunnableLeft();
}

TEST_F(OfflineInstallTest, ABuildWithoutAKeyRefusesBundles) {
    bundle.writeTo(folder, TestSigner());
    InstallController::Services services;
    services.latest_version_url = server.versionUrl();
    services.release_public_key = "";
    InstallController unkeyed(window, services);
    unkeyed.install_folder = (world.root / "opt/Inkwarden").string();
    unkeyed.offline_dir = folder;
    EXPECT_EQ(RunAttempt(unkeyed), 3);
    EXPECT_EQ(unkeyed.failure, InstallFailure::RELEASE_INVALID);
    EXPECT_EQ(server.queries(), 0);
    ExpectNothingRunnableLeft();
}

} // namespace
} // namespace inkwarden

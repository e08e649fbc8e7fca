#include "BuildConfig.h"
#include "app/CMainFrame.h"
#include "app/ReleaseLine.h"
#include "net/SegmentedDownloader.h"
#include "platform/RegistryFile.h"
#include "tests/support/FaultServer.h"
#include "tests/support/InstallWorld.h"
#include "tests/support/TestLanguage.h"
#include "ui/controls/CButtonUI.h"
#include "ui/controls/CCheckBoxUI.h"
#include "ui/controls/CEditUI.h"
#include "ui/controls/CLabelUI.h"
#include "ui/controls/CProgressUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/host/WindowHost.h"
#include "ui/markup/SkinPackage.h"
#include "ui/native/headless/HeadlessWindowLayer.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <thread>

// Pango matches fonts on a thread of its own, synchronised inside libraries that the thread
// checker cannot see into; its reports there are about them, not about the window.
extern "C" const char* __tsan_default_suppressions();
extern "C" const char* __tsan_default_suppressions() {
    return "race:libfontconfig.so.1\n"
           "race:libpangoft2-1.0.so.0\n"
           "race:libpango-1.0.so.0\n"
           "race:libglib-2.0.so.0\n";
}

namespace inkwarden {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The window as its tests see it: its message handling and the base's close request.
class TestFrame : public CMainFrame {
public:
    using CMainFrame::CMainFrame;
    using CMainFrame::handleMessage;
    // The early query's thread calls the window: it ends before this class's part is gone.
    ~TestFrame() override { controller.StopInstall(); }
};

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The folder the window starts with, as a previous install would have left it.
        install_folder = (world.root / "opt/Inkwarden").string();
        ASSERT_TRUE(
            WriteMachineString(InstallOptions::REGISTRY_KEY, "InstallLocation", install_folder));
        SkinPackage::reset();
        WindowHost::setLayer(&layer);
        WindowHost::setExitHandler([this](int code) { exit_code = code; });
        // What the message loop does first with every message: Escape reaches the window.
        layer.setPreTranslateHook(&PaintManager::translateMessage);
    }
    void TearDown() override {
        frame.reset();
        WindowHost::setExitHandler({});
        WindowHost::setLayer(nullptr);
        SkinPackage::reset();
        test::UseLocale("C.UTF-8");
    }

    // A release of the sample package's version.
    std::string Release(const std::string& url, const std::string& silent_url) {
        return world.writeRelease(world.productVersion(), url, silent_url);
    }

    void StartService(const std::string& release, std::vector<std::string> extra = {}) {
        service = world.startService(release, std::move(extra));
        ASSERT_TRUE(service->running()) << service->output();
    }

    // The window shown, before anything is delivered or painted.
    void Show(const std::string& events_url = std::string()) {
        InstallController::Services services;
        services.latest_version_url = service->address() + LATEST_VERSION_PATH;
        services.events.url = events_url.empty() ? service->address() + EVENT_PATH : events_url;
        frame = std::make_unique<TestFrame>(services);
        hwnd = frame->create(0, CMainFrame::WINDOW_TITLE, CMainFrame::WINDOW_STYLE, 0);
        ASSERT_NE(hwnd, 0u);
        frame->centerWindow();
        frame->showWindow(true, true);
    }
    void Open(const std::string& events_url = std::string()) {
        Show(events_url);
        Settle();
    }

    // Delivers what is posted and paints, as the loop would.
    void Settle() {
        for (int round = 0; round < 10; ++round) {
            const int delivered = layer.pump();
            if (!layer.exists(hwnd)) {
                return;
            }
            layer.clearInvalidated(hwnd);
            layer.send(hwnd, WM_PAINT, 0, 0);
            if (delivered == 0 && layer.pendingPosts() == 0) {
                return;
            }
        }
    }

    // Runs the window (timers on the virtual clock) until the condition holds.
    bool RunUntil(const std::function<bool()>& done, std::chrono::seconds timeout = 60s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            if (layer.exists(hwnd)) {
                layer.advance(100);
            }
            Settle();
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    CControlUI* Control(const std::string& name) {
        return frame->getPaintManager().findControlByName(name);
    }
    UiPoint Centre(const std::string& name) {
        CControlUI* control = Control(name);
        EXPECT_NE(control, nullptr) << name;
        if (control == nullptr) {
            return {};
        }
        const UiRect& pos = control->getPos();
        return {(pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2};
    }
    void Click(const std::string& name) {
        const UiPoint at = Centre(name);
        CControlUI* hit = frame->getPaintManager().findControl(at);
        EXPECT_TRUE(hit != nullptr && hit->getName() == name) << name << " is not on top";
        layer.mouseMove(hwnd, at);
        layer.buttonDown(hwnd, at);
        layer.buttonUp(hwnd, at);
        Settle();
    }
    int Page() { return frame->tab_page != nullptr ? frame->tab_page->getCurSel() : -1; }
    UiSize WindowSize() {
        const UiRect rect = layer.windowRect(hwnd);
        return {rect.width(), rect.height()};
    }

    std::vector<int> Events(std::size_t expected) { return service->eventCodes(expected); }

    test::InstallWorld world{"inkwarden-window"};
    std::string install_folder;
    HeadlessWindowLayer layer;
    std::optional<int> exit_code;
    std::unique_ptr<test::DemoServiceProcess> service;
    std::unique_ptr<TestFrame> frame;
    NativeWindowId hwnd = 0;
};

// The window's first frame waits for nothing it does not show: the icon and the event
// service start once it has been painted, and the first page's event still goes out.
TEST_F(MainFrameTest, IconAndEventServiceStartAfterTheFirstFrame) {
    StartService(Release("", "{service}/packages/InkwardenSetup.bin"));
    Show();
    EXPECT_EQ(layer.iconSize(hwnd, true), (UiSize{0, 0})) << "before the first frame";
    Settle();
    EXPECT_NE(layer.iconSize(hwnd, true), (UiSize{0, 0}));
    EXPECT_EQ(Events(1), std::vector<int>{901100});
}

TEST_F(MainFrameTest, WholeInstallFromTheStartClickToTheStartedProduct) {
    StartService(Release("", "{service}/packages/InkwardenSetup.bin"));
    Open();
    EXPECT_EQ(Page(), 0);
    EXPECT_EQ(WindowSize(), (UiSize{570, 560}));
    EXPECT_EQ(frame->options.install_path->getText(), install_folder);

    Click("btn_install_start");
    EXPECT_GE(Page(), 1); // a quick attempt may already have ended
    EXPECT_EQ(WindowSize(), (UiSize{570, 370})) << "the panel folds from the start click on";
    ASSERT_TRUE(RunUntil([&] { return Page() >= 2 && frame->controller.finished; }));
    EXPECT_EQ(Page(), 2);
    EXPECT_GE(frame->progress->getValue(), 500);
    EXPECT_TRUE(frame->close_button->isEnabled());
    const std::vector<int> events = Events(4);
    EXPECT_EQ(events, (std::vector<int>{901100, 901101, 901200, 901300}));

    Click("btn_install_finish");
    EXPECT_FALSE(layer.exists(hwnd)) << "the window closes";
    EXPECT_TRUE(layer.messageBoxCalls().empty()) << "without a question";
    EXPECT_EQ(layer.quitCode(), 0);
    ASSERT_TRUE(
        RunUntil([&] { return fs::exists(install_folder + "/InkwardenMain.started"); }, 10s));
    std::ifstream started(install_folder + "/InkwardenMain.started");
    const std::string arguments((std::istreambuf_iterator<char>(started)), {});
    EXPECT_NE(arguments.find("-printer_detect"), std::string::npos) << arguments;
}

TEST_F(MainFrameTest, SecondFailureShowsTheContactButtonOnce) {
    StartService(Release("{service}/packages/missing.bin", ""));
    Open();
    Click("btn_install_start");
    ASSERT_TRUE(RunUntil([&] { return Page() == 3; }));
    EXPECT_FALSE(frame->contact_button->isOwnVisible());
    Click("btn_install_retry");
    ASSERT_TRUE(RunUntil(
        [&] { return Page() == 3 && frame->controller.finished && Events(6).size() >= 6; }));
    EXPECT_TRUE(frame->contact_button->isOwnVisible());
    Click("btn_contact_us");
    ASSERT_EQ(layer.openedUrls().size(), 1u);
    EXPECT_EQ(layer.openedUrls()[0], std::string(build_config::WEBSITE) + "/contact-us.html");
    EXPECT_EQ(Events(9), (std::vector<int>{901100, 901101, 901200, 901201, 901202, 901200, 901203,
                                           901201, 901204}));
    // After an ended attempt the close button no longer asks.
    Click("closebtn");
    EXPECT_TRUE(layer.messageBoxCalls().empty());
    EXPECT_FALSE(layer.exists(hwnd));
}

TEST_F(MainFrameTest, TheFailurePageSaysWhyUnderTheRetryButton) {
    StartService(Release("", ""));
    Open();
    ASSERT_NE(frame->failure_reason, nullptr);
    Click("btn_install_start");
    ASSERT_TRUE(RunUntil([&] { return Page() == 3 && frame->controller.finished; }));
    EXPECT_EQ(frame->failure_reason->getText(),
              InstallFailureText(InstallFailure::RELEASE_INVALID));
    EXPECT_TRUE(frame->failure_reason->isVisible());
    // Inside the folded window, between the retry button and the bar.
    const UiRect line = frame->failure_reason->getPos();
    const UiRect bar = Control("progress_error")->getPos();
    EXPECT_GE(line.top, Control("btn_install_retry")->getPos().bottom);
    EXPECT_LE(line.bottom, bar.top);
    EXPECT_EQ(Events(4), (std::vector<int>{901100, 901101, 901200, 901201}));
}

// The event service takes the post and trickles its answer: the close does not wait for it.
TEST_F(MainFrameTest, ClosingDoesNotWaitForAHangingEventService) {
    test::FaultServer events;
    std::atomic<int> posts{0};
    ASSERT_TRUE(events.start([&](const test::FaultRequest&, int fd) {
        ++posts;
        test::FaultServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        events.sendPaced(fd, std::string(100000, '1'), 2, 1000);
    }));
    StartService(Release("", ""));
    Open(events.url(EVENT_PATH));
    ASSERT_TRUE(RunUntil([&] { return posts > 0; }, 10s));
    const auto started = std::chrono::steady_clock::now();
    Click("closebtn"); // the question is answered OK
    EXPECT_FALSE(layer.exists(hwnd));
    frame.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
}

TEST_F(MainFrameTest, CustomPanelFoldsAndUnfolds) {
    StartService(Release("", ""));
    Open();
    auto* icon = static_cast<CButtonUI*>(Control("btn_install_custom_icon"));
    ASSERT_NE(icon, nullptr);
    for (const char* toggle : {"btn_install_custom", "btn_install_custom_icon"}) {
        Click(toggle);
        EXPECT_EQ(WindowSize(), (UiSize{570, 370}));
        EXPECT_FALSE(Control("install_custom")->isOwnVisible());
        EXPECT_EQ(icon->getNormalImage().text, CMainFrame::FOLD_ICON);
        Click(toggle);
        EXPECT_EQ(WindowSize(), (UiSize{570, 560}));
        EXPECT_TRUE(Control("install_custom")->isOwnVisible());
        EXPECT_EQ(icon->getNormalImage().text, CMainFrame::EXPAND_ICON);
    }
}

TEST_F(MainFrameTest, NoCloseAsksBeforeAnAttemptAndEscapeDoesNothingThen) {
    StartService(Release("", ""));
    Open();
    // The event service starts after the first frame; a close a few milliseconds later
    // would end the first page's post while it runs.
    ASSERT_EQ(Events(1), std::vector<int>{901100});
    // Escape is the close question, which nothing here would ask.
    layer.setFocus(hwnd);
    layer.key(VK_ESCAPE);
    Settle();
    EXPECT_TRUE(layer.exists(hwnd));
    Click("closebtn");
    EXPECT_TRUE(layer.messageBoxCalls().empty());
    EXPECT_FALSE(layer.exists(hwnd));
    EXPECT_EQ(layer.quitCode(), 0);
    EXPECT_EQ(Events(1), std::vector<int>{901100}) << "no page events after the close";
}

TEST_F(MainFrameTest, EveryCloseDuringAnAttemptAsksTheSameQuestion) {
    ASSERT_EQ(test::UseLocale("zh_CN.UTF-8"), "zh_CN");
    // A slow download keeps the attempt running.
    StartService(Release("", "{service}/packages/InkwardenSetup.bin"), {"--throttle", "20000"});
    Open();
    Click("btn_install_start");
    ASSERT_TRUE(RunUntil([&] { return frame->progress->getValue() > 0; }, 30s));
    EXPECT_TRUE(frame->close_button->isEnabled());
    // The close button, Escape, Alt+F4 and the window manager's close: Cancel keeps it.
    layer.scriptMessageBoxAnswers({IDCANCEL, IDCANCEL, IDCANCEL, IDCANCEL, IDOK});
    Click("closebtn");
    layer.setFocus(hwnd);
    layer.key(VK_ESCAPE);
    Settle();
    layer.send(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); // Alt+F4
    layer.send(hwnd, WM_CLOSE, 0, 0);
    Settle();
    ASSERT_EQ(layer.messageBoxCalls().size(), 4u);
    for (const auto& question : layer.messageBoxCalls()) {
        EXPECT_EQ(question.text, "您确定要退出安装程序?");
        EXPECT_EQ(question.caption, "墨守精灵 安装程序");
        EXPECT_EQ(question.flags, MB_OKCANCEL | MB_ICONQUESTION);
        EXPECT_EQ(question.owner, hwnd);
    }
    EXPECT_TRUE(layer.exists(hwnd)) << "Cancel keeps the window";
    EXPECT_TRUE(frame->controller.attempt_running);

    layer.send(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    Settle();
    EXPECT_EQ(layer.messageBoxCalls().size(), 5u);
    EXPECT_FALSE(layer.exists(hwnd));
    EXPECT_FALSE(frame->controller.install_thread.joinable() && !frame->controller.finished)
        << "the attempt was waited for";
    const std::vector<int> events = Events(3);
    EXPECT_EQ(events, (std::vector<int>{901100, 901101, 901200})) << "no result page reported";
}

TEST_F(MainFrameTest, DoNotTrackSendsNoEventAtAll) {
    ::setenv("DO_NOT_TRACK", "1", 1);
    StartService(Release("", "{service}/packages/InkwardenSetup.bin"));
    Open();
    ::unsetenv("DO_NOT_TRACK");
    EXPECT_FALSE(frame->controller.reporter.IsEnabled());
    Click("btn_install_start");
    ASSERT_TRUE(RunUntil([&] { return Page() >= 2 && frame->controller.finished; }));
    EXPECT_EQ(Page(), 2) << "the version query still answers";
    Click("btn_install_finish");
    EXPECT_FALSE(layer.exists(hwnd));
    frame.reset(); // the reporter has stopped: nothing can still be on its way
    EXPECT_EQ(Events(0), std::vector<int>{}) << "no row in the event store";
}

TEST_F(MainFrameTest, CancelAsksThenKeepsWhatArrivedAndReturnsToTheFirstPage) {
    StartService(Release("", "{service}/packages/InkwardenSetup.bin"), {"--throttle", "20000"});
    Open();
    Click("btn_install_start");
    ASSERT_TRUE(RunUntil([&] { return frame->progress->getValue() > 0; }, 30s));
    ASSERT_TRUE(frame->cancel_button->isVisible()) << "offered during the download";
    // The first answer keeps the download going, the second stops it.
    layer.scriptMessageBoxAnswers({IDCANCEL, IDOK});
    Click("btn_install_cancel");
    EXPECT_EQ(layer.messageBoxCalls().size(), 1u);
    EXPECT_TRUE(frame->controller.attempt_running);
    Click("btn_install_cancel");
    ASSERT_EQ(layer.messageBoxCalls().size(), 2u);
    for (const auto& question : layer.messageBoxCalls()) {
        EXPECT_EQ(question.text, CMainFrame::EXIT_QUESTION);
        EXPECT_EQ(question.flags, MB_OKCANCEL | MB_ICONQUESTION);
    }
    ASSERT_TRUE(RunUntil([&] { return Page() == 0 && !frame->controller.attempt_running; }, 10s));
    EXPECT_TRUE(layer.exists(hwnd));
    EXPECT_FALSE(frame->controller.finished);
    EXPECT_FALSE(frame->cancel_button->isVisible());
    EXPECT_EQ(frame->progress->getValue(), 0);
    // The record stays beside the partial file for the next run to resume from.
    const std::string package = frame->controller.PackagePath();
    EXPECT_TRUE(fs::exists(SegmentedDownloader::ControlPath(package)));
    EXPECT_TRUE(fs::exists(package + SegmentedDownloader::TEMP_SUFFIX));
    EXPECT_FALSE(fs::exists(package));
    EXPECT_EQ(Events(4), (std::vector<int>{901100, 901101, 901200, 901100}))
        << "back on the first page, no result page";
    // Nothing is running: closing asks nothing.
    Click("closebtn");
    EXPECT_EQ(layer.messageBoxCalls().size(), 2u);
    EXPECT_FALSE(layer.exists(hwnd));
}

TEST_F(MainFrameTest, TheFirstPageNamesTheReleaseAndTheInstallDoesNotAskAgain) {
    ASSERT_EQ(test::UseLocale("zh_CN.UTF-8"), "zh_CN");
    StartService(Release("", "{service}/packages/InkwardenSetup.bin"));
    Open();
    ASSERT_NE(frame->release_line, nullptr);
    ASSERT_TRUE(RunUntil([&] { return !frame->release_line->getText().empty(); }, 30s));
    const auto size =
        static_cast<std::int64_t>(fs::file_size(world.root / "packages/InkwardenSetup.bin"));
    EXPECT_EQ(frame->release_line->getText(), ReleaseLineText(world.productVersion(), size));
    EXPECT_EQ(frame->release_line->getText().rfind("墨守精灵 ", 0), 0u);
    Click("btn_install_start");
    ASSERT_TRUE(RunUntil([&] { return Page() >= 2 && frame->controller.finished; }));
    EXPECT_EQ(Page(), 2) << service->output();
    const std::string log = service->output();
    std::size_t queries = 0;
    for (std::size_t at = log.find("query: s="); at != std::string::npos;
         at = log.find("query: s=", at + 1)) {
        ++queries;
    }
    EXPECT_EQ(queries, 1u) << "the install took the early answer\n" << log;
}

// The custom panel's last boxes: autostart follows its box; cleared usage events send
// nothing more, not even the pages and clicks of the install that follows.
TEST_F(MainFrameTest, TheAutostartAndUsageEventsBoxesAreTheUsersSay) {
    StartService(Release("", "{service}/packages/InkwardenSetup.bin"));
    Open();
    auto* bootup = static_cast<CCheckBoxUI*>(Control("btn_check_bootup"));
    auto* events = static_cast<CCheckBoxUI*>(Control("btn_check_events"));
    ASSERT_NE(bootup, nullptr);
    ASSERT_NE(events, nullptr);
    EXPECT_TRUE(bootup->isSelected()) << "autostart as before, unless cleared";
    EXPECT_TRUE(events->isSelected());
    ASSERT_EQ(Events(1), std::vector<int>{901100});
    Click("btn_check_bootup");
    Click("btn_check_events");
    EXPECT_FALSE(bootup->isSelected());
    EXPECT_FALSE(frame->controller.bootup);
    EXPECT_NE(frame->controller.BuildPackageCommandLine().find(" -bootup:0 "), std::string::npos);
    EXPECT_FALSE(frame->controller.reporter.IsEnabled());

    Click("btn_events_info");
    ASSERT_EQ(layer.openedUrls().size(), 1u);
    EXPECT_EQ(layer.openedUrls()[0], std::string(build_config::WEBSITE) + CMainFrame::EVENTS_PAGE);

    Click("btn_install_start");
    ASSERT_TRUE(RunUntil([&] { return Page() >= 2 && frame->controller.finished; }));
    EXPECT_EQ(Page(), 2) << service->output();
    EXPECT_TRUE(fs::exists(world.root / "home/Desktop/inkwarden.desktop"));
    EXPECT_FALSE(fs::exists(world.root / "home/.config/autostart/inkwarden.desktop"));
    Click("btn_install_finish");
    frame.reset(); // the reporter has stopped: nothing can still be on its way
    EXPECT_EQ(Events(1), std::vector<int>{901100}) << "no row after the box was cleared";
}

TEST_F(MainFrameTest, TheLineUnderTheBarGivesTheDownloadsFigures) {
    // 20 kB/s a connection, up to six of them: a download of several seconds.
    StartService(Release("", "{service}/packages/InkwardenSetup.bin"), {"--throttle", "20000"});
    Open();
    Click("btn_install_start");
    std::smatch figures;
    std::string line;
    // Read once a fifth has come: the first second's figures carry the connections' start.
    const std::regex pattern(R"(^(\d+) % · (\d+) kB/s · (\d+) (s|min) left$)");
    ASSERT_TRUE(RunUntil(
        [&] {
            line = frame->install_percent->getText();
            return std::regex_match(line, figures, pattern) && std::stoi(figures[1]) >= 20;
        },
        30s))
        << line;
    const int rate = std::stoi(figures[2]);
    EXPECT_GE(rate, 10) << line;
    // At most the six connections' limit; a sample window that follows a stall of a loaded
    // machine holds the bytes that caught up, so half as much again is allowed.
    EXPECT_LE(rate, 6 * 20 * 3 / 2) << line;
    // The line is reachable by a screen reader: a label with the figures as its name.
    EXPECT_EQ(frame->install_percent->getAccessibleName(), line);
    layer.scriptMessageBoxAnswers({IDOK});
    Click("closebtn");
    EXPECT_FALSE(layer.exists(hwnd));
}

TEST_F(MainFrameTest, ReturnPressesThePagesDefaultButtonAndSpaceTheFocusedOne) {
    StartService(Release("", ""));
    Open();
    // Space on the focused box toggles it, on the focused button presses it.
    auto* agree = Control("btn_check_agree");
    frame->getPaintManager().setFocus(agree);
    layer.setFocus(hwnd);
    const bool ticked = frame->controller.licence_agreed;
    layer.key(VK_SPACE, ' ');
    Settle();
    EXPECT_NE(frame->controller.licence_agreed, ticked);
    layer.key(VK_SPACE, ' ');
    Settle();
    EXPECT_EQ(frame->controller.licence_agreed, ticked);
    frame->getPaintManager().setFocus(Control("btn_install_license"));
    layer.key(VK_SPACE, ' ');
    Settle();
    ASSERT_EQ(layer.openedUrls().size(), 1u);
    EXPECT_EQ(layer.openedUrls()[0],
              std::string(build_config::WEBSITE) + "/printer_license_chs.htm");

    const UiRect before = layer.windowRect(hwnd);
    layer.buttonDown(hwnd, {200, 10}, true);
    layer.buttonUp(hwnd, {200, 10});
    Settle();
    EXPECT_FALSE(layer.isMaximized(hwnd));
    EXPECT_EQ(layer.windowRect(hwnd), before);
    EXPECT_EQ(frame->handleMessage(WM_NCLBUTTONDBLCLK, HTCAPTION, 0), 1);

    // Return starts the install wherever the focus is, the close button included.
    frame->getPaintManager().setFocus(Control("closebtn"));
    layer.key(VK_RETURN, '\r');
    Settle();
    EXPECT_TRUE(layer.messageBoxCalls().empty());
    EXPECT_TRUE(layer.exists(hwnd));
    EXPECT_TRUE(frame->controller.install_thread.joinable());
    // On the failure page (no package in the release) Return tries again.
    ASSERT_TRUE(RunUntil([&] { return Page() == 3; }, 30s));
    const int attempts = frame->controller.attempt_count;
    layer.key(VK_RETURN, '\r');
    Settle();
    EXPECT_EQ(frame->controller.attempt_count, attempts + 1);
}

TEST_F(MainFrameTest, TestUrlReplacesTheServicesPackage) {
    StartService(Release("", ""));
    Open();
    frame->controller.test_url = service->address() + "/packages/InkwardenSetup.bin";
    Click("btn_install_start");
    ASSERT_TRUE(RunUntil([&] { return Page() >= 2; }));
    EXPECT_EQ(Page(), 2);
    EXPECT_TRUE(fs::exists(install_folder + "/InkwardenMain.exe"));
}

TEST_F(MainFrameTest, BrowsedFolderIsNormalisedAtTheStartClick) {
    StartService(Release("", ""));
    Open();
    const std::string chosen = (world.root / "apps").string();
    layer.scriptFolder(chosen);
    Click("btn_dir_select");
    EXPECT_EQ(frame->options.install_path->getText(), chosen);
    Click("btn_install_start");
    EXPECT_EQ(frame->controller.install_folder, chosen + "/Inkwarden");
    EXPECT_EQ(frame->options.install_path->getText(), chosen + "/Inkwarden");
    EXPECT_TRUE(fs::is_directory(chosen)) << "the probe made the chosen folder";
    ASSERT_TRUE(RunUntil([&] { return Page() == 3 && frame->controller.finished; }));
    EXPECT_EQ(Events(5), (std::vector<int>{901100, 901104, 901101, 901200, 901201}));
}

} // namespace
} // namespace inkwarden

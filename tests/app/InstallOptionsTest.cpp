#include "app/InstallOptions.h"

#include "platform/DirectoryHelpers.h"
#include "platform/RegistryFile.h"
#include "telemetry/EventCodes.h"
#include "tests/support/DemoServiceProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestLanguage.h"
#include "ui/controls/CButtonUI.h"
#include "ui/controls/CCheckBoxUI.h"
#include "ui/controls/CEditUI.h"
#include "ui/controls/CLabelUI.h"
#include "ui/native/headless/HeadlessWindowLayer.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/mount.h>
#include <unistd.h>

namespace inkwarden {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(NormalizeInstallFolderTest, AppendsTheProductFolderUnlessItIsTheLastComponent) {
    EXPECT_EQ(NormalizeInstallFolder("/srv/apps", "Inkwarden"), "/srv/apps/Inkwarden");
    EXPECT_EQ(NormalizeInstallFolder("/srv/apps/inkwarden", "Inkwarden"), "/srv/apps/inkwarden");
    EXPECT_EQ(NormalizeInstallFolder("/", "Inkwarden"), "/Inkwarden");
    // The last component is taken before the trailing "/" goes.
    EXPECT_EQ(NormalizeInstallFolder("/srv/apps/Inkwarden/", "Inkwarden"),
              "/srv/apps/Inkwarden/Inkwarden");
    EXPECT_EQ(NormalizeInstallFolder("/srv/墨守/", "Inkwarden"), "/srv/墨守/Inkwarden");
    EXPECT_EQ(NormalizeInstallFolder("INKWARDEN", "Inkwarden"), "INKWARDEN");
}

// Records the pages the options select and remembers the browser's arguments.
class OptionsWindow : public IInstallWindow {
public:
    bool HasTabPage() const override { return true; }
    bool HasContactButton() const override { return false; }
    void SelectPage(int index) override {
        std::lock_guard<std::mutex> lock(mutex);
        pages.push_back(index);
    }
    void SetCustomPanel(bool) override {}

    std::mutex mutex;
    std::vector<int> pages;
};

class RecordingLayer : public HeadlessWindowLayer {
public:
    std::optional<std::string> pickFolder(NativeWindowId owner, const std::string& title,
                                          const std::string& prompt,
                                          const std::string& initial_folder) override {
        picks.push_back({title, prompt, initial_folder});
        return HeadlessWindowLayer::pickFolder(owner, title, prompt, initial_folder);
    }
    struct Pick {
        std::string title, prompt, initial;
    };
    std::vector<Pick> picks;
};

class InstallOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("INKWARDEN_REGISTRY", temp.file("machine.reg").c_str(), 1);
        ::setenv("TMPDIR", temp.path().c_str(), 1);
        ::setenv("INKWARDEN_CACHE_DIR", temp.path().c_str(), 1);
        ASSERT_TRUE(service.running()) << service.output();
        InstallController::Services services;
        services.latest_version_url = service.address() + LATEST_VERSION_PATH;
        services.events.url = service.address() + EVENT_PATH;
        controller = std::make_unique<InstallController>(window, services);
        options = std::make_unique<InstallOptions>(*controller);
        options->start_button = &start;
        options->agree_box = &agree;
        options->desk_link_box = &desk;
        options->start_link_box = &start_menu;
        options->install_path = &edit;
        options->space_required = &required;
        options->space_available = &available;
        options->disk_space_error = &space_error;
        options->SetDialogOwner(&layer, 7);
        options->SetFreeSpaceQuery([this](const std::string& folder) {
            queried.push_back(folder);
            return free_bytes;
        });
        edit.setText("/opt/Inkwarden");
        controller->reporter.Start();
    }
    void TearDown() override {
        controller->StopInstall();
        controller->reporter.Stop();
        ::unsetenv("TMPDIR"); // the folder goes with the fixture
        ::unsetenv("INKWARDEN_CACHE_DIR");
        test::UseLocale("C.UTF-8");
        ::unsetenv("XDG_DATA_HOME");
    }

    std::vector<int> Events(std::size_t expected) { return service.eventCodes(expected); }

    test::TempDir temp;
    test::DemoServiceProcess service;
    RecordingLayer layer;
    OptionsWindow window;
    CButtonUI start;
    CCheckBoxUI agree, desk, start_menu;
    CEditUI edit;
    CLabelUI required, available, space_error;
    std::optional<std::uint64_t> free_bytes = std::uint64_t{1} << 40;
    std::vector<std::string> queried;
    std::unique_ptr<InstallController> controller;
    std::unique_ptr<InstallOptions> options;
};

TEST_F(InstallOptionsTest, InitialisationTakesTheRegistryFolderOrTheSkinDefault) {
    options->InitInstallFolder();
    EXPECT_EQ(controller->install_folder, "/opt/Inkwarden");

    // A previous install's folder is shown even when it is gone.
    const std::string previous = (temp.path() / "gone/Inkwarden").string();
    ASSERT_TRUE(WriteMachineString(InstallOptions::REGISTRY_KEY, "InstallLocation", previous));
    options->InitInstallFolder();
    EXPECT_EQ(controller->install_folder, previous);
    EXPECT_EQ(edit.getText(), previous);

    controller->licence_agreed = false;
    controller->desktop_link = false;
    options->InitOptionBoxes();
    EXPECT_FALSE(agree.isSelected());
    EXPECT_FALSE(start.isEnabled());
    EXPECT_FALSE(desk.isSelected());
    EXPECT_TRUE(start_menu.isSelected());
}

TEST_F(InstallOptionsTest, WithoutRootTheDefaultIsTheUsersDataFolder) {
    const std::string data = (temp.path() / "data").string();
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    options->SetRunsAsRoot(false);
    options->InitInstallFolder();
    EXPECT_EQ(controller->install_folder, data + "/Inkwarden");
    EXPECT_EQ(edit.getText(), data + "/Inkwarden");
    // The start click takes the folder as it is and creates it.
    controller->licence_agreed = true;
    options->OnStartClicked();
    EXPECT_EQ(controller->install_folder, data + "/Inkwarden");
    EXPECT_TRUE(fs::is_directory(data + "/Inkwarden"));
    controller->StopInstall();

    // A previous install's folder still wins; as root the skin's default stays.
    ASSERT_TRUE(WriteMachineString(InstallOptions::REGISTRY_KEY, "InstallLocation", "/srv/ink"));
    options->InitInstallFolder();
    EXPECT_EQ(controller->install_folder, "/srv/ink");
    ::unlink(temp.file("machine.reg").c_str());
    edit.setText("/opt/Inkwarden");
    options->SetRunsAsRoot(true);
    options->InitInstallFolder();
    EXPECT_EQ(controller->install_folder, "/opt/Inkwarden");
}

TEST_F(InstallOptionsTest, StartClickRefusesBadFoldersWithTheMessageBox) {
    ASSERT_EQ(test::UseLocale("zh_CN.UTF-8"), "zh_CN");
    const std::string file = temp.file("a-file");
    std::ofstream(file) << "x";
    for (const std::string& text : {std::string("relative/Inkwarden"), file, std::string()}) {
        edit.setText(text);
        options->OnStartClicked();
    }
    ASSERT_EQ(layer.messageBoxCalls().size(), 3u);
    for (const auto& call : layer.messageBoxCalls()) {
        EXPECT_EQ(call.owner, 7u);
        EXPECT_EQ(call.text, "安装路径非法, 请重新修改!");
        EXPECT_EQ(call.caption, "错误");
        EXPECT_EQ(call.flags, MB_OK | MB_ICONERROR);
    }
    EXPECT_TRUE(window.pages.empty());
    EXPECT_FALSE(controller->install_thread.joinable());
    EXPECT_EQ(edit.getText(), "") << "the edit keeps what the user had";
    EXPECT_FALSE(fs::exists("relative"));
    EXPECT_EQ(Events(3), (std::vector<int>{901101, 901101, 901101}));
}

TEST_F(InstallOptionsTest, StartClickRefusesFoldersThatWouldSplitThePackagesCommandLine) {
    const std::string elsewhere = (temp.path() / "elsewhere").string();
    const std::string texts[] = {
        (temp.path() / "x").string() + "\" -install_path:\"" + elsewhere,
        (temp.path() / "a\"b c").string(),
        (temp.path() / "line\nbreak").string(),
    };
    for (const std::string& text : texts) {
        edit.setText(text);
        options->OnStartClicked();
    }
    ASSERT_EQ(layer.messageBoxCalls().size(), 3u);
    for (const auto& call : layer.messageBoxCalls()) {
        EXPECT_EQ(call.text, InstallOptions::INVALID_FOLDER_TEXT);
        EXPECT_EQ(call.caption, InstallOptions::INVALID_FOLDER_CAPTION);
    }
    // Nothing ran: no page, no attempt, no query, and the probe made no folder.
    EXPECT_TRUE(window.pages.empty());
    EXPECT_FALSE(controller->install_thread.joinable());
    EXPECT_EQ(Events(3), (std::vector<int>{901101, 901101, 901101}));
    EXPECT_EQ(service.output().find("query:"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(temp.path())) {
        EXPECT_FALSE(entry.is_directory()) << entry.path();
    }
}

TEST_F(InstallOptionsTest, StartClickRefusesAReadOnlyFolder) {
    const std::string folder = temp.file("ro");
    fs::create_directories(folder);
    bool mounted = false;
    if (::geteuid() == 0) {
        mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0;
    } else {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    }
    if (::geteuid() == 0 && !mounted) {
        GTEST_SKIP() << "no read-only folder can be made here";
    }
    edit.setText(folder + "/Inkwarden");
    options->OnStartClicked();
    if (mounted) {
        ::umount(folder.c_str());
    } else {
        fs::permissions(folder, fs::perms::owner_all);
    }
    EXPECT_EQ(layer.messageBoxCalls().size(), 1u);
    EXPECT_TRUE(window.pages.empty());
}

TEST_F(InstallOptionsTest, StartClickNormalisesTheFolderAndStartsTheAttempt) {
    // The registry's folder no longer exists: the probe makes it again.
    const std::string previous = (temp.path() / "gone/Inkwarden").string();
    ASSERT_TRUE(WriteMachineString(InstallOptions::REGISTRY_KEY, "InstallLocation", previous));
    options->InitInstallFolder();
    options->OnStartClicked();
    EXPECT_TRUE(IsDirectory(previous));
    EXPECT_EQ(controller->install_folder, previous);
    EXPECT_TRUE(layer.messageBoxCalls().empty());
    controller->StopInstall();
    EXPECT_EQ(window.pages, std::vector<int>{1});

    const std::string apps = (temp.path() / "srv/apps").string();
    edit.setText(apps + "/");
    options->OnStartClicked();
    EXPECT_EQ(controller->install_folder, apps + "/Inkwarden");
    EXPECT_EQ(edit.getText(), apps + "/Inkwarden");
    EXPECT_TRUE(controller->install_thread.joinable());
    EXPECT_EQ(controller->attempt_count, 2);
    controller->StopInstall();
    const std::vector<int> events = Events(4);
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(std::vector<int>(events.begin(), events.begin() + 2),
              (std::vector<int>{901101, 901200}));
}

TEST_F(InstallOptionsTest, FreeSpaceRuleGatesTheStartButton) {
    controller->install_folder = "/srv/missing/Inkwarden";
    free_bytes = InstallOptions::REQUIRED_SPACE;
    options->UpdateDiskSpace();
    EXPECT_TRUE(start.isEnabled()) << "exactly the required space is enough";
    EXPECT_FALSE(space_error.isOwnVisible());
    EXPECT_EQ(required.getText(), "217MB");
    EXPECT_EQ(available.getText(), "217MB");
    EXPECT_EQ(queried.back(), "/srv/missing/Inkwarden");

    free_bytes = InstallOptions::REQUIRED_SPACE - 1;
    options->UpdateDiskSpace();
    EXPECT_FALSE(start.isEnabled());
    EXPECT_TRUE(space_error.isOwnVisible());

    free_bytes = std::nullopt; // a failed query is no space
    start.setEnabled(true);
    options->UpdateDiskSpace();
    EXPECT_FALSE(start.isEnabled());
    EXPECT_EQ(available.getText(), "0Byte");

    // Without the licence the rule leaves the button alone.
    controller->licence_agreed = false;
    start.setEnabled(false);
    free_bytes = InstallOptions::REQUIRED_SPACE;
    options->UpdateDiskSpace();
    EXPECT_FALSE(start.isEnabled());
}

TEST_F(InstallOptionsTest, TheSystemQueryAsksTheNearestExistingFolder) {
    options->SetFreeSpaceQuery(nullptr);
    controller->install_folder = (temp.path() / "not/yet/Inkwarden").string();
    options->UpdateDiskSpace();
    EXPECT_EQ(available.getText(), FormatSize(*VolumeFreeBytes(temp.path().string())));
}

TEST_F(InstallOptionsTest, BoxClicksSeeTheStateBeforeTheBoxFlips) {
    options->InitOptionBoxes();
    const auto click = [](auto handler, CCheckBoxUI& box) {
        handler();
        box.selected(!box.isSelected()); // the box flips after its click notification
    };
    free_bytes = 100; // ticking the licence again applies the free-space rule
    click([&] { options->OnLicenceClicked(); }, agree);
    EXPECT_FALSE(controller->licence_agreed);
    EXPECT_FALSE(start.isEnabled());
    click([&] { options->OnLicenceClicked(); }, agree);
    EXPECT_TRUE(controller->licence_agreed);
    EXPECT_FALSE(start.isEnabled()) << "too little space";
    free_bytes = InstallOptions::REQUIRED_SPACE;
    click([&] { options->OnLicenceClicked(); }, agree);
    click([&] { options->OnLicenceClicked(); }, agree);
    EXPECT_TRUE(start.isEnabled());

    click([&] { options->OnDesktopLinkClicked(); }, desk);
    EXPECT_FALSE(controller->desktop_link);
    click([&] { options->OnDesktopLinkClicked(); }, desk);
    EXPECT_TRUE(controller->desktop_link);
    click([&] { options->OnStartLinkClicked(); }, start_menu);
    EXPECT_FALSE(controller->start_link);
    click([&] { options->OnStartLinkClicked(); }, start_menu);
    EXPECT_TRUE(controller->start_link);

    EXPECT_EQ(Events(8),
              (std::vector<int>{901102, 901103, 901102, 901103, 901105, 901106, 901107, 901108}));
}

TEST_F(InstallOptionsTest, BrowseOpensAtTheNearestFolderAndKeepsTheChoiceAsIs) {
    ASSERT_EQ(test::UseLocale("zh_CN.UTF-8"), "zh_CN");
    edit.setText((temp.path() / "missing/deeper").string());
    layer.scriptFolder(std::string("/srv/chosen/"));
    options->OnBrowseClicked();
    ASSERT_EQ(layer.picks.size(), 1u);
    EXPECT_EQ(layer.picks[0].title, "选择安装目录");
    EXPECT_EQ(layer.picks[0].prompt, "安装目录");
    EXPECT_EQ(layer.picks[0].initial, temp.path().string());
    EXPECT_EQ(edit.getText(), "/srv/chosen/");
    EXPECT_EQ(controller->install_folder, "/srv/chosen/");
    EXPECT_EQ(queried.size(), 1u);

    // Cancel: nothing changes, but the free-space rule runs again.
    layer.scriptFolder(std::nullopt);
    options->OnBrowseClicked();
    EXPECT_EQ(edit.getText(), "/srv/chosen/");
    EXPECT_EQ(layer.picks[1].initial, "/srv");
    EXPECT_EQ(queried.size(), 2u);
    EXPECT_EQ(Events(2), (std::vector<int>{901104, 901104}));
}

} // namespace
} // namespace inkwarden

#include "TestFolder.h"
#include "platform/Paths.h"
#include "platform/RegistryFile.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace inkwarden {
namespace {

using test::TestFolder;

// Every case starts from a home folder of its own and no XDG variables, and leaves the
// environment as it found it.
class UserFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : VARIABLES) {
            const char* value = std::getenv(name);
            saved_.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
        ::setenv("HOME", home_.path().c_str(), 1);
    }
    void TearDown() override {
        for (std::size_t i = 0; i < std::size(VARIABLES); ++i) {
            if (saved_[i]) {
                ::setenv(VARIABLES[i], saved_[i]->c_str(), 1);
            } else {
                ::unsetenv(VARIABLES[i]);
            }
        }
    }

    static constexpr const char* VARIABLES[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                                                "XDG_DESKTOP_DIR", "INKWARDEN_REGISTRY"};
    std::vector<std::optional<std::string>> saved_;
    TestFolder home_;
};

TEST_F(UserFoldersTest, XdgFoldersWhenAbsoluteElseUnderHome) {
    const std::string home = home_.path();
    EXPECT_EQ(UserDataFolder(), home + "/.local/share");
    EXPECT_EQ(UserConfigFolder(), home + "/.config");
    ::setenv("XDG_DATA_HOME", "/srv/data", 1);
    ::setenv("XDG_CONFIG_HOME", "/srv/config", 1);
    EXPECT_EQ(UserDataFolder(), "/srv/data");
    EXPECT_EQ(UserConfigFolder(), "/srv/config");
    // A relative or empty value is invalid and ignored.
    ::setenv("XDG_DATA_HOME", "data", 1);
    ::setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(UserDataFolder(), home + "/.local/share");
    EXPECT_EQ(UserConfigFolder(), home + "/.config");
    // Without a usable HOME the password database names the home folder.
    ::setenv("HOME", "relative", 1);
    const passwd* user = ::getpwuid(::getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(HomeFolder(), user->pw_dir);
    ::unsetenv("HOME");
    EXPECT_EQ(HomeFolder(), user->pw_dir);
    ::setenv("HOME", "/", 1);
    EXPECT_EQ(UserDataFolder(), "/.local/share");
}

TEST_F(UserFoldersTest, RegistryFileOfRootOfAUserOrNamedByTheEnvironment) {
    EXPECT_EQ(RegistryPath(true), "/etc/inkwarden/machine.reg");
    EXPECT_EQ(RegistryPath(false), home_.path() + "/.config/inkwarden/machine.reg");
    ::setenv("XDG_CONFIG_HOME", "/srv/config", 1);
    EXPECT_EQ(RegistryPath(false), "/srv/config/inkwarden/machine.reg");
    EXPECT_EQ(RegistryPath(), RegistryPath(::geteuid() == 0));
    // $INKWARDEN_REGISTRY wins for everyone; empty, it names nothing.
    ::setenv("INKWARDEN_REGISTRY", "/srv/test.reg", 1);
    EXPECT_EQ(RegistryPath(true), "/srv/test.reg");
    EXPECT_EQ(RegistryPath(false), "/srv/test.reg");
    ::setenv("INKWARDEN_REGISTRY", "", 1);
    EXPECT_EQ(RegistryPath(true), "/etc/inkwarden/machine.reg");
}

TEST(UserDirsFileTest, ReadsTheFolderAsTheShellWould) {
    const std::string home = "/home/ink";
    auto desktop = [&home](const std::string& text) {
        return ParseUserDirsFolder(text, "XDG_DESKTOP_DIR", home);
    };
    EXPECT_EQ(desktop("XDG_DESKTOP_DIR=\"$HOME/桌面\"\n"), "/home/ink/桌面");
    EXPECT_EQ(desktop("# comment\nXDG_DOWNLOAD_DIR=\"$HOME/x\"\n  XDG_DESKTOP_DIR = \"/srv/d/\""),
              "/srv/d");
    EXPECT_EQ(desktop("XDG_DESKTOP_DIR=\"$HOME\"\n"), home) << "the desktop may be the home";
    EXPECT_EQ(desktop("XDG_DESKTOP_DIR=\"$HOME/a \\\"b\\\" \\$c \\\\d \\e\"\n"),
              "/home/ink/a \"b\" $c \\d \\e");
    // The last usable line wins; unusable ones are passed over.
    EXPECT_EQ(desktop("XDG_DESKTOP_DIR=\"$HOME/one\"\nXDG_DESKTOP_DIR=\"$HOME/two\"\n"),
              "/home/ink/two");
    EXPECT_EQ(desktop("XDG_DESKTOP_DIR=\"$HOME/one\"\nXDG_DESKTOP_DIR=\"relative\"\n"
                      "XDG_DESKTOP_DIR=\"$HOMEX/y\"\nXDG_DESKTOP_DIR=$HOME/unquoted\n"
                      "XDG_DESKTOP_DIR=\"$HOME/no end\n#XDG_DESKTOP_DIR=\"/commented\"\n"),
              "/home/ink/one");
    EXPECT_EQ(desktop("XDG_DESKTOP_DIRS=\"/srv/other\"\n"), "");
    EXPECT_EQ(desktop(""), "");
    EXPECT_EQ(ParseUserDirsFolder("XDG_DESKTOP_DIR=\"$HOME/Desktop\"", "XDG_DESKTOP_DIR", "/"),
              "/Desktop");
}

TEST_F(UserFoldersTest, DesktopFolderFromUserDirsThenTheEnvironmentThenHome) {
    const std::string home = home_.path();
    EXPECT_EQ(UserDesktopFolder(), home + "/Desktop");
    ::setenv("XDG_DESKTOP_DIR", "/srv/desk", 1);
    EXPECT_EQ(UserDesktopFolder(), "/srv/desk");
    std::filesystem::create_directories(home + "/.config");
    home_.write(".config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
    EXPECT_EQ(UserDesktopFolder(), home + "/桌面");
    // The file lies in $XDG_CONFIG_HOME.
    ::setenv("XDG_CONFIG_HOME", (home + "/elsewhere").c_str(), 1);
    EXPECT_EQ(UserDesktopFolder(), "/srv/desk");
    ::unsetenv("XDG_DESKTOP_DIR");
    EXPECT_EQ(UserDesktopFolder(), home + "/Desktop");
}

} // namespace
} // namespace inkwarden

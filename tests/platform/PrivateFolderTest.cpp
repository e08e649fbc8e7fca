#include "platform/PrivateFolder.h"

#include "tests/support/TempDir.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {
namespace {

namespace fs = std::filesystem;

constexpr uid_t NOBODY = 65534;

mode_t ModeOf(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

TEST(PrivateFolderTest, MissingFoldersAreMadeForTheUserAlone) {
    test::TempDir temp;
    const fs::path folder = temp.path() / "cache/inkwarden";
    EXPECT_EQ(MakePrivateFolder(folder.string()), 0);
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(ModeOf(temp.path() / "cache"), 0700u) << "a missing parent is private too";

    // An existing folder of the user's keeps its files and loses the others' rights.
    fs::permissions(folder, fs::perms::all);
    std::ofstream(folder / "InkwardenTemp.exe") << "partial";
    EXPECT_EQ(MakePrivateFolder(folder.string()), 0);
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_TRUE(fs::exists(folder / "InkwardenTemp.exe"));
}

TEST(PrivateFolderTest, ALinkOrAFileInItsPlaceIsRefusedAndLeftAsItIs) {
    test::TempDir temp;
    const fs::path elsewhere = temp.path() / "elsewhere";
    fs::create_directory(elsewhere);
    fs::permissions(elsewhere, fs::perms::all);
    const fs::path link = temp.path() / "link";
    fs::create_directory_symlink(elsewhere, link);
    EXPECT_EQ(MakePrivateFolder(link.string()), ENOTDIR);
    EXPECT_EQ(ModeOf(elsewhere), 0777u) << "the link's target is not touched";

    const fs::path file = temp.path() / "file";
    std::ofstream(file) << "x";
    EXPECT_EQ(MakePrivateFolder(file.string()), ENOTDIR);

    // A folder shared by all, as /tmp is, named by mistake: refused, its mode kept.
    const fs::path shared = temp.path() / "shared";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    EXPECT_EQ(MakePrivateFolder(shared.string()), EPERM);
    EXPECT_EQ(ModeOf(shared), 01777u);
    EXPECT_EQ(MakePrivateFolder("relative/inkwarden"), EINVAL);
}

TEST(PrivateFolderTest, AnotherUsersFolderIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a folder to another user needs root";
    }
    test::TempDir temp;
    const fs::path folder = temp.path() / "inkwarden";
    fs::create_directory(folder);
    ASSERT_EQ(::chown(folder.c_str(), NOBODY, NOBODY), 0);
    fs::permissions(folder, fs::perms::all);
    EXPECT_EQ(MakePrivateFolder(folder.string()), EPERM);
    EXPECT_EQ(ModeOf(folder), 0777u) << "nor are its rights changed";
}

class CacheFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"INKWARDEN_CACHE_DIR", "XDG_CACHE_HOME", "HOME"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value != nullptr ? std::optional<std::string>(value)
                                                       : std::nullopt);
            ::unsetenv(name);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
        }
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(CacheFolderTest, TheOverrideThenTheUsersOrTheMachinesCache) {
    ::setenv("INKWARDEN_CACHE_DIR", "/srv/cache/", 1);
    EXPECT_EQ(InstallerCacheFolder(), "/srv/cache");
    ::setenv("INKWARDEN_CACHE_DIR", "relative", 1);
    ::setenv("XDG_CACHE_HOME", "/home/u/.cache-elsewhere", 1);
    ::setenv("HOME", "/home/u", 1);
    if (::geteuid() == 0) {
        EXPECT_EQ(InstallerCacheFolder(), "/var/cache/inkwarden");
        return;
    }
    EXPECT_EQ(InstallerCacheFolder(), "/home/u/.cache-elsewhere/inkwarden");
    ::setenv("XDG_CACHE_HOME", "relative", 1);
    EXPECT_EQ(InstallerCacheFolder(), "/home/u/.cache/inkwarden");
}

} // namespace
} // namespace inkwarden

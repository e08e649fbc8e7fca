#include "platform/DirectoryHelpers.h"

#include "TestFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {
namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

// A folder nobody may write into: a read-only tmpfs for the superuser (whom permission bits
// do not stop), a folder without write permission for everybody else.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const std::string& path) : path_(path) {
        fs::create_directories(path_);
        if (::geteuid() == 0) {
            mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0;
            usable_ = mounted_;
        } else {
            usable_ = ::chmod(path_.c_str(), 0555) == 0;
        }
    }
    ~ReadOnlyFolder() {
        if (mounted_) {
            ::umount(path_.c_str());
        } else {
            ::chmod(path_.c_str(), 0755);
        }
    }
    bool usable() const { return usable_; }

private:
    std::string path_;
    bool mounted_ = false;
    bool usable_ = false;
};

TEST(FormatSizeTest, PicksTheUnitBeforeRounding) {
    EXPECT_EQ(FormatSize(0), "0Byte");
    EXPECT_EQ(FormatSize(1), "1Bytes");
    EXPECT_EQ(FormatSize(1023), "1023Bytes");
    EXPECT_EQ(FormatSize(1024), "1KB");
    EXPECT_EQ(FormatSize(1536), "2KB"); // printf rounds half to even: 1.5 -> 2
    EXPECT_EQ(FormatSize(227540992), "217MB");
    EXPECT_EQ(FormatSize(1073741823), "1024MB");
    EXPECT_EQ(FormatSize(std::uint64_t{1} << 30), "1GB");
    EXPECT_EQ(FormatSize(std::uint64_t{5} << 40), "5TB");
    EXPECT_EQ(FormatSize(UINT64_MAX), "16EB");
}

TEST(DirectoryHelpersTest, CreateDirectoryChainMakesEveryLevel) {
    test::TestFolder root;
    const std::string deep = root.file("a/b/c");
    EXPECT_TRUE(CreateDirectoryChain(deep));
    EXPECT_TRUE(IsDirectory(deep));
    EXPECT_TRUE(CreateDirectoryChain(deep)) << "all levels present";
    EXPECT_TRUE(CreateDirectoryChain(root.file("a//b/d/"))) << "doubled and trailing /";
    EXPECT_TRUE(IsDirectory(root.file("a/b/d")));
    EXPECT_FALSE(CreateDirectoryChain(""));

    // A file in the way is not a folder, neither in the middle nor at the end.
    root.write("file", "x");
    EXPECT_FALSE(CreateDirectoryChain(root.file("file")));
    EXPECT_FALSE(CreateDirectoryChain(root.file("file/below")));
    EXPECT_FALSE(IsDirectory(root.file("file")));
}

TEST(DirectoryHelpersTest, DeleteTreeRemovesLinksButNotWhatTheyPointTo) {
    test::TestFolder root;
    fs::create_directories(root.file("tree/sub/deeper"));
    root.write("tree/sub/deeper/f.txt", "1");
    root.write("tree/top.txt", "2");
    fs::create_directories(root.file("outside"));
    const std::string kept = root.write("outside/keep.txt", "keep");
    fs::create_directory_symlink(root.file("outside"), root.file("tree/sub/link_dir"));
    fs::create_symlink(kept, root.file("tree/link_file"));

    EXPECT_TRUE(DeleteTree(root.file("tree")));
    EXPECT_FALSE(Exists(root.file("tree")));
    EXPECT_EQ(test::TestFolder::read(kept), "keep");

    // A link given as the folder goes as a link.
    fs::create_directory_symlink(root.file("outside"), root.file("alias"));
    EXPECT_TRUE(DeleteTree(root.file("alias")));
    EXPECT_FALSE(Exists(root.file("alias")));
    EXPECT_TRUE(Exists(kept));

    EXPECT_FALSE(DeleteTree(root.file("missing")));
    EXPECT_FALSE(DeleteTree(kept)) << "a file is not a folder";
    EXPECT_TRUE(Exists(kept));
    EXPECT_FALSE(DeleteTree(""));
}

TEST(DirectoryHelpersTest, NearestExistingFolderWalksUp) {
    test::TestFolder root;
    EXPECT_EQ(NearestExistingFolder(root.path()), root.path());
    EXPECT_EQ(NearestExistingFolder(root.file("missing/deeper")), root.path());
    EXPECT_EQ(NearestExistingFolder("/iw-no-such-top-level/deeper"), "/");
    EXPECT_EQ(NearestExistingFolder("relative-missing/deeper"), "");
    EXPECT_EQ(NearestExistingFolder(""), "");
    root.write("file", "x");
    EXPECT_EQ(NearestExistingFolder(root.file("file")), root.path());
}

TEST(ProbeWritableFolderTest, AcceptsWritableFoldersAndCreatesMissingOnes) {
    test::TestFolder root;
    EXPECT_TRUE(ProbeWritableFolder(root.path()));
    EXPECT_TRUE(ProbeWritableFolder(root.path() + "///"));
    EXPECT_FALSE(Exists(root.file("TestDir")));
    EXPECT_FALSE(Exists(root.file("TestFile.txt")));

    // Two missing levels: both stay, the probe entries go.
    const std::string target = root.file("one/two");
    EXPECT_TRUE(ProbeWritableFolder(target));
    EXPECT_TRUE(IsDirectory(target));
    EXPECT_TRUE(fs::is_empty(target));
}

TEST(ProbeWritableFolderTest, RefusesFilesRelativeAndEmptyPaths) {
    test::TestFolder root;
    const std::string file = root.write("file.bin", "data");
    EXPECT_FALSE(ProbeWritableFolder(file));
    EXPECT_FALSE(ProbeWritableFolder(file + "/"));
    EXPECT_EQ(test::TestFolder::read(file), "data");
    EXPECT_FALSE(ProbeWritableFolder(file + "/below"));
    EXPECT_FALSE(Exists(file + "/below"));
    EXPECT_EQ(fs::directory_iterator(root.path())->path(), fs::path(file)) << "nothing created";

    ASSERT_EQ(::chdir(root.path().c_str()), 0);
    EXPECT_FALSE(ProbeWritableFolder("Program Files/X"));
    EXPECT_FALSE(Exists(root.file("Program Files")));
    EXPECT_FALSE(ProbeWritableFolder(""));
    EXPECT_FALSE(ProbeWritableFolder("."));
}

TEST(ProbeWritableFolderTest, RefusesReadOnlyFolders) {
    test::TestFolder root;
    ReadOnlyFolder read_only(root.file("ro"));
    if (!read_only.usable()) {
        GTEST_SKIP() << "no read-only folder can be made here";
    }
    EXPECT_FALSE(ProbeWritableFolder(root.file("ro")));
    EXPECT_FALSE(ProbeWritableFolder(root.file("ro/missing")));
}

TEST(ProbeWritableFolderTest, LeavesTheUsersOwnProbeNamesAlone) {
    test::TestFolder root;
    fs::create_directories(root.file("TestDir/mine"));
    root.write("TestFile.txt", "notes");
    EXPECT_TRUE(ProbeWritableFolder(root.path()));
    EXPECT_TRUE(IsDirectory(root.file("TestDir/mine")));
    EXPECT_EQ(test::TestFolder::read(root.file("TestFile.txt")), "notes");
}

TEST(ProbeWritableFolderTest, RootProbesEntriesRightBelowIt) {
    if (::access("/", W_OK) != 0) {
        EXPECT_FALSE(ProbeWritableFolder("/"));
        return;
    }
    if (Exists("/TestDir") || Exists("/TestFile.txt")) {
        GTEST_SKIP() << "the root already holds a probe name";
    }
    EXPECT_TRUE(ProbeWritableFolder("/"));
    EXPECT_FALSE(Exists("/TestDir"));
    EXPECT_FALSE(Exists("/TestFile.txt"));
    // A file named TestDir right below the root proves where the probe looks.
    std::ofstream("/TestDir") << "x";
    EXPECT_FALSE(ProbeWritableFolder("/"));
    ::unlink("/TestDir");
}

TEST(DirectoryHelpersTest, VolumeFreeBytesAnswersForExistingFoldersOnly) {
    test::TestFolder root;
    const auto free_bytes = VolumeFreeBytes(root.path());
    ASSERT_TRUE(free_bytes.has_value());
    EXPECT_GT(*free_bytes, 0u);
    EXPECT_FALSE(VolumeFreeBytes(root.file("missing")).has_value());
    EXPECT_FALSE(VolumeFreeBytes("").has_value());
}

} // namespace
} // namespace inkwarden

// The download's control file: its text, and how damaged, foreign or planted files are met.
#include "net/DownloadControlFile.h"

#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {
namespace {

using test::TestFiles;

ResumeState Sample() {
    return {"http://127.0.0.1:8080/package.exe",
            67108864,
            "ETag \"5f3a-4000000\"",
            {{0, 1048575}, {2097152, 67108863}}};
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST(DownloadControlFile, WritesTheDocumentedTextAndReadsItBack) {
    test::TempDir dir;
    const DownloadControlFile control(dir.file("p.exe.tmp.resume"));
    ASSERT_TRUE(control.Write(Sample()));
    const std::string text = TestFiles::ReadAll(control.path());
    EXPECT_EQ(text.substr(0, text.rfind("end ")), "inkwarden-download-control 1\n"
                                                  "url http://127.0.0.1:8080/package.exe\n"
                                                  "length 67108864\n"
                                                  "validator ETag \"5f3a-4000000\"\n"
                                                  "done 0-1048575\n"
                                                  "done 2097152-67108863\n");
    EXPECT_EQ(control.Read(), Sample());
    EXPECT_FALSE(TestFiles::Exists(control.path() + ".new"));

    // Nothing done yet is a record too; a rewrite replaces it.
    ResumeState empty = Sample();
    empty.completed.clear();
    ASSERT_TRUE(control.Write(empty));
    EXPECT_EQ(control.Read(), empty);
    control.Remove();
    EXPECT_FALSE(control.Read());
}

TEST(DownloadControlFile, DamagedOrForeignTextIsNoRecord) {
    const std::string good = DownloadControlFile::Format(Sample());
    // Every cut, and every byte changed, is noticed.
    for (size_t length = 0; length < good.size(); ++length) {
        EXPECT_FALSE(DownloadControlFile::Parse(good.substr(0, length))) << length;
    }
    for (size_t i = 0; i < good.size(); ++i) {
        std::string damaged = good;
        damaged[i] = static_cast<char>(damaged[i] ^ 0x04);
        EXPECT_FALSE(DownloadControlFile::Parse(damaged)) << i;
    }
    EXPECT_FALSE(DownloadControlFile::Parse(good + "done 0-1\n"));

    // Well-formed records whose ranges cannot describe the file are refused as well.
    const auto with = [](std::vector<ByteRange> ranges, int64_t length) {
        ResumeState state = Sample();
        state.completed = std::move(ranges);
        state.length = length;
        return DownloadControlFile::Parse(DownloadControlFile::Format(state)).has_value();
    };
    EXPECT_TRUE(with({{0, 9}, {10, 19}}, 20));
    EXPECT_FALSE(with({{10, 19}, {0, 9}}, 20));  // out of order
    EXPECT_FALSE(with({{0, 10}, {10, 19}}, 20)); // overlapping
    EXPECT_FALSE(with({{0, 20}}, 20));           // past the end
    EXPECT_FALSE(with({{5, 4}}, 20));            // empty range
    EXPECT_FALSE(with({{0, 9}}, 0));             // no length
    EXPECT_FALSE(DownloadControlFile::Parse("GIF89a\n"));
    EXPECT_FALSE(DownloadControlFile::Parse(""));

    // A text with a line feed inside a field is never written.
    test::TempDir dir;
    ResumeState forged = Sample();
    forged.validator = "ETag \"x\"\ndone 0-67108863";
    EXPECT_FALSE(DownloadControlFile(dir.file("c")).Write(forged));
    EXPECT_FALSE(TestFiles::Exists(dir.file("c")));
}

TEST(DownloadControlFile, LinksPipesAndOtherUsersFilesAreNeverRead) {
    test::TempDir dir;
    const DownloadControlFile control(dir.file("p.tmp.resume"));
    const std::string elsewhere = dir.file("elsewhere");
    WriteText(elsewhere, DownloadControlFile::Format(Sample()));

    // A link under the record's name is not followed, and a write replaces the link itself.
    std::filesystem::create_symlink(elsewhere, control.path());
    EXPECT_FALSE(control.Read());
    ResumeState other = Sample();
    other.url = "http://127.0.0.1/other";
    ASSERT_TRUE(control.Write(other));
    EXPECT_FALSE(std::filesystem::is_symlink(control.path()));
    EXPECT_EQ(control.Read(), other);
    EXPECT_EQ(TestFiles::ReadAll(elsewhere), DownloadControlFile::Format(Sample()));

    // A link planted under the write's own temporary name is removed, not written through.
    const std::string victim = dir.file("victim");
    WriteText(victim, "keep me");
    std::filesystem::create_symlink(victim, control.path() + ".new");
    ASSERT_TRUE(control.Write(Sample()));
    EXPECT_EQ(TestFiles::ReadAll(victim), "keep me");
    EXPECT_EQ(control.Read(), Sample());

    // A pipe never blocks the reader; a folder, an oversized file or one of another user is
    // no record.
    control.Remove();
    ASSERT_EQ(::mkfifo(control.path().c_str(), 0600), 0);
    EXPECT_FALSE(control.Read());
    control.Remove();
    std::filesystem::create_directory(control.path());
    EXPECT_FALSE(control.Read());
    std::filesystem::remove(control.path());
    WriteText(control.path(), std::string(DownloadControlFile::MAX_SIZE + 1, 'x'));
    EXPECT_FALSE(control.Read());
    ASSERT_TRUE(control.Write(Sample()));
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(control.path().c_str(), 65534, 65534), 0);
        EXPECT_FALSE(control.Read());
    }
}

} // namespace
} // namespace inkwarden

#include "platform/RegistryFile.h"

#include "TestFolder.h"
#include "platform/TextEncoding.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace inkwarden {
namespace {

using test::TestFolder;

const std::string UNINSTALL = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Inkwarden";

const std::string SAMPLE = "Windows Registry Editor Version 5.00\r\n"
                           "\r\n"
                           "; written by hand\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                           "Uninstall\\Inkwarden]\r\n"
                           "\"InstallLocation\"=\"/opt/Ink \\\"warden\\\"\\\\x\"\r\n"
                           "@=\"default text\"\r\n"
                           "\"Count\"=dword:00000007\r\n"
                           "\"Blob\"=hex:01,02,\\\r\n"
                           "  03,04\r\n"
                           "\"Wide\"=hex(1):41,00,42,00,00,00\r\n"
                           "\"Broken\"=\"no end\r\n"
                           "\r\n"
                           "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\r\n"
                           "\"InstallLocation\"=\"/home/user\"\r\n";

std::optional<std::string> Read(const std::string& text, const std::string& key,
                                const std::string& name) {
    const auto file = RegistryFile::parse(text);
    return file ? file->readString(key, name) : std::nullopt;
}

TEST(RegistryFile, StringValuesAreFoundIgnoringCaseAndUnescaped) {
    EXPECT_EQ(Read(SAMPLE, UNINSTALL, "InstallLocation"), "/opt/Ink \"warden\"\\x");
    EXPECT_EQ(Read(SAMPLE, "software\\MICROSOFT\\windows\\currentversion\\uninstall\\inkwarden",
                   "installlocation"),
              "/opt/Ink \"warden\"\\x");
    EXPECT_EQ(Read(SAMPLE, UNINSTALL, ""), "default text");
    EXPECT_EQ(Read(SAMPLE, UNINSTALL, "Wide"), "AB"); // a string written as hex(1)
}

TEST(RegistryFile, OtherTypesMissingAndMalformedValuesGiveNothing) {
    EXPECT_EQ(Read(SAMPLE, UNINSTALL, "Count"), std::nullopt);
    EXPECT_EQ(Read(SAMPLE, UNINSTALL, "Blob"), std::nullopt);
    EXPECT_EQ(Read(SAMPLE, UNINSTALL, "Broken"), std::nullopt);
    EXPECT_EQ(Read(SAMPLE, UNINSTALL, "Missing"), std::nullopt);
    EXPECT_EQ(Read(SAMPLE, "SOFTWARE\\Other", "InstallLocation"), std::nullopt); // other root
    EXPECT_EQ(Read(SAMPLE, "SOFTWARE\\Microsoft", "InstallLocation"), std::nullopt);
    // No header: not a registry file at all.
    EXPECT_FALSE(RegistryFile::parse("[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"y\"\n"));
    EXPECT_FALSE(RegistryFile::parse(""));
    EXPECT_FALSE(RegistryFile::parse("\xFF\xFE"));
}

TEST(RegistryFile, LaterLinesWinAsOnImport) {
    const std::string text = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"one\"\n"
                             "[HKEY_LOCAL_MACHINE\\A]\n\"V\"=\"two\"\n";
    EXPECT_EQ(Read(text, "A", "v"), "two");
    EXPECT_EQ(Read(text + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=-\n", "A", "v"), std::nullopt);
    EXPECT_EQ(Read(text + "[-HKEY_LOCAL_MACHINE\\A]\n", "A", "v"), std::nullopt);
    EXPECT_EQ(Read(text + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:1\n", "A", "v"), std::nullopt);
}

TEST(RegistryFile, ReadsTheEncodingsThatExportsUse) {
    EXPECT_EQ(Read("\xEF\xBB\xBF" + SAMPLE, UNINSTALL, "InstallLocation"),
              "/opt/Ink \"warden\"\\x");
    const std::string wide = "\xFF\xFE" + Utf8ToUtf16Le("Windows Registry Editor Version 5.00\r\n"
                                                        "[HKEY_LOCAL_MACHINE\\K]\r\n"
                                                        "\"路径\"=\"/opt/墨守\"\r\n");
    EXPECT_EQ(Read(wide, "K", "路径"), "/opt/墨守");
}

class RegistryFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = folder_.file("etc/inkwarden/machine.reg");
        ::setenv("INKWARDEN_REGISTRY", path_.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("INKWARDEN_REGISTRY"); }

    TestFolder folder_;
    std::string path_;
};

TEST_F(RegistryFileOnDisk, MissingOrCorruptFileReadsEmpty) {
    EXPECT_EQ(ReadMachineString(UNINSTALL, "InstallLocation"), "");
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    folder_.write("etc/inkwarden/machine.reg", "\"InstallLocation\"=\"/x\"\n");
    EXPECT_EQ(ReadMachineString(UNINSTALL, "InstallLocation"), "");
    // A corrupt file is not ours to replace.
    EXPECT_FALSE(WriteMachineString(UNINSTALL, "InstallLocation", "/opt/Inkwarden"));
    EXPECT_EQ(TestFolder::read(path_), "\"InstallLocation\"=\"/x\"\n");
}

TEST_F(RegistryFileOnDisk, WriteCreatesTheFileAndItsFolder) {
    ASSERT_TRUE(WriteMachineString(UNINSTALL, "InstallLocation", "/opt/My \"Ink\"\\warden"));
    EXPECT_EQ(ReadMachineString(UNINSTALL, "InstallLocation"), "/opt/My \"Ink\"\\warden");
    EXPECT_EQ(TestFolder::read(path_).rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    ASSERT_TRUE(WriteMachineString(UNINSTALL, "InstallLocation", "/srv/Inkwarden"));
    EXPECT_EQ(ReadMachineString(UNINSTALL, "InstallLocation"), "/srv/Inkwarden");
    EXPECT_FALSE(WriteMachineString(UNINSTALL, "InstallLocation", "two\nlines"));
    EXPECT_FALSE(WriteMachineString("", "InstallLocation", "/x"));
}

TEST_F(RegistryFileOnDisk, WriteReplacesOneLineAndKeepsEverythingElse) {
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    folder_.write("etc/inkwarden/machine.reg", SAMPLE);
    ::chmod(path_.c_str(), 0600);
    ASSERT_TRUE(WriteMachineString(UNINSTALL, "installlocation", "/opt/Inkwarden"));
    std::string expected = SAMPLE;
    const std::string old_line = "\"InstallLocation\"=\"/opt/Ink \\\"warden\\\"\\\\x\"";
    expected.replace(expected.find(old_line), old_line.size(),
                     "\"installlocation\"=\"/opt/Inkwarden\"");
    EXPECT_EQ(TestFolder::read(path_), expected);

    ASSERT_TRUE(WriteMachineString(UNINSTALL, "DisplayName", "墨守"));
    ASSERT_TRUE(WriteMachineString("SOFTWARE\\Inkwarden", "Version", "1.2.3.4"));
    EXPECT_EQ(ReadMachineString(UNINSTALL, "DisplayName"), "墨守");
    EXPECT_EQ(ReadMachineString(UNINSTALL, "InstallLocation"), "/opt/Inkwarden");
    EXPECT_EQ(ReadMachineString("SOFTWARE\\Inkwarden", "Version"), "1.2.3.4");
    const std::string after = TestFolder::read(path_);
    EXPECT_NE(after.find("\"Count\"=dword:00000007\r\n"), std::string::npos);
    EXPECT_NE(after.find("[HKEY_CURRENT_USER\\SOFTWARE\\Other]\r\n"), std::string::npos);
    EXPECT_NE(after.find("; written by hand\r\n"), std::string::npos);

    struct stat info {};
    ASSERT_EQ(::stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Nothing but the file itself is left in its folder.
    const auto entries = std::distance(
        std::filesystem::directory_iterator(std::filesystem::path(path_).parent_path()), {});
    EXPECT_EQ(entries, 1);
}

TEST_F(RegistryFileOnDisk, WriteAfterADeletedKeyAddsASectionThatWins) {
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    folder_.write("etc/inkwarden/machine.reg",
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"one\"\n[-HKEY_LOCAL_MACHINE\\A]\n");
    ASSERT_TRUE(WriteMachineString("A", "v", "two"));
    EXPECT_EQ(ReadMachineString("A", "v"), "two");
}

TEST_F(RegistryFileOnDisk, WriteAfterADanglingContinuationIsReadBack) {
    // Files that end in one or more backslashes, the last line of a key continuing into
    // nothing, and a section line split by a continuation.
    const std::string head =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\" + UNINSTALL + "]\r\n";
    const std::vector<std::string> files = {
        head + "\"InstallLocation\"=\"/opk \\\"w\\\"\\\\",
        head + "\"Other\"=hex:01,\\\\\\\r\n",
        head + "\"Other\"=hex:01,\\\r\n\\\r\n\\",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\\n" + UNINSTALL + "]\n\"x\"=\"1\"\\\\\n",
    };
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    for (const std::string& content : files) {
        folder_.write("etc/inkwarden/machine.reg", content);
        ASSERT_TRUE(WriteMachineString(UNINSTALL, "InstallLocation", "/opt/Ink \"warden\"\\"))
            << content;
        EXPECT_EQ(ReadMachineString(UNINSTALL, "InstallLocation"), "/opt/Ink \"warden\"\\")
            << content;
        // The earlier lines are kept as they were.
        EXPECT_EQ(TestFolder::read(path_).rfind(content.substr(0, content.rfind('\n')), 0), 0u);
    }
}

TEST_F(RegistryFileOnDisk, WideFileStaysWide) {
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    folder_.write("etc/inkwarden/machine.reg",
                  "\xFF\xFE" + Utf8ToUtf16Le("Windows Registry Editor Version 5.00\r\n"));
    ASSERT_TRUE(WriteMachineString("K", "v", "值"));
    const std::string bytes = TestFolder::read(path_);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(ReadMachineString("K", "v"), "值");
}

} // namespace
} // namespace inkwarden

#include "platform/ProcessRunner.h"

#include "TestFolder.h"
#include "platform/Paths.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>

namespace inkwarden {
namespace {

using test::TestFolder;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds SHORT_SLICE{100};
// A child that sleeps past its test's end: its output no longer goes where the test's goes,
// so the test run need not wait for it.
std::string DetachedSleep(const std::string& seconds) {
    return "/bin/sh -c \"exec >/dev/null 2>&1; sleep " + seconds + "\"";
}

// What ArgumentDump saw: its working folder first, then its arguments after the output file.
std::vector<std::string> Dumped(const std::string& file) {
    const std::string bytes = TestFolder::read(file);
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1) {
        parts.push_back(bytes.substr(start, end - start));
    }
    return parts;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::uint32_t ExitCodeOf(const std::string& command) {
    std::uint32_t code = 12345;
    EXPECT_TRUE(RunProcess(command, "", true, &code)) << command;
    return code;
}

TEST(ProcessRunner, ExitCodesOfEndedAndKilledProcesses) {
    EXPECT_EQ(ExitCodeOf("/bin/sh -c \"exit 0\""), 0u);
    EXPECT_EQ(ExitCodeOf("/bin/sh -c \"exit 7\""), 7u);
    EXPECT_EQ(ExitCodeOf("sh -c \"exit 255\""), 255u); // found on PATH
    EXPECT_EQ(ExitCodeOf("/bin/sh -c \"kill -9 $$\""), EXIT_CODE_SIGNAL_BASE + SIGKILL);
}

TEST(ProcessRunner, ArgumentsArriveAsTheWindowsRulesSplitThem) {
    TestFolder folder;
    const std::string out = folder.file("args");
    const std::string command = Quoted(IW_ARGUMENT_DUMP) + " " + Quoted(out) +
                                " -install_path:\"/opt/Program Files (x86)/Inkwarden\"" +
                                " -desktop_link:1 a\\\"b \"\" -silent";
    ASSERT_TRUE(RunProcess(command, folder.path(), true));
    const std::vector<std::string> expected = {folder.path(),
                                               "-install_path:/opt/Program Files (x86)/Inkwarden",
                                               "-desktop_link:1",
                                               "a\"b",
                                               "",
                                               "-silent"};
    EXPECT_EQ(Dumped(out), expected);
}

TEST(ProcessRunner, LongCommandLineIsNotCut) {
    TestFolder folder;
    std::string install_folder = folder.path() + "/";
    while (install_folder.size() < 400) {
        install_folder += "deep folder ";
    }
    install_folder.resize(400);
    const std::string out = folder.file("args");
    const std::string command = Quoted(IW_ARGUMENT_DUMP) + " " + Quoted(out) +
                                " -install_path:" + Quoted(install_folder) + " -silent";
    ASSERT_GT(command.size(), 259u);
    ASSERT_TRUE(RunProcess(command, "", true));
    const auto dumped = Dumped(out);
    ASSERT_EQ(dumped.size(), 3u);
    EXPECT_EQ(dumped[1], "-install_path:" + install_folder);
    EXPECT_EQ(dumped[2], "-silent");
}

TEST(ProcessRunner, WorkingFolderAndProgramPaths) {
    TestFolder folder;
    const std::string out = folder.file("args");
    const std::string dump = Quoted(IW_ARGUMENT_DUMP) + " " + Quoted(out);
    // Empty folder: the caller's current directory.
    ASSERT_TRUE(RunProcess(dump, "", true));
    EXPECT_EQ(Dumped(out).at(0), std::filesystem::current_path().string());
    // A relative program is taken from the caller's folder, not from the working folder.
    const std::string relative = std::filesystem::relative(IW_ARGUMENT_DUMP).string();
    ASSERT_TRUE(RunProcess(Quoted(relative) + " " + Quoted(out), folder.path(), true));
    EXPECT_EQ(Dumped(out).at(0), folder.path());
    EXPECT_FALSE(RunProcess(dump, folder.file("missing"), true));
}

TEST(ProcessRunner, WhatCannotStartGivesFalse) {
    TestFolder folder;
    const std::string script = folder.write("package.sh", "#!/bin/sh\nexit 5\n");
    EXPECT_FALSE(RunProcess("", "", true));
    EXPECT_FALSE(RunProcess("   ", "", true));
    EXPECT_FALSE(RunProcess(Quoted(folder.file("missing.exe")), "", true));
    EXPECT_FALSE(RunProcess("no-such-program-on-path-iw", "", true));
    EXPECT_FALSE(RunProcess(Quoted(folder.path()), "", true));
    EXPECT_FALSE(RunProcess(Quoted(script), "", true)); // downloaded: not executable yet
    ASSERT_TRUE(MakeExecutable(script));
    struct stat info {};
    ASSERT_EQ(::stat(script.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
    std::uint32_t code = 0;
    EXPECT_TRUE(RunProcess(Quoted(script), "", true, &code));
    EXPECT_EQ(code, 5u);
    EXPECT_FALSE(MakeExecutable(folder.file("missing")));
}

TEST(ProcessRunner, ChildStartsWithEmptyInputAndDefaultSignals) {
    TestFolder folder;
    // cat ends at once on /dev/null instead of waiting for the caller's input.
    ASSERT_TRUE(RunProcess("/bin/sh -c \"cat > input\"", folder.path(), true));
    EXPECT_EQ(TestFolder::read(folder.file("input")), "");
    // A signal the calling thread blocks still reaches the child.
    sigset_t term, previous;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &previous), 0);
    std::uint32_t code = 0;
    EXPECT_TRUE(RunProcess("/bin/sh -c \"kill -TERM $$; exit 3\"", "", true, &code));
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    EXPECT_EQ(code, EXIT_CODE_SIGNAL_BASE + SIGTERM);
}

TEST(ProcessRunner, PredicateIsAskedAfterEachSliceAndCanStopTheWait) {
    int asked = 0;
    std::uint32_t code = 0;
    EXPECT_TRUE(
        RunProcess("/bin/sh -c \"exit 3\"", "", true, &code, [&] { return ++asked, true; }));
    EXPECT_EQ(code, 3u);
    EXPECT_EQ(asked, 0); // ended within the first slice

    // Shorter slices for the waits that outlast one.
    asked = 0;
    EXPECT_TRUE(RunProcess(
        "/bin/sh -c \"sleep 0.3; exit 4\"", "", true, &code, [&] { return ++asked, true; },
        SHORT_SLICE));
    EXPECT_EQ(code, 4u);
    EXPECT_GE(asked, 1);

    asked = 0;
    const auto start = Clock::now();
    EXPECT_TRUE(RunProcess(
        DetachedSleep("4"), "", true, &code, [&] { return ++asked < 2; }, SHORT_SLICE));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(code, EXIT_CODE_STILL_RUNNING);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3500)); // ends by itself later
}

TEST(ProcessRunner, WithoutWaitReturnsAtOnce) {
    const auto start = Clock::now();
    std::uint32_t code = 77;
    EXPECT_TRUE(RunProcess(DetachedSleep("3"), "", false, &code));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(code, 77u); // not waited for, nothing stored
}

TEST(Paths, TempFolderAndParentPath) {
    const char* saved = std::getenv("TMPDIR");
    const std::string restore = saved != nullptr ? saved : "";
    ::setenv("TMPDIR", "/var/tmp/", 1);
    EXPECT_EQ(TempFolder(), "/var/tmp");
    ::setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(TempFolder(), "/var/tmp");
    ::setenv("TMPDIR", "", 1);
    EXPECT_EQ(TempFolder(), "/tmp");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(TempFolder(), "/tmp");
    if (saved != nullptr) {
        ::setenv("TMPDIR", restore.c_str(), 1);
    }

    EXPECT_EQ(ParentPath("/tmp/InkwardenTemp.exe"), "/tmp");
    EXPECT_EQ(ParentPath("/opt/Inkwarden/"), "/opt/Inkwarden");
    EXPECT_EQ(ParentPath("/InkwardenTemp.exe"), "");
    EXPECT_EQ(ParentPath("InkwardenTemp.exe"), "");
    EXPECT_EQ(ParentPath(""), "");
}

} // namespace
} // namespace inkwarden

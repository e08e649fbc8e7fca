#include "app/OptionMap.h"

#include "platform/CommandLineSplitter.h"

#include <gtest/gtest.h>

namespace inkwarden {
namespace {

OptionMap Parse(std::vector<std::string> options) {
    options.insert(options.begin(), "/opt/bin/inkwarden-installer");
    return ParseCommandLine(options, ":");
}

TEST(OptionMapTest, SplitsAtTheFirstColonAndKeepsTheFirstOccurrence) {
    const OptionMap options = Parse({"-test_url:http://h:80/x:y", "-a:1", "-a:2", ":lone", "-e:"});
    EXPECT_EQ(options.at("-test_url"), "http://h:80/x:y");
    EXPECT_EQ(options.at("-a"), "1");
    EXPECT_EQ(options.at(""), "lone") << "the name may be empty";
    EXPECT_EQ(options.at("-e"), "");
    EXPECT_EQ(options.size(), 4u);
}

TEST(OptionMapTest, IgnoresTheProgramAndArgumentsWithoutSeparator) {
    EXPECT_TRUE(Parse({"-test_url", "plain"}).empty());
    EXPECT_TRUE(ParseCommandLine({"/path/with:colon"}, ":").empty()) << "the program is skipped";
    EXPECT_TRUE(ParseCommandLine(std::vector<std::string>{}, ":").empty());
    EXPECT_TRUE(ParseCommandLine(0, nullptr, ":").empty());
    // Any character of the separator text splits.
    EXPECT_EQ(ParseCommandLine({"p", "a=b:c"}, ":=").at("a"), "b:c");
}

TEST(OptionMapTest, TestUrlMatchesIgnoringCaseAndTheLastKeyWins) {
    EXPECT_EQ(TestUrlOption(Parse({"-test_url:x:y:z"})), "x:y:z");
    EXPECT_EQ(TestUrlOption(Parse({"-TEST_URL:x"})), "x");
    EXPECT_EQ(TestUrlOption(Parse({"-test_url:a", "-test_url:b"})), "a");
    // Two keys; "-TEST_URL" sorts first, so the lower-case one is walked last.
    EXPECT_EQ(TestUrlOption(Parse({"-test_url:b", "-TEST_URL:a"})), "b");
    EXPECT_EQ(TestUrlOption(Parse({"-test_url:"})), "");
    EXPECT_EQ(TestUrlOption(Parse({"-test_url", "test_url:x", "--test_url:y", "-test_urlx:z"})),
              "");
}

TEST(OptionMapTest, OfflineDirIsTakenLikeTheTestUrlAndApartFromIt) {
    const OptionMap options = Parse({"-OFFLINE_DIR:/media/usb/a:b", "-test_url:http://x"});
    EXPECT_EQ(OfflineDirOption(options), "/media/usb/a:b");
    EXPECT_EQ(TestUrlOption(options), "http://x");
    EXPECT_EQ(OfflineDirOption(Parse({"-test_url:http://x", "-offline_dir"})), "");
}

TEST(OptionMapTest, HelpAndVersionAreAskedForAnywhereAfterTheProgram) {
    using R = ProgramRequest;
    EXPECT_EQ(FindProgramRequest({"installer"}), R::RUN);
    EXPECT_EQ(FindProgramRequest({"installer", "-test_url:x", "--help"}), R::HELP);
    EXPECT_EQ(FindProgramRequest({"installer", "--version", "--help"}), R::VERSION);
    EXPECT_EQ(FindProgramRequest({"--help"}), R::RUN) << "the program path is no argument";
    // Options keep their syntax: these are none of the two.
    EXPECT_EQ(FindProgramRequest({"installer", "--help:x", "-help", "--HELP", "-version"}), R::RUN);
}

TEST(OptionMapTest, AQuotedArgumentKeepsItsBlank) {
    // As a launcher's command line arrives after splitting: one argument, no quotes.
    const std::vector<std::string> arguments =
        SplitCommandLine(R"(installer "-test_url:http://127.0.0.1/my package.bin" -x:1)");
    const OptionMap options = ParseCommandLine(arguments, ":");
    EXPECT_EQ(TestUrlOption(options), "http://127.0.0.1/my package.bin");
    EXPECT_EQ(options.at("-x"), "1");
}

} // namespace
} // namespace inkwarden

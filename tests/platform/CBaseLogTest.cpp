#include "platform/CBaseLog.h"

#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace inkwarden {
namespace {

// Passes a run-time format, as a caller with a table of formats would.
void WriteUnchecked(const char* format, ...) {
    va_list args;
    va_start(args, format);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    CBaseLog::Instance().WriteRecordV(1, "f.cpp", "Fn", false, format, args);
#pragma GCC diagnostic pop
    va_end(args);
}

// Each case runs in a process of its own, so every case starts from a fresh instance.
class CBaseLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = std::filesystem::temp_directory_path() /
               ("iw-log-" + std::to_string(::getpid()) + ".log");
        std::filesystem::remove(path);
        // The writer is process-wide: every case starts from a disabled one.
        CBaseLog::Instance().SetLogPath("");
    }
    void TearDown() override { std::filesystem::remove(path); }

    std::vector<std::string> Records() {
        std::ifstream in(path, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        std::vector<std::string> records;
        const std::string text = all.str();
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = text.find("\r\n", start);
            records.push_back(text.substr(start, end - start));
            start = end == std::string::npos ? text.size() : end + 2;
        }
        return records;
    }

    // The message part of a record.
    static std::string Message(const std::string& record) {
        const std::size_t ids = record.find("]---[");
        return record.substr(record.find(']', ids + 5) + 1);
    }

    std::filesystem::path path;
};

TEST_F(CBaseLogTest, DisabledWriterCreatesNoFileAndPrintsNothing) {
    testing::internal::CaptureStdout();
    CBaseLog::Instance().WriteRecord(__LINE__, __FILE__, "Test", false, "hello %d", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(CBaseLog::Instance().LogOpenFile());
}

TEST_F(CBaseLogTest, TagColumns) {
    EXPECT_EQ(CBaseLog::BuildTag("src/platform/base_log.cpp", "CBaseLog::LogOpenFile"),
              "log.cpp|CBaseLog::LogOpenFile");
    const std::string name28 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01";
    EXPECT_EQ(CBaseLog::BuildTag("file.cpp", name28), " " + name28);
    const std::string name35 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXY";
    EXPECT_EQ(CBaseLog::BuildTag("file.cpp", name35), name35.substr(6));
    EXPECT_EQ(CBaseLog::BuildTag("a.c", "F"), std::string(24, ' ') + "a.c|F");
    EXPECT_EQ(CBaseLog::BuildTag("", "F"), std::string(27, ' ') + "|F");
}

TEST_F(CBaseLogTest, FirstRecordAnnouncesTheOpeningAndRecordsHaveTheFixedLayout) {
    ASSERT_TRUE(CBaseLog::Instance().SetLogPath(path.string()));
    CBaseLog::Instance().WriteRecord(7, "dir/x.cpp", "Fn", false, "value[%d]", 42);
    const std::vector<std::string> records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_THAT(records[0], testing::EndsWith("日志系统初始化成功."));
    EXPECT_THAT(records[0], testing::HasSubstr("|CBaseLog::LogOpenFile]"));
    const std::regex layout(
        R"(\[\d{4}-[ \d]\d-[ \d]\d [ \d]\d:[ \d]\d:[ \d]\d\]\[   7\]\[ {17}dir/x\.cpp\|Fn\]---\[(\d+):(\d+)\]value\[42\])");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(records[1], match, layout)) << records[1];
    EXPECT_EQ(std::stoi(match[1]), ::getpid());
    EXPECT_EQ(std::stoi(match[2]), ::gettid());
}

TEST_F(CBaseLogTest, EchoPrintsTheRecordEvenWithoutAFile) {
    testing::internal::CaptureStdout();
    CBaseLog::Instance().WriteRecord(1, "f.cpp", "Fn", true, "shown");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_THAT(out, testing::EndsWith("|Fn]---[" + std::to_string(::getpid()) + ":" +
                                       std::to_string(::gettid()) + "]shown\r\n"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(CBaseLogTest, OverlongFormatAndOverlongMessage) {
    ASSERT_TRUE(CBaseLog::Instance().SetLogPath(path.string()));
    const std::string long_format(600, 'f');
    CBaseLog::Instance().WriteRecord(1, "f.cpp", "Fn", false, "%s", long_format.c_str());
    // A 600-byte format string itself.
    WriteUnchecked(long_format.c_str());
    // "é" is two bytes: 300 of them put byte 511 in the middle of a character.
    std::string accents;
    for (int i = 0; i < 300; ++i) {
        accents += "é";
    }
    CBaseLog::Instance().WriteRecord(1, "f.cpp", "Fn", false, "%s", accents.c_str());
    CBaseLog::Instance().WriteRecord(1, "f.cpp", "Fn", false, "%s", "");
    const std::vector<std::string> records = Records();
    ASSERT_EQ(records.size(), 5u);
    // The message is cut at 511 bytes and then gives way to the record's own limit of 581
    // bytes, line end included.
    EXPECT_EQ(records[1].size() + 2, CBaseLog::RECORD_CAPACITY - 1);
    EXPECT_EQ(Message(records[1]), std::string(Message(records[1]).size(), 'f'));
    EXPECT_EQ(Message(records[2]), "The format string is too long.");
    const std::string cut = Message(records[3]);
    EXPECT_EQ(cut.size() % 2, 0u) << "cut inside a character";
    EXPECT_EQ(cut, accents.substr(0, cut.size()));
    EXPECT_GE(records[3].size() + 2, CBaseLog::RECORD_CAPACITY - 2);
    EXPECT_EQ(Message(records[4]), "");
}

TEST_F(CBaseLogTest, RefusesAPathTooLongForItsBuffer) {
    EXPECT_FALSE(CBaseLog::Instance().SetLogPath(std::string(300, 'p')));
    EXPECT_FALSE(CBaseLog::Instance().LogOpenFile());
}

TEST_F(CBaseLogTest, RecordsOfManyThreadsNeverInterleave) {
    ASSERT_TRUE(CBaseLog::Instance().SetLogPath(path.string()));
    constexpr int THREADS = 8;
    constexpr int EACH = 200;
    std::vector<std::thread> writers;
    for (int t = 0; t < THREADS; ++t) {
        writers.emplace_back([t] {
            const std::string filler(300, static_cast<char>('a' + t));
            for (int i = 0; i < EACH; ++i) {
                CBaseLog::Instance().WriteRecord(1, "f.cpp", "Fn", false, "%d:%s", t,
                                                 filler.c_str());
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    const std::vector<std::string> records = Records();
    ASSERT_EQ(records.size(), 1u + THREADS * EACH);
    for (std::size_t i = 1; i < records.size(); ++i) {
        const std::string message = Message(records[i]);
        ASSERT_EQ(message.size(), 302u) << records[i];
        const int t = message[0] - '0';
        EXPECT_EQ(message.substr(2), std::string(300, static_cast<char>('a' + t)));
    }
}

} // namespace
} // namespace inkwarden

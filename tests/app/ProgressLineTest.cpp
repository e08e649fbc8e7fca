// The installing page's line: its figures, its pace, and its words in Chinese.
#include "app/ProgressLine.h"

#include "tests/support/TestLanguage.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

using std::chrono::milliseconds;

TEST(ProgressLine, FiguresAsAPersonReadsThem) {
    EXPECT_EQ(ProgressLine::Format(42, 3.1e6, 12), "42 % · 3.1 MB/s · 12 s left");
    EXPECT_EQ(ProgressLine::Format(7, 0, std::nullopt), "7 %") << "no speed known yet";
    EXPECT_EQ(ProgressLine::Format(50, 20000, 90), "50 % · 20 kB/s · 2 min left");
    EXPECT_EQ(ProgressLine::Format(1, 512, 7201), "1 % · 512 B/s · 3 h left");
    EXPECT_EQ(ProgressLine::Format(99, 2e6, 0), "99 % · 2.0 MB/s · 0 s left");
}

TEST(ProgressLine, AtMostFourLinesASecondWithTheSpeedOfTheRecentPast) {
    ProgressLine line;
    const auto start = ProgressLine::Clock::now();
    constexpr std::int64_t TOTAL = 2'000'000;
    std::vector<std::string> shown;
    // 1 MB/s reported every 10 ms for one second, then the last byte at once.
    for (int ms = 0; ms <= 1000; ms += 10) {
        const std::int64_t done = ms * 1000;
        if (auto text = line.Update(done, TOTAL, static_cast<int>(done * 100 / TOTAL),
                                    start + milliseconds(ms))) {
            shown.push_back(*text);
        }
    }
    EXPECT_EQ(shown.size(), 5u) << "at 0, 250, 500, 750 and 1000 ms";
    EXPECT_NEAR(line.BytesPerSecond(), 1e6, 1e3);
    EXPECT_EQ(shown.back(), "50 % · 1.0 MB/s · 1 s left");
    auto last = line.Update(TOTAL, TOTAL, 100, start + milliseconds(1005));
    ASSERT_TRUE(last.has_value()) << "the last byte always shows";

    // A new download starts from nothing: no speed from the old one.
    line.Reset();
    EXPECT_EQ(line.Update(0, TOTAL, 0, start + milliseconds(2000)), "0 %");
}

TEST(ProgressLine, SpeaksChineseOnAChineseDesktop) {
    ASSERT_EQ(test::UseLocale("zh_CN.UTF-8"), "zh_CN");
    EXPECT_EQ(ProgressLine::Format(42, 3.1e6, 12), "42 % · 3.1 MB/s · 剩余 12 秒");
    EXPECT_EQ(ProgressLine::Format(42, 3.1e6, 600), "42 % · 3.1 MB/s · 剩余 10 分钟");
    test::UseLocale("C.UTF-8");
}

} // namespace
} // namespace inkwarden

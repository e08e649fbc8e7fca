// The figures the window shows: the line under the bar, its pace and words in Chinese, the
// download's speed, the bar, and the first page's release line.
#include "app/ProgressLine.h"

#include "app/InstallBar.h"
#include "app/ReleaseLine.h"
#include "app/TransferRate.h"
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
    TransferRate rate;
    const auto start = ProgressLine::Clock::now();
    constexpr std::int64_t TOTAL = 2'000'000;
    std::vector<std::string> shown;
    // 1 MB/s reported every 10 ms for one second, then the last byte at once.
    for (int ms = 0; ms <= 1000; ms += 10) {
        const std::int64_t done = ms * 1000;
        rate.Add(start + milliseconds(ms), done);
        if (auto text = line.Update(done, TOTAL, static_cast<int>(done * 100 / TOTAL),
                                    rate.BytesPerSecond(), start + milliseconds(ms))) {
            shown.push_back(*text);
        }
    }
    EXPECT_EQ(shown.size(), 5u) << "at 0, 250, 500, 750 and 1000 ms";
    EXPECT_NEAR(rate.BytesPerSecond(), 1e6, 1e3);
    EXPECT_EQ(shown.back(), "50 % · 1.0 MB/s · 1 s left");
    auto last = line.Update(TOTAL, TOTAL, 100, 1e6, start + milliseconds(1005));
    ASSERT_TRUE(last.has_value()) << "the last byte always shows";

    // A new download starts from nothing: no speed from the old one.
    line.Reset();
    rate.Reset();
    rate.Add(start + milliseconds(2000), 0);
    EXPECT_EQ(line.Update(0, TOTAL, 0, rate.BytesPerSecond(), start + milliseconds(2000)), "0 %");
}

TEST(TransferRate, OnlyTheRecentPastCounts) {
    TransferRate rate;
    const auto start = TransferRate::Clock::now();
    // 10 MB in the first second, then 100 kB/s for five seconds: the window forgets the burst.
    rate.Add(start, 0);
    rate.Add(start + milliseconds(1000), 10'000'000);
    EXPECT_NEAR(rate.BytesPerSecond(), 1e7, 1e4);
    for (int s = 2; s <= 6; ++s) {
        rate.Add(start + milliseconds(1000 * s), 10'000'000 + (s - 1) * 100'000);
    }
    EXPECT_NEAR(rate.BytesPerSecond(), 1e5, 1e3);
    // A restart from fewer bytes is no negative speed.
    rate.Add(start + milliseconds(6100), 0);
    EXPECT_EQ(rate.BytesPerSecond(), 0.0);
}

TEST(InstallBar, TheDownloadFillsHalfThePackageCreepsOnAndStopsShortOfTheEnd) {
    EXPECT_EQ(InstallBar::DownloadValue(0.4), 200);
    EXPECT_EQ(InstallBar::DownloadValue(1.0), 500);
    InstallBar bar;
    EXPECT_EQ(bar.StartInstalling(), 500);
    EXPECT_EQ(bar.Tick(), 501);
    int ticks = 1;
    int value = 501;
    while (bar.Creeping() && ticks < 1000) {
        value = bar.Tick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 490);
    EXPECT_EQ(value, 990);
}

TEST(ReleaseLine, NamesTheVersionAndTheSizeOnceKnown) {
    EXPECT_EQ(ReleaseLineText("3.2.1.0", 48'200'000), "Inkwarden 3.2.1.0 · 48.2 MB");
    EXPECT_EQ(ReleaseLineText("3.2.1.0", std::nullopt), "Inkwarden 3.2.1.0");
    EXPECT_EQ(ReleaseLineText("3.2.1.0", 512'000), "Inkwarden 3.2.1.0 · 512 kB");
    EXPECT_EQ(ReleaseLineText("", 48'200'000), "") << "no version, no line";
    ASSERT_EQ(test::UseLocale("zh_CN.UTF-8"), "zh_CN");
    EXPECT_EQ(ReleaseLineText("3.2.1.0", 48'200'000), "墨守精灵 3.2.1.0 · 48.2 MB");
    test::UseLocale("C.UTF-8");
}

TEST(ProgressLine, SpeaksChineseOnAChineseDesktop) {
    ASSERT_EQ(test::UseLocale("zh_CN.UTF-8"), "zh_CN");
    EXPECT_EQ(ProgressLine::Format(42, 3.1e6, 12), "42 % · 3.1 MB/s · 剩余 12 秒");
    EXPECT_EQ(ProgressLine::Format(42, 3.1e6, 600), "42 % · 3.1 MB/s · 剩余 10 分钟");
    test::UseLocale("C.UTF-8");
}

} // namespace
} // namespace inkwarden

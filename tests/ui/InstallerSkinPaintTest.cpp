// The compiled-in installer skin painted headless: layered alpha, the start button's states,
// the progress bar and the licence check box, as the window shows them.
#include "ui/controls/CButtonUI.h"
#include "ui/controls/CCheckBoxUI.h"
#include "ui/controls/CProgressUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/devtools/HeadlessSkinView.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"
#include "ui/runtime/INotifyUI.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

struct Seen : INotifyUI {
    std::vector<std::string> types;
    void notify(Notification& msg) override { types.push_back(msg.type); }
};

struct InstallerSkin : ::testing::Test {
    HeadlessSkinView view;
    Seen seen;
    void SetUp() override {
        SkinPackage::reset();
        SkinPackage::setResourceZipMemory(ModuleResources::find("ZIPRES", 105));
        std::string error;
        ASSERT_TRUE(view.load("main_frame.xml", {}, error)) << error;
        view.manager().addNotifier(&seen);
        view.settle();
    }
    void TearDown() override { SkinPackage::reset(); }
    UiPoint centre(const char* name) {
        const UiRect r = view.manager().findControlByName(name)->getPos();
        return UiPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
};

TEST_F(InstallerSkin, LayeredWindowWithTransparentTopRowsAndAnnouncedOnce) {
    ASSERT_TRUE(view.manager().usesLayeredPaint());
    EXPECT_EQ(view.layer().clientRect(view.window()), (UiRect{0, 0, 570, 560}));
    EXPECT_EQ(std::count(seen.types.begin(), seen.types.end(), "windowinit"), 1);
    // The alpha image starts at row 2: rows 0 and 1 are fully transparent.
    EXPECT_EQ(view.pixel(100, 0), 0u);
    EXPECT_EQ(view.pixel(100, 1), 0u);
    EXPECT_EQ(view.pixel(100, 100) >> 24, 255u);
    EXPECT_EQ(view.pixel(100, 420) >> 24, 255u);
}

TEST_F(InstallerSkin, StartButtonShowsHotAndPushedImages) {
    const UiPoint c = centre("btn_install_start");
    const std::uint32_t normal = view.pixel(c.x, c.y - 15);
    view.layer().mouseMove(view.window(), c);
    view.layer().advance(PaintManager::LAYERED_REPAINT_MS);
    const std::uint32_t hot = view.pixel(c.x, c.y - 15);
    view.layer().buttonDown(view.window(), c);
    view.layer().advance(PaintManager::LAYERED_REPAINT_MS);
    const std::uint32_t pushed = view.pixel(c.x, c.y - 15);
    EXPECT_NE(normal, hot);
    EXPECT_NE(hot, pushed);
    view.layer().buttonUp(view.window(), c);
    EXPECT_EQ(std::count(seen.types.begin(), seen.types.end(), "click"), 1);
}

TEST_F(InstallerSkin, ProgressFillsItsShareOfTheBar) {
    auto* tab = static_cast<CTabLayoutUI*>(view.manager().findControlByName("tab_page"));
    ASSERT_TRUE(tab->selectItem(1));
    auto* progress = static_cast<CProgressUI*>(view.manager().findControlByName("progress"));
    progress->setValue(500);
    view.settle();
    const UiRect bar = progress->getPos();
    ASSERT_EQ(bar.width(), 530);
    const int y = bar.top + bar.height() / 2;
    // Filled and unfilled parts differ, and the fill ends at 265 pixels.
    EXPECT_NE(view.pixel(bar.left + 100, y), view.pixel(bar.left + 400, y));
    EXPECT_NE(view.pixel(bar.left + 260, y), view.pixel(bar.left + 270, y));
}

TEST_F(InstallerSkin, LicenceCheckBoxToggles) {
    auto* agree = static_cast<CCheckBoxUI*>(view.manager().findControlByName("btn_check_agree"));
    const UiRect r = agree->getPos();
    const UiPoint box{r.left + 8, r.top + 8};
    const std::uint32_t unchecked = view.pixel(box.x, box.y);
    view.layer().buttonDown(view.window(), box);
    view.layer().buttonUp(view.window(), box);
    view.layer().advance(PaintManager::LAYERED_REPAINT_MS);
    EXPECT_TRUE(agree->isSelected());
    EXPECT_NE(view.pixel(box.x, box.y), unchecked);
    view.layer().buttonDown(view.window(), box);
    view.layer().buttonUp(view.window(), box);
    view.layer().advance(PaintManager::LAYERED_REPAINT_MS);
    EXPECT_FALSE(agree->isSelected());
    EXPECT_EQ(view.pixel(box.x, box.y), unchecked);
}

} // namespace
} // namespace inkwarden

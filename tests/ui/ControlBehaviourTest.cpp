// Controls under the headless layer: the button and option state machines, keys, the
// progress fill, text colours and markup, images through the manager, the edit field.
#include "tests/support/TempDir.h"
#include "ui/controls/CButtonUI.h"
#include "ui/controls/CCheckBoxUI.h"
#include "ui/controls/CEditUI.h"
#include "ui/controls/CProgressUI.h"
#include "ui/devtools/HeadlessSkinView.h"
#include "ui/draw/DrawContext.h"
#include "ui/markup/SkinPackage.h"
#include "ui/runtime/INotifyUI.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

struct Clicks : INotifyUI {
    std::vector<std::string> seen;
    void notify(Notification& msg) override {
        if (msg.type == "click" || msg.type == "selectchanged" || msg.type == "textchanged" ||
            msg.type == "return") {
            seen.push_back(msg.type);
        }
    }
};

struct View {
    HeadlessSkinView view;
    Clicks clicks;
    explicit View(const std::string& body, const std::string& attrs = "size=\"200,100\"") {
        std::string error;
        EXPECT_TRUE(view.load("<Window " + attrs + ">" + body + "</Window>", {}, error)) << error;
        view.manager().addNotifier(&clicks);
        view.settle();
    }
    HeadlessWindowLayer& layer() { return view.layer(); }
    NativeWindowId window() const { return view.window(); }
    std::uint32_t pixel(int x, int y) { return view.pixel(x, y); }
    void paint() { view.settle(); }
};

std::uint32_t Red(std::uint32_t p) {
    return (p >> 16) & 0xFF;
}
std::uint32_t Green(std::uint32_t p) {
    return (p >> 8) & 0xFF;
}
std::uint32_t Blue(std::uint32_t p) {
    return p & 0xFF;
}

// Colour-image states: blue normal, red pushed.
const char* BUTTON =
    R"(<HorizontalLayout><Button name="b" width="100" normalimage="color='#FF0000FF'" pushedimage="color='#FFFF0000'" /><Control /></HorizontalLayout>)";

TEST(ButtonTest, PressDragOffAndBackThenReleaseOutsideSendsNoClick) {
    View v(BUTTON);
    auto* b = v.view.find<CButtonUI>("b");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(v.pixel(50, 50), 0xFF0000FFu);
    // Hot without a hot image shows the normal image.
    v.layer().mouseMove(v.window(), {50, 50});
    v.paint();
    EXPECT_NE(b->getButtonState() & CButtonUI::STATE_HOT, 0u);
    EXPECT_EQ(v.pixel(50, 50), 0xFF0000FFu);

    v.layer().buttonDown(v.window(), {50, 50});
    EXPECT_EQ(v.layer().capture(), v.window());
    v.paint();
    EXPECT_EQ(v.pixel(50, 50), 0xFFFF0000u);
    v.layer().mouseMove(v.window(), {150, 50}, MK_LBUTTON);
    v.paint();
    EXPECT_EQ(b->getButtonState() & CButtonUI::STATE_PUSHED, 0u);
    EXPECT_EQ(v.pixel(50, 50), 0xFF0000FFu);
    v.layer().mouseMove(v.window(), {60, 50}, MK_LBUTTON);
    v.paint();
    EXPECT_EQ(v.pixel(50, 50), 0xFFFF0000u);
    v.layer().mouseMove(v.window(), {150, 50}, MK_LBUTTON);
    v.layer().buttonUp(v.window(), {150, 50});
    EXPECT_TRUE(v.clicks.seen.empty());
    EXPECT_EQ(v.layer().capture(), 0u);
    EXPECT_EQ(b->getButtonState() & (CButtonUI::STATE_PUSHED | CButtonUI::STATE_CAPTURED), 0u);

    // Pressed and released inside: one click.
    v.layer().buttonDown(v.window(), {20, 20});
    v.layer().buttonUp(v.window(), {21, 21});
    EXPECT_EQ(v.clicks.seen, (std::vector<std::string>{"click"}));
}

TEST(ButtonTest, SpaceOrReturnOnTheFocusedButtonClicksUnlessDisabled) {
    View v(BUTTON);
    auto* b = v.view.find<CButtonUI>("b");
    v.view.manager().setFocus(b);
    LRESULT r = 0;
    v.view.manager().messageHandler(WM_KEYDOWN, VK_SPACE, 0, r);
    v.view.manager().messageHandler(WM_KEYUP, VK_SPACE, 0, r);
    v.view.manager().messageHandler(WM_KEYDOWN, VK_RETURN, 0, r);
    v.view.manager().messageHandler(WM_KEYDOWN, 'A', 0, r);
    EXPECT_EQ(v.clicks.seen, (std::vector<std::string>{"click", "click"}));
    b->setEnabled(false);
    v.view.manager().messageHandler(WM_KEYDOWN, VK_SPACE, 0, r);
    EXPECT_EQ(v.clicks.seen.size(), 2u);
}

TEST(ButtonTest, FadingBlendsNormalAndHotOnTimer11) {
    View v(
        R"(<Button name="b" fadedelta="51" normalimage="color='#FF0000FF'" hotimage="color='#FFFF0000'" />)");
    auto* b = v.view.find<CButtonUI>("b");
    v.layer().mouseMove(v.window(), {10, 10});
    ASSERT_EQ(v.view.manager().getTimers().size(), 1u);
    EXPECT_EQ(v.view.manager().getTimers()[0].key, CButtonUI::FADE_TIMER);
    v.layer().advance(30);
    EXPECT_EQ(b->getFadeAlpha(), 204);
    v.paint();
    // Normal at 204 then hot at 51 over it: mostly blue, some red.
    EXPECT_GT(Blue(v.pixel(10, 10)), Red(v.pixel(10, 10)));
    EXPECT_GT(Red(v.pixel(10, 10)), 0u);
    v.layer().advance(30 * 4);
    EXPECT_EQ(b->getFadeAlpha(), 0);
    EXPECT_TRUE(v.view.manager().getTimers()[0].killed);
    v.paint();
    EXPECT_EQ(v.pixel(10, 10), 0xFFFF0000u);
}

TEST(OptionTest, CheckBoxClickedTwiceTogglesWithClickThenSelectChanged) {
    View v(
        R"(<HorizontalLayout><CheckBox name="agree" width="16" height="16" foreimage="color='#40000000'" selectedimage="color='#FF00FF00'" /><Control /></HorizontalLayout>)");
    auto* box = v.view.find<CCheckBoxUI>("agree");
    ASSERT_NE(box, nullptr);
    v.layer().buttonDown(v.window(), {8, 8});
    v.layer().buttonUp(v.window(), {8, 8});
    EXPECT_TRUE(box->isSelected());
    v.paint();
    // Selected image, then the option's own fore image on top.
    EXPECT_EQ(v.pixel(8, 8), 0xFF00BF00u);
    v.layer().buttonDown(v.window(), {8, 8});
    v.layer().buttonUp(v.window(), {8, 8});
    EXPECT_FALSE(box->isSelected());
    EXPECT_EQ(v.clicks.seen,
              (std::vector<std::string>{"click", "selectchanged", "click", "selectchanged"}));
}

TEST(OptionTest, GroupedOptionsStaySelectedAndDeselectTheOthers) {
    View v(
        R"(<HorizontalLayout><Option name="a" group="g" /><Option name="b" group="g" /></HorizontalLayout>)");
    auto* a = v.view.find<COptionUI>("a");
    auto* b = v.view.find<COptionUI>("b");
    a->activate();
    a->activate();
    EXPECT_TRUE(a->isSelected());
    b->activate();
    EXPECT_TRUE(b->isSelected());
    EXPECT_FALSE(a->isSelected());
    EXPECT_EQ(v.clicks.seen, (std::vector<std::string>{"click", "selectchanged", "click", "click",
                                                       "selectchanged"}));
}

TEST(ProgressTest, FillArithmeticAndPaintedWidth) {
    View v(
        R"(<VerticalLayout bkcolor="#FFFFFFFF"><Progress name="p" min="0" max="1000" width="530" height="9" foreimage="color='#FFFF0000'" /><Control /></VerticalLayout>)",
        "size=\"600,40\"");
    auto* p = v.view.find<CProgressUI>("p");
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->getPos().width(), 530);
    const std::pair<int, int> cases[] = {{1, 0}, {2, 1}, {500, 265}, {1000, 530}};
    for (auto [value, width] : cases) {
        p->setValue(value);
        EXPECT_EQ(p->fillRect().width(), width) << value;
    }
    p->setValue(1500);
    EXPECT_EQ(p->getValue(), 1000);
    p->setValue(2);
    v.paint();
    EXPECT_EQ(v.pixel(0, 4), 0xFFFF0000u);
    EXPECT_EQ(v.pixel(1, 4), 0xFFFFFFFFu);
    p->setValue(1);
    v.paint();
    EXPECT_EQ(v.pixel(0, 4), 0xFFFFFFFFu);

    // An empty range paints as a range of one.
    p->setMaxValue(0);
    p->setValue(0);
    EXPECT_EQ(p->fillRect().width(), 0);
    p->setMinValue(5);
    p->setMaxValue(5);
    p->setValue(9);
    EXPECT_EQ(p->getValue(), 5);
    EXPECT_EQ(p->fillRect().width(), 0);
}

// Dark and coloured pixels inside a rectangle of a painted view.
struct Ink {
    int dark = 0;
    int coloured = 0;
};
Ink InkIn(View& v, UiRect r, std::uint32_t background) {
    Ink ink;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const std::uint32_t p = v.pixel(x, y);
            if (p == background) {
                continue;
            }
            const int spread = static_cast<int>(std::max({Red(p), Green(p), Blue(p)})) -
                               static_cast<int>(std::min({Red(p), Green(p), Blue(p)}));
            if (spread > 30) {
                ++ink.coloured;
            } else if (Red(p) < 100) {
                ++ink.dark;
            }
        }
    }
    return ink;
}

TEST(TextColourTest, ZeroTextColourFallsBackToTheDefaultAndDisabledToGrey) {
    View v(
        R"(<VerticalLayout bkcolor="#FFFFFFFF"><CheckBox name="c" text="创建桌面" textcolor="#00000000" height="30" /><Label name="d" text="安装目录" enabled="false" height="30" /><Label name="e" text="XXXX" font="9" textcolor="#FF0000FF" height="30" /></VerticalLayout>)");
    const Ink check = InkIn(v, {0, 0, 200, 30}, 0xFFFFFFFF);
    EXPECT_GT(check.dark, 20);
    EXPECT_EQ(check.coloured, 0);
    // The disabled label: the default disabled grey #A7A6AA, never black.
    bool grey = false;
    for (int y = 30; y < 60; ++y) {
        for (int x = 0; x < 200; ++x) {
            const std::uint32_t p = v.pixel(x, y);
            EXPECT_GE(Red(p), 0xA0u);
            grey = grey || p == 0xFFA7A6AAu;
        }
    }
    EXPECT_TRUE(grey);
    // font="9" is not registered: drawn in the default font, the same height as font -1.
    auto* e = v.view.find<CLabelUI>("e");
    EXPECT_EQ(v.view.manager().getFont(9), v.view.manager().getDefaultFont());
    EXPECT_GT(InkIn(v, e->getPos(), 0xFFFFFFFF).coloured, 20);
}

// Text on black: antialiased pixels are the colour scaled down, so the channel ratios hold.
bool IsTint(std::uint32_t p, std::uint32_t rgb) {
    const int r = static_cast<int>(Red(p));
    const int g = static_cast<int>(Green(p));
    const int b = static_cast<int>(Blue(p));
    const int cr = static_cast<int>((rgb >> 16) & 0xFF);
    const int cg = static_cast<int>((rgb >> 8) & 0xFF);
    const int cb = static_cast<int>(rgb & 0xFF);
    const int peak = std::max({r, g, b});
    const int cpeak = std::max({cr, cg, cb});
    if (peak < 100) {
        return false;
    }
    const int tolerance = 12 * cpeak;
    return std::abs(r * cpeak - cr * peak) <= tolerance &&
           std::abs(g * cpeak - cg * peak) <= tolerance &&
           std::abs(b * cpeak - cb * peak) <= tolerance;
}

TEST(TextColourTest, MarkupColourAndUnderlineThenTheLabelColourReturns) {
    View v(
        R"(<VerticalLayout bkcolor="#FF000000"><Button name="lic" text="<c #fee88a><u>许可协议</u></c>WWWW" showhtml="true" align="left" textcolor="#FF00FF00" height="30" /></VerticalLayout>)",
        "size=\"300,30\"");
    int yellow_left = 1000;
    int yellow_right = -1;
    int green_left = 1000;
    int longest_yellow_run = 0;
    for (int y = 0; y < 30; ++y) {
        int run = 0;
        for (int x = 0; x < 300; ++x) {
            const std::uint32_t p = v.pixel(x, y);
            if (IsTint(p, 0xFEE88A)) {
                yellow_left = std::min(yellow_left, x);
                yellow_right = std::max(yellow_right, x);
                longest_yellow_run = std::max(longest_yellow_run, ++run);
            } else {
                run = 0;
            }
            if (IsTint(p, 0x00FF00)) {
                green_left = std::min(green_left, x);
            }
        }
    }
    ASSERT_LT(yellow_left, yellow_right);
    EXPECT_GT(green_left, yellow_right); // the plain text follows in the button's colour
    // The underline runs unbroken under the whole word.
    EXPECT_GE(longest_yellow_run, (yellow_right - yellow_left) * 9 / 10);
}

TEST(ImageTest, FilesUnderTheResourcePathWithEitherSlashAndTheMask) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "png");
    DrawContext image(4, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            image.setPixel(x, y, x < 2 ? 0xFF000000u : 0xFF00FF00u);
        }
    }
    image.markDirty();
    ASSERT_TRUE(image.savePng((dir.path() / "png" / "pic.png").string()));
    SkinPackage::reset();
    SkinPackage::setResourcePath(dir.path().string());
    View v(
        R"(<HorizontalLayout bkcolor="#FFFFFFFF"><Control name="a" bkimage="png\pic.png" /><Control name="b" bkimage="file='png/pic.png' mask='#FF000000'" /></HorizontalLayout>)",
        "size=\"80,40\"");
    SkinPackage::reset();
    EXPECT_EQ(v.pixel(5, 20), 0xFF000000u);
    EXPECT_EQ(v.pixel(35, 20), 0xFF00FF00u);
    // The mask cleared the opaque black half: the white background shows.
    EXPECT_EQ(v.pixel(45, 20), 0xFFFFFFFFu);
    EXPECT_EQ(v.pixel(75, 20), 0xFF00FF00u);
}

TEST(EditTest, FocusBorrowsANativeEditThatReportsChangesAndReturn) {
    View v(
        R"(<VerticalLayout><Edit name="e" text="abc" height="30" /><Button name="b" /></VerticalLayout>)");
    auto* e = v.view.find<CEditUI>("e");
    ASSERT_NE(e, nullptr);
    v.layer().buttonDown(v.window(), {20, 15});
    v.layer().buttonUp(v.window(), {20, 15});
    const NativeWindowId edit = e->getEditWindow();
    ASSERT_NE(edit, 0u);
    EXPECT_EQ(v.layer().focus(), edit);
    EXPECT_EQ(v.layer().editText(edit), "abc");
    EXPECT_EQ(v.layer().editSelection(edit), (std::pair<int, int>{3, 3}));
    v.layer().typeIntoEdit(edit, "abcd");
    EXPECT_EQ(e->getText(), "abcd");
    v.layer().key(VK_RETURN);
    EXPECT_EQ(v.clicks.seen, (std::vector<std::string>{"textchanged", "return"}));
    // Clicking elsewhere ends the editing.
    v.layer().buttonDown(v.window(), {20, 50});
    EXPECT_EQ(e->getEditWindow(), 0u);
    EXPECT_FALSE(v.layer().exists(edit));
}

TEST(EditTest, HidingTheEditWhileEditingClosesItsNativeWindow) {
    View v(
        R"(<VerticalLayout><VerticalLayout name="panel"><Edit name="e" text="x" height="30" /></VerticalLayout><Button name="b" /></VerticalLayout>)");
    auto* e = v.view.find<CEditUI>("e");
    v.view.manager().setFocus(e);
    const NativeWindowId edit = e->getEditWindow();
    ASSERT_NE(edit, 0u);
    v.view.manager().findControlByName("panel")->setVisible(false);
    EXPECT_EQ(e->getEditWindow(), 0u);
    EXPECT_FALSE(v.layer().exists(edit));
    EXPECT_EQ(v.view.manager().getFocus(), nullptr);
}

TEST(EditTest, DisabledEditIgnoresClicks) {
    View v(
        R"(<VerticalLayout><Edit name="e" text="/opt" enabled="false" height="30" /></VerticalLayout>)");
    auto* e = v.view.find<CEditUI>("e");
    v.layer().buttonDown(v.window(), {20, 15});
    v.layer().buttonUp(v.window(), {20, 15});
    EXPECT_EQ(e->getEditWindow(), 0u);
    EXPECT_FALSE(e->isFocused());
}

} // namespace
} // namespace inkwarden

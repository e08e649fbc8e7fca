// The paint manager's runtime against the headless layer: timer ids, notifications, focus
// order, mouse routing and the layered paint.
#include "tests/support/TempDir.h"
#include "ui/controls/CButtonUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/controls/IContainerUI.h"
#include "ui/devtools/HeadlessSkinView.h"
#include "ui/draw/DrawContext.h"
#include "ui/runtime/IMessageFilterUI.h"
#include "ui/runtime/INotifyUI.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

// Records "type:sender" of every notification.
struct Recorder : INotifyUI {
    std::vector<std::string> seen;
    void notify(Notification& msg) override {
        if (msg.type == "windowinit" || msg.type == "tabselect") {
            return;
        }
        seen.push_back(msg.type + ":" + (msg.sender ? msg.sender->getName() : std::string()));
    }
};

std::string Window(const std::string& body, const std::string& attrs = "size=\"200,100\"") {
    return "<Window " + attrs + ">" + body + "</Window>";
}

struct View {
    HeadlessSkinView view;
    Recorder recorder;
    explicit View(const std::string& markup) {
        std::string error;
        EXPECT_TRUE(view.load(markup, {}, error)) << error;
        view.manager().addNotifier(&recorder);
        view.settle();
    }
    PaintManager& manager() { return view.manager(); }
    HeadlessWindowLayer& layer() { return view.layer(); }
    NativeWindowId window() const { return view.window(); }
};

TEST(PaintManagerTimerTest, NativeIdsCycleThrough255ValuesAndRevive) {
    View v(Window("<Control name=\"c\" />"));
    CControlUI* c = v.manager().findControlByName("c");
    ASSERT_NE(c, nullptr);
    std::vector<std::uintptr_t> ids;
    for (UINT key = 0; key < 255; ++key) {
        ASSERT_TRUE(v.manager().setTimer(c, key, 100)) << key;
        ids.push_back(v.manager().getTimers().back().native_id);
    }
    EXPECT_EQ(ids.front(), 17u);
    EXPECT_EQ(ids[237], 254u); // the 238th
    EXPECT_EQ(ids[238], 0u);
    EXPECT_EQ(ids[253], 15u);
    EXPECT_EQ(ids[254], 16u); // the 255th, after 15

    // Running timers cannot be set twice; a killed one comes back with its old id.
    EXPECT_FALSE(v.manager().setTimer(c, 3, 100));
    EXPECT_TRUE(v.manager().killTimer(c, 3));
    EXPECT_FALSE(v.layer().hasTimer(v.window(), ids[3]));
    EXPECT_TRUE(v.manager().setTimer(c, 3, 100));
    EXPECT_TRUE(v.layer().hasTimer(v.window(), ids[3]));

    v.manager().killTimers(c);
    EXPECT_TRUE(v.manager().getTimers().empty());
    EXPECT_FALSE(v.layer().hasTimer(v.window(), 17));
}

TEST(PaintManagerTimerTest, FiredTimerReachesItsControlAndDiesWithIt) {
    View v(Window("<VerticalLayout name=\"box\"><Control name=\"c\" /></VerticalLayout>"));
    auto* box = static_cast<IContainerUI*>(
        v.manager().findControlByName("box")->getInterface("IContainer"));
    CControlUI* c = v.manager().findControlByName("c");
    ASSERT_TRUE(v.manager().setTimer(c, 7, 50));
    v.layer().advance(50);
    ASSERT_EQ(v.recorder.seen, (std::vector<std::string>{"timer:c"}));
    // Removing the control takes its timers along.
    box->remove(c);
    EXPECT_TRUE(v.manager().getTimers().empty());
    v.layer().advance(200);
    EXPECT_EQ(v.recorder.seen.size(), 1u);
}

TEST(PaintManagerTimerTest, ATakenOutControlIsForgottenByTheManager) {
    View v(Window("<VerticalLayout name=\"box\"><Button name=\"b\" /></VerticalLayout>"));
    auto* box = static_cast<IContainerUI*>(
        v.manager().findControlByName("box")->getInterface("IContainer"));
    CControlUI* b = v.manager().findControlByName("b");
    v.layer().mouseMove(v.window(), {10, 10});
    v.manager().setFocus(b);
    ASSERT_TRUE(v.manager().setTimer(b, 1, 50));
    ASSERT_EQ(v.manager().getHot(), b);
    ASSERT_TRUE(box->remove(b, true));
    EXPECT_EQ(v.manager().getHot(), nullptr);
    EXPECT_EQ(v.manager().getFocus(), nullptr);
    EXPECT_TRUE(v.manager().getTimers().empty());
    EXPECT_EQ(v.manager().findControlByName("b"), nullptr);
    delete b;
    v.layer().mouseMove(v.window(), {12, 12});
    v.layer().advance(100);
}

TEST(PaintManagerNotifyTest, NestedSendsAreImmediateAndQueuedOnesCoalesceIntoOnePost) {
    View v(Window(
        "<HorizontalLayout><Control name=\"a\" /><Control name=\"b\" /></HorizontalLayout>"));
    CControlUI* a = v.manager().findControlByName("a");
    CControlUI* b = v.manager().findControlByName("b");
    std::vector<std::string> order;
    a->on_notify.push_back([&](Notification& msg) {
        if (msg.type != "outer") {
            return true;
        }
        order.push_back("outer begin " + msg.type);
        v.manager().sendNotify(b, "inner");
        order.push_back("outer end");
        return true;
    });
    b->on_notify.push_back([&](Notification& msg) {
        order.push_back(msg.type);
        return true;
    });
    v.manager().sendNotify(a, "outer");
    EXPECT_EQ(order, (std::vector<std::string>{"outer begin outer", "inner", "outer end"}));

    v.recorder.seen.clear();
    v.manager().sendNotify(a, "later", 1, 0, true);
    v.manager().sendNotify(a, "later", 2, 0, true);
    v.manager().sendNotify(b, "later", 3, 0, true, true);
    v.manager().sendNotify(b, "later", 4, 0, true, true);
    EXPECT_EQ(v.manager().asyncQueueSize(), 3u);
    EXPECT_EQ(v.layer().pendingPosts(), 1u);
    EXPECT_TRUE(v.recorder.seen.empty());
    EXPECT_EQ(v.layer().pump(), 1);
    EXPECT_EQ(v.recorder.seen, (std::vector<std::string>{"later:a", "later:b", "later:b"}));
    EXPECT_EQ(v.manager().asyncQueueSize(), 0u);
}

TEST(PaintManagerNotifyTest, DelayedCleanupDeletesAfterTheQueue) {
    View v(Window("<VerticalLayout name=\"box\"><Control name=\"c\" /></VerticalLayout>"));
    auto* box = static_cast<IContainerUI*>(
        v.manager().findControlByName("box")->getInterface("IContainer"));
    CControlUI* c = v.manager().findControlByName("c");
    bool destroyed = false;
    struct Probe : CControlUI {
        bool* flag;
        explicit Probe(bool* f) : flag(f) {}
        ~Probe() override { *flag = true; }
    };
    auto* probe = new Probe(&destroyed);
    box->add(probe);
    box->remove(probe, true);
    v.manager().addDelayedCleanup(probe);
    EXPECT_FALSE(destroyed);
    v.layer().pump();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(box->getItemIndex(c), 0);
}

const char* TWO_PAGES = R"(<TabLayout name="tab">
  <VerticalLayout name="page0"><Button name="b0" /><Button name="b1" /></VerticalLayout>
  <VerticalLayout name="page1"><Control name="filler" /><Button name="b2" /></VerticalLayout>
</TabLayout>)";

TEST(PaintManagerFocusTest, FirstTabStopTabOrderAndTabSwitch) {
    View v(Window(TWO_PAGES));
    // The paint after the first layout placed focus on the first tab stop.
    EXPECT_EQ(v.manager().getFocus(), v.manager().findControlByName("b0"));
    LRESULT result = 0;
    EXPECT_TRUE(v.manager().preMessageHandler(WM_KEYDOWN, VK_TAB, 0, result));
    EXPECT_EQ(v.manager().getFocus()->getName(), "b1");
    // Wraps around; Shift goes back.
    v.manager().preMessageHandler(WM_KEYDOWN, VK_TAB, 0, result);
    EXPECT_EQ(v.manager().getFocus()->getName(), "b0");
    v.manager().preMessageHandler(WM_KEYDOWN, VK_SHIFT, 0, result);
    v.manager().preMessageHandler(WM_KEYDOWN, VK_TAB, 0, result);
    v.manager().preMessageHandler(WM_KEYUP, VK_SHIFT, 0, result);
    EXPECT_EQ(v.manager().getFocus()->getName(), "b1");

    v.recorder.seen.clear();
    auto* tab = static_cast<CTabLayoutUI*>(v.manager().findControlByName("tab"));
    tab->selectItem(1);
    EXPECT_EQ(v.recorder.seen, (std::vector<std::string>{"killfocus:b1", "setfocus:page1"}));
    v.view.settle();
    EXPECT_EQ(v.recorder.seen, (std::vector<std::string>{"killfocus:b1", "setfocus:page1",
                                                         "killfocus:page1", "setfocus:b2"}));
}

TEST(PaintManagerFocusTest, TranslateMessageGivesTheWindowsManagerTheFirstLook) {
    View v(Window(TWO_PAGES));
    EXPECT_TRUE(PaintManager::translateMessage({v.window(), WM_KEYDOWN, VK_TAB, 0}));
    EXPECT_EQ(v.manager().getFocus()->getName(), "b1");
    EXPECT_FALSE(PaintManager::translateMessage({v.window(), WM_KEYDOWN, VK_SPACE, 0}));
    // A pre-message filter that handles a message ends it there.
    struct Swallow : IMessageFilterUI {
        LRESULT messageHandler(UINT message, WPARAM wparam, LPARAM, bool& handled) override {
            handled = message == WM_KEYDOWN && wparam == VK_TAB;
            return 0;
        }
    } swallow;
    v.manager().addPreMessageFilter(&swallow);
    EXPECT_TRUE(PaintManager::translateMessage({v.window(), WM_KEYDOWN, VK_TAB, 0}));
    EXPECT_EQ(v.manager().getFocus()->getName(), "b1");
    v.manager().removePreMessageFilter(&swallow);
}

TEST(PaintManagerMouseTest, HotControlEnterLeaveAndTooltip) {
    View v(Window(
        R"(<HorizontalLayout><Button name="left" tooltip="hint" /><Button name="right" /></HorizontalLayout>)"));
    auto* left = static_cast<CButtonUI*>(v.manager().findControlByName("left"));
    auto* right = static_cast<CButtonUI*>(v.manager().findControlByName("right"));
    v.layer().mouseMove(v.window(), {10, 10});
    EXPECT_EQ(v.manager().getHot(), left);
    EXPECT_TRUE(v.layer().trackedHover(v.window()).has_value());
    EXPECT_NE(left->getButtonState() & CButtonUI::STATE_HOT, 0u);
    v.layer().hover(v.window());
    EXPECT_EQ(v.layer().tooltip(v.window()), std::optional<std::string>("hint"));
    v.layer().mouseMove(v.window(), {150, 10});
    EXPECT_EQ(v.manager().getHot(), right);
    EXPECT_EQ(left->getButtonState() & CButtonUI::STATE_HOT, 0u);
    EXPECT_FALSE(v.layer().tooltip(v.window()).has_value());
    // Leaving the window (not the active one) ends the hot state.
    v.layer().setFocus(0);
    v.layer().mouseLeave(v.window());
    EXPECT_EQ(v.manager().getHot(), nullptr);
    EXPECT_EQ(right->getButtonState() & CButtonUI::STATE_HOT, 0u);
}

// A layered window whose alpha image is transparent on the left half and opaque on the right.
TEST(PaintManagerPaintTest, LayeredImageAlphaDecidesEveryPixel) {
    test::TempDir dir;
    DrawContext alpha(100, 50);
    alpha.setPixel(0, 0, 0); // keep the left half at alpha 0
    for (int y = 0; y < 50; ++y) {
        for (int x = 50; x < 100; ++x) {
            alpha.setPixel(x, y, x < 75 ? 0x80808080u : 0xFFFFFFFFu);
        }
    }
    alpha.markDirty();
    const std::string file = dir.file("alpha.png");
    ASSERT_TRUE(alpha.savePng(file));
    View v(Window("<Control name=\"c\" bkcolor=\"#FFFF0000\" />",
                  "size=\"100,50\" layeredimage=\"file='" + file + "'\" layeredopacity=\"200\""));
    ASSERT_TRUE(v.manager().usesLayeredPaint());
    EXPECT_TRUE(v.layer().hasTimer(v.window(), PaintManager::LAYERED_REPAINT_TIMER));
    const auto* presented = v.layer().presented(v.window());
    ASSERT_NE(presented, nullptr);
    EXPECT_EQ(presented->mode, PresentMode::PER_PIXEL);
    EXPECT_EQ(presented->constant_alpha, 200);
    EXPECT_EQ(v.view.pixel(10, 10), 0u);
    EXPECT_EQ(v.view.pixel(60, 10), 0x80800000u); // red times alpha 128 / 255
    EXPECT_EQ(v.view.pixel(90, 10), 0xFFFF0000u);

    // Invalidation waits for the 10 ms timer, which paints the dirty part only.
    const int count = presented->count;
    v.manager().findControlByName("c")->setBkColor(0xFF0000FF);
    EXPECT_FALSE(v.manager().getDirtyRect().isEmpty());
    EXPECT_EQ(v.layer().presented(v.window())->count, count);
    v.layer().advance(PaintManager::LAYERED_REPAINT_MS);
    EXPECT_EQ(v.layer().presented(v.window())->count, count + 1);
    EXPECT_TRUE(v.manager().getDirtyRect().isEmpty());
    EXPECT_EQ(v.view.pixel(90, 10), 0xFF0000FFu);
    EXPECT_EQ(v.view.pixel(10, 10), 0u);
}

TEST(PaintManagerPaintTest, OpaqueWindowPaintsTheUpdateRectangleAndOutlinesItWhenAsked) {
    View v(Window(
        R"(<HorizontalLayout><Control name="a" bkcolor="#FF00FF00" /><Control name="b" bkcolor="#FF0000FF" /></HorizontalLayout>)",
        "size=\"100,40\" showdirty=\"true\""));
    const auto* presented = v.layer().presented(v.window());
    ASSERT_NE(presented, nullptr);
    EXPECT_EQ(presented->mode, PresentMode::OPAQUE);
    EXPECT_EQ(v.view.pixel(25, 20), 0xFF00FF00u);
    EXPECT_EQ(v.view.pixel(0, 0), 0xFFFF0000u); // the outline of the first, whole paint
    v.layer().clearInvalidated(v.window());
    v.manager().findControlByName("b")->setBkColor(0xFFFFFF00);
    ASSERT_FALSE(v.layer().invalidated(v.window()).empty());
    v.view.paint();
    EXPECT_EQ(v.layer().presented(v.window())->area, (UiRect{50, 0, 100, 40}));
    EXPECT_EQ(v.view.pixel(75, 20), 0xFFFFFF00u);
    EXPECT_EQ(v.view.pixel(50, 20), 0xFFFF0000u); // outline of the update rectangle
}

} // namespace
} // namespace inkwarden

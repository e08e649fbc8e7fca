// Layout arithmetic of the stacking, tab and floating rules, with the numbers the
// installer's window depends on.
#include "ui/controls/CControlUI.h"
#include "ui/controls/CHorizontalLayoutUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/controls/CVerticalLayoutUI.h"
#include "ui/controls/DialogBuilder.h"
#include "ui/runtime/INotifyUI.h"
#include "ui/runtime/PaintManager.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

// Builds markup into an off-screen manager and lays it out at the given client size.
struct Built {
    PaintManager manager;
    CControlUI* root = nullptr;

    explicit Built(const std::string& markup, int cx, int cy) {
        manager.init(nullptr, "test");
        DialogBuilder builder;
        // The document element is the window; its children are the controls.
        const std::string doc =
            markup.rfind("<Window", 0) == 0 ? markup : "<Window>" + markup + "</Window>";
        root = builder.create(doc, nullptr, &manager);
        EXPECT_NE(root, nullptr) << builder.lastErrorMessage();
        manager.attachRoot(root);
        manager.layoutRoot(UiRect{0, 0, cx, cy});
    }
    UiRect pos(const char* name) {
        CControlUI* c = manager.findControlByName(name);
        EXPECT_NE(c, nullptr) << name;
        return c ? c->getPos() : UiRect{-1, -1, -1, -1};
    }
};

const char* WINDOW_FRAME = R"(<Window size="570,460">
  <VerticalLayout name="frame">
    <VerticalLayout name="inner">
      <HorizontalLayout name="title" height="35" inset="8,8,8,0">
        <Control name="filler" />
        <Button name="closebtn" width="20" height="20" padding="0,0,0,0" />
      </HorizontalLayout>
      <TabLayout name="tab" height="337" />
      <VerticalLayout name="custom" />
    </VerticalLayout>
  </VerticalLayout>
</Window>)";

TEST(LayoutTest, InstallerFrameAtFullAndFoldedHeight) {
    Built full(WINDOW_FRAME, 570, 460);
    EXPECT_EQ(full.pos("inner"), (UiRect{0, 0, 570, 460}));
    EXPECT_EQ(full.pos("title"), (UiRect{0, 0, 570, 35}));
    EXPECT_EQ(full.pos("tab"), (UiRect{0, 35, 570, 372}));
    EXPECT_EQ(full.pos("custom"), (UiRect{0, 372, 570, 460}));
    // The filler takes 554 - 20 pixels; the button sits at the row's top.
    EXPECT_EQ(full.pos("filler"), (UiRect{8, 8, 542, 35}));
    EXPECT_EQ(full.pos("closebtn"), (UiRect{542, 8, 562, 28}));

    Built folded(WINDOW_FRAME, 570, 370);
    EXPECT_EQ(folded.pos("custom"), (UiRect{0, 372, 570, 372}));
    EXPECT_EQ(folded.pos("tab"), (UiRect{0, 35, 570, 372}));
}

TEST(LayoutTest, LastAdjustableChildTakesTheRemainder) {
    Built h(R"(<HorizontalLayout>
        <Control name="a" /><Control name="fixed" width="20" /><Control name="b" />
    </HorizontalLayout>)",
            121, 50);
    EXPECT_EQ(h.pos("a"), (UiRect{0, 0, 50, 50}));
    EXPECT_EQ(h.pos("fixed"), (UiRect{50, 0, 70, 50}));
    EXPECT_EQ(h.pos("b"), (UiRect{70, 0, 121, 50}));

    Built v(R"(<VerticalLayout>
        <Control name="a" /><Control name="b" />
    </VerticalLayout>)",
            10, 101);
    EXPECT_EQ(v.pos("a"), (UiRect{0, 0, 10, 50}));
    EXPECT_EQ(v.pos("b"), (UiRect{0, 50, 10, 101}));
}

TEST(LayoutTest, HorizontalRowRules) {
    // A 16-high child in a 50-high row sits at the top; a button without a width is
    // adjustable although its text has a natural width; padding and child padding count.
    Built h(R"(<HorizontalLayout childpadding="5">
        <Label name="label" text="a label text" height="16" padding="3,0,2,0" />
        <Button name="button" text="a rather long button text" />
        <Control name="fixed" width="30" />
    </HorizontalLayout>)",
            200, 50);
    // fixed total = 30 + 2 * 5 + 5 (label padding) = 45; 155 split 77 and 78.
    EXPECT_EQ(h.pos("label"), (UiRect{3, 0, 80, 16}));
    EXPECT_EQ(h.pos("button"), (UiRect{87, 0, 165, 50}));
    EXPECT_EQ(h.pos("fixed"), (UiRect{170, 0, 200, 50}));
}

TEST(LayoutTest, AlignmentMinMaxAndOverflow) {
    Built v(R"(<VerticalLayout childalign="center" inset="10,10,10,10">
        <Control name="narrow" width="40" height="10" />
        <Control name="clamped" height="5" minheight="12" maxwidth="50" />
        <Control name="tall" height="500" />
    </VerticalLayout>)",
            200, 100);
    // inner is (10,10,190,90): center = 100 - 20.
    EXPECT_EQ(v.pos("narrow"), (UiRect{80, 10, 120, 20}));
    EXPECT_EQ(v.pos("clamped"), (UiRect{75, 20, 125, 32}));
    // A fixed size that does not fit overflows.
    EXPECT_EQ(v.pos("tall"), (UiRect{10, 32, 190, 532}));

    Built h(R"(<HorizontalLayout childvalign="bottom">
        <Control name="low" width="10" height="10" padding="0,0,0,4" />
        <Control name="mid" width="10" height="10" />
    </HorizontalLayout>)",
            100, 50);
    EXPECT_EQ(h.pos("low"), (UiRect{0, 36, 10, 46}));
    EXPECT_EQ(h.pos("mid"), (UiRect{10, 40, 20, 50}));
}

TEST(LayoutTest, FloatingChildren) {
    Built b(R"(<VerticalLayout>
        <Control height="372" />
        <VerticalLayout name="box" inset="5,5,5,5">
            <Control name="pic" width="479" height="218" pos="35,36" float="true" />
            <Control name="stacked" height="10" />
            <Control name="pct" float="0.5,0.5,1,1" />
        </VerticalLayout>
    </VerticalLayout>)",
            570, 460);
    EXPECT_EQ(b.pos("box"), (UiRect{0, 372, 570, 460}));
    // The parent's rectangle, not its inset, is the frame; padding does not apply.
    EXPECT_EQ(b.pos("pic"), (UiRect{35, 408, 514, 626}));
    EXPECT_EQ(b.pos("stacked"), (UiRect{5, 377, 565, 387}));
    EXPECT_EQ(b.pos("pct"), (UiRect{285, 416, 570, 460}));
    CControlUI* pic = b.manager.findControlByName("pic");
    EXPECT_EQ(pic->getFixedXY(), (UiPoint{35, 36}));
    EXPECT_EQ(pic->getFixedWidth(), 479);
}

TEST(LayoutTest, HiddenChildrenTakeNoSpace) {
    Built h(R"(<HorizontalLayout>
        <Control name="a" width="10" />
        <Control name="gone" width="40" visible="false" />
        <Control name="b" />
    </HorizontalLayout>)",
            100, 20);
    EXPECT_EQ(h.pos("b"), (UiRect{10, 0, 100, 20}));
    h.manager.findControlByName("gone")->setVisible(true);
    EXPECT_TRUE(h.root->isUpdateNeeded());
    h.manager.layoutRoot(UiRect{0, 0, 100, 20});
    EXPECT_EQ(h.pos("gone"), (UiRect{10, 0, 50, 20}));
    EXPECT_EQ(h.pos("b"), (UiRect{50, 0, 100, 20}));
}

TEST(LayoutTest, TabPlacesOnlyTheSelectedPage) {
    Built t(R"(<TabLayout name="tab" inset="1,2,3,4">
        <VerticalLayout name="p0"><Control name="c0" height="7" /></VerticalLayout>
        <VerticalLayout name="p1" padding="10,10,10,10" width="50" />
    </TabLayout>)",
            200, 100);
    EXPECT_EQ(t.pos("p0"), (UiRect{1, 2, 197, 96}));
    EXPECT_EQ(t.pos("c0"), (UiRect{1, 2, 197, 9}));
    auto* tab = static_cast<CTabLayoutUI*>(t.manager.findControlByName("tab"));
    ASSERT_TRUE(tab->selectItem(1, false));
    t.manager.layoutRoot(UiRect{0, 0, 200, 100});
    EXPECT_EQ(t.pos("p1"), (UiRect{11, 12, 61, 86}));
    // A page that is hidden also hides its children, whose own flags stay set.
    CControlUI* c0 = t.manager.findControlByName("c0");
    EXPECT_FALSE(c0->isVisible());
    EXPECT_TRUE(c0->isOwnVisible());
}

struct Recorder : INotifyUI {
    std::vector<Notification> seen;
    void notify(Notification& msg) override { seen.push_back(msg); }
};

TEST(LayoutTest, TabSelectionAndNotifications) {
    PaintManager manager;
    manager.init(nullptr);
    auto* tab = new CTabLayoutUI;
    for (int i = 0; i < 4; ++i) {
        tab->add(new CVerticalLayoutUI);
    }
    manager.attachRoot(tab);
    Recorder recorder;
    manager.addNotifier(&recorder);

    EXPECT_EQ(tab->getCurSel(), 0);
    EXPECT_TRUE(tab->getItemAt(0)->isOwnVisible());
    EXPECT_FALSE(tab->getItemAt(1)->isOwnVisible());

    ASSERT_TRUE(tab->selectItem(2));
    std::vector<Notification> tabselects;
    for (const Notification& n : recorder.seen) {
        if (n.type == "tabselect") {
            tabselects.push_back(n);
        }
    }
    ASSERT_EQ(tabselects.size(), 1u);
    EXPECT_EQ(tabselects[0].sender, tab);
    EXPECT_EQ(tabselects[0].wparam, 2);
    EXPECT_EQ(tabselects[0].lparam, 0);
    EXPECT_TRUE(tab->getItemAt(2)->isOwnVisible());
    EXPECT_FALSE(tab->getItemAt(0)->isOwnVisible());

    recorder.seen.clear();
    EXPECT_TRUE(tab->selectItem(2));
    EXPECT_TRUE(recorder.seen.empty());
    EXPECT_FALSE(tab->selectItem(7));
    EXPECT_FALSE(tab->selectItem(-1));
    EXPECT_EQ(tab->getCurSel(), 2);
    manager.removeNotifier(&recorder);
}

TEST(LayoutTest, TabAddAndRemoveKeepTheSelection) {
    CTabLayoutUI tab;
    for (int i = 0; i < 3; ++i) {
        tab.add(new CVerticalLayoutUI);
    }
    ASSERT_TRUE(tab.selectItem(1, false));
    // Removing the selected page of three selects page 0 and shows it.
    tab.removeAt(1);
    EXPECT_EQ(tab.getCount(), 2);
    EXPECT_EQ(tab.getCurSel(), 0);
    EXPECT_TRUE(tab.getItemAt(0)->isOwnVisible());

    // Inserting before the selection moves it up; removing before moves it down.
    tab.selectItem(1, false);
    auto* front = new CVerticalLayoutUI;
    tab.addAt(front, 0);
    EXPECT_EQ(tab.getCurSel(), 2);
    EXPECT_FALSE(front->isOwnVisible());
    tab.remove(front);
    EXPECT_EQ(tab.getCurSel(), 1);

    tab.removeAll();
    EXPECT_EQ(tab.getCurSel(), -1);
    // With nothing selected a visible new page becomes the selection.
    tab.add(new CVerticalLayoutUI);
    EXPECT_EQ(tab.getCurSel(), 0);
}

TEST(LayoutTest, MovingAControlInvalidatesOldAndNewArea) {
    Built b(R"(<VerticalLayout name="root">
        <HorizontalLayout name="box" height="50" width="100">
            <Control name="c" width="10" height="10" />
        </HorizontalLayout>
    </VerticalLayout>)",
            200, 200);
    b.manager.clearDirtyRect();
    CControlUI* c = b.manager.findControlByName("c");
    c->setPos(UiRect{20, 20, 30, 30}, true);
    EXPECT_EQ(b.manager.getDirtyRect(), (UiRect{0, 0, 30, 30}));
    // Clipped by the ancestors: the part outside the box is not invalidated.
    b.manager.clearDirtyRect();
    c->setPos(UiRect{90, 40, 150, 80}, true);
    EXPECT_EQ(b.manager.getDirtyRect(), (UiRect{20, 20, 100, 50}));
    // Nothing for a control inside a hidden container.
    b.manager.clearDirtyRect();
    b.manager.findControlByName("box")->setVisible(false);
    b.manager.clearDirtyRect();
    c->setPos(UiRect{0, 0, 5, 5}, true);
    EXPECT_TRUE(b.manager.getDirtyRect().isEmpty());
}

} // namespace
} // namespace inkwarden

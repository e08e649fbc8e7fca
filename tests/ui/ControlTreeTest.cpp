// The control tree walk that the paint manager and the tools share, and the stacking that
// rows and columns share: a row is a column turned on its side.
#include "ui/controls/CContainerUI.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/DialogBuilder.h"
#include "ui/controls/ForEachControl.h"
#include "ui/runtime/PaintManager.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

// root(a(a1, a2), b, c(c1))
std::unique_ptr<CContainerUI> SmallTree() {
    auto root = std::make_unique<CContainerUI>();
    root->setName("root");
    auto add = [](CContainerUI* parent, CControlUI* child, const char* name) {
        child->setName(name);
        parent->add(child);
        return child;
    };
    auto* a = static_cast<CContainerUI*>(add(root.get(), new CContainerUI, "a"));
    add(a, new CControlUI, "a1");
    add(a, new CControlUI, "a2");
    add(root.get(), new CControlUI, "b");
    auto* c = static_cast<CContainerUI*>(add(root.get(), new CContainerUI, "c"));
    add(c, new CControlUI, "c1");
    return root;
}

TEST(ControlTreeWalkTest, OrderDepthSkipAndStop) {
    auto root = SmallTree();
    std::string seen;
    EXPECT_TRUE(ForEachControl(root.get(), [&](CControlUI* c, int depth) {
        seen += c->getName() + std::to_string(depth) + " ";
    }));
    EXPECT_EQ(seen, "root0 a1 a12 a22 b1 c1 c12 ");

    // Each control still comes before its children, the last child first.
    seen.clear();
    ForEachControl(
        root.get(), [&](CControlUI* c) { seen += c->getName() + " "; }, ChildOrder::LAST_TO_FIRST);
    EXPECT_EQ(seen, "root c c1 b a a2 a1 ");

    seen.clear();
    ForEachControl(root.get(), [&](CControlUI* c) {
        seen += c->getName() + " ";
        return c->getName() == "a" ? VisitResult::SKIP_CHILDREN : VisitResult::CONTINUE;
    });
    EXPECT_EQ(seen, "root a b c c1 ");

    seen.clear();
    EXPECT_FALSE(ForEachControl(root.get(), [&](CControlUI* c) {
        seen += c->getName() + " ";
        return c->getName() == "b" ? VisitResult::STOP : VisitResult::CONTINUE;
    }));
    EXPECT_EQ(seen, "root a a1 a2 b ");

    EXPECT_TRUE(ForEachControl(nullptr, [&](CControlUI*) { ADD_FAILURE(); }));
}

// Lays markup out off-screen and lists each named control's rectangle, transposed when asked.
std::vector<UiRect> Layout(const std::string& markup, UiSize size, bool transpose) {
    PaintManager manager;
    manager.init(nullptr, "test");
    DialogBuilder builder;
    CControlUI* root = builder.create("<Window>" + markup + "</Window>", nullptr, &manager);
    EXPECT_NE(root, nullptr) << builder.lastErrorMessage();
    manager.attachRoot(root);
    manager.layoutRoot(UiRect{0, 0, size.cx, size.cy});
    std::vector<UiRect> rects;
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        const CControlUI* c = manager.findControlByName(name);
        EXPECT_NE(c, nullptr) << name;
        const UiRect r = c != nullptr ? c->getPos() : UiRect{};
        rects.push_back(transpose ? UiRect{r.top, r.left, r.bottom, r.right} : r);
    }
    return rects;
}

TEST(StackLayoutTest, RowIsTheColumnTurnedOnItsSide) {
    // Fixed, clamped and adjustable children with padding, child padding, an inset and
    // centred alignment across; the row takes every value with its axes swapped.
    const std::vector<UiRect> column =
        Layout(R"(<VerticalLayout childpadding="3" inset="2,4,6,8" childalign="center">
            <Control name="a" height="20" width="30" padding="1,2,3,4" />
            <Control name="b" minheight="15" maxwidth="50" />
            <Control name="c" maxheight="10" />
            <Control name="d" height="12" padding="5,0,0,7" />
            <Control name="e" minwidth="500" />
        </VerticalLayout>)",
               UiSize{120, 150}, false);
    const std::vector<UiRect> row =
        Layout(R"(<HorizontalLayout childpadding="3" inset="4,2,8,6" childvalign="vcenter">
            <Control name="a" width="20" height="30" padding="2,1,4,3" />
            <Control name="b" minwidth="15" maxheight="50" />
            <Control name="c" maxwidth="10" />
            <Control name="d" width="12" padding="0,5,7,0" />
            <Control name="e" minheight="500" />
        </HorizontalLayout>)",
               UiSize{150, 120}, true);
    EXPECT_EQ(column, row);
    // The column itself, inside (2,4,114,142): 2 + 20 + 4 and 12 + 7 fixed, four gaps of 3,
    // so the three adjustable children get (138 - 57) / 3 = 27 each; c is cut to its
    // maximum and e, the last, takes what is left. Centred across, e's minimum overflows.
    EXPECT_EQ(column[0], (UiRect{43, 6, 73, 26}));
    EXPECT_EQ(column[1], (UiRect{33, 33, 83, 60}));
    EXPECT_EQ(column[2], (UiRect{2, 63, 114, 73}));
    EXPECT_EQ(column[3], (UiRect{5, 76, 112, 88}));
    EXPECT_EQ(column[4], (UiRect{-192, 98, 308, 142}));
}

} // namespace
} // namespace inkwarden

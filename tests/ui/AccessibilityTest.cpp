// The window's controls as a screen reader gets them, on the headless layer: the tree of the
// installer's skin, the naming and role rules, the default action, what is announced, and
// the focus ring that keyboard focus shows.
#include "tests/support/TestLanguage.h"
#include "ui/controls/CCheckBoxUI.h"
#include "ui/controls/CContainerUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/devtools/HeadlessSkinView.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"
#include "ui/native/AccessibleTreeDump.h"
#include "ui/runtime/INotifyUI.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

using Kind = AccessibleEvent::Kind;

struct Seen : INotifyUI {
    std::vector<std::string> types;
    void notify(Notification& msg) override { types.push_back(msg.type); }
};

// A skin in a headless window, with its accessible tree at hand.
struct AccessibleView {
    HeadlessSkinView view;

    IAccessibleTree& tree() { return *view.layer().accessibleTree(view.window()); }
    AccessibleId id(const char* name) {
        return view.manager().getAccessibility().idOf(view.manager().findControlByName(name));
    }
    AccessibleNode node(const char* name) { return tree().describe(id(name)).value(); }
    bool showing(const char* name) {
        // Reachable from the root through the children that show.
        const AccessibleId wanted = id(name);
        std::vector<AccessibleId> stack{tree().root()};
        while (!stack.empty()) {
            const AccessibleId at = stack.back();
            stack.pop_back();
            if (at == wanted) {
                return true;
            }
            for (AccessibleId child : tree().children(at)) {
                stack.push_back(child);
            }
        }
        return false;
    }
    const std::vector<AccessibleEvent>& events() {
        return view.layer().accessibleEvents(view.window());
    }
    bool announced(const AccessibleEvent& wanted) {
        return std::find(events().begin(), events().end(), wanted) != events().end();
    }
    AccessibleEvent state(const char* name, unsigned state, bool on) {
        AccessibleEvent e;
        e.kind = Kind::STATE;
        e.node = id(name);
        e.state = state;
        e.on = on;
        return e;
    }
};

// The installer's skin as a Chinese desktop shows it.
struct InstallerTree : ::testing::Test, AccessibleView {
    Seen seen;
    void SetUp() override {
        ASSERT_EQ(test::UseLocale("zh_CN.UTF-8"), "zh_CN");
        SkinPackage::reset();
        SkinPackage::setResourceZipMemory(ModuleResources::find("ZIPRES", 105));
        std::string error;
        ASSERT_TRUE(view.load("main_frame.xml", {}, error)) << error;
        view.manager().addNotifier(&seen);
        // Keys reach the window, and Tab the manager, as in the message loop.
        view.layer().setPreTranslateHook(&PaintManager::translateMessage);
        view.layer().setFocus(view.window());
        view.settle();
        ASSERT_NE(view.layer().accessibleTree(view.window()), nullptr);
    }
    void TearDown() override {
        SkinPackage::reset();
        test::UseLocale("C.UTF-8");
    }
    UiPoint centre(const char* name) {
        const UiRect r = view.manager().findControlByName(name)->getPos();
        return UiPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void repaint() { view.layer().advance(PaintManager::LAYERED_REPAINT_MS); }
};

TEST_F(InstallerTree, EveryControlOfTheFirstPageWithRoleNameAndStates) {
    const unsigned shown = ACCESSIBLE_ENABLED | ACCESSIBLE_SHOWING;
    struct Expected {
        const char* name;
        AccessibleRole role;
        const char* accessible_name;
        unsigned states;
    } const expected[] = {
        {"closebtn", AccessibleRole::PUSH_BUTTON, "关闭", shown | ACCESSIBLE_FOCUSABLE},
        {"tab_page", AccessibleRole::PAGE_TAB_LIST, "安装步骤", shown},
        // Words painted into the image: the skin's accessible name.
        {"btn_install_start", AccessibleRole::PUSH_BUTTON, "立即安装",
         shown | ACCESSIBLE_FOCUSABLE},
        {"btn_check_agree", AccessibleRole::CHECK_BOX, "同意墨守精灵的",
         shown | ACCESSIBLE_FOCUSABLE | ACCESSIBLE_CHECKABLE},
        // Underlined markup text: a link named by its words without the tags.
        {"btn_install_license", AccessibleRole::LINK, "许可协议", shown | ACCESSIBLE_FOCUSABLE},
        {"btn_install_custom", AccessibleRole::PUSH_BUTTON, "自定义", shown | ACCESSIBLE_FOCUSABLE},
        // The field is named after its label; its words are its text. It is disabled.
        {"install_path", AccessibleRole::TEXT_ENTRY, "安装目录",
         ACCESSIBLE_SHOWING | ACCESSIBLE_SINGLE_LINE},
        {"btn_check_startup_lnk", AccessibleRole::CHECK_BOX, "添加到应用程序菜单",
         shown | ACCESSIBLE_FOCUSABLE | ACCESSIBLE_CHECKABLE},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(showing(e.name));
        const AccessibleNode n = node(e.name);
        EXPECT_EQ(n.role, e.role);
        EXPECT_EQ(n.name, e.accessible_name);
        EXPECT_EQ(n.states & ~ACCESSIBLE_FOCUSED, e.states);
        EXPECT_EQ(n.id, e.name);
        EXPECT_EQ(n.bounds, view.manager().findControlByName(e.name)->getPos());
    }
    EXPECT_EQ(node("install_path").text, "/opt/Inkwarden");
    EXPECT_EQ(node("btn_install_start").action, "click");
    EXPECT_EQ(tree().root(), id("frame"));
    // The title painted into the window's background names the whole.
    EXPECT_EQ(node("frame").role, AccessibleRole::PANEL);
    EXPECT_EQ(node("frame").name, "墨守精灵 安装程序");
    EXPECT_EQ(tree().parent(id("frame")), 0u);
    // Only the page on show is in the tree, as the selected page tab.
    const std::vector<AccessibleId> pages = tree().children(id("tab_page"));
    ASSERT_EQ(pages.size(), 1u);
    const AccessibleNode page = tree().describe(pages[0]).value();
    EXPECT_EQ(page.role, AccessibleRole::PAGE_TAB);
    EXPECT_EQ(page.name, "安装设置");
    EXPECT_NE(page.states & ACCESSIBLE_SELECTED, 0u);
    for (const char* hidden : {"btn_install_finish", "btn_install_retry", "progress"}) {
        EXPECT_FALSE(showing(hidden)) << hidden;
    }
    // The focus starts on the first tab stop, and the tree says so.
    EXPECT_EQ(tree().focused(), id("closebtn"));
    EXPECT_NE(DumpAccessibleTree(tree()).find(
                  "push button \"立即安装\" id=btn_install_start [enabled focusable showing] "
                  "action=click"),
              std::string::npos)
        << DumpAccessibleTree(tree());
}

TEST_F(InstallerTree, DefaultActionDoesWhatAClickDoes) {
    // The licence box (the skin leaves it clear; the installer's window ticks it): the same
    // notifications as a click, and the box toggles.
    seen.types.clear();
    ASSERT_TRUE(tree().doDefaultAction(id("btn_check_agree")));
    EXPECT_EQ(seen.types, (std::vector<std::string>{"click", "selectchanged"}));
    EXPECT_NE(node("btn_check_agree").states & ACCESSIBLE_CHECKED, 0u);
    ASSERT_TRUE(tree().doDefaultAction(id("btn_check_agree")));
    EXPECT_EQ(node("btn_check_agree").states & ACCESSIBLE_CHECKED, 0u);
    // A disabled control, a control without an action and a node that is gone refuse.
    view.manager().findControlByName("btn_install_start")->setEnabled(false);
    EXPECT_FALSE(tree().doDefaultAction(id("btn_install_start")));
    EXPECT_FALSE(tree().doDefaultAction(id("install_path")));
    EXPECT_FALSE(tree().doDefaultAction(987654));
    EXPECT_EQ(std::count(seen.types.begin(), seen.types.end(), "click"), 2);
}

TEST_F(InstallerTree, ChangesAreAnnouncedAfterThePaintInOrder) {
    ASSERT_TRUE(view.layer().listenToAccessibility(view.window()));
    auto* box = static_cast<CCheckBoxUI*>(view.manager().findControlByName("btn_check_agree"));
    box->selected(true);
    view.manager().findControlByName("btn_install_start")->setEnabled(false);
    EXPECT_TRUE(events().empty()) << "nothing before the paint";
    repaint();
    EXPECT_TRUE(announced(state("btn_check_agree", ACCESSIBLE_CHECKED, true)));
    EXPECT_TRUE(announced(state("btn_install_start", ACCESSIBLE_ENABLED, false)));
    EXPECT_TRUE(announced(state("btn_install_start", ACCESSIBLE_FOCUSABLE, false)));

    // Focus: the old control loses it before the new one gains it.
    view.layer().clearAccessibleEvents(view.window());
    view.layer().key(VK_TAB);
    repaint();
    ASSERT_GE(events().size(), 2u);
    EXPECT_EQ(events()[events().size() - 2], state("closebtn", ACCESSIBLE_FOCUSED, false));
    EXPECT_EQ(events().back(), state("btn_check_agree", ACCESSIBLE_FOCUSED, true));

    // Another page: its tab replaces the old one under the tab list; the name changes too.
    view.layer().clearAccessibleEvents(view.window());
    auto* tab = static_cast<CTabLayoutUI*>(view.manager().findControlByName("tab_page"));
    const AccessibleId old_page = tree().children(id("tab_page")).at(0);
    ASSERT_TRUE(tab->selectItem(2));
    view.manager().findControlByName("btn_install_finish")->setText("开始使用");
    repaint();
    const AccessibleId new_page = tree().children(id("tab_page")).at(0);
    AccessibleEvent removed{Kind::CHILD_REMOVED, id("tab_page"), old_page, 0, 0, false};
    AccessibleEvent added{Kind::CHILD_ADDED, id("tab_page"), new_page, 0, 0, false};
    ASSERT_GE(events().size(), 2u);
    EXPECT_EQ(events()[0], removed);
    EXPECT_EQ(events()[1], added);
    EXPECT_EQ(node("btn_install_finish").name, "开始使用");
    // The newly shown button's own change comes through its page, not as a name event.
    AccessibleEvent renamed{Kind::NAME, id("btn_install_finish"), 0, 0, 0, false};
    EXPECT_FALSE(announced(renamed));

    // A control that is destroyed is announced gone, and its id stays dead.
    view.layer().clearAccessibleEvents(view.window());
    const AccessibleId finish = id("btn_install_finish");
    CControlUI* button = view.manager().findControlByName("btn_install_finish");
    auto* row = static_cast<CContainerUI*>(button->getParent());
    ASSERT_TRUE(row->remove(button));
    AccessibleEvent gone{Kind::GONE, finish, 0, 0, 0, false};
    EXPECT_TRUE(announced(gone));
    EXPECT_FALSE(tree().describe(finish));
    EXPECT_FALSE(tree().doDefaultAction(finish));
}

TEST_F(InstallerTree, FocusRingAfterTabNotAfterAClick) {
    const HeadlessWindowLayer::Presented before = *view.layer().presented(view.window());
    view.layer().key(VK_TAB);
    repaint();
    ASSERT_EQ(view.manager().getFocus(), view.manager().findControlByName("btn_install_start"));
    EXPECT_TRUE(view.manager().isFocusRingShown());
    // Every changed pixel lies in the ring around the button: the button is unchanged.
    const UiRect box = view.manager().findControlByName("btn_install_start")->getPos();
    const UiRect ring = PaintManager::focusRingRect(view.manager().getFocus());
    const HeadlessWindowLayer::Presented& tabbed = *view.layer().presented(view.window());
    int changed = 0;
    for (int y = 0; y < before.height; ++y) {
        for (int x = 0; x < before.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * before.width + x;
            if (before.pixels[i] == tabbed.pixels[i]) {
                continue;
            }
            ++changed;
            ASSERT_TRUE(ring.contains({x, y}) && !box.contains({x, y})) << x << "," << y;
        }
    }
    // The outer band in the skin's ring colour, the inner line in its second colour.
    EXPECT_EQ(view.pixel(ring.left, ring.top + 8), 0xFFFEE88Au);
    EXPECT_EQ(view.pixel(box.left - 1, box.top + 8), 0xFF123A8Cu);
    EXPECT_GT(changed, 2 * (ring.width() + ring.height()));

    // A click elsewhere takes the ring away: the window looks as before the Tab.
    const UiPoint logo{280, 140};
    view.layer().buttonDown(view.window(), logo);
    view.layer().buttonUp(view.window(), logo);
    repaint();
    EXPECT_FALSE(view.manager().isFocusRingShown());
    EXPECT_EQ(view.layer().presented(view.window())->pixels, before.pixels);

    // A screen reader's focus is keyboard focus: the ring shows on that control.
    ASSERT_TRUE(tree().grabFocus(id("btn_dir_select")));
    repaint();
    EXPECT_EQ(tree().focused(), id("btn_dir_select"));
    EXPECT_TRUE(view.manager().isFocusRingShown());
    EXPECT_FALSE(tree().grabFocus(id("install_path"))) << "a disabled field takes no focus";
}

TEST_F(InstallerTree, HitTestFindsTheDeepestControlThatShows) {
    EXPECT_EQ(tree().hitTest(centre("btn_install_start")), id("btn_install_start"));
    EXPECT_EQ(tree().hitTest(centre("btn_check_agree")), id("btn_check_agree"));
    EXPECT_EQ(tree().hitTest({-5, 10}), 0u);
}

// Names and roles of controls outside the installer's skin.
struct MarkupTree : ::testing::Test, AccessibleView {
    void load(const std::string& body) {
        std::string error;
        ASSERT_TRUE(view.load("<Window size=\"300,200\"><VerticalLayout name=\"root\">" + body +
                                  "</VerticalLayout></Window>",
                              {}, error))
            << error;
        view.settle();
    }
};

TEST_F(MarkupTree, NamesComeFromTextThenTooltipThenTheAttribute) {
    PaintManager::setMultiLanguageString(7, "从表中");
    load("<Button name=\"text\" text=\"文字\" tooltip=\"提示\" accessiblename=\"名\" />"
         "<Button name=\"tip\" tooltip=\"提示\" accessiblename=\"名\" />"
         "<Button name=\"attr\" accessiblename=\"名\" />"
         "<Button name=\"none\" />"
         "<Label name=\"markup\" showhtml=\"true\" text=\"<b>粗</b>体\" />"
         "<Label name=\"table\" text=\"%{7}\" />"
         "<Edit name=\"field\" text=\"内容\" password=\"true\" />");
    EXPECT_EQ(node("table").name, "从表中");
    PaintManager::removeAllMultiLanguageStrings();
    EXPECT_EQ(node("text").name, "文字");
    EXPECT_EQ(node("tip").name, "提示");
    EXPECT_EQ(node("attr").name, "名");
    EXPECT_EQ(node("none").name, "");
    EXPECT_EQ(node("markup").name, "粗体");
    EXPECT_EQ(node("markup").text, "粗体");
    // A password field reads as its mask, one character per character.
    EXPECT_EQ(node("field").text, "**");
}

TEST_F(MarkupTree, RolesFollowTheControlsAndTheirMarkup) {
    load("<Control name=\"filler\" />"
         "<Control name=\"picture\" bkimage=\"color='#FF0000FF'\" />"
         "<Option name=\"one\" group=\"g\" text=\"一\" selected=\"true\" />"
         "<Option name=\"toggle\" text=\"开关\" />"
         "<Button name=\"link\" showhtml=\"true\" text=\"<a>链接</a>\" />"
         "<Button name=\"bold\" showhtml=\"true\" text=\"<u>下划</u><b>粗</b>\" />"
         "<Progress name=\"bar\" min=\"0\" max=\"1000\" value=\"250\" />"
         "<TabLayout name=\"tabs\"><Label name=\"page\" text=\"页\" /></TabLayout>");
    EXPECT_EQ(node("filler").role, AccessibleRole::FILLER);
    EXPECT_EQ(node("picture").role, AccessibleRole::IMAGE);
    EXPECT_EQ(node("one").role, AccessibleRole::RADIO_BUTTON);
    EXPECT_NE(node("one").states & ACCESSIBLE_CHECKED, 0u);
    EXPECT_EQ(node("toggle").role, AccessibleRole::TOGGLE_BUTTON);
    EXPECT_EQ(node("toggle").states & ACCESSIBLE_CHECKED, 0u);
    EXPECT_EQ(node("link").role, AccessibleRole::LINK);
    EXPECT_EQ(node("bold").role, AccessibleRole::PUSH_BUTTON) << "partly underlined is no link";
    EXPECT_EQ(node("bar").role, AccessibleRole::PROGRESS_BAR);
    EXPECT_EQ(node("bar").value, (AccessibleValue{0, 1000, 250}));
    EXPECT_EQ(node("tabs").role, AccessibleRole::PAGE_TAB_LIST);
    EXPECT_EQ(node("page").role, AccessibleRole::PAGE_TAB);
    EXPECT_EQ(node("page").states & (ACCESSIBLE_SELECTABLE | ACCESSIBLE_SELECTED),
              ACCESSIBLE_SELECTABLE | ACCESSIBLE_SELECTED);
    EXPECT_EQ(node("root").role, AccessibleRole::PANEL);
}

} // namespace
} // namespace inkwarden

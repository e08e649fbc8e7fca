// Where keys, focus and the mouse capture go, driven as the desktop delivers input: through
// the message loop's first look (translateMessage) and the window's messages.
#include "ui/controls/COptionUI.h"
#include "ui/controls/IContainerUI.h"
#include "ui/devtools/HeadlessSkinView.h"
#include "ui/runtime/IMessageFilterUI.h"
#include "ui/runtime/INotifyUI.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

// Records the senders of clicks.
struct Recorder : INotifyUI {
    std::vector<std::string> clicked;
    void notify(Notification& msg) override {
        if (msg.type == "click") {
            clicked.push_back(msg.sender ? msg.sender->getName() : std::string());
        }
    }
};

// A skin in a headless window whose message loop gives the managers the first look.
struct View {
    HeadlessSkinView view;
    Recorder recorder;
    explicit View(const std::string& body, const std::string& size = "200,100") {
        std::string error;
        EXPECT_TRUE(view.load("<Window size=\"" + size + "\">" + body + "</Window>", {}, error))
            << error;
        view.layer().setPreTranslateHook(
            [](const NativeMessage& msg) { return PaintManager::translateMessage(msg); });
        view.manager().addNotifier(&recorder);
        view.settle();
        view.layer().setFocus(view.window());
    }
    PaintManager& manager() { return view.manager(); }
    HeadlessWindowLayer& layer() { return view.layer(); }
    NativeWindowId window() const { return view.window(); }
    std::string focused() {
        CControlUI* c = manager().getFocus();
        return c != nullptr ? c->getName() : "(none)";
    }
    // Tab (with Shift when asked) as the keyboard sends it.
    void tab(bool shift = false) {
        if (shift) {
            layer().send(window(), WM_KEYDOWN, VK_SHIFT, 0);
        }
        layer().key(VK_TAB);
        if (shift) {
            layer().send(window(), WM_KEYUP, VK_SHIFT, 0);
        }
    }
};

TEST(InputRouterFocusTest, TabVisitsEachKeyboardControlOnceAndPassesOverDisabledAndHidden) {
    View v(R"(<VerticalLayout>
        <Button name="first" />
        <Button name="disabled" enabled="false" />
        <VerticalLayout name="hidden" visible="false"><Button name="in_hidden" /></VerticalLayout>
        <Label name="words" text="not a stop" />
        <Option name="box" />
        <Button name="arrow" keyboard="false" />
        <VerticalLayout name="off" enabled="false"><Button name="in_disabled" /></VerticalLayout>
        <Button name="last" />
    </VerticalLayout>)",
           "200,400");
    ASSERT_EQ(v.focused(), "first");
    std::vector<std::string> order;
    for (int i = 0; i < 4; ++i) {
        v.tab();
        order.push_back(v.focused());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"box", "last", "first", "box"}));
    v.tab(true);
    v.tab(true);
    EXPECT_EQ(v.focused(), "last");

    // A control that becomes a stop (or stops being one) counts at the next Tab.
    v.manager().findControlByName("hidden")->setVisible(true);
    v.manager().findControlByName("box")->setEnabled(false);
    v.view.settle();
    order.clear();
    for (int i = 0; i < 3; ++i) {
        v.tab();
        order.push_back(v.focused());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"first", "in_hidden", "last"}));
}

TEST(InputRouterKeyTest, KeysGoToTheFocusedControlAndTheWindowTakesReturnFirst) {
    View v(R"(<VerticalLayout><Option name="box" /><Button name="start" /></VerticalLayout>)");
    auto* box = static_cast<COptionUI*>(v.manager().findControlByName("box"));
    ASSERT_EQ(v.focused(), "box");
    // The window's own look at Return: the page's default button, wherever the focus is.
    struct DefaultButton : IMessageFilterUI {
        PaintManager* manager = nullptr;
        LRESULT messageHandler(UINT message, WPARAM wparam, LPARAM, bool& handled) override {
            if (message == WM_KEYDOWN && wparam == VK_RETURN) {
                manager->findControlByName("start")->activate();
                handled = true;
            }
            return 0;
        }
    } default_button;
    default_button.manager = &v.manager();
    v.manager().addPreMessageFilter(&default_button);

    v.layer().key(VK_SPACE, ' ');
    EXPECT_TRUE(box->isSelected());
    v.layer().key(VK_RETURN);
    EXPECT_TRUE(box->isSelected()) << "Return reached the focused box too";
    EXPECT_EQ(v.recorder.clicked, (std::vector<std::string>{"box", "start"}));

    // Key-up goes to the control that had the key-down, even when focus moved between.
    struct KeyProbe : CControlUI {
        std::vector<UiEventKind> kinds;
        unsigned getControlFlags() const override { return FLAG_TAB_STOP; }
        void doEvent(UiEvent& event) override {
            if (event.kind == UiEventKind::KEYDOWN || event.kind == UiEventKind::KEYUP ||
                event.kind == UiEventKind::CHAR) {
                kinds.push_back(event.kind);
            }
            CControlUI::doEvent(event);
        }
    };
    auto* probe = new KeyProbe;
    auto* list = static_cast<IContainerUI*>(v.manager().getRoot()->getInterface("IContainer"));
    ASSERT_TRUE(list->add(probe));
    v.view.settle();
    v.manager().setFocus(probe);
    v.layer().send(v.window(), WM_KEYDOWN, 'A', 0);
    v.layer().send(v.window(), WM_CHAR, 'a', 0);
    v.manager().setFocus(box);
    v.layer().send(v.window(), WM_KEYUP, 'A', 0);
    EXPECT_EQ(probe->kinds, (std::vector<UiEventKind>{UiEventKind::KEYDOWN, UiEventKind::CHAR,
                                                      UiEventKind::KEYUP}));
    v.manager().removePreMessageFilter(&default_button);
}

TEST(InputRouterCaptureTest, TheCaptureGoesWithTheControlThatHeldIt) {
    View v(
        R"(<VerticalLayout name="list"><Button name="held" /><Button name="other" /></VerticalLayout>)");
    auto* list = static_cast<IContainerUI*>(
        v.manager().findControlByName("list")->getInterface("IContainer"));
    CControlUI* held = v.manager().findControlByName("held");
    CControlUI* other = v.manager().findControlByName("other");
    v.layer().mouseMove(v.window(), {10, 10});
    v.layer().buttonDown(v.window(), {10, 10});
    ASSERT_TRUE(v.manager().isCaptured());
    ASSERT_EQ(v.layer().captureLog(), (std::vector<NativeWindowId>{v.window()}));

    // The pressed control goes away while the button is still down.
    ASSERT_TRUE(list->remove(held, true));
    delete held;
    EXPECT_FALSE(v.manager().isCaptured());
    EXPECT_EQ(v.layer().captureLog(), (std::vector<NativeWindowId>{v.window(), 0}));
    EXPECT_EQ(v.manager().getPressed(), nullptr);

    // The mouse is free again: the control under it becomes hot, and the late button-up
    // clicks nothing.
    v.view.settle();
    v.layer().mouseMove(v.window(), {10, 20});
    EXPECT_EQ(v.manager().getHot(), other);
    v.layer().buttonUp(v.window(), {10, 20});
    EXPECT_TRUE(v.recorder.clicked.empty());
}

} // namespace
} // namespace inkwarden

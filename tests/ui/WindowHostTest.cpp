#include "ui/host/WindowHost.h"

#include "HeadlessHostTest.h"
#include "ui/controls/CButtonUI.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/CEditUI.h"
#include "ui/controls/COptionUI.h"
#include "ui/controls/CTextUI.h"
#include "ui/host/CNotifyPump.h"
#include "ui/host/CWindowWnd.h"
#include "ui/host/WindowImplBase.h"
#include "ui/markup/SkinPackage.h"
#include "ui/native/headless/HeadlessWindowLayer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

const char* const TEST_SKIN = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="300,200" caption="0,0,0,35" sizebox="0,0,0,0" roundcorner="6,6">
  <VerticalLayout name="frame">
    <HorizontalLayout height="35">
      <Control />
      <Button name="closebtn" width="20" height="20" />
    </HorizontalLayout>
    <Button name="minbtn" width="40" height="20" />
    <Button name="maxbtn" width="40" height="20" />
    <Button name="restorebtn" width="40" height="20" visible="false" />
    <Edit name="edit" width="100" height="24" />
  </VerticalLayout>
</Window>)";

class TestWindow : public WindowImplBase {
public:
    std::string markup = TEST_SKIN;
    SkinSource source = SkinSource::Folder;
    std::string resource_id;
    std::vector<std::string> log;
    std::optional<WPARAM> close_code;
    bool ready = false;
    bool final_message = false;
    bool custom_handles = false;

    std::vector<std::string> notes; // "type name" of each notification

    using WindowImplBase::handleDefaultKey;

    void notify(Notification& msg) override {
        notes.push_back(msg.type + " " + (msg.sender != nullptr ? msg.sender->getName() : ""));
        WindowImplBase::notify(msg);
    }
    bool noted(const std::string& note) const {
        return std::find(notes.begin(), notes.end(), note) != notes.end();
    }

protected:
    const char* windowClassName() const override { return "TestWindowFrame"; }
    std::string skinFolder() override { return {}; }
    std::string skinFile() override { return markup; }
    SkinSource skinSource() const override { return source; }
    std::string resourceId() const override { return resource_id; }
    void onWindowReady() override { ready = true; }
    LRESULT onSize(UINT m, WPARAM w, LPARAM l, bool& handled) override {
        log.push_back("onSize");
        return WindowImplBase::onSize(m, w, l, handled);
    }
    LRESULT onClose(UINT m, WPARAM w, LPARAM l, bool& handled) override {
        close_code = w;
        return WindowImplBase::onClose(m, w, l, handled);
    }
    LRESULT handleCustomMessage(UINT m, WPARAM, LPARAM, bool& handled) override {
        log.push_back("custom " + std::to_string(m));
        handled = custom_handles;
        return custom_handles ? 42 : 0;
    }
    void onFinalMessage(NativeWindowId window) override {
        final_message = true;
        WindowImplBase::onFinalMessage(window);
    }
};

class WindowHostTest : public HeadlessHostTest {
protected:
    NativeWindowId open(TestWindow& window, UiRect rect = {100, 100, 400, 300}) {
        return window.create(0, "Downloader", WS_POPUP | WS_VISIBLE, 0, rect);
    }
};

TEST(WindowHitTest, SizeBoxCaptionAndClickableClasses) {
    const UiRect client{0, 0, 300, 200};
    const UiRect box{4, 4, 4, 4};
    const UiRect caption{0, 0, 0, 35};
    // The eight border codes, corners before sides.
    EXPECT_EQ(WindowImplBase::hitTest({1, 1}, client, false, box, caption, nullptr), HTTOPLEFT);
    EXPECT_EQ(WindowImplBase::hitTest({298, 1}, client, false, box, caption, nullptr), HTTOPRIGHT);
    EXPECT_EQ(WindowImplBase::hitTest({150, 1}, client, false, box, caption, nullptr), HTTOP);
    EXPECT_EQ(WindowImplBase::hitTest({1, 199}, client, false, box, caption, nullptr),
              HTBOTTOMLEFT);
    EXPECT_EQ(WindowImplBase::hitTest({298, 199}, client, false, box, caption, nullptr),
              HTBOTTOMRIGHT);
    EXPECT_EQ(WindowImplBase::hitTest({150, 199}, client, false, box, caption, nullptr), HTBOTTOM);
    EXPECT_EQ(WindowImplBase::hitTest({1, 100}, client, false, box, caption, nullptr), HTLEFT);
    EXPECT_EQ(WindowImplBase::hitTest({298, 100}, client, false, box, caption, nullptr), HTRIGHT);
    // Maximised windows have no borders: the caption band decides.
    EXPECT_EQ(WindowImplBase::hitTest({1, 1}, client, true, box, caption, nullptr), HTCAPTION);
    EXPECT_EQ(WindowImplBase::hitTest({1, 100}, client, true, box, caption, nullptr), HTCLIENT);

    // The installer's values: no borders, a 35 pixel caption band.
    const UiRect none{};
    CControlUI filler;
    CButtonUI button;
    COptionUI option;
    CTextUI text;
    EXPECT_EQ(WindowImplBase::hitTest({0, 0}, client, false, none, caption, nullptr), HTCAPTION);
    EXPECT_EQ(WindowImplBase::hitTest({150, 34}, client, false, none, caption, &filler), HTCAPTION);
    EXPECT_EQ(WindowImplBase::hitTest({150, 35}, client, false, none, caption, &filler), HTCLIENT);
    EXPECT_EQ(WindowImplBase::hitTest({290, 10}, client, false, none, caption, &button), HTCLIENT);
    EXPECT_EQ(WindowImplBase::hitTest({290, 10}, client, false, none, caption, &option), HTCLIENT);
    EXPECT_EQ(WindowImplBase::hitTest({290, 10}, client, false, none, caption, &text), HTCLIENT);
    // Left and right insets of the band are client area.
    const UiRect inset{10, 0, 20, 35};
    EXPECT_EQ(WindowImplBase::hitTest({9, 10}, client, false, none, inset, nullptr), HTCLIENT);
    EXPECT_EQ(WindowImplBase::hitTest({10, 10}, client, false, none, inset, nullptr), HTCAPTION);
    EXPECT_EQ(WindowImplBase::hitTest({279, 10}, client, false, none, inset, nullptr), HTCAPTION);
    EXPECT_EQ(WindowImplBase::hitTest({280, 10}, client, false, none, inset, nullptr), HTCLIENT);
}

TEST_F(WindowHostTest, CreationBuildsTheSkinAndAttachesTheTree) {
    TestWindow window;
    const NativeWindowId id = open(window);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(window.getHWND(), id);
    EXPECT_TRUE(window.ready);
    PaintManager& pm = window.getPaintManager();
    ASSERT_NE(pm.getRoot(), nullptr);
    EXPECT_NE(pm.findControlByName("closebtn"), nullptr);
    EXPECT_EQ(pm.getNativeWindow(), id);
    // The skin's size went to the window, and the round corner became its region.
    EXPECT_EQ(layer.windowRect(id), (UiRect{100, 100, 400, 300}));
    window.resizeClient(320, 220);
    EXPECT_EQ(layer.region(id), (UiRect{0, 0, 321, 221}));
    EXPECT_EQ(layer.regionCorner(id), (UiSize{6, 6}));
    EXPECT_FALSE(exit_code);
}

TEST_F(WindowHostTest, CaptionBandStartsAMoveDrag) {
    TestWindow window;
    const NativeWindowId id = open(window);
    // Empty space in the top 35 pixels: the platform drags the window.
    layer.buttonDown(id, {50, 10});
    ASSERT_EQ(layer.drags().size(), 1u);
    EXPECT_EQ(layer.drags()[0].hit_code, HTCAPTION);
    EXPECT_EQ(layer.drags()[0].screen_point, (UiPoint{150, 110}));
    // Below the band it is a client click.
    layer.buttonDown(id, {50, 100});
    EXPECT_EQ(layer.drags().size(), 1u);
}

TEST_F(WindowHostTest, RoutingOrderNamedCustomManagerDefault) {
    TestWindow window;
    const NativeWindowId id = open(window);
    window.log.clear();
    // A named handler that leaves the message passes it on to the custom handler.
    layer.setWindowRect(id, {100, 100, 350, 250});
    EXPECT_EQ(window.log,
              (std::vector<std::string>{"onSize", "custom " + std::to_string(WM_SIZE)}));
    // A message without a named handler goes to the custom handler first...
    window.log.clear();
    window.custom_handles = true;
    EXPECT_EQ(window.sendMessage(WM_APP + 5, 0, 0), 42);
    EXPECT_EQ(window.log, (std::vector<std::string>{"custom " + std::to_string(WM_APP + 5)}));
    // ...and whatever nobody handles reaches the default procedure: close destroys.
    window.custom_handles = false;
    window.sendMessage(WM_CLOSE, 0, 0);
    EXPECT_FALSE(layer.exists(id));
    EXPECT_TRUE(window.final_message);
    EXPECT_EQ(window.getHWND(), 0u);
}

TEST_F(WindowHostTest, EscapeClosesWithCodeOneAndReturnIsLeftAlone) {
    TestWindow window;
    const NativeWindowId id = open(window);
    bool handled = false;
    // The filter answers but never consumes the key.
    EXPECT_EQ(window.messageHandler(WM_KEYDOWN, VK_RETURN, 0, handled), 0);
    EXPECT_FALSE(handled);
    EXPECT_EQ(layer.pendingPosts(), 0u);
    EXPECT_EQ(window.messageHandler(WM_KEYDOWN, VK_ESCAPE, 0, handled), 1);
    EXPECT_FALSE(handled);
    EXPECT_EQ(window.handleDefaultKey('A'), 0);
    ASSERT_EQ(layer.pendingPosts(), 1u);
    layer.pump();
    ASSERT_TRUE(window.close_code);
    EXPECT_EQ(*window.close_code, 1u);
    EXPECT_FALSE(layer.exists(id));
}

TEST_F(WindowHostTest, MessageLoopOffersChildKeysWithTheirParent) {
    TestWindow window;
    const NativeWindowId id = open(window);
    EditCreateParams edit;
    edit.parent = id;
    edit.rect = {10, 50, 110, 74};
    const NativeWindowId child = layer.createEdit(edit);
    layer.setFocus(child);
    std::vector<NativeMessage> seen;
    layer.setPreTranslateHook([&](const NativeMessage& m) {
        seen.push_back(m);
        return m.message == WM_KEYDOWN; // consumed: no character follows
    });
    layer.key('A', 'a');
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].window, child);
    EXPECT_EQ(seen[0].message, WM_KEYDOWN);
    EXPECT_EQ(seen[1].message, WM_KEYUP);
    EXPECT_EQ(layer.parentOf(child), id);
    EXPECT_EQ(layer.parentOf(id), 0u);
    // Posts go through the hook too; the quit message ends the loop with its code.
    window.postMessage(WM_APP + 1, 7, 0);
    WindowHost::postQuitMessage(3);
    seen.clear();
    EXPECT_EQ(WindowHost::messageLoop(), 3);
    ASSERT_EQ(seen.size(), 0u); // the loop installed the paint managers' hook instead
}

TEST_F(WindowHostTest, CloseButtonInTheCaptionBandIsAClick) {
    TestWindow window;
    const NativeWindowId id = open(window);
    window.sendMessage(WM_PAINT); // first layout
    ASSERT_TRUE(window.noted("windowinit frame"));
    // Over the close button the band is client area: no drag, a click instead.
    layer.mouseMove(id, {282, 18});
    layer.buttonDown(id, {282, 18});
    layer.buttonUp(id, {282, 18});
    EXPECT_TRUE(layer.drags().empty());
    EXPECT_TRUE(window.noted("click closebtn"));
    layer.pump();
    ASSERT_TRUE(window.close_code);
    EXPECT_EQ(*window.close_code, 1u);
}

TEST_F(WindowHostTest, EscapeInTheChildEditClosesAndReturnGoesToTheFocusedControl) {
    TestWindow window;
    const NativeWindowId id = open(window);
    window.sendMessage(WM_PAINT);
    // The loop's hook, as messageLoop installs it.
    layer.setPreTranslateHook(&PaintManager::translateMessage);

    // Return on a focused button presses it; the window is not closed.
    PaintManager& pm = window.getPaintManager();
    pm.setFocus(pm.findControlByName("minbtn"), true);
    layer.key(VK_RETURN);
    EXPECT_TRUE(window.noted("click minbtn"));
    EXPECT_TRUE(layer.isMinimized(id));
    layer.show(id, ShowCommand::RESTORE);
    EXPECT_FALSE(window.close_code);

    // A click into the edit opens its native field, which takes the keyboard.
    layer.buttonDown(id, {50, 87});
    layer.buttonUp(id, {50, 87});
    auto* edit = dynamic_cast<CEditUI*>(pm.findControlByName("edit"));
    ASSERT_NE(edit, nullptr);
    const NativeWindowId field = edit->getEditWindow();
    ASSERT_NE(field, 0u);
    ASSERT_EQ(layer.focus(), field);
    layer.key(VK_ESCAPE);
    EXPECT_EQ(WindowHost::messageLoop(), -1); // runs the posted close; nobody quits
    ASSERT_TRUE(window.close_code);
    EXPECT_EQ(*window.close_code, 1u);
    EXPECT_FALSE(layer.exists(id));
}

TEST_F(WindowHostTest, MinMaxInfoComesFromTheSkin) {
    TestWindow window;
    open(window);
    MINMAXINFO info;
    window.sendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.min_track_size.x, 0);
    EXPECT_EQ(info.min_track_size.y, 0);
    EXPECT_EQ(info.max_track_size.x, 1920);
    EXPECT_EQ(info.max_track_size.y, 1040);

    TestWindow limited;
    limited.markup = R"(<Window size="300,200" mininfo="250,150"><Control /></Window>)";
    open(limited);
    MINMAXINFO limits;
    limited.sendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.min_track_size.x, 250);
    EXPECT_EQ(limits.min_track_size.y, 150);
}

TEST_F(WindowHostTest, WindowButtonsMinimiseMaximiseRestoreAndClose) {
    TestWindow window;
    const NativeWindowId id = open(window);
    PaintManager& pm = window.getPaintManager();
    Notification click;
    click.type = "click";
    click.sender = pm.findControlByName("maxbtn");
    window.notify(click);
    EXPECT_TRUE(layer.isMaximized(id));
    EXPECT_FALSE(pm.findControlByName("maxbtn")->isOwnVisible());
    EXPECT_TRUE(pm.findControlByName("restorebtn")->isOwnVisible());
    click.sender = pm.findControlByName("restorebtn");
    window.notify(click);
    EXPECT_FALSE(layer.isMaximized(id));
    EXPECT_TRUE(pm.findControlByName("maxbtn")->isOwnVisible());
    EXPECT_FALSE(pm.findControlByName("restorebtn")->isOwnVisible());
    click.sender = pm.findControlByName("minbtn");
    window.notify(click);
    EXPECT_TRUE(layer.isMinimized(id));
    // Other notification types and other names do nothing.
    click.type = "setfocus";
    click.sender = pm.findControlByName("closebtn");
    window.notify(click);
    EXPECT_EQ(layer.pendingPosts(), 0u);
    click.type = "click";
    window.notify(click);
    layer.pump();
    ASSERT_TRUE(window.close_code);
    EXPECT_EQ(*window.close_code, 1u);
    // The system close command sends the close message with code 0.
    TestWindow other;
    other.sendMessage(WM_SYSCOMMAND, SC_CLOSE, 0); // no window: nothing happens
    open(other);
    other.sendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(other.close_code);
    EXPECT_EQ(*other.close_code, 0u);
    // So does Alt+F4, through the layer's default procedure as on the desktop; the close
    // message's default then destroys the window.
    TestWindow keyed;
    const NativeWindowId keyed_id = open(keyed);
    layer.setFocus(keyed_id);
    layer.altKey(VK_F4);
    ASSERT_TRUE(keyed.close_code);
    EXPECT_EQ(*keyed.close_code, 0u);
    EXPECT_FALSE(layer.exists(keyed_id));
    EXPECT_TRUE(keyed.final_message);
}

TEST_F(WindowHostTest, MarkupThatDoesNotBuildIsFatal) {
    TestWindow window;
    window.markup = "<Window size=\"300,200\"></Window>";
    EXPECT_EQ(open(window), 0u);
    ASSERT_TRUE(exit_code);
    EXPECT_EQ(*exit_code, 1);
    ASSERT_EQ(layer.messageBoxCalls().size(), 1u);
    const auto& box = layer.messageBoxCalls()[0];
    EXPECT_EQ(box.owner, 0u);
    EXPECT_EQ(box.text, "Cannot load the skin's files");
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.flags & MB_ICONMASK, MB_ICONERROR);

    exit_code.reset();
    TestWindow broken;
    broken.markup = "<Window size=\"300,200\"><Control";
    EXPECT_EQ(open(broken), 0u);
    EXPECT_EQ(exit_code, 1);
}

TEST_F(WindowHostTest, ZipResourceSkinAndIcon) {
    // The installer's own skin and icon, compiled into this test.
    TestWindow window;
    window.source = SkinSource::ZipResource;
    window.resource_id = "105";
    window.markup = "main_frame.xml";
    const NativeWindowId id = open(window);
    ASSERT_NE(id, 0u);
    EXPECT_NE(window.getPaintManager().findControlByName("btn_install_start"), nullptr);
    EXPECT_EQ(layer.windowRect(id).width(), 570);
    EXPECT_EQ(layer.windowRect(id).height(), 560);
    window.setIcon(101);
    EXPECT_EQ(layer.iconSize(id, true), (UiSize{32, 32}));
    EXPECT_EQ(layer.iconSize(id, false), (UiSize{16, 16}));
    // A missing skin resource leaves the window empty, without a message.
    TestWindow empty;
    empty.source = SkinSource::ZipResource;
    empty.resource_id = "999";
    const NativeWindowId empty_id = open(empty);
    EXPECT_NE(empty_id, 0u);
    EXPECT_EQ(empty.getPaintManager().getRoot(), nullptr);
    EXPECT_FALSE(empty.ready);
    EXPECT_TRUE(layer.messageBoxCalls().empty());
    empty.setIcon(999);
    EXPECT_EQ(layer.iconSize(empty_id, true), (UiSize{0, 0}));
}

TEST_F(WindowHostTest, CenterWindowOverWorkAreaOrOwner) {
    layer.setWorkArea({0, 0, 1000, 800});
    TestWindow owner;
    const NativeWindowId owner_id = open(owner, {0, 0, 300, 200});
    owner.centerWindow();
    EXPECT_EQ(layer.windowRect(owner_id), (UiRect{350, 300, 650, 500}));

    // Over its owner, moved back inside the work area.
    TestWindow dialog;
    dialog.markup = R"(<Window size="200,100"><Control /></Window>)";
    const NativeWindowId dialog_id = dialog.create(owner_id, "Dialog", WS_POPUP, 0, 0, 0, 0, 0);
    dialog.centerWindow();
    EXPECT_EQ(layer.windowRect(dialog_id), (UiRect{400, 350, 600, 450}));
    layer.setWindowRect(owner_id, {-250, 700, 50, 900});
    dialog.centerWindow();
    EXPECT_EQ(layer.windowRect(dialog_id), (UiRect{0, 700, 200, 800}));
    // A minimised owner: the work area again.
    layer.show(owner_id, ShowCommand::MINIMIZE);
    dialog.centerWindow();
    EXPECT_EQ(layer.windowRect(dialog_id), (UiRect{400, 350, 600, 450}));
}

class PlainWindow : public CWindowWnd {
public:
    const char* super_class = nullptr;
    std::vector<UINT> seen;

protected:
    const char* windowClassName() const override { return "PlainWindow"; }
    const char* superClassName() const override { return super_class; }
    LRESULT handleMessage(UINT m, WPARAM w, LPARAM l) override {
        seen.push_back(m);
        return CWindowWnd::handleMessage(m, w, l);
    }
};

TEST_F(WindowHostTest, ClassRegistryAndSuperclassing) {
    EXPECT_FALSE(CWindowWnd::registerClass("", 0));
    std::vector<UINT> base_proc;
    ASSERT_TRUE(CWindowWnd::registerClass(
        "BaseEdit", 0, [&](NativeWindowId w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            base_proc.push_back(m);
            return layer.defaultProc(w, m, wp, lp);
        }));
    // Registering again keeps the first class.
    EXPECT_TRUE(CWindowWnd::registerClass("BaseEdit", 0));

    PlainWindow unknown;
    unknown.super_class = "NoSuchClass";
    EXPECT_EQ(unknown.create(0, "x", WS_POPUP, 0, {0, 0, 10, 10}), 0u);

    PlainWindow derived;
    derived.super_class = "BaseEdit";
    const NativeWindowId id = derived.create(0, "x", WS_POPUP, 0, {0, 0, 10, 10});
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(CWindowWnd::isClassRegistered("PlainWindow"));
    // Every message reaches the object, and the superclass's procedure after it.
    EXPECT_EQ(derived.seen, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_EQ(base_proc, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    derived.close(5);
    layer.pump();
    EXPECT_FALSE(layer.exists(id));
    EXPECT_EQ(derived.getHWND(), 0u);
    EXPECT_EQ(base_proc.back(), WM_NCDESTROY);
    // close() without a window posts nothing.
    derived.close(1);
    EXPECT_EQ(layer.pendingPosts(), 0u);
}

// Pump lookup: maps built by hand, as derived classes declare them.
class BasePump : public CNotifyPump {
public:
    std::vector<std::string> calls;
    void onNamed(Notification&) { calls.push_back("base named"); }
    void onParams(std::intptr_t w, std::intptr_t l) {
        calls.push_back("params " + std::to_string(w) + " " + std::to_string(l));
    }
    static const NotifyMap MAP;

protected:
    const NotifyMap* getNotifyMap() const override { return &MAP; }
};

class DerivedPump : public BasePump {
public:
    void onAny(Notification&) { calls.push_back("derived any"); }
    void onAnyLast(Notification&) { calls.push_back("derived any last"); }
    void onExact(Notification&) { calls.push_back("derived exact"); }
    static const NotifyMap MAP;

protected:
    const NotifyMap* getNotifyMap() const override { return &MAP; }
};

const NotifyMapEntry BASE_ENTRIES[] = {
    {"click", "closebtn", NotifySignature::NOTIFICATION, NotifyHandlerOf<&BasePump::onNamed>(),
     nullptr},
    {"valuechanged", "", NotifySignature::PARAMS, nullptr,
     NotifyParamsHandlerOf<&BasePump::onParams>()},
    {},
};
const NotifyMap BasePump::MAP{&CNotifyPump::NOTIFY_MAP, BASE_ENTRIES};

const NotifyMapEntry DERIVED_ENTRIES[] = {
    {"click", "", NotifySignature::NOTIFICATION, NotifyHandlerOf<&DerivedPump::onAny>(), nullptr},
    {"click", "btn_ok", NotifySignature::NOTIFICATION, NotifyHandlerOf<&DerivedPump::onExact>(),
     nullptr},
    {"click", nullptr, NotifySignature::NOTIFICATION, NotifyHandlerOf<&DerivedPump::onAnyLast>(),
     nullptr},
    {},
};
const NotifyMap DerivedPump::MAP{&BasePump::MAP, DERIVED_ENTRIES};

TEST(NotifyPump, LookupWalksTheMapChainFromTheMostDerived) {
    DerivedPump pump;
    CControlUI close_button;
    close_button.setName("closebtn");
    CControlUI ok_button;
    ok_button.setName("btn_ok");
    Notification msg;
    msg.type = "click";
    // A derived any-control entry beats the base map's named entry; the last one counts.
    msg.sender = &close_button;
    pump.notifyPump(msg);
    // Within one map the entry naming the sender wins at once.
    msg.sender = &ok_button;
    pump.notifyPump(msg);
    // Signature 1 gets wParam and lParam, from the base map.
    msg.type = "valuechanged";
    msg.wparam = 4;
    msg.lparam = 9;
    pump.notifyPump(msg);
    // Nobody takes an unknown type.
    msg.type = "timer";
    EXPECT_FALSE(pump.loopDispatch(msg));
    EXPECT_EQ(pump.calls,
              (std::vector<std::string>{"derived any last", "derived exact", "params 4 9"}));

    BasePump base;
    msg.type = "click";
    msg.sender = &close_button;
    base.notifyPump(msg);
    msg.sender = &ok_button;
    EXPECT_FALSE(base.loopDispatch(msg));
    EXPECT_EQ(base.calls, (std::vector<std::string>{"base named"}));
}

TEST(NotifyPump, VirtualWindowsByNameInAnyCase) {
    DerivedPump main_pump;
    BasePump page;
    EXPECT_TRUE(main_pump.addVirtualWnd("Page1", &page));
    EXPECT_FALSE(main_pump.addVirtualWnd("page1", &page));
    CControlUI close_button;
    close_button.setName("closebtn");
    Notification msg;
    msg.type = "click";
    msg.sender = &close_button;
    msg.virtual_wnd = "PAGE1";
    main_pump.notifyPump(msg);
    EXPECT_EQ(page.calls, (std::vector<std::string>{"base named"}));
    EXPECT_TRUE(main_pump.calls.empty());
    // An unknown virtual window: the pump itself.
    EXPECT_TRUE(main_pump.removeVirtualWnd("Page1"));
    main_pump.notifyPump(msg);
    EXPECT_EQ(main_pump.calls, (std::vector<std::string>{"derived any last"}));
}

} // namespace
} // namespace inkwarden

#include "ui/native/headless/HeadlessWindowLayer.h"

#include "ui/draw/DrawContext.h"
#include "ui/draw/ImageEntry.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

struct Recorded {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

class HeadlessWindowLayerTest : public ::testing::Test {
protected:
    NativeWindowId open(UiRect rect = {100, 50, 670, 510}, NativeWindowId parent = 0) {
        WindowCreateParams p;
        p.parent = parent;
        p.title = "Downloader";
        p.rect = rect;
        p.sink = [this](UINT m, WPARAM w, LPARAM l) -> LRESULT {
            log.push_back({m, w, l});
            if (m == WM_NCHITTEST)
                return hit;
            if (m == WM_CREATE)
                return fail_create ? -1 : 0;
            return 0;
        };
        return layer.create(p);
    }
    // A window whose sink logs and leaves every message to the default procedure.
    NativeWindowId openDefault(UiRect rect = {100, 50, 670, 510}, NativeWindowId parent = 0) {
        WindowCreateParams p;
        p.parent = parent;
        p.rect = rect;
        // Shared: the layer calls a copy of the sink.
        auto self = std::make_shared<NativeWindowId>(0);
        p.sink = [this, self](UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_NCCREATE)
                *self = static_cast<NativeWindowId>(l);
            log.push_back({m, w, l});
            return layer.defaultProc(*self, m, w, l);
        };
        return layer.create(p);
    }
    std::vector<UINT> messages() const {
        std::vector<UINT> out;
        for (const auto& r : log)
            out.push_back(r.message);
        return out;
    }

    HeadlessWindowLayer layer;
    std::vector<Recorded> log;
    LRESULT hit = HTCLIENT;
    bool fail_create = false;
};

TEST_F(HeadlessWindowLayerTest, CreateDestroyAndGeometry) {
    const NativeWindowId w = open();
    ASSERT_NE(w, 0u);
    EXPECT_EQ(messages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_EQ(layer.clientRect(w), (UiRect{0, 0, 570, 460}));
    log.clear();
    layer.setWindowRect(w, {100, 50, 670, 420});
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].message, WM_SIZE);
    EXPECT_EQ(LOWORD(static_cast<WPARAM>(log[0].lparam)), 570);
    EXPECT_EQ(HIWORD(static_cast<WPARAM>(log[0].lparam)), 370);
    layer.show(w, ShowCommand::MINIMIZE);
    EXPECT_TRUE(layer.isMinimized(w));
    layer.show(w, ShowCommand::RESTORE);
    EXPECT_FALSE(layer.isMinimized(w));

    const NativeWindowId child = open({0, 0, 10, 10}, w);
    log.clear();
    layer.destroy(w);
    EXPECT_FALSE(layer.exists(w));
    EXPECT_FALSE(layer.exists(child));
    EXPECT_EQ(messages(), (std::vector<UINT>{WM_DESTROY, WM_DESTROY, WM_NCDESTROY, WM_NCDESTROY}));

    fail_create = true;
    EXPECT_EQ(open(), 0u);
}

TEST_F(HeadlessWindowLayerTest, VirtualClockFiresTimersInOrder) {
    const NativeWindowId w = open();
    ASSERT_TRUE(layer.setTimer(w, 17, 30));
    ASSERT_TRUE(layer.setTimer(w, 0x2000, 10));
    log.clear();
    layer.advance(9);
    EXPECT_TRUE(log.empty());
    layer.advance(21); // t = 30: 10, 20, 30 and 30
    std::vector<WPARAM> fired;
    for (const auto& r : log) {
        EXPECT_EQ(r.message, WM_TIMER);
        fired.push_back(r.wparam);
    }
    EXPECT_EQ(fired, (std::vector<WPARAM>{0x2000, 0x2000, 17, 0x2000}));
    EXPECT_EQ(layer.tickCount(), 30u);
    EXPECT_TRUE(layer.killTimer(w, 17));
    EXPECT_FALSE(layer.killTimer(w, 17));
    log.clear();
    layer.advance(60);
    EXPECT_EQ(log.size(), 6u);
    EXPECT_FALSE(layer.setTimer(12345, 1, 10));
}

TEST_F(HeadlessWindowLayerTest, PostsWaitForThePumpAndDropForGoneWindows) {
    const NativeWindowId w = open();
    const NativeWindowId gone = open();
    log.clear();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i)
                layer.post(w, WM_APP + 1, static_cast<WPARAM>(t), i);
        });
    for (auto& t : threads)
        t.join();
    layer.post(gone, WM_APP + 2, 0, 0);
    layer.destroy(gone);
    log.clear();
    EXPECT_EQ(layer.pendingPosts(), 201u);
    EXPECT_EQ(layer.pump(), 200);
    ASSERT_EQ(log.size(), 200u);
    // Each thread's posts arrive in its own order.
    std::vector<LPARAM> next(4, 0);
    for (const auto& r : log) {
        EXPECT_EQ(r.message, WM_APP + 1);
        EXPECT_EQ(r.lparam, next[r.wparam]++);
    }
    EXPECT_EQ(layer.pump(), 0);

    layer.post(w, WM_APP + 3, 0, 0);
    layer.quit(7);
    layer.quit(9); // the first exit code stands
    EXPECT_EQ(layer.run(), 7);
}

TEST_F(HeadlessWindowLayerTest, MessageBoxesAnswerFromTheScript) {
    const NativeWindowId w = open();
    layer.scriptMessageBoxAnswers({IDCANCEL, IDOK});
    EXPECT_EQ(layer.messageBox(w, "确定退出吗？", "提示", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
    EXPECT_EQ(layer.messageBox(w, "b", "c", MB_OKCANCEL), IDOK);
    EXPECT_EQ(layer.messageBox(0, "加载资源文件失败", "", MB_OK | MB_ICONERROR), IDOK);
    ASSERT_EQ(layer.messageBoxCalls().size(), 3u);
    EXPECT_EQ(layer.messageBoxCalls()[0].text, "确定退出吗？");
    EXPECT_EQ(layer.messageBoxCalls()[0].flags, MB_OKCANCEL | MB_ICONQUESTION);
    EXPECT_EQ(layer.messageBoxCalls()[2].owner, 0u);
}

TEST_F(HeadlessWindowLayerTest, HitTestDrivesClientMessagesAndDrags) {
    const NativeWindowId w = open();
    log.clear();
    layer.buttonDown(w, {30, 40});
    ASSERT_EQ(messages(), (std::vector<UINT>{WM_NCHITTEST, WM_LBUTTONDOWN}));
    EXPECT_EQ(GET_X_LPARAM(log[0].lparam), 130); // hit-test in screen coordinates
    EXPECT_EQ(GET_Y_LPARAM(log[1].lparam), 40);

    hit = HTCAPTION;
    log.clear();
    layer.buttonDown(w, {200, 10});
    ASSERT_EQ(messages(), (std::vector<UINT>{WM_NCHITTEST, WM_NCLBUTTONDOWN}));
    // The sink leaves it to the default procedure, which starts the drag.
    layer.defaultProc(w, log[1].message, log[1].wparam, log[1].lparam);
    layer.defaultProc(w, WM_NCLBUTTONDOWN, HTBOTTOMRIGHT, MAKELPARAM(669, 509));
    ASSERT_EQ(layer.drags().size(), 2u);
    EXPECT_EQ(layer.drags()[0].hit_code, HTCAPTION);
    EXPECT_EQ(layer.drags()[0].screen_point, (UiPoint{300, 60}));
    EXPECT_EQ(layer.drags()[1].hit_code, HTBOTTOMRIGHT);

    layer.setCapture(w);
    layer.releaseCapture();
    EXPECT_EQ(layer.captureLog(), (std::vector<NativeWindowId>{w, 0}));
    layer.setCursor(CursorShape::HAND);
    EXPECT_EQ(layer.cursor(), CursorShape::HAND);
    layer.openUrl("http://127.0.0.1/printer_license_chs.htm");
    EXPECT_EQ(layer.openedUrls().size(), 1u);

    layer.defaultProc(w, WM_CLOSE, 0, 0);
    EXPECT_FALSE(layer.exists(w));
}

// The default procedure is the desktop layer's: Alt+F4 asks for the system close command,
// which sends WM_CLOSE, whose default destroys the window with its children.
TEST_F(HeadlessWindowLayerTest, DefaultProcClosesOnAltF4AndRunsSystemCommands) {
    const NativeWindowId w = openDefault();
    const NativeWindowId child = openDefault({0, 0, 10, 10}, w);
    layer.setFocus(w);
    layer.key(VK_F4); // without Alt
    layer.altKey('X');
    EXPECT_TRUE(layer.exists(w));

    layer.setCapture(w);
    log.clear();
    layer.altKey(VK_F4);
    EXPECT_FALSE(layer.exists(w));
    EXPECT_FALSE(layer.exists(child));
    EXPECT_EQ(messages(), (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY,
                                             WM_DESTROY, WM_NCDESTROY, WM_NCDESTROY}));
    EXPECT_EQ(log[0].wparam, VK_F4);
    EXPECT_EQ(static_cast<std::uint32_t>(log[0].lparam) & KEY_ALT_DOWN, KEY_ALT_DOWN);
    EXPECT_EQ(log[1].wparam, SC_CLOSE);
    EXPECT_EQ(layer.focus(), 0u);
    EXPECT_EQ(layer.capture(), 0u);

    // The low bits of a system command are the platform's own.
    const NativeWindowId other = openDefault();
    layer.send(other, WM_SYSCOMMAND, SC_MAXIMIZE | 2, 0);
    EXPECT_TRUE(layer.isMaximized(other));
    layer.send(other, WM_NCLBUTTONDBLCLK, HTCAPTION, 0); // toggles back
    EXPECT_FALSE(layer.isMaximized(other));
    layer.send(other, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(layer.isMinimized(other));
    layer.send(other, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(layer.isMinimized(other));
    EXPECT_EQ(layer.send(other, WM_NCHITTEST, 0, 0), HTCLIENT);
    EXPECT_EQ(layer.send(other, WM_MOUSEACTIVATE, 0, 0), MA_ACTIVATE);
    layer.send(other, WM_SYSCOMMAND, SC_CLOSE | 3, 0);
    EXPECT_FALSE(layer.exists(other));
    EXPECT_EQ(layer.send(other, WM_NCHITTEST, 0, 0), 0); // gone: nothing answers
}

TEST_F(HeadlessWindowLayerTest, KeysGoToTheFocusAndEditsReportChanges) {
    const NativeWindowId w = open();
    layer.setFocus(w);
    std::vector<Recorded> edit_log;
    EditCreateParams e;
    e.parent = w;
    e.rect = {10, 10, 200, 30};
    e.text = "C:\\Program Files";
    e.limit = 260;
    e.style = ES_AUTOHSCROLL;
    e.sink = [&](UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        edit_log.push_back({m, wp, lp});
        return 0;
    };
    const NativeWindowId edit = layer.createEdit(e);
    ASSERT_NE(edit, 0u);
    EXPECT_EQ(layer.editText(edit), "C:\\Program Files");
    EXPECT_EQ(layer.editLimit(edit), 260);
    layer.setEditSelection(edit, 0, -1);
    EXPECT_EQ(layer.editSelection(edit), (std::pair{0, 16}));

    log.clear();
    layer.setFocus(edit);
    EXPECT_EQ(log.back().message, WM_KILLFOCUS);
    edit_log.clear();
    layer.key(VK_RETURN);
    EXPECT_EQ(edit_log.front().message, WM_KEYDOWN);
    EXPECT_EQ(edit_log.front().wparam, VK_RETURN);

    log.clear();
    layer.typeIntoEdit(edit, "D:\\墨守");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].message, WM_COMMAND);
    EXPECT_EQ(HIWORD(log[0].wparam), EN_CHANGE);
    EXPECT_EQ(static_cast<NativeWindowId>(log[0].lparam), edit);
    EXPECT_EQ(layer.editSelection(edit), (std::pair{5, 5}));
}

TEST_F(HeadlessWindowLayerTest, PresentedBufferReadsBackAndSaves) {
    const NativeWindowId w = open({0, 0, 8, 4});
    DrawContext dc(8, 4);
    dc.setPixel(1, 1, 0xFFFF0000);
    dc.setPixel(2, 1, 0x80400000);
    layer.present(w, dc, {0, 0, 8, 4}, PresentMode::PER_PIXEL, 200);
    dc.setPixel(5, 2, 0xFF00FF00);
    layer.present(w, dc, {0, 0, 4, 4}, PresentMode::PER_PIXEL, 200); // only the left half
    EXPECT_EQ(layer.presentedPixel(w, 1, 1), 0xFFFF0000u);
    EXPECT_EQ(layer.presentedPixel(w, 5, 2), 0u);
    EXPECT_EQ(layer.presented(w)->count, 2);
    EXPECT_EQ(layer.presented(w)->constant_alpha, 200);

    const auto path = std::filesystem::temp_directory_path() / "iw_headless_present.png";
    ASSERT_TRUE(layer.savePresentedPng(w, path.string()));
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    auto image = ImageEntry::decode(bytes.data(), bytes.size());
    ASSERT_TRUE(image);
    // Straight colour in the file, constant alpha multiplied in: 255 * 200 / 255.
    EXPECT_EQ(image->pixel(1, 1) >> 24, 200u);
    EXPECT_EQ(image->pixel(0, 0), 0u);
    std::filesystem::remove(path);
}

} // namespace
} // namespace inkwarden

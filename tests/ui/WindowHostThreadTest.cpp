#include "ui/host/WindowHost.h"
#include "ui/host/WindowImplBase.h"
#include "ui/native/headless/HeadlessWindowLayer.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace inkwarden {
namespace {

class PostedWindow : public WindowImplBase {
public:
    std::vector<WPARAM> received;

protected:
    const char* windowClassName() const override { return "PostedWindow"; }
    std::string skinFolder() override { return {}; }
    std::string skinFile() override { return "<Window size=\"100,100\"><Control /></Window>"; }
    LRESULT handleCustomMessage(UINT message, WPARAM wparam, LPARAM, bool& handled) override {
        handled = message == WM_APP + 1;
        if (handled)
            received.push_back(wparam);
        return 0;
    }
};

// Work done on another thread reaches the window as posted messages, in order, and the
// quit message posted last ends the loop with its code.
TEST(WindowHostThreads, PostsFromAWorkerReachTheWindowThroughTheLoop) {
    HeadlessWindowLayer layer;
    WindowHost::setLayer(&layer);
    PostedWindow window;
    ASSERT_NE(window.create(0, "Posted", WS_POPUP, 0, {0, 0, 100, 100}), 0u);
    std::thread worker([&] {
        for (WPARAM i = 0; i < 100; ++i)
            window.postMessage(WM_APP + 1, i, 0);
        WindowHost::postQuitMessage(4);
    });
    worker.join();
    EXPECT_EQ(WindowHost::messageLoop(), 4);
    ASSERT_EQ(window.received.size(), 100u);
    for (WPARAM i = 0; i < 100; ++i)
        EXPECT_EQ(window.received[i], i);
    WindowHost::setLayer(nullptr);
}

} // namespace
} // namespace inkwarden

// Repaint of the installer's window (570 x 460, layered) through the paint manager on the
// headless layer: the whole window, and only the progress bar after a value change.
#include "ui/controls/CProgressUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/devtools/HeadlessSkinView.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace inkwarden {
namespace {

// The headless layer reads presented pixels back one by one for tests; a window system
// copies the painted rows. This layer does that instead, so the figures are the toolkit's.
class BlitLayer : public HeadlessWindowLayer {
public:
    void present(NativeWindowId, const DrawContext& buffer, const UiRect& area, PresentMode,
                 std::uint8_t) override {
        const int w = buffer.width();
        const int h = buffer.height();
        screen_.resize(static_cast<size_t>(w) * h);
        const std::uint8_t* data = buffer.data();
        const int stride = buffer.stride();
        const int left = std::max(area.left, 0);
        const int right = std::min(area.right, w);
        for (int y = std::max(area.top, 0); y < std::min(area.bottom, h); ++y) {
            std::memcpy(&screen_[static_cast<size_t>(y) * w + left],
                        data + static_cast<size_t>(y) * stride + left * 4,
                        static_cast<size_t>(right - left) * 4);
        }
    }

private:
    std::vector<std::uint32_t> screen_;
};

// The compiled-in skin on its installing page, laid out and painted once.
std::unique_ptr<HeadlessSkinView> InstallerWindow() {
    SkinPackage::setResourceZipMemory(ModuleResources::find("ZIPRES", 105));
    auto view = std::make_unique<HeadlessSkinView>(std::make_unique<BlitLayer>());
    std::string error;
    if (!view->load("main_frame.xml", {}, error)) {
        std::fprintf(stderr, "skin: %s\n", error.c_str());
        return nullptr;
    }
    view->settle();
    if (auto* tab = view->find<CTabLayoutUI>("tab_page")) {
        tab->selectItem(1);
    }
    view->settle();
    return view;
}

void BM_FullRepaint(benchmark::State& state) {
    auto view = InstallerWindow();
    if (view == nullptr || !view->manager().usesLayeredPaint()) {
        state.SkipWithError("the installer's skin did not load as a layered window");
        return;
    }
    for (auto _ : state) {
        view->manager().invalidateAll();
        view->paint();
    }
    state.SetLabel("570x460 layered");
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);

void BM_ProgressRepaint(benchmark::State& state) {
    auto view = InstallerWindow();
    auto* progress = view != nullptr ? view->find<CProgressUI>("progress") : nullptr;
    if (progress == nullptr) {
        state.SkipWithError("no progress bar");
        return;
    }
    int value = 0;
    for (auto _ : state) {
        value = (value + 7) % 1000;
        progress->setValue(value);
        // What the layered repaint timer does every 10 ms.
        view->layer().advance(PaintManager::LAYERED_REPAINT_MS);
    }
    state.SetLabel("530x9 of a layered window");
}
BENCHMARK(BM_ProgressRepaint)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace inkwarden

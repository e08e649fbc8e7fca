// The per-pixel-alpha surface and its presentation on the headless layer: the layered
// image's alpha over premultiplied pixels, at every scale, and only where damage was.
#include "ui/runtime/LayeredPresentation.h"

#include "tests/support/TempDir.h"
#include "ui/native/headless/HeadlessWindowLayer.h"
#include "ui/runtime/ImageCache.h"
#include "ui/runtime/ResourceRegistry.h"
#include "ui/runtime/WindowAttributes.h"

#include <gtest/gtest.h>
#include <string>

namespace inkwarden {
namespace {

constexpr int WIDTH = 100;
constexpr int HEIGHT = 50;
const UiRect CLIENT{0, 0, WIDTH, HEIGHT};

// Alpha 0 on the left half, 128 on the next quarter, 255 on the last.
std::string WriteAlphaImage(test::TempDir& dir) {
    DrawContext alpha(WIDTH, HEIGHT);
    for (int y = 0; y < HEIGHT; ++y) {
        for (int x = WIDTH / 2; x < WIDTH; ++x) {
            alpha.setPixel(x, y, x < WIDTH * 3 / 4 ? 0x80808080u : 0xFFFFFFFFu);
        }
    }
    alpha.markDirty();
    const std::string file = dir.file("alpha.png");
    EXPECT_TRUE(alpha.savePng(file));
    return file;
}

struct Presentation {
    HeadlessWindowLayer layer;
    NativeWindowId window = 0;
    ResourceRegistry resources;
    ImageCache images{resources};
    WindowAttributes attributes;
    LayeredPresentation presentation{attributes, images};

    explicit Presentation(const std::string& alpha_image) {
        WindowCreateParams params;
        params.style = WS_POPUP | WS_VISIBLE;
        params.rect = CLIENT;
        params.sink = [this](UINT message, WPARAM wparam, LPARAM lparam) {
            return layer.defaultProc(window, message, wparam, lparam);
        };
        window = layer.create(params);
        attributes.set("layeredimage", "file='" + alpha_image + "'");
        attributes.set("layeredopacity", "200");
        presentation.bind(&layer, window);
    }
    // The whole surface painted in one opaque colour, as the tree would paint it.
    void paintAll(int scale, std::uint32_t argb) {
        DrawContext& dc = presentation.surface();
        if (!dc.isValid() || dc.scale() != scale) {
            dc = DrawContext(WIDTH, HEIGHT, scale);
        }
        for (int y = 0; y < dc.pixelHeight(); ++y) {
            for (int x = 0; x < dc.pixelWidth(); ++x) {
                dc.setPixel(x, y, argb);
            }
        }
        dc.markDirty();
    }
    std::uint32_t shown(int x, int y) const { return layer.presentedPixel(window, x, y); }
    std::uint32_t surface(int x, int y) const { return presentation.surface().pixel(x, y); }
};

TEST(LayeredPresentationTest, TheImagesAlphaPremultipliesEveryPaintedPixelOnce) {
    test::TempDir dir;
    Presentation p(WriteAlphaImage(dir));
    ASSERT_TRUE(p.presentation.isActive());
    p.paintAll(1, 0xFFFF0000u);
    p.presentation.present(CLIENT, CLIENT);
    const auto* presented = p.layer.presented(p.window);
    ASSERT_NE(presented, nullptr);
    EXPECT_EQ(presented->mode, PresentMode::PER_PIXEL);
    EXPECT_EQ(presented->constant_alpha, 200);
    EXPECT_EQ(p.shown(10, 10), 0u);          // alpha 0: nothing of the red remains
    EXPECT_EQ(p.shown(60, 10), 0x80800000u); // red times 128 / 255, alpha 128
    EXPECT_EQ(p.shown(90, 10), 0xFFFF0000u);

    // A damaged rectangle elsewhere is presented alone, and the pixels outside it are not
    // multiplied a second time.
    p.presentation.present(CLIENT, UiRect{90, 0, 100, 10});
    EXPECT_EQ(p.layer.presented(p.window)->area, (UiRect{90, 0, 100, 10}));
    EXPECT_EQ(p.surface(60, 10), 0x80800000u);
    EXPECT_EQ(p.surface(60, 40), 0x80800000u);
}

TEST(LayeredPresentationTest, AtScaleTwoTheDamageCoversItsDevicePixels) {
    test::TempDir dir;
    Presentation p(WriteAlphaImage(dir));
    p.paintAll(2, 0xFF00FF00u);
    // Logical 55..65 by 0..10 lies in the alpha 128 quarter: device pixels 110..129 by 0..19.
    p.presentation.present(CLIENT, UiRect{55, 0, 65, 10});
    EXPECT_EQ(p.layer.presented(p.window)->scale, 2);
    EXPECT_EQ(p.shown(110, 0), 0x80008000u);
    EXPECT_EQ(p.shown(129, 19), 0x80008000u);
    EXPECT_EQ(p.surface(130, 0), 0xFF00FF00u); // outside the damage: untouched
    EXPECT_EQ(p.surface(129, 20), 0xFF00FF00u);
    EXPECT_EQ(p.surface(109, 0), 0xFF00FF00u);
}

TEST(LayeredPresentationTest, RepaintTimerRunsOnlyForALayeredWindowWithPerPixelAlpha) {
    test::TempDir dir;
    Presentation p(WriteAlphaImage(dir));
    p.presentation.startRepaintTimer();
    EXPECT_TRUE(p.layer.hasTimer(p.window, LayeredPresentation::REPAINT_TIMER));
    // Bound to another window, the old one's timer stops.
    p.presentation.bind(&p.layer, 0);
    EXPECT_FALSE(p.layer.hasTimer(p.window, LayeredPresentation::REPAINT_TIMER));
    EXPECT_FALSE(p.presentation.isActive());

    // Without per-pixel alpha on the platform the window stays opaque and has no timer.
    p.layer.setPerPixelAlpha(false);
    p.presentation.bind(&p.layer, p.window);
    EXPECT_FALSE(p.presentation.isActive());
    p.presentation.startRepaintTimer();
    EXPECT_FALSE(p.layer.hasTimer(p.window, LayeredPresentation::REPAINT_TIMER));
}

} // namespace
} // namespace inkwarden

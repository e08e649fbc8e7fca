#include "ui/draw/ImageDrawing.h"

#include "ui/draw/DrawContext.h"
#include "ui/draw/ImageEntry.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace inkwarden {
namespace {

// An opaque (or not) image whose pixels come from a function of (x, y) -> AARRGGBB.
ImageEntry MakeImage(int w, int h, const std::function<std::uint32_t(int, int)>& color) {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = color(x, y);
            std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * w + x) * 4];
            p[0] = static_cast<std::uint8_t>(c >> 16);
            p[1] = static_cast<std::uint8_t>(c >> 8);
            p[2] = static_cast<std::uint8_t>(c);
            p[3] = static_cast<std::uint8_t>(c >> 24);
        }
    return std::move(*ImageEntry::fromRgba(rgba.data(), w, h));
}

// 9x9 image of 3x3 blocks, each block its own colour (index = row * 3 + column).
constexpr std::uint32_t BLOCK[9] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF,
                                    0xFFFF00FF, 0xFF800000, 0xFF008000, 0xFF000080};
ImageEntry NineBlocks() {
    return MakeImage(9, 9, [](int x, int y) { return BLOCK[(y / 3) * 3 + x / 3]; });
}

bool RegionIs(const DrawContext& dc, const UiRect& r, std::uint32_t color) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (dc.pixel(x, y) != color) {
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << dc.pixel(x, y)
                              << " not " << color;
                return false;
            }
    return true;
}

bool Near(std::uint32_t a, std::uint32_t b, int tolerance = 1) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                     static_cast<int>((b >> shift) & 0xFF)) > tolerance)
            return false;
    return true;
}

TEST(ImageDrawingTest, NineSlicePiecesLandWhereTheyBelongWithoutBleeding) {
    DrawContext dc(50, 40);
    const ImageEntry image = NineBlocks();
    ImageDrawParams params;
    params.corner = {3, 3, 3, 3};
    const UiRect item{5, 5, 35, 25}; // 30 x 20
    ASSERT_TRUE(DrawImage(dc, item, dc.bounds(), image, params));
    EXPECT_TRUE(RegionIs(dc, {5, 5, 8, 8}, BLOCK[0])); // corners unscaled
    EXPECT_TRUE(RegionIs(dc, {32, 5, 35, 8}, BLOCK[2]));
    EXPECT_TRUE(RegionIs(dc, {5, 22, 8, 25}, BLOCK[6]));
    EXPECT_TRUE(RegionIs(dc, {32, 22, 35, 25}, BLOCK[8]));
    EXPECT_TRUE(RegionIs(dc, {8, 5, 32, 8}, BLOCK[1]));   // top edge stretched across
    EXPECT_TRUE(RegionIs(dc, {8, 22, 32, 25}, BLOCK[7])); // bottom edge
    EXPECT_TRUE(RegionIs(dc, {5, 8, 8, 22}, BLOCK[3]));   // left edge stretched down
    EXPECT_TRUE(RegionIs(dc, {32, 8, 35, 22}, BLOCK[5])); // right edge
    EXPECT_TRUE(RegionIs(dc, {8, 8, 32, 22}, BLOCK[4]));  // centre stays uniform
    EXPECT_TRUE(RegionIs(dc, {0, 0, 50, 5}, 0));          // nothing outside the item
    EXPECT_TRUE(RegionIs(dc, {35, 0, 50, 40}, 0));
}

TEST(ImageDrawingTest, HoleAndPaintedAreaLimitThePieces) {
    DrawContext dc(30, 20);
    const ImageEntry image = NineBlocks();
    ImageDrawParams params;
    params.corner = {3, 3, 3, 3};
    params.hole = true;
    DrawImage(dc, {0, 0, 30, 20}, {0, 0, 15, 20}, image, params);
    EXPECT_TRUE(RegionIs(dc, {3, 3, 27, 17}, 0)); // the hole
    EXPECT_TRUE(RegionIs(dc, {0, 0, 3, 3}, BLOCK[0]));
    EXPECT_TRUE(RegionIs(dc, {3, 0, 15, 3}, BLOCK[1]));
    EXPECT_TRUE(RegionIs(dc, {15, 0, 30, 20}, 0)); // outside the painted area
}

TEST(ImageDrawingTest, SourceIsClampedToTheImage) {
    // Row y carries its number in green and blue: 570 x 370 like the window background.
    const ImageEntry image = MakeImage(570, 370, [](int, int y) {
        return 0xFF000000u | (static_cast<std::uint32_t>(y & 0xFF) << 8) |
               static_cast<std::uint32_t>(y >> 8);
    });
    ImageDrawParams params;
    params.source = {0, 2, 570, 460};
    EXPECT_EQ(ImageSourceRect(image, params.source), (UiRect{0, 2, 570, 370}));
    DrawContext dc(570, 368);
    DrawImage(dc, dc.bounds(), dc.bounds(), image, params);
    EXPECT_EQ(dc.pixel(0, 0), image.pixel(0, 2));
    EXPECT_EQ(dc.pixel(300, 100), image.pixel(300, 102));
    EXPECT_EQ(dc.pixel(569, 367), image.pixel(569, 369));
}

// Skin values are not checked: corners larger than the image, and numbers near the integer
// limits, must neither read outside the image nor overflow.
TEST(ImageDrawingTest, OversizedCornersAndHugeValuesStayInsideImageAndItem) {
    const ImageEntry blocks = NineBlocks();
    const UiRect item{4, 4, 20, 20};
    auto with = [](UiRect dest, UiRect source, UiRect corner, bool xtiled) {
        ImageDrawParams params;
        params.dest = dest;
        params.source = source;
        params.corner = corner;
        params.xtiled = xtiled;
        return params;
    };
    const int big = 2147483647;
    const ImageDrawParams cases[] = {
        with({}, {}, {12, 12, 12, 12}, false),
        with({}, {}, {big, 0, big, 0}, false),
        with({-big, 0, big, big}, {}, {-40, -40, 9, 9}, false),
        with({}, {8, 8, big, big}, {4, 4, 4, 4}, true),
    };
    for (const ImageDrawParams& params : cases) {
        DrawContext dc(24, 24);
        // Painting is clipped to the item, as the paint manager clips it.
        EXPECT_TRUE(DrawImage(dc, item, item, blocks, params));
        EXPECT_TRUE(RegionIs(dc, {0, 0, 24, 4}, 0));
        EXPECT_TRUE(RegionIs(dc, {0, 20, 24, 24}, 0));
        EXPECT_TRUE(RegionIs(dc, {0, 0, 4, 24}, 0));
        EXPECT_TRUE(RegionIs(dc, {20, 0, 24, 24}, 0));
    }
    // An oversized corner piece is stretched from the pixels the image has.
    DrawContext dc(24, 24);
    ImageDrawParams params;
    params.corner = {12, 12, 12, 12};
    DrawImage(dc, item, dc.bounds(), blocks, params);
    EXPECT_EQ(dc.pixel(4, 4), BLOCK[0]);
}

TEST(ImageDrawingTest, DestOffsetsAreClippedToTheControl) {
    EXPECT_EQ(ImageDestRect({10, 10, 60, 60}, {}), (UiRect{10, 10, 60, 60}));
    EXPECT_EQ(ImageDestRect({10, 10, 60, 60}, {5, 6, 20, 1000}), (UiRect{15, 16, 30, 60}));
    DrawContext dc(70, 70);
    const ImageEntry red = *ImageEntry::fromColor(0xFFFF0000);
    ImageDrawParams params;
    params.dest = {5, 6, 20, 1000};
    DrawImage(dc, {10, 10, 60, 60}, dc.bounds(), red, params);
    EXPECT_TRUE(RegionIs(dc, {15, 16, 30, 60}, 0xFFFF0000));
    EXPECT_EQ(dc.pixel(14, 30), 0u);
    EXPECT_EQ(dc.pixel(20, 60), 0u);
}

TEST(ImageDrawingTest, ProgressBarCapsKeepTheirWidth) {
    // Columns 35..40 and 64..69 are the caps, 41..63 the middle, 8 rows high.
    const ImageEntry bar = MakeImage(1040, 18, [](int x, int y) -> std::uint32_t {
        if (y >= 8 || x < 35 || x >= 70)
            return 0xFFFFFFFF;
        return x < 41 ? 0xFFFF0000 : x < 64 ? 0xFF00FF00 : 0xFF0000FF;
    });
    ImageDrawParams params;
    params.source = {35, 0, 70, 8};
    params.corner = {6, 0, 6, 0};
    DrawContext dc(530, 9);
    DrawImage(dc, {0, 0, 530, 9}, dc.bounds(), bar, params);
    EXPECT_TRUE(RegionIs(dc, {0, 0, 6, 9}, 0xFFFF0000));
    EXPECT_TRUE(RegionIs(dc, {6, 0, 524, 9}, 0xFF00FF00));
    EXPECT_TRUE(RegionIs(dc, {524, 0, 530, 9}, 0xFF0000FF));
}

TEST(ImageDrawingTest, TiledCentreRepeatsAndCutsTheLastCopy) {
    const ImageEntry stripes =
        MakeImage(2, 1, [](int x, int) { return x == 0 ? 0xFFFF0000u : 0xFF00FF00u; });
    ImageDrawParams params;
    params.xtiled = true;
    DrawContext dc(7, 3);
    DrawImage(dc, dc.bounds(), dc.bounds(), stripes, params);
    for (int x = 0; x < 7; ++x)
        EXPECT_TRUE(RegionIs(dc, {x, 0, x + 1, 3}, x % 2 == 0 ? 0xFFFF0000 : 0xFF00FF00)) << x;

    params.xtiled = false;
    params.ytiled = true;
    DrawContext down(3, 5);
    const ImageEntry rows =
        MakeImage(1, 2, [](int, int y) { return y == 0 ? 0xFFFF0000u : 0xFF0000FFu; });
    DrawImage(down, down.bounds(), down.bounds(), rows, params);
    EXPECT_TRUE(RegionIs(down, {0, 3, 3, 4}, 0xFF0000FF));
    EXPECT_TRUE(RegionIs(down, {0, 4, 3, 5}, 0xFFFF0000));
}

TEST(ImageDrawingTest, FadeAndAlphaBlendWhileOpaqueImagesReplace) {
    const ImageEntry red = *ImageEntry::fromColor(0xFFFF0000);
    DrawContext dc(10, 10);
    FillColor(dc, dc.bounds(), 0xFF0000FF);
    ImageDrawParams params;
    params.fade = 128;
    DrawImage(dc, {0, 0, 5, 10}, dc.bounds(), red, params);
    EXPECT_TRUE(Near(dc.pixel(2, 2), 0xFF80007F)) << std::hex << dc.pixel(2, 2);

    // Premultiplied half-white over the blue: per-pixel alpha.
    const ImageEntry half = *ImageEntry::fromColor(0x80FFFFFF);
    DrawImage(dc, {5, 0, 10, 5}, dc.bounds(), half, {});
    EXPECT_TRUE(Near(dc.pixel(7, 2), 0xFF8080FF)) << std::hex << dc.pixel(7, 2);

    // An opaque image with fade 255 is copied.
    DrawImage(dc, {5, 5, 10, 10}, dc.bounds(), red, {});
    EXPECT_EQ(dc.pixel(7, 7), 0xFFFF0000u);

    // The mask made transparent pixels: nothing shows through as black.
    const std::uint8_t black[] = {0, 0, 0, 255};
    const ImageEntry masked = *ImageEntry::fromRgba(black, 1, 1, 0xFF000000);
    DrawImage(dc, {0, 0, 5, 10}, dc.bounds(), masked, {});
    EXPECT_TRUE(Near(dc.pixel(2, 2), 0xFF80007F));
}

TEST(ImageDrawingTest, ColorFillsFollowTheAlphaRules) {
    DrawContext dc(10, 10);
    FillColor(dc, {0, 0, 10, 10}, 0xFF3179FD);
    EXPECT_TRUE(RegionIs(dc, {0, 0, 10, 10}, 0xFF3179FD));
    FillColor(dc, {0, 0, 10, 10}, 0x003179FD); // alpha 00: nothing
    FillColor(dc, {0, 0, 10, 10}, 0x00FFFFFF);
    EXPECT_TRUE(RegionIs(dc, {0, 0, 10, 10}, 0xFF3179FD));
    FillColor(dc, {0, 0, 5, 5}, 0x80FFFFFF);
    EXPECT_TRUE(Near(dc.pixel(2, 2), 0xFF98BCFE)) << std::hex << dc.pixel(2, 2);
    EXPECT_EQ(dc.pixel(7, 7), 0xFF3179FDu);

    DrawContext empty(4, 4);
    FillColor(empty, {0, 0, 4, 4}, 0x80000000); // translucent over nothing stays translucent
    EXPECT_TRUE(Near(empty.pixel(1, 1), 0x80000000));
}

TEST(ImageDrawingTest, GradientsRunBetweenTheColoursWithTheAverageAlpha) {
    DrawContext dc(10, 100);
    FillGradient(dc, {0, 0, 10, 100}, 0xFFFF0000, 0xFF0000FF, true);
    EXPECT_TRUE(Near(dc.pixel(5, 0), 0xFFFF0000, 4)) << std::hex << dc.pixel(5, 0);
    EXPECT_TRUE(Near(dc.pixel(5, 99), 0xFF0000FF, 4)) << std::hex << dc.pixel(5, 99);
    EXPECT_TRUE(Near(dc.pixel(5, 50), 0xFF7F0080, 4)) << std::hex << dc.pixel(5, 50);
    EXPECT_EQ(dc.pixel(0, 10), dc.pixel(9, 10)); // vertical: rows are uniform

    DrawContext across(100, 2);
    FillGradient(across, across.bounds(), 0xFF000000, 0xFFFFFFFF, false);
    EXPECT_LT(across.pixel(5, 0) & 0xFF, across.pixel(95, 0) & 0xFF);

    // Average alpha 0 draws nothing; a translucent average blends.
    DrawContext blend(10, 10);
    FillColor(blend, blend.bounds(), 0xFF000000);
    FillGradient(blend, blend.bounds(), 0x00FFFFFF, 0x00FFFFFF, true);
    EXPECT_EQ(blend.pixel(5, 5), 0xFF000000u);
    FillGradient(blend, blend.bounds(), 0xFFFFFFFF, 0x00FFFFFF, true); // average 127
    EXPECT_TRUE(Near(blend.pixel(5, 5), 0xFF7F7F7F)) << std::hex << blend.pixel(5, 5);
}

} // namespace
} // namespace inkwarden

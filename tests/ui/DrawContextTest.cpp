#include "ui/draw/DrawContext.h"

#include "ui/draw/ImageEntry.h"
#include "ui/draw/ImageLoader.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace inkwarden {
namespace {

TEST(DrawContextTest, ClipStackLimitsFillsAndUnwinds) {
    DrawContext dc(20, 20);
    ASSERT_TRUE(dc.isValid());
    EXPECT_EQ(dc.pixel(5, 5), 0u);
    dc.pushClip({0, 0, 10, 10});
    dc.pushClip({5, 5, 20, 20}); // nested: only 5..10 remains
    cairo_set_source_rgb(dc.cairo(), 1, 0, 0);
    cairo_paint(dc.cairo());
    EXPECT_EQ(dc.clipDepth(), 2);
    dc.popClip();
    dc.popClip();
    dc.popClip(); // an extra pop is harmless
    EXPECT_EQ(dc.clipDepth(), 0);
    EXPECT_EQ(dc.pixel(7, 7), 0xFFFF0000u);
    EXPECT_EQ(dc.pixel(4, 7), 0u);
    EXPECT_EQ(dc.pixel(12, 7), 0u);
    EXPECT_EQ(dc.pixel(-1, 0), 0u);
}

TEST(DrawContextTest, RoundClipCutsTheCorners) {
    DrawContext dc(40, 40);
    dc.pushRoundClip({0, 0, 40, 40}, {20, 20});
    cairo_set_source_rgb(dc.cairo(), 0, 0, 1);
    cairo_paint(dc.cairo());
    dc.popClip();
    EXPECT_EQ(dc.pixel(0, 0), 0u);
    EXPECT_EQ(dc.pixel(39, 39), 0u);
    EXPECT_EQ(dc.pixel(20, 0), 0xFF0000FFu);
    EXPECT_EQ(dc.pixel(20, 20), 0xFF0000FFu);
}

TEST(DrawContextTest, WrapSharesPixelsAndPngRoundTrips) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 3, 2);
    {
        DrawContext dc = DrawContext::wrap(surface);
        ASSERT_TRUE(dc.isValid());
        dc.setPixel(1, 1, 0x80400000); // premultiplied half-transparent red
        DrawContext moved = std::move(dc);
        EXPECT_FALSE(dc.isValid());
        const auto path = std::filesystem::temp_directory_path() / "iw_drawcontext.png";
        ASSERT_TRUE(moved.savePng(path.string()));
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        auto image = ImageEntry::decode(bytes.data(), bytes.size());
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width(), 3);
        EXPECT_TRUE(image->hasAlpha());
        EXPECT_EQ(image->pixel(1, 1) >> 24, 0x80u);
        std::filesystem::remove(path);
    }
    // The wrapper held its own reference; the pixels are still ours.
    const auto* data =
        reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface));
    EXPECT_EQ(data[cairo_image_surface_get_stride(surface) / 4 + 1], 0x80400000u);
    cairo_surface_destroy(surface);
    EXPECT_FALSE(DrawContext::wrap(nullptr).isValid());
}

TEST(ImageEntryTest, CopyRulesPremultiplyAndMask) {
    const std::uint8_t rgba[] = {
        255, 0,   0,  255, // opaque red: copied
        200, 100, 50, 128, // translucent: premultiplied
        0,   0,   0,  255, // opaque black: the mask clears it
        10,  20,  30, 0,   // transparent: 0
    };
    auto image = ImageEntry::fromRgba(rgba, 4, 1, 0xFF000000);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(image->pixel(1, 0), (128u << 24) | (100u << 16) | (50u << 8) | 25u);
    EXPECT_EQ(image->pixel(2, 0), 0u);
    EXPECT_EQ(image->pixel(3, 0), 0u);
    EXPECT_TRUE(image->hasAlpha());

    // Only the mask makes an otherwise opaque image one with alpha.
    const std::uint8_t opaque[] = {0, 0, 0, 255, 9, 9, 9, 255};
    EXPECT_FALSE(ImageEntry::fromRgba(opaque, 2, 1)->hasAlpha());
    EXPECT_TRUE(ImageEntry::fromRgba(opaque, 2, 1, 0xFF000000)->hasAlpha());
    EXPECT_EQ(ImageEntry::fromRgba(opaque, 2, 1, 0xFF000000)->pixel(1, 0), 0xFF090909u);
}

TEST(ImageEntryTest, DecodeRejectsGarbageAndColorIsOnePixel) {
    const char junk[] = "not an image at all";
    EXPECT_FALSE(ImageEntry::decode(junk, sizeof junk));
    EXPECT_FALSE(ImageEntry::decode(nullptr, 0));
    auto color = ImageEntry::fromColor(0x80FF0000);
    ASSERT_TRUE(color);
    EXPECT_EQ(color->width(), 1);
    EXPECT_TRUE(color->hasAlpha());
    EXPECT_EQ(color->pixel(0, 0), 0x80800000u);
    EXPECT_FALSE(ImageEntry::fromColor(0xFF3179FD)->hasAlpha());
}

TEST(ImageLoaderTest, LookupOrderResourceSkinThenPath) {
    // A real PNG on disk, made with the drawing context.
    DrawContext dc(2, 2);
    dc.setPixel(0, 0, 0xFF00FF00);
    const auto path = std::filesystem::temp_directory_path() / "iw_loader.png";
    ASSERT_TRUE(dc.savePng(path.string()));
    std::ifstream in(path, std::ios::binary);
    const std::string png((std::istreambuf_iterator<char>(in)), {});

    ImageLoader loader;
    std::vector<std::string> asked;
    loader.setResourceReader([&](const std::string& type, const std::string& name) {
        asked.push_back("res:" + type + ":" + name);
        return name == "101" ? std::optional<std::string>(png) : std::nullopt;
    });
    loader.setSkinFileReader([&](const std::string& name) {
        asked.push_back("skin:" + name);
        return name == "png/a.png" ? std::optional<std::string>(png) : std::nullopt;
    });
    EXPECT_TRUE(loader.load("101", "PNG", 0));
    EXPECT_TRUE(loader.load("png/a.png", "", 0));
    // Not in the skin: the name as a path.
    EXPECT_TRUE(loader.load(path.string(), "", 0));
    EXPECT_FALSE(loader.load("missing.png", "", 0));
    EXPECT_FALSE(loader.load("", "", 0));
    EXPECT_EQ(asked, (std::vector<std::string>{"res:PNG:101", "skin:png/a.png",
                                               "skin:" + path.string(), "skin:missing.png"}));
    std::filesystem::remove(path);
}

} // namespace
} // namespace inkwarden

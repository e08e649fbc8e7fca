// Painting at a scale: drawing contexts of device pixels, images that take their 2x
// variant, and the installer's skin at scale 2 (twice the pixels, the same layout, sharp).
#include "ui/controls/ForEachControl.h"
#include "ui/devtools/HeadlessSkinView.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// A PNG of one colour.
std::string Png(int width, int height, std::uint32_t argb) {
    DrawContext dc(width, height);
    SetSourceArgb(dc.cairo(), argb);
    cairo_paint(dc.cairo());
    std::string bytes;
    cairo_surface_write_to_png_stream(dc.surface(), AppendBytes, &bytes);
    return bytes;
}

constexpr std::uint32_t RED = 0xFFFF0000;
constexpr std::uint32_t GREEN = 0xFF00FF00;

TEST(ScaledDrawContext, LogicalDrawingCoversScaledPixels) {
    DrawContext dc(10, 5, 2);
    ASSERT_TRUE(dc.isValid());
    EXPECT_EQ(dc.width(), 10);
    EXPECT_EQ(dc.pixelWidth(), 20);
    EXPECT_EQ(dc.pixelHeight(), 10);
    EXPECT_EQ(dc.bounds(), (UiRect{0, 0, 10, 5}));
    dc.pushClip({0, 0, 5, 5});
    SetSourceArgb(dc.cairo(), GREEN);
    cairo_paint(dc.cairo());
    dc.popClip();
    EXPECT_EQ(dc.pixel(9, 9), GREEN);
    EXPECT_EQ(dc.pixel(10, 0), 0u);
    // A wrapped surface keeps its scale.
    const DrawContext wrapped = DrawContext::wrap(dc.surface());
    EXPECT_EQ(wrapped.scale(), 2);
    EXPECT_EQ(wrapped.width(), 10);
    EXPECT_FALSE(DrawContext(10, 5, 0).isValid());
    EXPECT_FALSE(DrawContext(10, 5, DrawContext::MAX_SCALE + 1).isValid());
    EXPECT_FALSE(DrawContext(20000, 5, 2).isValid()) << "beyond cairo's largest image";
}

struct ImageVariants : ::testing::Test {
    std::map<std::string, std::string> files = {
        {"png/a.png", Png(3, 2, RED)},      {"png/a@2x.png", Png(6, 4, GREEN)},
        {"png/b.png", Png(3, 2, RED)},      {"png/b@2x.png", Png(5, 4, GREEN)},
        {"png/c@2x.png", Png(6, 4, GREEN)},
    };
    ImageLoader::SkinFileReader reader() {
        return [this](const std::string& name) -> std::optional<std::string> {
            const auto it = files.find(name);
            return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
        };
    }
};

TEST_F(ImageVariants, TwiceTheSizeBesideTheImageStandsInForIt) {
    ImageLoader loader;
    loader.setSkinFileReader(reader());
    const auto a = loader.loadVariant("png/a.png", 0, 2);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->width(), 3) << "the 1x image's logical size";
    EXPECT_EQ(a->height(), 2);
    EXPECT_EQ(a->scale(), 2);
    EXPECT_EQ(a->pixel(5, 3), GREEN);
    // Not twice the size, or without the 1x image beside it: no variant.
    EXPECT_FALSE(loader.loadVariant("png/b.png", 0, 2));
    EXPECT_FALSE(loader.loadVariant("png/c.png", 0, 2));
    EXPECT_FALSE(loader.loadVariant("png/a.png", 0, 1));
    EXPECT_EQ(ImageLoader::variantName("png\\bg.png", 2), "png\\bg@2x.png");
    EXPECT_EQ(ImageLoader::variantName("art.d/logo", 2), "art.d/logo@2x");
    EXPECT_EQ(ImageLoader::variantScale(1), 1);
    EXPECT_EQ(ImageLoader::variantScale(3), 2);
}

TEST_F(ImageVariants, OneDescriptionDrawsTheVariantOfEachScale) {
    PaintManager manager;
    manager.getImageLoader().setSkinFileReader(reader());
    ImageDescription image;
    image.setText("file='png/a.png' source='1,0,3,2'");
    const UiRect item{0, 0, 2, 2};
    DrawContext hidpi(2, 2, 2);
    ASSERT_TRUE(manager.drawImage(hidpi, item, item, image));
    EXPECT_EQ(hidpi.pixel(3, 3), GREEN);
    DrawContext plain(2, 2);
    ASSERT_TRUE(manager.drawImage(plain, item, item, image));
    EXPECT_EQ(plain.pixel(1, 1), RED);
    // Without a 2x image the 1x one is drawn at scale 2.
    image.setText("file='png/b.png'");
    DrawContext stretched(3, 2, 2);
    ASSERT_TRUE(manager.drawImage(stretched, {0, 0, 3, 2}, {0, 0, 3, 2}, image));
    EXPECT_EQ(stretched.pixel(5, 3), RED);
}

// The presented pixels as a drawing context of their own size.
DrawContext Shown(const HeadlessWindowLayer::Presented& p) {
    DrawContext dc(p.width, p.height);
    std::uint8_t* data = dc.data();
    for (int y = 0; y < p.height; ++y) {
        std::memcpy(data + static_cast<std::size_t>(y) * dc.stride(),
                    &p.pixels[static_cast<std::size_t>(y) * p.width], p.width * 4u);
    }
    dc.markDirty();
    return dc;
}

// Enlarged twice with bilinear filtering, as a compositor stretches a 1x window.
DrawContext Enlarged(const DrawContext& dc) {
    DrawContext big(dc.width() * 2, dc.height() * 2);
    cairo_t* cr = big.cairo();
    cairo_scale(cr, 2, 2);
    cairo_set_source_surface(cr, dc.surface(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
    cairo_paint(cr);
    return big;
}

double Gray(const DrawContext& dc, int x, int y) {
    const std::uint32_t p = dc.pixel(x, y);
    return (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) / 3.0;
}

// Mean squared step between horizontal neighbours: a blurred edge spreads its step over
// more pixels and so has less energy.
double StepEnergy(const DrawContext& dc, const UiRect& r) {
    double sum = 0;
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x + 1 < r.right; ++x) {
            const double d = Gray(dc, x + 1, y) - Gray(dc, x, y);
            sum += d * d;
            ++count;
        }
    }
    return sum / count;
}

struct InstallerAtScale : ::testing::Test {
    HeadlessSkinView plain;
    HeadlessSkinView hidpi;
    void SetUp() override {
        SkinPackage::reset();
        SkinPackage::setResourceZipMemory(ModuleResources::find("ZIPRES", 105));
        hidpi.setScale(2);
        std::string error;
        ASSERT_TRUE(plain.load("main_frame.xml", {}, error)) << error;
        ASSERT_TRUE(hidpi.load("main_frame.xml", {}, error)) << error;
        plain.settle();
        hidpi.settle();
    }
    void TearDown() override { SkinPackage::reset(); }
};

std::vector<UiRect> Layout(HeadlessSkinView& view) {
    std::vector<UiRect> rects;
    ForEachControl(view.manager().getRoot(),
                   [&rects](CControlUI* c) { rects.push_back(c->getPos()); });
    return rects;
}

TEST_F(InstallerAtScale, TwiceThePixelsTheSameLayoutAndSharpText) {
    const HeadlessWindowLayer::Presented& big = *hidpi.layer().presented(hidpi.window());
    EXPECT_EQ(big.width, 1140);
    EXPECT_EQ(big.height, 1120);
    EXPECT_EQ(big.scale, 2);
    EXPECT_EQ(hidpi.layer().clientRect(hidpi.window()), (UiRect{0, 0, 570, 560}));
    EXPECT_EQ(Layout(hidpi), Layout(plain));

    const DrawContext one = Shown(*plain.layer().presented(plain.window()));
    const DrawContext two = Shown(big);
    // Brought down to 1x, the 2x window is the 1x window, give or take antialiasing.
    double error = 0;
    for (int y = 0; y < one.height(); ++y) {
        for (int x = 0; x < one.width(); ++x) {
            const double reduced = (Gray(two, 2 * x, 2 * y) + Gray(two, 2 * x + 1, 2 * y) +
                                    Gray(two, 2 * x, 2 * y + 1) + Gray(two, 2 * x + 1, 2 * y + 1)) /
                                   4;
            error += std::abs(reduced - Gray(one, x, y));
        }
    }
    error /= one.width() * one.height();
    EXPECT_LT(error, 3.0) << "mean difference in grey levels";

    // The licence box's words: sharper than the 1x window enlarged.
    const UiRect words{42, 333, 148, 349};
    const UiRect words2{2 * words.left, 2 * words.top, 2 * words.right, 2 * words.bottom};
    const double sharp = StepEnergy(two, words2);
    const double blurred = StepEnergy(Enlarged(one), words2);
    RecordProperty("step_energy_2x", std::to_string(sharp));
    RecordProperty("step_energy_1x_enlarged", std::to_string(blurred));
    RecordProperty("grey_error_reduced", std::to_string(error));
    EXPECT_GT(sharp, 1.5 * blurred) << "2x " << sharp << ", 1x enlarged " << blurred;
    // The box itself comes from its 2x image: not the 1x pixels doubled.
    int finer = 0;
    for (int y = 2 * 333; y < 2 * 349; ++y) {
        for (int x = 2 * 20; x < 2 * 36; ++x) {
            finer += two.pixel(x, y) != one.pixel(x / 2, y / 2) ? 1 : 0;
        }
    }
    EXPECT_GT(finer, 100);
}

TEST_F(InstallerAtScale, ANewScaleRepaintsTheWholeWindowAtIt) {
    plain.layer().setScaleFactor(2);
    plain.layer().advance(PaintManager::LAYERED_REPAINT_MS);
    const HeadlessWindowLayer::Presented& now = *plain.layer().presented(plain.window());
    EXPECT_EQ(now.width, 1140);
    EXPECT_EQ(now.area, (UiRect{0, 0, 570, 560}));
    EXPECT_EQ(now.pixels, hidpi.layer().presented(hidpi.window())->pixels);
    plain.layer().setScaleFactor(1);
    plain.layer().advance(PaintManager::LAYERED_REPAINT_MS);
    EXPECT_EQ(plain.layer().presented(plain.window())->width, 570);
}

} // namespace
} // namespace inkwarden

// The installer's own skin archive, damaged: an archive that cannot be read ends the program
// through the error box with exit code 1; a damaged image in a sound archive is not drawn,
// and everything else still is.
#include "HeadlessHostTest.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestLanguage.h"
#include "ui/controls/CControlUI.h"
#include "ui/devtools/HeadlessSkinView.h"
#include "ui/draw/ImageEntry.h"
#include "ui/host/WindowHost.h"
#include "ui/host/WindowImplBase.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"
#include "ui/native/headless/HeadlessWindowLayer.h"

#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <list>
#include <optional>
#include <random>
#include <string>
#include <vector>
#include <zip.h>
#include <zlib.h>

namespace inkwarden {
namespace {

std::string InstallerZip() {
    const auto bytes = ModuleResources::find("ZIPRES", 105);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// One file of the compiled-in skin archive.
std::string InstallerSkinFile(const std::string& name) {
    SkinPackage::reset();
    SkinPackage::setResourceZipMemory(ModuleResources::find("ZIPRES", 105));
    std::vector<unsigned char> bytes;
    std::string error;
    EXPECT_TRUE(SkinPackage::readFile(name, bytes, error)) << error;
    SkinPackage::reset();
    return std::string(bytes.begin(), bytes.end());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// folder/skin.zip: the installer's archive with one entry's bytes replaced.
void WithEntry(const std::string& folder, const std::string& name, const std::string& bytes) {
    const std::string path = folder + "/skin.zip";
    WriteFile(path, InstallerZip());
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), 0, &error);
    EXPECT_NE(archive, nullptr);
    const zip_int64_t index = zip_name_locate(archive, name.c_str(), 0);
    EXPECT_GE(index, 0) << name;
    zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
    EXPECT_EQ(zip_file_replace(archive, static_cast<zip_uint64_t>(index), source, 0), 0);
    EXPECT_EQ(zip_close(archive), 0);
}

class ZipSkinWindow : public WindowImplBase {
public:
    std::string folder;

protected:
    const char* windowClassName() const override { return "CorruptSkinWindow"; }
    std::string skinFolder() override { return folder; }
    std::string skinFile() override { return "main_frame.xml"; }
    SkinSource skinSource() const override { return SkinSource::ZipFile; }
    std::string zipFileName() const override { return "skin.zip"; }
};

class CorruptSkinArchive : public HeadlessHostTest {
protected:
    // Opens the installer's window over folder/skin.zip; the window, or 0.
    NativeWindowId open() {
        SkinPackage::reset();
        exit_code.reset();
        boxes = layer.messageBoxCalls().size();
        ZipSkinWindow& window = windows.emplace_back();
        window.folder = dir.path().string();
        return window.create(0, "Downloader", WS_POPUP | WS_VISIBLE, 0, {0, 0, 570, 460});
    }
    void ExpectFatal(const std::string& what) {
        EXPECT_EQ(open(), 0u) << what;
        EXPECT_EQ(exit_code, 1) << what;
        ASSERT_EQ(layer.messageBoxCalls().size(), boxes + 1) << what;
        EXPECT_EQ(layer.messageBoxCalls().back().text, "加载资源文件失败") << what;
        EXPECT_EQ(layer.messageBoxCalls().back().caption, "错误") << what;
    }

    test::TempDir dir;
    std::list<ZipSkinWindow> windows; // each lives as long as the layer's record of it
    size_t boxes = 0;
};

TEST_F(CorruptSkinArchive, UnreadableArchivesEndTheProgramWithTheErrorBox) {
    // The box in Chinese, on a Chinese desktop.
    ASSERT_EQ(test::UseLocale("zh_CN.UTF-8"), "zh_CN");
    const std::string zip = InstallerZip();
    const std::string path = dir.file("skin.zip");

    // The sound archive, for comparison, builds.
    WriteFile(path, zip);
    EXPECT_NE(open(), 0u);
    EXPECT_FALSE(exit_code);

    WriteFile(path, zip.substr(0, zip.size() * 6 / 10));
    ExpectFatal("cut short: no central directory");
    WriteFile(path, "");
    ExpectFatal("empty");
    std::string noise(4096, '\0');
    std::mt19937 random(7);
    for (char& c : noise)
        c = static_cast<char>(random());
    WriteFile(path, noise);
    ExpectFatal("noise");
    std::filesystem::remove(path);
    ExpectFatal("missing");

    // The markup's compressed bytes damaged inside an intact directory: the entry fails its
    // check when read.
    const std::string name = "main_frame.xml";
    const size_t header = zip.find(name) - 30;
    ASSERT_EQ(zip.compare(header, 4, "PK\3\4"), 0);
    const size_t extra = static_cast<unsigned char>(zip[header + 28]) |
                         static_cast<unsigned char>(zip[header + 29]) << 8;
    std::string damaged = zip;
    const size_t data = header + 30 + name.size() + extra;
    for (size_t i = data + 8; i < data + 40; ++i)
        damaged[i] = static_cast<char>(~damaged[i]);
    WriteFile(path, damaged);
    ExpectFatal("damaged markup entry");

    // Markup that is cut short inside a sound archive.
    WithEntry(dir.path().string(), "main_frame.xml", "<Window size=\"570,460\"><VerticalLay");
    ExpectFatal("cut markup");
    test::UseLocale("C.UTF-8");
}

TEST(CorruptImage, DamagedBytesDecodeToNothingOrToAnImageOfTheirOwnSize) {
    const std::string png = InstallerSkinFile("png/install_normal.png");
    ASSERT_TRUE(ImageEntry::decode(png.data(), png.size()));

    for (size_t cut = 0; cut < png.size(); cut += 1 + png.size() / 64) {
        const auto image = ImageEntry::decode(png.data(), cut);
        if (image) {
            EXPECT_GT(image->width(), 0);
            EXPECT_GT(image->height(), 0);
        }
    }
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        std::string damaged = png;
        for (int i = 0; i < 8; ++i)
            damaged[random() % damaged.size()] = static_cast<char>(random());
        const auto image = ImageEntry::decode(damaged.data(), damaged.size());
        if (image) {
            EXPECT_EQ(image->pixel(image->width(), 0), 0u);
        }
    }
    EXPECT_FALSE(ImageEntry::decode("\x89PNG\r\n\x1a\n", 8));
    EXPECT_FALSE(ImageEntry::decode("not an image", 12));
}

// A black and white PNG of the given size: a few kilobytes that decode to 4 bytes a pixel.
std::string TwoColourPng(std::uint32_t width, std::uint32_t height) {
    auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    };
    auto chunk = [&](const std::string& type, const std::string& body) {
        const std::string typed = type + body;
        const auto crc =
            crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
        return be32(static_cast<std::uint32_t>(body.size())) + typed +
               be32(static_cast<std::uint32_t>(crc));
    };
    const std::string header = be32(width) + be32(height) + std::string("\1\0\0\0\0", 5);
    // Each row: filter byte 0, then one bit per pixel, all white.
    std::string row(1 + (width + 7) / 8, '\xff');
    row[0] = 0;
    std::string raw;
    raw.reserve(row.size() * height);
    for (std::uint32_t y = 0; y < height; ++y)
        raw += row;
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packed_size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
              reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 9);
    packed.resize(packed_size);
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + chunk("IDAT", packed) + chunk("IEND", "");
}

TEST(CorruptImage, ImageOfMorePixelsThanAnyScreenIsRefused) {
    const std::string small = TwoColourPng(16, 16);
    const auto image = ImageEntry::decode(small.data(), small.size());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixel(15, 15), 0xFFFFFFFFu);
    // 8193 x 8193 in about 10 KB; decoded it would take 256 MiB.
    const std::string huge = TwoColourPng(8193, 8193);
    ASSERT_LT(huge.size(), 100000u);
    EXPECT_FALSE(ImageEntry::decode(huge.data(), huge.size()));
}

TEST(CorruptImage, DamagedButtonImageIsNotDrawnAndTheRestOfTheSkinIs) {
    test::TempDir dir;
    auto render = [&](HeadlessSkinView& view) {
        SkinPackage::reset();
        SkinPackage::setResourcePath(dir.path().string());
        SkinPackage::setResourceZip("skin.zip");
        std::string error;
        EXPECT_TRUE(view.load("main_frame.xml", {}, error)) << error;
        view.settle();
    };
    WriteFile(dir.file("skin.zip"), InstallerZip());
    HeadlessSkinView sound;
    render(sound);
    // The start button's normal image cut to its first 100 bytes.
    const std::string png = InstallerSkinFile("png/install_normal.png");
    ASSERT_GT(png.size(), 100u);
    WithEntry(dir.path().string(), "png/install_normal.png", png.substr(0, 100));
    HeadlessSkinView damaged;
    render(damaged);
    SkinPackage::reset();

    const UiRect button = damaged.manager().findControlByName("btn_install_start")->getPos();
    ASSERT_EQ(button, sound.manager().findControlByName("btn_install_start")->getPos());
    int differing_inside = 0;
    for (int y = 0; y < 460; y += 2) {
        for (int x = 0; x < 570; x += 2) {
            const bool inside =
                x >= button.left && x < button.right && y >= button.top && y < button.bottom;
            if (inside)
                differing_inside += damaged.pixel(x, y) != sound.pixel(x, y);
            else
                ASSERT_EQ(damaged.pixel(x, y), sound.pixel(x, y)) << x << "," << y;
        }
    }
    EXPECT_GT(differing_inside, button.width() * button.height() / 4 / 2);
}

} // namespace
} // namespace inkwarden

// The installer's whole skin, built and laid out at both window heights, against tables that
// were checked by hand once: any change of the markup, the builder or the layout arithmetic
// that moves a control shows up here as a line diff.
#include "BuildConfig.h"
#include "ui/devtools/SkinLayoutListing.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"
#include "ui/runtime/PaintManager.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

const std::string SOURCE_DIR = build_config::SOURCE_DIR;

std::string ReadTable(const std::string& name) {
    std::ifstream in(SOURCE_DIR + "/tests/ui/data/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Listing(UiSize size) {
    SkinLayoutOptions options;
    options.size = size;
    options.all_pages = true;
    std::string out;
    std::string error;
    EXPECT_TRUE(ListSkinLayout("main_frame.xml", options, out, error)) << error;
    return out;
}

class SkinLayoutTableTest : public ::testing::Test {
protected:
    void SetUp() override { SkinPackage::reset(); }
    void TearDown() override {
        SkinPackage::reset();
        PaintManager::removeAllSharedFonts();
    }
    void UseCompiledInSkin() {
        const auto zip = ModuleResources::find("ZIPRES", 105);
        ASSERT_FALSE(zip.empty());
        SkinPackage::setResourceZipMemory(zip);
    }
};

TEST_F(SkinLayoutTableTest, InstallerSkinMatchesTheCheckedTables) {
    UseCompiledInSkin();
    EXPECT_EQ(Listing({570, 560}), ReadTable("main_frame_layout_570x560.txt"));
    EXPECT_EQ(Listing({570, 370}), ReadTable("main_frame_layout_570x370.txt"));
    // The skin's own "size" is the full window.
    EXPECT_EQ(Listing({0, 0}), ReadTable("main_frame_layout_570x560.txt"));
}

TEST_F(SkinLayoutTableTest, OnePageListsTheOthersHidden) {
    UseCompiledInSkin();
    SkinLayoutOptions options;
    options.page = 3;
    std::string out;
    std::string error;
    ASSERT_TRUE(ListSkinLayout("main_frame.xml", options, out, error)) << error;
    EXPECT_NE(out.find("Button btn_install_retry               210,228,350,270 visible"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("btn_install_start               0,0,0,0 hidden"), std::string::npos);

    options.page = 4;
    out.clear();
    EXPECT_FALSE(ListSkinLayout("main_frame.xml", options, out, error));
    EXPECT_EQ(error, "the skin has no page 4");
}

// The skin's sources as a folder skin: its markup names images with "\", the same names
// that the zip lookup takes.
TEST_F(SkinLayoutTableTest, FolderSkinTakesEitherSlashAndLaysOutAlike) {
    SkinPackage::setResourcePath(SOURCE_DIR + "/skin");
    std::vector<unsigned char> bytes;
    std::string error;
    ASSERT_TRUE(SkinPackage::readFile("png\\bg.png", bytes, error)) << error;
    const size_t size = bytes.size();
    ASSERT_TRUE(SkinPackage::readFile("png/bg.png", bytes, error)) << error;
    EXPECT_EQ(bytes.size(), size);
    EXPECT_FALSE(SkinPackage::readFile("png\\missing.png", bytes, error));
    EXPECT_EQ(error, "Error opening file");

    EXPECT_EQ(Listing({570, 560}), ReadTable("main_frame_layout_570x560.txt"));
}

TEST_F(SkinLayoutTableTest, UnbuildableSkinIsAReasonNotATree) {
    SkinPackage::setResourcePath(SOURCE_DIR + "/tests/ui/data");
    SkinLayoutOptions options;
    std::string out;
    std::string error;
    EXPECT_FALSE(ListSkinLayout("no_such_skin.xml", options, out, error));
    EXPECT_EQ(error, "cannot build no_such_skin.xml: Error opening file");
    EXPECT_TRUE(out.empty());
}

} // namespace
} // namespace inkwarden

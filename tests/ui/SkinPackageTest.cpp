#include "ui/markup/SkinPackage.h"

#include "ui/markup/MarkupDocument.h"
#include "ui/markup/ModuleResources.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <zip.h>

namespace inkwarden {
namespace {

namespace fs = std::filesystem;

class SkinPackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        SkinPackage::reset();
        dir_ = fs::temp_directory_path() /
               ("iw_skin_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        SkinPackage::reset();
        fs::remove_all(dir_);
    }

    // A zip made with libzip: entries stored or deflated, names as given.
    std::string MakeZip(const std::string& file,
                        const std::vector<std::pair<std::string, std::string>>& entries,
                        bool deflate = true) {
        const std::string path = (dir_ / file).string();
        int error = 0;
        zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        EXPECT_NE(archive, nullptr);
        for (const auto& [name, bytes] : entries) {
            zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
            const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
            EXPECT_GE(index, 0);
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                     deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
        }
        EXPECT_EQ(zip_close(archive), 0);
        return path;
    }

    void WriteFile(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }

    static std::vector<unsigned char> ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    }

    // Markup of exactly size bytes.
    static std::string MarkupOfSize(size_t size) {
        std::string text = "<a>";
        text.append(size - 7, 'x');
        text += "</a>";
        return text;
    }

    fs::path dir_;
};

TEST_F(SkinPackageTest, ReadsFilesUnderResourcePath) {
    WriteFile("main_frame.xml", "<Window/>");
    WriteFile("empty.xml", "");
    SkinPackage::setResourcePath(dir_.string());
    EXPECT_EQ(SkinPackage::resourcePath(), dir_.string() + "/");
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFromFile("main_frame.xml", TextEncoding::Utf8));
    EXPECT_STREQ(doc.root().name(), "Window");
    EXPECT_FALSE(doc.loadFromFile("missing.xml", TextEncoding::Utf8));
    EXPECT_EQ(doc.lastErrorMessage(), "Error opening file");
    EXPECT_EQ(doc.lastErrorLocation(), "missing.xml");
    EXPECT_FALSE(doc.loadFromFile("empty.xml", TextEncoding::Utf8));
    EXPECT_EQ(doc.lastErrorMessage(), "File is empty");
    std::vector<unsigned char> bytes;
    std::string error;
    EXPECT_FALSE(SkinPackage::readFile("", bytes, error)); // the folder itself
    EXPECT_EQ(error, "Error opening file");
}

TEST_F(SkinPackageTest, FourMebibytesLoadOneMoreByteDoesNot) {
    const size_t limit = SkinPackage::MAX_FILE_SIZE;
    ASSERT_EQ(limit, 4194304u);
    WriteFile("exact.xml", MarkupOfSize(limit));
    WriteFile("over.xml", MarkupOfSize(limit + 1));
    SkinPackage::setResourcePath(dir_.string());
    MarkupDocument doc;
    EXPECT_TRUE(doc.loadFromFile("exact.xml", TextEncoding::Utf8)) << doc.lastErrorMessage();
    EXPECT_FALSE(doc.loadFromFile("over.xml", TextEncoding::Utf8));
    EXPECT_EQ(doc.lastErrorMessage(), "File too large");

    MakeZip("big.zip", {{"exact.xml", MarkupOfSize(limit)}, {"over.xml", MarkupOfSize(limit + 1)}});
    SkinPackage::setResourceZip("big.zip");
    EXPECT_TRUE(doc.loadFromFile("exact.xml", TextEncoding::Utf8)) << doc.lastErrorMessage();
    EXPECT_FALSE(doc.loadFromFile("over.xml", TextEncoding::Utf8));
    EXPECT_EQ(doc.lastErrorMessage(), "File too large");
}

TEST_F(SkinPackageTest, ZipLookupIgnoresCaseAndSlashDirection) {
    MakeZip("skin.zip",
            {{"main_frame.xml", "<Window/>"}, {"png/bg.png", "PNGDATA"}, {"empty.txt", ""}}, false);
    SkinPackage::setResourcePath(dir_.string());
    SkinPackage::setResourceZip("skin.zip");
    EXPECT_EQ(SkinPackage::resourceZipName(), "skin.zip");
    std::vector<unsigned char> bytes;
    std::string error;
    ASSERT_TRUE(SkinPackage::readFile("PNG\\BG.PNG", bytes, error)) << error;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "PNGDATA");
    EXPECT_TRUE(SkinPackage::readFile("Png/Bg.png", bytes, error));
    EXPECT_FALSE(SkinPackage::readFile("png/none.png", bytes, error));
    EXPECT_EQ(error, "Could not find ziped file");
    EXPECT_FALSE(SkinPackage::readFile(std::string(256, 'a'), bytes, error));
    EXPECT_EQ(error, "Could not find ziped file");
    EXPECT_FALSE(SkinPackage::readFile("empty.txt", bytes, error));
    EXPECT_EQ(error, "File is empty");
    MarkupDocument doc;
    EXPECT_TRUE(doc.loadFromFile("MAIN_FRAME.XML", TextEncoding::Utf8));
}

TEST_F(SkinPackageTest, UncachedZipIsOpenedPerReadAndBadZipsFail) {
    MakeZip("skin.zip", {{"a.xml", "<a/>"}});
    WriteFile("broken.zip", "PK\x03\x04 not really a zip");
    SkinPackage::setResourcePath(dir_.string());
    SkinPackage::setResourceZip("skin.zip", false);
    std::vector<unsigned char> bytes;
    std::string error;
    EXPECT_TRUE(SkinPackage::readFile("a.xml", bytes, error)) << error;
    SkinPackage::setResourceZip("broken.zip");
    EXPECT_FALSE(SkinPackage::readFile("a.xml", bytes, error));
    EXPECT_EQ(error, "Error opening zip file");
    SkinPackage::setResourceZip("none.zip", false);
    EXPECT_FALSE(SkinPackage::readFile("a.xml", bytes, error));
    EXPECT_EQ(error, "Error opening zip file");
}

TEST_F(SkinPackageTest, CorruptEntryFailsToUnzip) {
    const std::string path = MakeZip("skin.zip", {{"a.xml", std::string(4000, 'a')}});
    std::vector<unsigned char> raw = ReadAll(path);
    // Damage the deflated data of the only entry (it starts after the 30-byte local header
    // and the name).
    for (size_t i = 30 + 5; i < 30 + 5 + 8 && i < raw.size(); ++i) {
        raw[i] ^= 0x5a;
    }
    SkinPackage::setResourceZipMemory(raw);
    std::vector<unsigned char> bytes;
    std::string error;
    EXPECT_FALSE(SkinPackage::readFile("a.xml", bytes, error));
    EXPECT_EQ(error, "Could not unzip file");
}

TEST_F(SkinPackageTest, MemoryArchiveStaysFirstOneSet) {
    const auto first = ReadAll(MakeZip("one.zip", {{"a.xml", "<one/>"}}));
    const auto second = ReadAll(MakeZip("two.zip", {{"a.xml", "<two/>"}}));
    SkinPackage::setResourceZipMemory(first);
    SkinPackage::setResourceZipMemory(second);
    EXPECT_EQ(SkinPackage::resourceZipName(), "membuffer");
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFromFile("A.XML", TextEncoding::Utf8));
    EXPECT_STREQ(doc.root().name(), "one");
}

// The test program links the build's table: the skin archive as "ZIPRES" 105.
TEST_F(SkinPackageTest, CompiledInSkinArchiveHoldsTheMarkup) {
    const auto zip = ModuleResources::find("ZIPRES", 105);
    ASSERT_FALSE(zip.empty());
    EXPECT_EQ(ModuleResources::find("zipres", 105).data(), zip.data());
    EXPECT_TRUE(ModuleResources::find("ZIPRES", 106).empty());
    SkinPackage::setResourceZipMemory(zip);
    MarkupDocument doc;
    ASSERT_TRUE(doc.loadFromFile("main_frame.xml", TextEncoding::Utf8)) << doc.lastErrorMessage();
    EXPECT_STREQ(doc.root().attributeValue("size"), "570,560");
}

TEST(ModuleResources, RegisteredResourcesAreCopies) {
    std::vector<unsigned char> bytes = {1, 2, 3};
    ModuleResources::registerResource("xml", 7, bytes);
    bytes[0] = 9;
    const auto found = ModuleResources::find("XML", 7);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0], 1);
    ModuleResources::unregisterResource("xml", 7);
    EXPECT_TRUE(ModuleResources::find("xml", 7).empty());
}

} // namespace
} // namespace inkwarden

#include "platform/FileVersion.h"

#include "PeImageWriter.h"
#include "TestFolder.h"
#include "platform/VersionBlock.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <sys/stat.h>

namespace inkwarden {
namespace {

using test::BuildPeImage;
using test::BuildVersionBlock;
using test::VersionLayout;

const std::vector<std::pair<std::string, std::string>> ALL_TEXTS = {
    {"Comments", "注释"},
    {"InternalName", "InkwardenMain"},
    {"ProductName", "墨守打印助手"},
    {"CompanyName", "Inkwarden Ltd."},
    {"LegalCopyright", "© 2026"},
    {"ProductVersion", "1.0.0.1"},
    {"FileDescription", "Printer assistant"},
    {"LegalTrademarks", "TM"},
    {"PrivateBuild", "private"},
    {"FileVersion", "1.2.40000.3"},
    {"OriginalFilename", "InkwardenMain.exe"},
    {"SpecialBuild", "special"},
};

VersionLayout ChineseSpec() {
    VersionLayout layout;
    layout.file[0] = 1, layout.file[1] = 2, layout.file[2] = 40000, layout.file[3] = 3;
    layout.product[0] = 1, layout.product[1] = 0, layout.product[2] = 0, layout.product[3] = 1;
    layout.translations = {0x0804 | (0x04b0u << 16)};
    layout.tables = {{"080404b0", ALL_TEXTS}};
    return layout;
}

// Parses a copy of exactly the given bytes, so that a read past them is caught.
FileVersionRecord ReadExact(const std::string& bytes) {
    std::unique_ptr<char[]> copy(new char[bytes.size() + 1]);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    return ReadFileVersionFromImage(std::string_view(copy.get(), bytes.size()));
}

TEST(FileVersion, PeImageWithChineseTableGivesEveryFieldAndSignedFixedParts) {
    const FileVersionRecord r = ReadExact(BuildPeImage(BuildVersionBlock(ChineseSpec())));
    EXPECT_EQ(r.comments, "注释");
    EXPECT_EQ(r.internal_name, "InkwardenMain");
    EXPECT_EQ(r.product_name, "墨守打印助手");
    EXPECT_EQ(r.company_name, "Inkwarden Ltd.");
    EXPECT_EQ(r.legal_copyright, "© 2026");
    EXPECT_EQ(r.product_version, "1.0.0.1");
    EXPECT_EQ(r.file_description, "Printer assistant");
    EXPECT_EQ(r.legal_trademarks, "TM");
    EXPECT_EQ(r.private_build, "private");
    EXPECT_EQ(r.file_version, "1.2.40000.3");
    EXPECT_EQ(r.original_filename, "InkwardenMain.exe");
    EXPECT_EQ(r.special_build, "special");
    EXPECT_EQ(r.fixed_file_version, "1.2.-25536.3");
    EXPECT_EQ(r.fixed_product_version, "1.0.0.1");
    EXPECT_EQ(r.file_version_parts, (std::array<std::int16_t, 4>{1, 2, -25536, 3}));
    EXPECT_EQ(r.product_version_parts, (std::array<std::int16_t, 4>{1, 0, 0, 1}));
}

TEST(FileVersion, TableIsTheOneTheFirstTranslationNames) {
    VersionLayout layout;
    layout.translations = {0x0409 | (0x04e4u << 16), 0x0804 | (0x04b0u << 16)};
    layout.tables = {{"080404b0", {{"FileVersion", "wrong"}}},
                     {"040904E4", {{"FileVersion", "2.0"}, {"ProductName", "Inkwarden"}}}};
    const FileVersionRecord r = ReadExact(BuildPeImage(BuildVersionBlock(layout)));
    EXPECT_EQ(r.file_version, "2.0"); // the table name compares ignoring case
    EXPECT_EQ(r.product_name, "Inkwarden");
}

TEST(FileVersion, MissingNameIsEmptyWhileTheOthersAreFilled) {
    VersionLayout layout = ChineseSpec();
    layout.tables[0].strings.erase(layout.tables[0].strings.begin()); // no "Comments"
    const FileVersionRecord r = ReadExact(BuildPeImage(BuildVersionBlock(layout)));
    EXPECT_EQ(r.comments, "");
    EXPECT_EQ(r.internal_name, "InkwardenMain");
    EXPECT_EQ(r.special_build, "special");
}

TEST(FileVersion, WithoutFixedPartTheFixedTextsReadZero) {
    VersionLayout layout = ChineseSpec();
    layout.fixed_info = false; // value-length word 0
    const FileVersionRecord r = ReadExact(BuildPeImage(BuildVersionBlock(layout)));
    EXPECT_EQ(r.file_version, "1.2.40000.3");
    EXPECT_EQ(r.fixed_file_version, "0.0.0.0");
    EXPECT_EQ(r.fixed_product_version, "0.0.0.0");
    EXPECT_EQ(r.file_version_parts, (std::array<std::int16_t, 4>{}));
}

TEST(FileVersion, ImagesWithoutAUsableResourceGiveTheEmptyRecord) {
    const std::string block = BuildVersionBlock(ChineseSpec());
    EXPECT_EQ(ReadExact(BuildPeImage(block, false)), FileVersionRecord{});   // no resources
    EXPECT_EQ(ReadExact(BuildPeImage(block, true, 3)), FileVersionRecord{}); // icons only
    VersionLayout untranslated = ChineseSpec();
    untranslated.translations.clear();
    EXPECT_EQ(ReadExact(BuildPeImage(BuildVersionBlock(untranslated))), FileVersionRecord{});
    EXPECT_EQ(ReadExact(""), FileVersionRecord{});
    EXPECT_EQ(ReadExact("MZ"), FileVersionRecord{});
    EXPECT_EQ(ReadExact("plain text, not a program"), FileVersionRecord{});
}

TEST(FileVersion, TruncatedAndCorruptImagesNeverReadOutsideTheBytes) {
    const std::string image = BuildPeImage(BuildVersionBlock(ChineseSpec()));
    for (std::size_t size = 0; size < image.size(); ++size) {
        const FileVersionRecord r = ReadExact(image.substr(0, size));
        // A cut inside the resource loses it whole: its declared size no longer fits.
        EXPECT_EQ(r, FileVersionRecord{}) << "size " << size;
    }
    std::mt19937 random(5);
    for (int round = 0; round < 3000; ++round) {
        std::string corrupt = image;
        for (int flips = 0; flips < 4; ++flips) {
            corrupt[random() % corrupt.size()] = static_cast<char>(random());
        }
        ReadExact(corrupt);
    }
}

TEST(FileVersion, BlockLengthsBeyondTheirParentEndTheWalk) {
    std::string block = BuildVersionBlock(ChineseSpec());
    // The root claims more bytes than there are: nothing is found.
    block[0] = static_cast<char>(0xFF);
    block[1] = static_cast<char>(0x7F);
    EXPECT_EQ(VersionBlock(block).record(), FileVersionRecord{});
    // A record of length 0 cannot make the walk stand still.
    std::string zero = BuildVersionBlock(ChineseSpec());
    zero[92] = zero[93] = 0; // first child after the fixed part
    EXPECT_EQ(VersionBlock(zero).record(), FileVersionRecord{});
}

TEST(FileVersion, ReadsFilesAndRefusesWhatIsNoRegularFile) {
    test::TestFolder folder;
    const std::string path =
        folder.write("app.exe", BuildPeImage(BuildVersionBlock(ChineseSpec())));
    EXPECT_EQ(ReadFileVersion(path).file_version, "1.2.40000.3");
    EXPECT_EQ(ReadFileVersion(""), FileVersionRecord{});
    EXPECT_EQ(ReadFileVersion(folder.file("missing.exe")), FileVersionRecord{});
    EXPECT_EQ(ReadFileVersion(folder.path()), FileVersionRecord{});
    const std::string fifo = folder.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadFileVersion(fifo), FileVersionRecord{}); // returns instead of blocking
}

TEST(FileVersion, ElfPackageNoteGivesVersionsAndName) {
    const FileVersionRecord r = ReadFileVersion(IW_VERSIONED_PROGRAM);
    EXPECT_EQ(r.file_version, "1.2.40000.3");
    EXPECT_EQ(r.product_version, "1.2.40000.3");
    EXPECT_EQ(r.product_name, "inkwarden-test");
    EXPECT_EQ(r.company_name, "");
    EXPECT_EQ(r.fixed_file_version, "1.2.-25536.3");
    EXPECT_EQ(r.fixed_product_version, "1.2.-25536.3");
    EXPECT_EQ(r.file_version_parts, (std::array<std::int16_t, 4>{1, 2, -25536, 3}));
}

TEST(FileVersion, ElfWithoutNoteAndTruncatedElfGiveTheEmptyRecord) {
    EXPECT_EQ(ReadFileVersion(IW_PLAIN_PROGRAM), FileVersionRecord{});
    const std::string image = test::TestFolder::read(IW_VERSIONED_PROGRAM);
    ASSERT_GT(image.size(), 1000u);
    // The section table sits at the end; every cut before it loses the note.
    for (std::size_t size = 0; size < image.size(); size += 97) {
        EXPECT_EQ(ReadExact(image.substr(0, size)), FileVersionRecord{}) << "size " << size;
    }
}

TEST(FileVersion, VersionPartsReadLikeTheSignedFormat) {
    EXPECT_EQ(ParseVersionParts("1.2.-25536.3"), (std::array<std::int16_t, 4>{1, 2, -25536, 3}));
    EXPECT_EQ(ParseVersionParts("1.2.40000.3"), (std::array<std::int16_t, 4>{1, 2, -25536, 3}));
    EXPECT_EQ(ParseVersionParts("3.7"), (std::array<std::int16_t, 4>{3, 7, 0, 0}));
    EXPECT_EQ(ParseVersionParts("2.x.5.6"), (std::array<std::int16_t, 4>{2, 0, 0, 0}));
    EXPECT_EQ(ParseVersionParts(""), (std::array<std::int16_t, 4>{}));
    EXPECT_EQ(FormatVersionParts(65535, 32768, 32767, 0), "-1.-32768.32767.0");
}

} // namespace
} // namespace inkwarden

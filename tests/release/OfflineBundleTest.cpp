#include "release/OfflineBundle.h"

#include "demo/ReleaseSigner.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestBundle.h"
#include "tests/support/TestFiles.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;

const demo::ReleaseSigner& Root() {
    static const demo::ReleaseSigner root = *demo::ReleaseSigner::Generate();
    return root;
}

const ReleasePublicKey& RootPublic() {
    static const ReleasePublicKey key = *ReleasePublicKey::FromPem(Root().publicPem());
    return key;
}

const std::string SHA = std::string(64, 'a');

std::string ReleaseJson(const std::string& fields) {
    return "{\"Version_number\":\"1.2.3.4\",\"Package_size\":3,\"Package_sha256\":\"" + SHA + "\"" +
           fields + "}";
}

TEST(OfflineReleaseTest, ReadsTheFieldsInTheirOneForm) {
    const auto good = ParseOfflineRelease(
        ReleaseJson(R"(,"Package_file":"Setup.bin","Not_after":"2030-01-01T00:00:00Z")"));
    ASSERT_TRUE(good.has_value());
    EXPECT_EQ(good->version_number, "1.2.3.4");
    EXPECT_EQ(good->package_file, "Setup.bin");
    EXPECT_EQ(good->package.size, 3);
    EXPECT_EQ(good->package.sha256, SHA);
    EXPECT_EQ(UtcTimeText(good->not_after), "2030-01-01T00:00:00Z");
    // Fields that only the version reply knows are taken as it takes them.
    EXPECT_TRUE(ParseOfflineRelease(ReleaseJson(R"(,"Package_file":"a","Not_after":)"
                                                R"("2030-01-01T00:00:00Z","Soft_name":"x")"))
                    .has_value());

    const std::string time = R"(,"Not_after":"2030-01-01T00:00:00Z")";
    const std::string bad[] = {
        ReleaseJson(R"(,"Package_file":"../Setup.bin")" + time),
        ReleaseJson(R"(,"Package_file":"sub/Setup.bin")" + time),
        ReleaseJson(R"(,"Package_file":"/tmp/Setup.bin")" + time),
        ReleaseJson(R"(,"Package_file":"..")" + time),
        ReleaseJson(R"(,"Package_file":".")" + time),
        ReleaseJson(R"(,"Package_file":"")" + time),
        ReleaseJson(R"(,"Package_file":"a\nb")" + time),
        ReleaseJson(R"(,"Package_file":7)" + time),
        ReleaseJson(time),
        ReleaseJson(R"(,"Package_file":"a")"),
        ReleaseJson(R"(,"Package_file":"a","Not_after":"2030-01-01")"),
        ReleaseJson(R"(,"Package_file":"a","Not_after":"2030-02-30T00:00:00Z")"),
        R"({"Version_number":"1","Package_file":"a","Package_size":3,"Not_after":)"
        R"("2030-01-01T00:00:00Z"})",
        R"({"Version_number":"","Package_file":"a","Package_size":3,"Package_sha256":")" + SHA +
            R"(","Not_after":"2030-01-01T00:00:00Z"})",
        R"({"Version_number":"1","Package_file":"a","Package_size":"3","Package_sha256":")" + SHA +
            R"(","Not_after":"2030-01-01T00:00:00Z"})",
        "[]",
        "not json",
    };
    for (const std::string& text : bad) {
        EXPECT_FALSE(ParseOfflineRelease(text).has_value()) << text;
    }
}

class OfflineBundleTest : public ::testing::Test {
protected:
    OfflineBundle Read(UtcTime now = UtcNow()) {
        return ReadOfflineBundle(folder, &RootPublic(), now);
    }

    test::TempDir temp;
    const std::string folder = temp.file("bundle");
    test::TestBundle bundle{.package_bytes = "package bytes"};
};

TEST_F(OfflineBundleTest, ASignedBundleReadsWithItsPackagePath) {
    bundle.writeTo(folder, Root());
    const OfflineBundle read = Read();
    ASSERT_EQ(read.check, BundleCheck::PASSED);
    EXPECT_EQ(read.release.version_number, bundle.version);
    EXPECT_EQ(read.package_path, folder + "/InkwardenSetup.bin");
    EXPECT_EQ(read.release.package.size, 13);
    // A line feed after the Base64, as base64(1) writes it, is fine.
    std::ofstream(folder + "/release.json.sig", std::ios::app) << "\n";
    EXPECT_EQ(Read().check, BundleCheck::PASSED);
}

TEST_F(OfflineBundleTest, WhatTheRootDidNotSignOrNoLongerVouchesForFails) {
    // Expired, with the day's slack.
    bundle.not_after = UtcNow() - 25h;
    bundle.writeTo(folder, Root());
    EXPECT_EQ(Read().check, BundleCheck::EXPIRED);
    EXPECT_EQ(Read(bundle.not_after + 23h).check, BundleCheck::PASSED);

    // Signed by another key.
    bundle.not_after = UtcNow() + 24h;
    bundle.writeTo(folder, *demo::ReleaseSigner::Generate());
    EXPECT_EQ(Read().check, BundleCheck::BAD_SIGNATURE);

    // Edited after signing: the version, or a blank added.
    bundle.writeTo(folder, Root());
    const std::string json = folder + "/release.json";
    std::string text = test::TestFiles::ReadAll(json);
    text.replace(text.find(bundle.version), bundle.version.size(), "9.9.9.9");
    std::ofstream(json, std::ios::binary | std::ios::trunc) << text;
    EXPECT_EQ(Read().check, BundleCheck::BAD_SIGNATURE);
    bundle.writeTo(folder, Root());
    std::ofstream(json, std::ios::app) << " ";
    EXPECT_EQ(Read().check, BundleCheck::BAD_SIGNATURE);

    // No key in the build, no signature, a signature that is not one.
    bundle.writeTo(folder, Root());
    EXPECT_EQ(ReadOfflineBundle(folder, nullptr, UtcNow()).check, BundleCheck::NO_KEY);
    std::ofstream(folder + "/release.json.sig", std::ios::trunc) << "not base64";
    EXPECT_EQ(Read().check, BundleCheck::BAD_SIGNATURE);
    std::filesystem::remove(folder + "/release.json.sig");
    EXPECT_EQ(Read().check, BundleCheck::UNREADABLE);
    EXPECT_EQ(ReadOfflineBundle(temp.file("missing"), &RootPublic(), UtcNow()).check,
              BundleCheck::UNREADABLE);
}

TEST_F(OfflineBundleTest, ASignedNameThatLeavesTheFolderIsRefused) {
    for (const char* name : {"../InkwardenSetup.bin", "sub/InkwardenSetup.bin", ".."}) {
        bundle.package_file = name;
        bundle.writeTo(folder, Root());
        EXPECT_EQ(Read().check, BundleCheck::MALFORMED) << name;
    }
}

} // namespace
} // namespace inkwarden

// "Package_mirrors" in the reply's data: read with the other package fields, and a value in
// the wrong form fails the release check as a malformed size does.
#include "release/PackageFields.h"
#include "release/ReleaseCheck.h"
#include "release/ReleaseReply.h"

#include <gtest/gtest.h>

namespace inkwarden {
namespace {

TEST(PackageMirrorsTest, ReadsAnArrayOfAbsoluteHttpUrls) {
    const PackageFields fields = ParsePackageFields(
        R"({"data":{"Package_size":3,"Package_mirrors":["http://a.example/p.bin",)"
        R"("HTTPS://b.example:8443/x/p.bin?k=1"]}})");
    EXPECT_FALSE(fields.malformed);
    EXPECT_EQ(fields.mirrors, (std::vector<std::string>{"http://a.example/p.bin",
                                                        "HTTPS://b.example:8443/x/p.bin?k=1"}));
    EXPECT_EQ(fields.size, 3);
    // None named, or an empty list: no mirrors, no fault.
    EXPECT_TRUE(ParsePackageFields(R"({"data":{"Package_size":3}})").mirrors.empty());
    EXPECT_FALSE(ParsePackageFields(R"({"data":{"Package_mirrors":[]}})").malformed);
    // A release file's data object carries them the same way.
    EXPECT_EQ(ParsePackageDataObject(R"({"Package_mirrors":["http://m/p"]})").mirrors,
              std::vector<std::string>{"http://m/p"});
}

TEST(PackageMirrorsTest, AMirrorFieldInTheWrongFormFailsTheReleaseCheck) {
    const char* malformed[] = {
        R"("http://a/p")",                    // not an array
        R"(["http://a/p", 3])",               // not a string
        R"(["ftp://a/p"])",                   // another scheme
        R"(["/packages/p"])",                 // not absolute
        R"(["http:///p"])",                   // no host
        R"(["http://a/p q"])",                // a blank
        R"(["http://a/p\r\nX-Injected: 1"])", // a header smuggled in
        R"(["file:///etc/passwd"])",
        R"(null)",
    };
    for (const char* value : malformed) {
        const PackageFields fields =
            ParsePackageFields(std::string(R"({"data":{"Package_mirrors":)") + value + "}}");
        EXPECT_TRUE(fields.malformed) << value;
        EXPECT_TRUE(fields.mirrors.empty()) << value;

        ReleaseReply reply;
        reply.answered = true;
        reply.package = fields;
        EXPECT_EQ(CheckReleaseReply(reply, false), ReleaseCheck::MALFORMED_PACKAGE_FIELDS) << value;
    }
    // More mirrors than any download would use is no release of ours.
    std::string many = R"({"data":{"Package_mirrors":[)";
    for (int i = 0; i < 17; ++i) {
        many += std::string(i > 0 ? "," : "") + "\"http://m" + std::to_string(i) + "/p\"";
    }
    EXPECT_TRUE(ParsePackageFields(many + "]}}").malformed);
}

} // namespace
} // namespace inkwarden

#include "BuildConfig.h"
#include "demo/ReleaseSigner.h"
#include "net/HttpClient.h"
#include "release/LatestVersionQuery.h"
#include "release/PackageDigest.h"
#include "release/ReleaseCheck.h"
#include "release/ReleaseNonce.h"
#include "release/ReleasePublicKey.h"
#include "release/ReleaseSignature.h"
#include "tests/support/DemoServiceProcess.h"
#include "tests/support/HostileReleaseServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace inkwarden {
namespace {

using Reply = test::HostileReleaseServer::Reply;

// One key pair per test program: keys are cheap, but each test should not need its own.
const demo::ReleaseSigner& TestSigner() {
    static const demo::ReleaseSigner signer = *demo::ReleaseSigner::Generate();
    return signer;
}

ReleasePublicKey TestKey() {
    return *ReleasePublicKey::FromPem(TestSigner().publicPem());
}

TEST(ReleaseNonceTest, FreshLowerCaseHexEachTime) {
    std::set<std::string> seen;
    for (int i = 0; i < 64; ++i) {
        const std::string nonce = NewReleaseNonce();
        EXPECT_TRUE(IsReleaseNonce(nonce)) << nonce;
        seen.insert(nonce);
    }
    EXPECT_EQ(seen.size(), 64u);
    EXPECT_FALSE(IsReleaseNonce("0123456789ABCDEF0123456789abcdef"));
    EXPECT_FALSE(IsReleaseNonce("0123456789abcdef0123456789abcde"));
    EXPECT_FALSE(IsReleaseNonce("0123456789abcdef0123456789abcdeg"));
    EXPECT_FALSE(IsReleaseNonce("0123456789abcdef\n123456789abcdef"));
}

TEST(ReleaseSignatureTest, TheSignedBytesAreTheFourPartsInOrder) {
    // SHA-256 of "abc", a known value.
    EXPECT_EQ(SignedReleaseMessage("00112233445566778899aabbccddeeff", "abc", "reply\nbody"),
              "inkwarden-release-1\n00112233445566778899aabbccddeeff\n"
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\nreply\nbody");
}

TEST(ReleaseSignatureTest, HeaderTakesOnlyTheCanonicalBase64OfSixtyFourBytes) {
    ReleaseSignatureBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<unsigned char>(i * 7);
    }
    const std::string text = SignatureHeaderValue(bytes);
    ASSERT_EQ(text.size(), 88u);
    EXPECT_EQ(ParseSignatureHeader(text), bytes);

    std::string non_canonical = text;
    non_canonical[85] = non_canonical[85] == 'B' ? 'C' : 'B'; // unused low bits set
    const std::string cases[] = {
        "",
        text.substr(0, 86),          // padding gone
        text + "==",                 // too long
        text.substr(0, 84) + "AAA=", // 65 bytes' worth
        "*" + text.substr(1),        // outside the alphabet
        text.substr(0, 40) + " " + text.substr(41),
        " " + text.substr(1), // blanks are the client's to drop
        non_canonical,
    };
    for (const std::string& bad : cases) {
        EXPECT_FALSE(ParseSignatureHeader(bad).has_value()) << bad;
    }
}

TEST(ReleaseSignatureTest, SignatureHoldsOnlyForTheSameKeyAndBytes) {
    const ReleasePublicKey key = TestKey();
    const std::string message = SignedReleaseMessage(NewReleaseNonce(), "request", "reply");
    const ReleaseSignatureBytes signature = *TestSigner().sign(message);
    EXPECT_TRUE(key.verify(message, signature));
    EXPECT_FALSE(key.verify(message + " ", signature));
    ReleaseSignatureBytes flipped = signature;
    flipped[0] ^= 0x80;
    EXPECT_FALSE(key.verify(message, flipped));
    const demo::ReleaseSigner other = *demo::ReleaseSigner::Generate();
    EXPECT_FALSE(ReleasePublicKey::FromPem(other.publicPem())->verify(message, signature));
}

TEST(ReleaseSignatureTest, KeysComeOnlyAsPemEd25519PublicKeys) {
    EXPECT_FALSE(ReleasePublicKey::FromPem("").has_value());
    EXPECT_FALSE(ReleasePublicKey::FromPem("-----BEGIN PUBLIC KEY-----\nxx\n").has_value());
    // The private half is not a public key.
    EXPECT_FALSE(ReleasePublicKey::FromPem(TestSigner().privatePem()).has_value());
    std::string error;
    EXPECT_FALSE(demo::ReleaseSigner::FromPem(TestSigner().publicPem(), error).has_value());
    EXPECT_FALSE(error.empty());
    // The private half, written and read again, signs for the same public key.
    const auto again = demo::ReleaseSigner::FromPem(TestSigner().privatePem(), error);
    ASSERT_TRUE(again.has_value()) << error;
    EXPECT_EQ(again->publicPem(), TestSigner().publicPem());
}

TEST(ReplySignatureTest, VerdictsOnTheHeaders) {
    const ReleasePublicKey key = TestKey();
    const std::string nonce = NewReleaseNonce();
    const std::string good = TestSigner().signReply(nonce, "req", "reply");
    EXPECT_EQ(CheckReplySignature({}, &key, nonce, "req", "reply"), ReplySignature::ABSENT);
    EXPECT_EQ(CheckReplySignature({good}, &key, nonce, "req", "reply"), ReplySignature::VALID);
    EXPECT_EQ(CheckReplySignature({good}, nullptr, nonce, "req", "reply"),
              ReplySignature::UNCHECKED);
    EXPECT_EQ(CheckReplySignature({good, good}, &key, nonce, "req", "reply"),
              ReplySignature::INVALID);
    EXPECT_EQ(CheckReplySignature({good}, &key, NewReleaseNonce(), "req", "reply"),
              ReplySignature::INVALID);
    EXPECT_EQ(CheckReplySignature({good}, &key, nonce, "other req", "reply"),
              ReplySignature::INVALID);
    EXPECT_EQ(CheckReplySignature({"garbage"}, &key, nonce, "req", "reply"),
              ReplySignature::INVALID);
    // The signer signs nothing for a nonce of another form.
    EXPECT_EQ(TestSigner().signReply("", "req", "reply"), "");
    EXPECT_EQ(TestSigner().signReply(nonce + "\n", "req", "reply"), "");
}

TEST(PackageFieldsTest, ReadsBothFieldsInTheirOneForm) {
    const std::string upper(64, 'A');
    const PackageFields both =
        ParsePackageFields(R"({"data":{"Package_sha256":")" + upper + R"(","Package_size":1234}})");
    EXPECT_EQ(both.sha256, std::string(64, 'a'));
    EXPECT_EQ(both.size, 1234);
    EXPECT_FALSE(both.malformed);
    EXPECT_TRUE(both.complete());

    EXPECT_EQ(ParsePackageFields(R"({"data":{"Soft_name":"x"}})"), PackageFields{});
    EXPECT_EQ(ParsePackageFields("not json"), PackageFields{});
    EXPECT_EQ(ParsePackageFields(R"({"Package_size":1})"), PackageFields{});
    EXPECT_EQ(ParsePackageFields(R"({"data":{"Package_size":0}})").size, 0);

    const std::string malformed[] = {
        R"({"data":{"Package_sha256":")" + std::string(63, 'a') + R"("}})",
        R"({"data":{"Package_sha256":")" + std::string(63, 'a') + R"(g"}})",
        R"({"data":{"Package_sha256":12}})",
        R"({"data":{"Package_size":"12"}})",
        R"({"data":{"Package_size":12.0}})",
        R"({"data":{"Package_size":-1}})",
        R"({"data":{"Package_size":9223372036854775808}})",
        R"({"data":{"Package_size":null}})",
    };
    for (const std::string& text : malformed) {
        const PackageFields fields = ParsePackageFields(text);
        EXPECT_TRUE(fields.malformed) << text;
        EXPECT_FALSE(fields.complete()) << text;
    }
}

// A reply's data with size and SHA-256, and the given members after them.
std::string ReplyWithPieces(int64_t size, const std::string& members) {
    return R"({"data":{"Package_sha256":")" + std::string(64, 'a') + R"(","Package_size":)" +
           std::to_string(size) + members + "}}";
}

std::string DigestArray(int count, const std::string& digest = std::string(64, 'b')) {
    std::string array = "[";
    for (int i = 0; i < count; ++i) {
        array += (i == 0 ? "\"" : ",\"") + digest + "\"";
    }
    return array + "]";
}

TEST(PackageFieldsTest, PieceFieldsFitTheFileOrTheFieldsAreMalformed) {
    // 65536 * 3 + 1 bytes: four pieces, the last of one byte.
    const PackageFields pieces = ParsePackageFields(ReplyWithPieces(
        196609, R"(,"Package_piece_size":65536,"Package_piece_sha256":)" + DigestArray(4)));
    EXPECT_FALSE(pieces.malformed);
    EXPECT_EQ(pieces.piece_size, 65536);
    EXPECT_EQ(pieces.piece_sha256, std::vector<std::string>(4, std::string(64, 'b')));
    EXPECT_EQ(PieceCount(196608, 65536), 3);
    EXPECT_EQ(PieceCount(0, 65536), 0);
    // The largest piece size, and one piece that holds the whole file.
    EXPECT_FALSE(ParsePackageFields(ReplyWithPieces(5, R"(,"Package_piece_size":16777216,)"
                                                       R"("Package_piece_sha256":)" +
                                                           DigestArray(1)))
                     .malformed);

    const std::string size = R"(,"Package_piece_size":65536)";
    const std::string malformed[] = {
        ReplyWithPieces(196609, size),                                           // no digests
        ReplyWithPieces(196609, R"(,"Package_piece_sha256":)" + DigestArray(4)), // no size
        ReplyWithPieces(196609, size + R"(,"Package_piece_sha256":)" + DigestArray(3)),
        ReplyWithPieces(196609, size + R"(,"Package_piece_sha256":)" + DigestArray(5)),
        ReplyWithPieces(196609, size + R"(,"Package_piece_sha256":)" +
                                    DigestArray(4, std::string(64, 'B'))), // upper case
        ReplyWithPieces(196609, size + R"(,"Package_piece_sha256":)" +
                                    DigestArray(4, std::string(63, 'b'))),
        ReplyWithPieces(196609, size + R"(,"Package_piece_sha256":"bbbb")"),
        ReplyWithPieces(196609, size + R"(,"Package_piece_sha256":[1,2,3,4])"),
        ReplyWithPieces(196609, R"(,"Package_piece_size":32768,"Package_piece_sha256":)" +
                                    DigestArray(7)), // too small
        ReplyWithPieces(196609, R"(,"Package_piece_size":33554432,"Package_piece_sha256":)" +
                                    DigestArray(1)), // too large
        ReplyWithPieces(196609, R"(,"Package_piece_size":98304,"Package_piece_sha256":)" +
                                    DigestArray(3)), // no power of two
        ReplyWithPieces(196609, R"(,"Package_piece_size":65536.0,"Package_piece_sha256":)" +
                                    DigestArray(4)),
        ReplyWithPieces(196609, R"(,"Package_piece_size":"65536","Package_piece_sha256":)" +
                                    DigestArray(4)),
        // Pieces only beside both whole-file fields.
        R"({"data":{"Package_size":65536,"Package_piece_size":65536,"Package_piece_sha256":)" +
            DigestArray(1) + "}}",
        R"({"data":{"Package_sha256":")" + std::string(64, 'a') +
            R"(","Package_piece_size":65536,"Package_piece_sha256":)" + DigestArray(1) + "}}",
    };
    for (const std::string& text : malformed) {
        const PackageFields fields = ParsePackageFields(text);
        EXPECT_TRUE(fields.malformed) << text;
        EXPECT_FALSE(fields.piece_size.has_value()) << text;
        EXPECT_TRUE(fields.piece_sha256.empty()) << text;
        // A malformed piece field fails the release check as a malformed size does.
        ReleaseReply reply;
        reply.answered = true;
        reply.signature = ReplySignature::VALID;
        reply.package = fields;
        EXPECT_EQ(CheckReleaseReply(reply, true), ReleaseCheck::MALFORMED_PACKAGE_FIELDS) << text;
    }
    // A release file's object is read by the same rules.
    EXPECT_TRUE(ParsePackageDataObject(R"({"Package_size":1,"Package_sha256":")" +
                                       std::string(64, 'a') + R"(","Package_piece_size":65536})")
                    .malformed);
}

TEST(ReleaseCheckTest, WithAKeyOnlyASignedReplyWithBothFieldsPasses) {
    ReleaseReply reply;
    EXPECT_EQ(CheckReleaseReply(reply, true), ReleaseCheck::NO_REPLY);
    EXPECT_EQ(CheckReleaseReply(reply, false), ReleaseCheck::NO_REPLY);
    reply.answered = true;
    EXPECT_EQ(CheckReleaseReply(reply, true), ReleaseCheck::UNSIGNED);
    EXPECT_EQ(CheckReleaseReply(reply, false), ReleaseCheck::PASSED);
    reply.signature = ReplySignature::INVALID;
    EXPECT_EQ(CheckReleaseReply(reply, true), ReleaseCheck::BAD_SIGNATURE);
    reply.signature = ReplySignature::UNCHECKED; // a key that did not parse checks nothing
    EXPECT_EQ(CheckReleaseReply(reply, true), ReleaseCheck::BAD_SIGNATURE);
    reply.signature = ReplySignature::VALID;
    reply.package.size = 3;
    EXPECT_EQ(CheckReleaseReply(reply, true), ReleaseCheck::MISSING_PACKAGE_FIELDS);
    reply.package.sha256 = std::string(64, '0');
    EXPECT_EQ(CheckReleaseReply(reply, true), ReleaseCheck::PASSED);
    reply.package.malformed = true;
    EXPECT_EQ(CheckReleaseReply(reply, true), ReleaseCheck::MALFORMED_PACKAGE_FIELDS);
    EXPECT_EQ(CheckReleaseReply(reply, false), ReleaseCheck::MALFORMED_PACKAGE_FIELDS);
}

TEST(ReleaseCheckTest, PackageFileAgainstTheFields) {
    test::TempDir temp;
    const std::string path = temp.file("package");
    const std::string content = test::TestFiles::Pattern(0, 300000);
    std::ofstream(path, std::ios::binary) << content;
    PackageFields fields;
    fields.size = static_cast<std::int64_t>(content.size());
    fields.sha256 = test::TestFiles::Sha256(content);
    EXPECT_EQ(CheckPackageFile(path, fields), ReleaseCheck::PASSED);
    EXPECT_EQ(DigestFile(path)->sha256, *fields.sha256);

    PackageFields wrong_size = fields;
    *wrong_size.size += 1;
    EXPECT_EQ(CheckPackageFile(path, wrong_size), ReleaseCheck::PACKAGE_SIZE);
    PackageFields wrong_digest = fields;
    wrong_digest.sha256->back() = wrong_digest.sha256->back() == '0' ? '1' : '0';
    EXPECT_EQ(CheckPackageFile(path, wrong_digest), ReleaseCheck::PACKAGE_SHA256);
    // Only the size: compared without reading.
    PackageFields size_only;
    size_only.size = fields.size;
    EXPECT_EQ(CheckPackageFile(path, size_only), ReleaseCheck::PASSED);

    // No fields: the file is not even looked at.
    EXPECT_EQ(CheckPackageFile(temp.file("missing"), PackageFields{}), ReleaseCheck::PASSED);
    EXPECT_EQ(CheckPackageFile(temp.file("missing"), fields), ReleaseCheck::PACKAGE_UNREADABLE);
    std::filesystem::create_symlink(path, temp.file("link"));
    EXPECT_EQ(CheckPackageFile(temp.file("link"), fields), ReleaseCheck::PACKAGE_UNREADABLE);
    EXPECT_EQ(CheckPackageFile(temp.path().string(), fields), ReleaseCheck::PACKAGE_UNREADABLE);
}

// The query against servers that sign, forge and leave out.

test::HostileReleaseServer::Script ScriptFor(Reply reply) {
    test::HostileReleaseServer::Script script;
    script.reply = reply;
    script.release = {"n", "1.2.3.4", "d", "{server}/packages/a.bin", "", "2026-01-01"};
    script.package.size = 5;
    script.package.sha256 = test::TestFiles::Sha256("hello");
    script.package_bytes = "hello";
    return script;
}

ReleaseReply QueryHostile(const test::HostileReleaseServer& server, const ReleasePublicKey* key) {
    HttpClient client;
    return QueryRelease(client, 7, 57426, server.versionUrl(), key);
}

TEST(QueryReleaseTest, AnHonestSignedReplyIsReadWithItsPackageFields) {
    test::HostileReleaseServer server(TestSigner(), ScriptFor(Reply::SIGNED));
    ASSERT_TRUE(server.running());
    const ReleasePublicKey key = TestKey();
    const ReleaseReply first = QueryHostile(server, &key);
    const ReleaseReply second = QueryHostile(server, &key);
    EXPECT_EQ(first.signature, ReplySignature::VALID);
    EXPECT_EQ(first.info.Version_number, "1.2.3.4");
    EXPECT_EQ(first.package.size, 5);
    EXPECT_EQ(second.signature, ReplySignature::VALID);
    // Every query has its own nonce.
    const std::vector<std::string> nonces = server.nonces();
    ASSERT_EQ(nonces.size(), 2u);
    EXPECT_TRUE(IsReleaseNonce(nonces[0]));
    EXPECT_NE(nonces[0], nonces[1]);
    // Without a key the same reply is read, its signature left unchecked.
    EXPECT_EQ(QueryHostile(server, nullptr).signature, ReplySignature::UNCHECKED);
}

TEST(QueryReleaseTest, ForgedRepliesAreNeverDeciphered) {
    const ReleasePublicKey key = TestKey();
    const std::pair<Reply, ReplySignature> cases[] = {
        {Reply::FLIPPED_SIGNATURE_BYTE, ReplySignature::INVALID},
        {Reply::OTHER_NONCE, ReplySignature::INVALID},
        {Reply::ALTERED_AFTER_SIGNING, ReplySignature::INVALID},
        {Reply::TWO_SIGNATURES, ReplySignature::INVALID},
        {Reply::UNSIGNED, ReplySignature::ABSENT},
    };
    for (const auto& [kind, verdict] : cases) {
        SCOPED_TRACE(static_cast<int>(kind));
        test::HostileReleaseServer server(TestSigner(), ScriptFor(kind));
        const ReleaseReply reply = QueryHostile(server, &key);
        EXPECT_TRUE(reply.answered);
        EXPECT_EQ(reply.signature, verdict);
        EXPECT_EQ(reply.info, LatestVersionInfo{});
        EXPECT_EQ(reply.package, PackageFields{});
        EXPECT_NE(CheckReleaseReply(reply, true), ReleaseCheck::PASSED);
        // Without a key the reply is read as it always was, a swapped URL and all.
        const LatestVersionInfo unchecked = QueryHostile(server, nullptr).info;
        EXPECT_EQ(unchecked.Version_number, "1.2.3.4");
        EXPECT_EQ(unchecked.Download_url.ends_with(test::HostileReleaseServer::SWAPPED_PACKAGE),
                  kind == Reply::ALTERED_AFTER_SIGNING);
    }
}

TEST(QueryReleaseTest, TheDemoServiceSignsWithTheKeyItIsGiven) {
    test::TempDir temp;
    const std::string private_key = temp.file("private.pem");
    std::ofstream(private_key) << TestSigner().privatePem();
    test::DemoServiceProcess service(
        {"--release", std::string(build_config::SOURCE_DIR) + "/demo/release.json", "--packages",
         std::string(build_config::BINARY_DIR) + "/demo/packages", "--signing-key", private_key});
    ASSERT_TRUE(service.running()) << service.output();
    const ReleasePublicKey key = TestKey();
    HttpClient client;
    const ReleaseReply reply =
        QueryRelease(client, 7, 57426, service.address() + LATEST_VERSION_PATH, &key);
    EXPECT_EQ(reply.signature, ReplySignature::VALID);
    // The fields describe the package the reply names, as it lies in the folder.
    const auto digest =
        DigestFile(std::string(build_config::BINARY_DIR) + "/demo/packages/InkwardenSetup.bin");
    ASSERT_TRUE(digest.has_value());
    EXPECT_EQ(reply.package.size, digest->size);
    EXPECT_EQ(reply.package.sha256, digest->sha256);
    EXPECT_EQ(CheckReleaseReply(reply, true), ReleaseCheck::PASSED);
    EXPECT_NE(service.output().find("(signed)"), std::string::npos);
}

TEST(QueryReleaseTest, TheDemoServiceSignsWithTheBuildsKeyByDefault) {
    if (std::string(build_config::DEMO_RELEASE_PRIVATE_KEY).empty()) {
        GTEST_SKIP() << "this build has no demo release key";
    }
    const auto key = ReleasePublicKey::FromPem(build_config::RELEASE_PUBLIC_KEY);
    ASSERT_TRUE(key.has_value());
    for (const bool signing : {true, false}) {
        std::vector<std::string> args = {"--release", std::string(build_config::SOURCE_DIR) +
                                                          "/demo/release.json"};
        if (!signing) {
            args.push_back("--no-signing");
        }
        test::DemoServiceProcess service(args);
        ASSERT_TRUE(service.running()) << service.output();
        HttpClient client;
        const ReleaseReply reply =
            QueryRelease(client, 7, 57426, service.address() + LATEST_VERSION_PATH, &*key);
        EXPECT_EQ(reply.signature, signing ? ReplySignature::VALID : ReplySignature::ABSENT);
    }
}

} // namespace
} // namespace inkwarden

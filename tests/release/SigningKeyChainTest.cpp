#include "BuildConfig.h"
#include "demo/ReleaseSigner.h"
#include "net/HttpClient.h"
#include "release/LatestVersionQuery.h"
#include "release/ReleaseCheck.h"
#include "release/ReleaseNonce.h"
#include "release/ReplyTrust.h"
#include "release/SigningKeyCertificate.h"
#include "telemetry/PayloadCipher.h"
#include "tests/support/DemoServiceProcess.h"
#include "tests/support/HostileReleaseServer.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace inkwarden {
namespace {

using namespace std::chrono_literals;

// The release root, kept offline by a vendor, and two keys of the online service.
struct Keys {
    demo::ReleaseSigner root = *demo::ReleaseSigner::Generate();
    demo::ReleaseSigner signing = *demo::ReleaseSigner::Generate();
    demo::ReleaseSigner other = *demo::ReleaseSigner::Generate();
    ReleasePublicKey root_public = *ReleasePublicKey::FromPem(root.publicPem());
};

const Keys& TestKeys() {
    static const Keys keys;
    return keys;
}

const UtcTime NOT_AFTER = *ParseUtcTime("2027-03-01T12:00:00Z");

TEST(UtcTimeTest, OnlyRealTimesInTheOneForm) {
    EXPECT_EQ(UtcTimeText(NOT_AFTER), "2027-03-01T12:00:00Z");
    EXPECT_EQ(UtcTimeText(*ParseUtcTime("2028-02-29T23:59:59Z")), "2028-02-29T23:59:59Z");
    for (const char* bad : {"2027-02-29T00:00:00Z", "2027-13-01T00:00:00Z", "2027-01-01T24:00:00Z",
                            "2027-01-01T00:60:00Z", "2027-01-01T00:00:00z", "2027-01-01 00:00:00Z",
                            "2027-01-01T00:00:00", "2027-1-01T00:00:00Z",
                            "2027-01-01T00:00:00+00:00", "+027-01-01T00:00:00Z", ""}) {
        EXPECT_FALSE(ParseUtcTime(bad).has_value()) << bad;
    }
}

TEST(SigningKeyCertificateTest, TheTextIsExactAndParsesOnlyInThatForm) {
    SigningKeyCertificate certificate;
    certificate.key = TestKeys().signing.publicBytes();
    certificate.not_after = NOT_AFTER;
    const std::string key_text =
        Base64Encode(std::string(certificate.key.begin(), certificate.key.end()));
    const std::string text = certificate.text();
    EXPECT_EQ(text,
              "inkwarden-signing-key-1\nkey " + key_text + "\nnot-after 2027-03-01T12:00:00Z\n");
    EXPECT_EQ(ParseCertificateText(text), certificate);

    std::string non_canonical_key = key_text;
    ++non_canonical_key[42]; // sets one of the unused low bits
    const std::string bad[] = {
        text.substr(0, text.size() - 1), // no final line feed
        text + "\n",
        text + "extra 1\n",
        "inkwarden-signing-key-2" + text.substr(23),
        "inkwarden-signing-key-1\r\nkey " + key_text + "\nnot-after 2027-03-01T12:00:00Z\n",
        "inkwarden-signing-key-1\nkey  " + key_text + "\nnot-after 2027-03-01T12:00:00Z\n",
        "inkwarden-signing-key-1\nkey " + Base64Encode(std::string(31, 'k')) +
            "\nnot-after 2027-03-01T12:00:00Z\n",
        "inkwarden-signing-key-1\nkey " + non_canonical_key + "\nnot-after 2027-03-01T12:00:00Z\n",
        "inkwarden-signing-key-1\nnot-after 2027-03-01T12:00:00Z\nkey " + key_text + "\n",
        "inkwarden-signing-key-1\nkey " + key_text + "\nnot-after 2027-02-30T12:00:00Z\n",
        "",
    };
    for (const std::string& text_case : bad) {
        EXPECT_FALSE(ParseCertificateText(text_case).has_value()) << text_case;
    }
}

TEST(SigningKeyCertificateTest, OnlyTheRootCertifiesAndOnlyUntilNotAfterWithADaysSlack) {
    const Keys& keys = TestKeys();
    const std::string header = keys.root.certify(keys.signing.publicBytes(), NOT_AFTER);

    const CertifiedKey valid = CheckSigningKeyHeader(header, keys.root_public, NOT_AFTER - 1s);
    ASSERT_EQ(valid.check, CertificateCheck::VALID);
    EXPECT_EQ(valid.key->raw(), keys.signing.publicBytes());
    EXPECT_EQ(valid.certificate.not_after, NOT_AFTER);
    // The slack: a clock a day ahead still takes it, one more second does not.
    EXPECT_EQ(CheckSigningKeyHeader(header, keys.root_public, NOT_AFTER + 24h - 1s).check,
              CertificateCheck::VALID);
    EXPECT_EQ(CheckSigningKeyHeader(header, keys.root_public, NOT_AFTER + 24h).check,
              CertificateCheck::EXPIRED);

    const UtcTime now = NOT_AFTER - 24h;
    // Another root's certificate, and one made by a certified key for a further key.
    const std::string by_other = keys.other.certify(keys.signing.publicBytes(), NOT_AFTER);
    const std::string by_certified = keys.signing.certify(keys.other.publicBytes(), NOT_AFTER);
    EXPECT_EQ(CheckSigningKeyHeader(by_other, keys.root_public, now).check,
              CertificateCheck::BAD_SIGNATURE);
    EXPECT_EQ(CheckSigningKeyHeader(by_certified, keys.root_public, now).check,
              CertificateCheck::BAD_SIGNATURE);
    // The expiry cannot be moved: the text is what is signed.
    const auto parsed = ParseSigningKeyHeader(header);
    SigningKeyCertificate later = *ParseCertificateText(parsed->certificate_text);
    later.not_after += 24h * 365;
    EXPECT_EQ(CheckSigningKeyHeader(SigningKeyHeaderValue(later.text(), parsed->signature),
                                    keys.root_public, now)
                  .check,
              CertificateCheck::BAD_SIGNATURE);

    const std::size_t dot = header.find('.');
    for (const std::string& garbage :
         {std::string("garbage"), header.substr(0, dot), header.substr(dot), header + ".",
          header.substr(0, dot) + ".." + header.substr(dot + 1), " " + header,
          Base64Encode("inkwarden-signing-key-1\n") + header.substr(dot), std::string()}) {
        EXPECT_EQ(CheckSigningKeyHeader(garbage, keys.root_public, now).check,
                  CertificateCheck::MALFORMED)
            << garbage;
    }
}

// A reply's trust as the query sees it, for headers made by the given keys.
class ReplyTrustTest : public ::testing::Test {
protected:
    ReplyTrust Check(const demo::ReleaseSigner* reply_signer, std::vector<std::string> certificates,
                     UtcTime now = NOT_AFTER - 24h) {
        std::vector<std::string> signatures;
        if (reply_signer != nullptr) {
            signatures.push_back(reply_signer->signReply(nonce, "req", "reply"));
        }
        return CheckReplyTrust(signatures, certificates, &TestKeys().root_public, nonce, "req",
                               "reply", now);
    }

    const Keys& keys = TestKeys();
    const std::string nonce = NewReleaseNonce();
    const std::string certificate = keys.root.certify(keys.signing.publicBytes(), NOT_AFTER);
};

TEST_F(ReplyTrustTest, ARootSignedReplyWithoutACertificateHoldsAsBefore) {
    const ReplyTrust trust = Check(&keys.root, {});
    EXPECT_EQ(trust.signature, ReplySignature::VALID);
    EXPECT_FALSE(trust.certified_until.has_value());
}

TEST_F(ReplyTrustTest, ACertifiedKeyHoldsOnlyWithItsCertificateAndWhileItLasts) {
    const ReplyTrust trust = Check(&keys.signing, {certificate});
    EXPECT_EQ(trust.signature, ReplySignature::VALID);
    EXPECT_EQ(trust.certified_until, NOT_AFTER);

    // Signed by the certified key without the header: the root did not sign it.
    EXPECT_EQ(Check(&keys.signing, {}).signature, ReplySignature::INVALID);
    // The header, but the reply signed by the root or another key.
    EXPECT_EQ(Check(&keys.root, {certificate}).signature, ReplySignature::INVALID);
    EXPECT_EQ(Check(&keys.other, {certificate}).signature, ReplySignature::INVALID);
    // A certificate with no signature, two certificates, one run out, garbage.
    EXPECT_EQ(Check(nullptr, {certificate}).signature, ReplySignature::INVALID);
    EXPECT_EQ(Check(&keys.signing, {certificate, certificate}).signature, ReplySignature::INVALID);
    EXPECT_EQ(Check(&keys.signing, {certificate}, NOT_AFTER + 48h).signature,
              ReplySignature::KEY_EXPIRED);
    EXPECT_EQ(Check(&keys.signing, {"garbage"}).signature, ReplySignature::INVALID);
    // A key the signing key certified signs nothing that holds.
    const std::string chained = keys.signing.certify(keys.other.publicBytes(), NOT_AFTER);
    EXPECT_EQ(Check(&keys.other, {chained}).signature, ReplySignature::INVALID);
    // Without a root nothing is checked, with or without a certificate.
    EXPECT_EQ(CheckReplyTrust({keys.signing.signReply(nonce, "req", "reply")}, {certificate},
                              nullptr, nonce, "req", "reply", NOT_AFTER)
                  .signature,
              ReplySignature::UNCHECKED);
}

TEST_F(ReplyTrustTest, TheQueryReadsBothHeadersOffTheWire) {
    test::HostileReleaseServer::Script script;
    script.release = {"n", "1.2.3.4", "d", "{server}/packages/a.bin", "", "2026-01-01"};
    script.package.size = 5;
    script.package.sha256 = test::TestFiles::Sha256("hello");
    script.signing_key_header = certificate;
    test::HostileReleaseServer server(keys.signing, script);
    ASSERT_TRUE(server.running());
    HttpClient client;
    const ReleaseReply reply =
        QueryRelease(client, 7, 57426, server.versionUrl(), &keys.root_public, NOT_AFTER - 1h);
    EXPECT_EQ(reply.signature, ReplySignature::VALID);
    EXPECT_EQ(reply.certified_until, NOT_AFTER);
    EXPECT_EQ(reply.info.Version_number, "1.2.3.4");
    EXPECT_EQ(CheckReleaseReply(reply, true), ReleaseCheck::PASSED);

    // The same exchange once the certificate has run out is never deciphered.
    const ReleaseReply late =
        QueryRelease(client, 7, 57426, server.versionUrl(), &keys.root_public, NOT_AFTER + 48h);
    EXPECT_EQ(late.signature, ReplySignature::KEY_EXPIRED);
    EXPECT_EQ(late.info, LatestVersionInfo{});
    EXPECT_EQ(CheckReleaseReply(late, true), ReleaseCheck::BAD_SIGNATURE);
}

TEST(DemoServiceChainTest, TheBuildsDemoServiceSignsWithACertifiedKey) {
    if (std::string(build_config::DEMO_SIGNING_CERTIFICATE).empty()) {
        GTEST_SKIP() << "this build has no demo keys";
    }
    const auto root = ReleasePublicKey::FromPem(build_config::RELEASE_PUBLIC_KEY);
    ASSERT_TRUE(root.has_value());
    test::DemoServiceProcess service(
        {"--release", std::string(build_config::SOURCE_DIR) + "/demo/release.json"});
    ASSERT_TRUE(service.running()) << service.output();
    HttpClient client;
    const ReleaseReply reply =
        QueryRelease(client, 7, 57426, service.address() + LATEST_VERSION_PATH, &*root);
    EXPECT_EQ(reply.signature, ReplySignature::VALID);
    ASSERT_TRUE(reply.certified_until.has_value());
    // The build certifies for a year.
    EXPECT_GT(*reply.certified_until, UtcNow() + 24h * 300);
    EXPECT_NE(service.output().find("certified by the root until"), std::string::npos);
}

} // namespace
} // namespace inkwarden

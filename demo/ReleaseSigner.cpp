#include "demo/ReleaseSigner.h"

#include "release/ReleaseNonce.h"

#include <climits>
#include <fstream>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <sstream>

namespace inkwarden::demo {
namespace {

using Bio = UniqueResource<BIO, BIO_free>;

// What a memory sink holds, as text.
std::string BioText(BIO* sink) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(sink, &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

} // namespace

std::optional<ReleaseSigner> ReleaseSigner::FromPemFile(const std::string& path,
                                                        std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the signing key " + path;
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::optional<ReleaseSigner> signer = FromPem(text.str(), error);
    if (!signer) {
        error = path + ": " + error;
    }
    return signer;
}

std::optional<ReleaseSigner> ReleaseSigner::FromPem(std::string_view pem, std::string& error) {
    Bio source(pem.size() <= INT_MAX ? BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()))
                                     : nullptr);
    EVP_PKEY* key =
        source ? PEM_read_bio_PrivateKey(source.get(), nullptr, nullptr, nullptr) : nullptr;
    ERR_clear_error();
    if (key == nullptr) {
        error = "not a PEM private key";
        return std::nullopt;
    }
    if (EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
        EVP_PKEY_free(key);
        error = "not an Ed25519 key";
        return std::nullopt;
    }
    return ReleaseSigner(key);
}

std::optional<ReleaseSigner> ReleaseSigner::Generate() {
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    if (key == nullptr) {
        ERR_clear_error();
        return std::nullopt;
    }
    return ReleaseSigner(key);
}

std::optional<ReleaseSignatureBytes> ReleaseSigner::sign(std::string_view message) const {
    UniqueResource<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    ReleaseSignatureBytes signature{};
    std::size_t length = signature.size();
    // Ed25519 hashes inside: no digest is named.
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_.get()) != 1 ||
        EVP_DigestSign(context.get(), signature.data(), &length,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1 ||
        length != signature.size()) {
        ERR_clear_error();
        return std::nullopt;
    }
    return signature;
}

std::string ReleaseSigner::signReply(std::string_view nonce, std::string_view request_body,
                                     std::string_view reply_body) const {
    if (!IsReleaseNonce(nonce)) {
        return {};
    }
    const std::optional<ReleaseSignatureBytes> signature =
        sign(SignedReleaseMessage(nonce, request_body, reply_body));
    return signature ? SignatureHeaderValue(*signature) : std::string();
}

std::string ReleaseSigner::privatePem() const {
    Bio sink(BIO_new(BIO_s_mem()));
    if (!sink || PEM_write_bio_PrivateKey(sink.get(), key_.get(), nullptr, nullptr, 0, nullptr,
                                          nullptr) != 1) {
        ERR_clear_error();
        return {};
    }
    return BioText(sink.get());
}

std::string ReleaseSigner::publicPem() const {
    Bio sink(BIO_new(BIO_s_mem()));
    if (!sink || PEM_write_bio_PUBKEY(sink.get(), key_.get()) != 1) {
        ERR_clear_error();
        return {};
    }
    return BioText(sink.get());
}

Ed25519KeyBytes ReleaseSigner::publicBytes() const {
    Ed25519KeyBytes bytes{};
    std::size_t length = bytes.size();
    if (EVP_PKEY_get_raw_public_key(key_.get(), bytes.data(), &length) != 1) {
        ERR_clear_error();
        return {};
    }
    return bytes;
}

bool ReleaseSigner::setCertificate(const std::string& header_value, std::string& error) {
    const std::optional<SigningKeyHeader> header = ParseSigningKeyHeader(header_value);
    const std::optional<SigningKeyCertificate> parsed =
        header ? ParseCertificateText(header->certificate_text) : std::nullopt;
    if (!parsed) {
        error = "not a signing-key certificate";
        return false;
    }
    // The root's signature is the installer's to check; a certificate for another key,
    // though, would make every reply fail.
    if (parsed->key != publicBytes()) {
        error = "the certificate is for another key than the signing key";
        return false;
    }
    certificate_ = header_value;
    certified_until_ = parsed->not_after;
    return true;
}

std::string ReleaseSigner::certify(const Ed25519KeyBytes& signing_key, UtcTime not_after) const {
    SigningKeyCertificate certificate;
    certificate.key = signing_key;
    certificate.not_after = not_after;
    const std::string text = certificate.text();
    const std::optional<ReleaseSignatureBytes> signature = sign(text);
    return signature ? SigningKeyHeaderValue(text, *signature) : std::string();
}

std::string CertificateFor(const ReleaseSigner* signer) {
    return signer != nullptr ? signer->certificate() : std::string();
}

std::string SignatureFor(const ReleaseSigner* signer, std::string_view nonce,
                         std::string_view request_body, std::string_view reply_body) {
    return signer != nullptr ? signer->signReply(nonce, request_body, reply_body) : std::string();
}

} // namespace inkwarden::demo

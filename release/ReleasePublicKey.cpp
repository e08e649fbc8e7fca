#include "release/ReleasePublicKey.h"

#include <climits>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>

namespace inkwarden {

std::optional<ReleasePublicKey> ReleasePublicKey::FromPem(std::string_view pem) {
    if (pem.empty() || pem.size() > INT_MAX) {
        return std::nullopt;
    }
    UniqueResource<BIO, BIO_free> source(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!source) {
        return std::nullopt;
    }
    EVP_PKEY* key = PEM_read_bio_PUBKEY(source.get(), nullptr, nullptr, nullptr);
    if (key == nullptr) {
        // The library's error queue is per thread; a failed read must not linger there.
        ERR_clear_error();
        return std::nullopt;
    }
    if (EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
        EVP_PKEY_free(key);
        return std::nullopt;
    }
    return ReleasePublicKey(key);
}

std::optional<ReleasePublicKey> ReleasePublicKey::FromRaw(const Ed25519KeyBytes& raw) {
    EVP_PKEY* key = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, raw.data(), raw.size());
    if (key == nullptr) {
        ERR_clear_error();
        return std::nullopt;
    }
    return ReleasePublicKey(key);
}

Ed25519KeyBytes ReleasePublicKey::raw() const {
    Ed25519KeyBytes bytes{};
    std::size_t length = bytes.size();
    if (EVP_PKEY_get_raw_public_key(key_.get(), bytes.data(), &length) != 1 ||
        length != bytes.size()) {
        ERR_clear_error();
        return {};
    }
    return bytes;
}

bool ReleasePublicKey::verify(std::string_view message,
                              const ReleaseSignatureBytes& signature) const {
    UniqueResource<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    // Ed25519 hashes inside: no digest is named.
    const bool holds =
        context &&
        EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key_.get()) == 1 &&
        EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                         reinterpret_cast<const unsigned char*>(message.data()),
                         message.size()) == 1;
    if (!holds) {
        ERR_clear_error();
    }
    return holds;
}

} // namespace inkwarden

#include "telemetry/Md5Provider.h"

#include <openssl/evp.h>

namespace inkwarden {

void Md5Provider::Free::operator()(EVP_MD* md) const {
    EVP_MD_free(md);
}

bool Md5Provider::acquire() {
    if (!md_) {
        md_.reset(EVP_MD_fetch(nullptr, "MD5", nullptr));
    }
    return md_ != nullptr;
}

void Md5Provider::release() {
    md_.reset();
}

std::string Md5Provider::hexDigest(const std::string& text) const {
    if (!md_) {
        return {};
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> hash(EVP_MD_CTX_new(),
                                                                 &EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!hash || EVP_DigestInit_ex(hash.get(), md_.get(), nullptr) != 1 ||
        EVP_DigestUpdate(hash.get(), text.data(), text.size()) != 1 ||
        EVP_DigestFinal_ex(hash.get(), digest, &length) != 1) {
        return {};
    }
    static const char HEX[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        out += HEX[digest[i] >> 4];
        out += HEX[digest[i] & 0x0F];
    }
    return out;
}

} // namespace inkwarden

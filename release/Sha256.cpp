#include "release/Sha256.h"

#include "release/ReleaseNonce.h"

namespace inkwarden {

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    ok_ = context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1;
}

void Sha256::update(std::string_view bytes) {
    if (ok_ && !bytes.empty()) {
        ok_ = EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()) == 1;
    }
}

std::string Sha256::finishHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok_ || EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) {
        ok_ = false;
        return {};
    }
    ok_ = false;
    return HexText(std::string_view(reinterpret_cast<const char*>(digest), length));
}

std::string Sha256Hex(std::string_view bytes) {
    Sha256 digest;
    digest.update(bytes);
    return digest.finishHex();
}

} // namespace inkwarden

#pragma once

#include <memory>
#include <string>

typedef struct evp_md_st EVP_MD;

namespace inkwarden {

// The MD5 algorithm as the platform's crypto library offers it. Acquiring may fail (a
// restricted crypto policy): then no digest can be made and callers leave their check empty.
class Md5Provider {
public:
    Md5Provider() = default;

    // Fetches the algorithm unless it is held already; false when it cannot be had.
    bool acquire();
    void release();
    bool available() const { return md_ != nullptr; }

    // Lower-case hexadecimal digest of text, high nibble first; "" when not available.
    // Each call uses a fresh hash object.
    std::string hexDigest(const std::string& text) const;

private:
    struct Free {
        void operator()(EVP_MD* md) const;
    };
    std::unique_ptr<EVP_MD, Free> md_;
};

} // namespace inkwarden

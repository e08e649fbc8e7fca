#include "release/ReleaseNonce.h"

#include <cerrno>
#include <openssl/rand.h>
#include <sys/random.h>

namespace inkwarden {
namespace {

constexpr char HEX_DIGITS[] = "0123456789abcdef";
constexpr unsigned NIBBLE_BITS = 4;
constexpr unsigned NIBBLE_MASK = 0x0f;

// getrandom blocks only until the kernel's pool is first seeded; a signal may cut it short.
bool SystemRandom(unsigned char* bytes, std::size_t count) {
    std::size_t filled = 0;
    while (filled < count) {
        const ssize_t got = ::getrandom(bytes + filled, count - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

std::string HexText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += HEX_DIGITS[byte >> NIBBLE_BITS];
        text += HEX_DIGITS[byte & NIBBLE_MASK];
    }
    return text;
}

std::string NewReleaseNonce() {
    unsigned char bytes[RELEASE_NONCE_BYTES];
    // The library's generator only where the kernel call is missing or refused.
    if (!SystemRandom(bytes, sizeof bytes) && RAND_bytes(bytes, sizeof bytes) != 1) {
        return {};
    }
    return HexText(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

bool IsReleaseNonce(std::string_view text) {
    if (text.size() != RELEASE_NONCE_DIGITS) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

} // namespace inkwarden

#include "tests/support/TestFiles.h"

#include "platform/UniqueResource.h"

#include <fstream>
#include <memory>
#include <openssl/evp.h>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace inkwarden::test {
namespace {

uint8_t PatternByte(int64_t i) {
    // Not periodic at any power of two, so a misplaced block shows up.
    const uint64_t x = static_cast<uint64_t>(i) * 2654435761u;
    return static_cast<uint8_t>((x >> 11) ^ (x >> 23) ^ static_cast<uint64_t>(i / 251));
}

std::string Hex(const unsigned char* digest, unsigned length) {
    static const char DIGITS[] = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < length; ++i) {
        text += DIGITS[digest[i] >> 4];
        text += DIGITS[digest[i] & 15];
    }
    return text;
}

using DigestContext = UniqueResource<EVP_MD_CTX, EVP_MD_CTX_free>;

} // namespace

std::string TestFiles::Pattern(int64_t offset, int64_t length) {
    std::string bytes(static_cast<size_t>(length), '\0');
    for (int64_t i = 0; i < length; ++i) {
        bytes[static_cast<size_t>(i)] = static_cast<char>(PatternByte(offset + i));
    }
    return bytes;
}

bool TestFiles::WritePattern(const std::string& path, int64_t length) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const int64_t CHUNK = 1 << 20;
    for (int64_t offset = 0; offset < length && out; offset += CHUNK) {
        const std::string block = Pattern(offset, std::min(CHUNK, length - offset));
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return static_cast<bool>(out);
}

std::string TestFiles::ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool TestFiles::Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string TestFiles::Sha256OfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return "";
    }
    DigestContext context(EVP_MD_CTX_new());
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(in.gcount()));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    return Hex(digest, length);
}

std::string TestFiles::Sha256(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    return Hex(digest, length);
}

} // namespace inkwarden::test

#pragma once

#include <cstdint>
#include <string>

namespace inkwarden::test {

// Helpers for the content of test files: a reproducible byte pattern and digests.
struct TestFiles {
    // length bytes of the pattern, starting at offset of the whole pattern.
    static std::string Pattern(int64_t offset, int64_t length);
    // Writes length bytes of the pattern to path; false on failure.
    static bool WritePattern(const std::string& path, int64_t length);
    static std::string ReadAll(const std::string& path);
    static bool Exists(const std::string& path);
    // Hexadecimal SHA-256 of a file's content (empty when unreadable), and of bytes.
    static std::string Sha256OfFile(const std::string& path);
    static std::string Sha256(const std::string& bytes);
};

} // namespace inkwarden::test

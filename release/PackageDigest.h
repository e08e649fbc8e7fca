#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace inkwarden {

// What the version reply says of a package, and what a file turned out to be.
struct PackageDigest {
    std::int64_t size = 0;
    std::string sha256; // 64 lower-case hex digits
};

// The size and SHA-256 of a regular file, read once from start to end in pieces; nothing
// when it cannot be opened or read. A symbolic link is not followed.
std::optional<PackageDigest> DigestFile(const std::string& path);

// The same over an open descriptor, from its current offset to its end.
std::optional<PackageDigest> DigestOpenFile(int fd);

} // namespace inkwarden

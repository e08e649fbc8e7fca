#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace inkwarden {

// What the version reply says of a package, and what a file turned out to be.
struct PackageDigest {
    std::int64_t size = 0;
    std::string sha256; // 64 lower-case hex digits
    // With a piece size: the SHA-256 of each piece of that many bytes, the last one holding
    // the rest.
    std::vector<std::string> piece_sha256;
};

// The size and SHA-256 of a regular file, read once from start to end in pieces, and with a
// piece_size above 0 the digests of its pieces in the same pass; nothing when it cannot be
// opened or read. A symbolic link is not followed.
std::optional<PackageDigest> DigestFile(const std::string& path, std::int64_t piece_size = 0);

// The same over an open descriptor, from its current offset to its end.
std::optional<PackageDigest> DigestOpenFile(int fd, std::int64_t piece_size = 0);

} // namespace inkwarden

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace inkwarden {

// The reply's description of the package it names, whichever of its two URLs is used.
inline constexpr const char* PACKAGE_SHA256_FIELD = "Package_sha256";
inline constexpr const char* PACKAGE_SIZE_FIELD = "Package_size";
inline constexpr const char* PACKAGE_MIRRORS_FIELD = "Package_mirrors";
inline constexpr const char* PACKAGE_PIECE_SIZE_FIELD = "Package_piece_size";
inline constexpr const char* PACKAGE_PIECE_SHA256_FIELD = "Package_piece_sha256";
// Piece sizes a release may name: powers of two between these.
inline constexpr std::int64_t MIN_PIECE_SIZE = 65536;
inline constexpr std::int64_t MAX_PIECE_SIZE = 16777216;

struct PackageFields {
    std::optional<std::string> sha256; // lower-case, whatever case the reply used
    std::optional<std::int64_t> size;
    // Absolute http or https URLs that serve the same bytes as the package URL.
    std::vector<std::string> mirrors;
    // The file's pieces of piece_size bytes (the last holds the rest), one lower-case hex
    // SHA-256 each, in order; both there or neither, and only with size and sha256.
    std::optional<std::int64_t> piece_size;
    std::vector<std::string> piece_sha256;
    // A field is there but not as 64 hex digits, a non-negative JSON integer or an array of
    // absolute http or https URLs, or the piece fields do not fit the rest.
    bool malformed = false;

    bool complete() const { return sha256.has_value() && size.has_value(); }
    bool operator==(const PackageFields&) const = default;
};

// The package fields of the deciphered reply's "data" object. A reply that is not JSON or has
// no "data" object has none; a field that is there in the wrong form marks the whole malformed
// (and is left out; a malformed piece field leaves both piece fields out).
PackageFields ParsePackageFields(const std::string& text);

// The same fields of a text that is the "data" object itself (a release file's package fields,
// ready to merge into a release's data); text that is no JSON object has neither.
PackageFields ParsePackageDataObject(const std::string& text);

// An absolute http or https URL with a host, without blanks or control characters.
bool IsMirrorUrl(const std::string& text);
// A power of two from MIN_PIECE_SIZE to MAX_PIECE_SIZE.
bool IsPieceSize(std::int64_t piece_size);

// The number of pieces of piece_size bytes that hold size bytes.
std::int64_t PieceCount(std::int64_t size, std::int64_t piece_size);

// Either case of 64 hex digits, lower-cased; nothing otherwise.
std::optional<std::string> NormalizeSha256Text(const std::string& text);

} // namespace inkwarden

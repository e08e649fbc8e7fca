// The parts of a version reply that the installer reads before it trusts it: the signature
// header (the input's first line) and the package fields with the pieces' digests (the whole
// input as reply text).
// Whatever parses must be in its one form, and a forged signature never holds.
#include "release/PackageFields.h"
#include "release/ReleasePublicKey.h"
#include "release/ReleaseSignature.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// An Ed25519 public key whose private half nobody holds here.
constexpr const char* KEY_PEM = "-----BEGIN PUBLIC KEY-----\n"
                                "MCowBQYDK2VwAyEAu0pGyAvPmOWfEmk6esfCB8lghEYBgsTFZ4vjP7m9/vg=\n"
                                "-----END PUBLIC KEY-----\n";

bool IsLowerHex(const std::string& text) {
    return text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string header = text.substr(0, text.find('\n'));
    if (const auto signature = inkwarden::ParseSignatureHeader(header)) {
        // Only the canonical text parses, and it comes back unchanged.
        if (inkwarden::SignatureHeaderValue(*signature) != header) {
            std::abort();
        }
        static const auto key = inkwarden::ReleasePublicKey::FromPem(KEY_PEM);
        if (!key || key->verify(inkwarden::SignedReleaseMessage(std::string(32, '0'), "", text),
                                *signature)) {
            std::abort();
        }
    }
    const inkwarden::PackageFields fields = inkwarden::ParsePackageFields(text);
    if (fields.sha256 && (fields.sha256->size() != 64 || !IsLowerHex(*fields.sha256))) {
        std::abort();
    }
    if (fields.size && *fields.size < 0) {
        std::abort();
    }
    // A malformed field is left out: both file fields stay only beside malformed pieces, and
    // those are never kept.
    if (fields.malformed && fields.complete() && text.find("Package_piece_") == std::string::npos) {
        std::abort();
    }
    if (fields.malformed && (fields.piece_size || !fields.piece_sha256.empty())) {
        std::abort();
    }
    // Pieces only in their one form: beside both file fields, one digest per piece.
    if (!fields.piece_size && !fields.piece_sha256.empty()) {
        std::abort();
    }
    if (fields.piece_size) {
        const std::int64_t piece = *fields.piece_size;
        if (fields.malformed || !fields.complete() || piece < inkwarden::MIN_PIECE_SIZE ||
            piece > inkwarden::MAX_PIECE_SIZE || (piece & (piece - 1)) != 0 ||
            static_cast<std::int64_t>(fields.piece_sha256.size()) !=
                inkwarden::PieceCount(*fields.size, piece)) {
            std::abort();
        }
        for (const std::string& digest : fields.piece_sha256) {
            if (digest.size() != 64 || !IsLowerHex(digest)) {
                std::abort();
            }
        }
    }
    return 0;
}

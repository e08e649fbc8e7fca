#pragma once

#include "net/TransferFault.h"
#include "release/LatestVersionInfo.h"
#include "release/PackageFields.h"
#include "release/SigningKeyCertificate.h"

#include <cstdint>
#include <optional>
#include <string>

namespace inkwarden {

// What became of the reply's signature header.
enum class ReplySignature {
    ABSENT,      // no header: an unsigned reply
    VALID,       // checked against the key and it held
    INVALID,     // malformed, repeated, or it did not hold for this nonce, request and reply
    UNCHECKED,   // a header came, but there was no key to check it with
    KEY_EXPIRED, // signed by a certified key whose certificate has run out
};

const char* ReplySignatureText(ReplySignature signature);

// One version query's outcome. With a key, a reply whose signature did not hold is never
// deciphered: info and package stay empty.
struct ReleaseReply {
    bool answered = false;   // status 200
    std::int32_t status = 0; // the HTTP status; 0 when no answer came
    ReplySignature signature = ReplySignature::ABSENT;
    // Set when a key certified by the root, rather than the root, signed the reply.
    std::optional<UtcTime> certified_until;
    LatestVersionInfo info;
    PackageFields package;
    // Why no answer came, and the line that says so; NONE when one came.
    TransferFault fault = TransferFault::NONE;
    std::string cause;
};

} // namespace inkwarden

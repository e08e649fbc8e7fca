#pragma once

#include "release/PackageFields.h"
#include "release/ReleaseReply.h"

#include <string>

namespace inkwarden {

// The checks that stand between a version reply and running what it names; the first one
// that failed, or PASSED.
enum class ReleaseCheck {
    PASSED,
    NO_REPLY,                 // the service gave no answer with status 200
    UNSIGNED,                 // a key is compiled in and the reply has no signature
    BAD_SIGNATURE,            // the signature did not hold (altered, replayed, another key)
    MISSING_PACKAGE_FIELDS,   // a key is compiled in and the reply lacks size or SHA-256
    MALFORMED_PACKAGE_FIELDS, // a package field is there in the wrong form
    PACKAGE_UNREADABLE,       // the downloaded file cannot be read back
    PACKAGE_SIZE,             // the downloaded file's size differs from the reply's
    PACKAGE_SHA256,           // the downloaded file's SHA-256 differs from the reply's
};

// One line for the user or the log, e.g. "the reply's signature does not hold".
const char* ReleaseCheckText(ReleaseCheck check);

// Whether the reply may be acted on before anything is downloaded. With key_required (a key
// is compiled in) the signature must have held and both package fields must be there;
// without, the reply is taken as it is. Malformed package fields fail either way.
ReleaseCheck CheckReleaseReply(const ReleaseReply& reply, bool key_required);

// The downloaded package against the reply's fields, as many as it has; without any the file
// is not read. Read once, in pieces; the size is compared first.
ReleaseCheck CheckPackageFile(const std::string& path, const PackageFields& fields);

} // namespace inkwarden

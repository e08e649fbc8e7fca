#include "release/ReleaseCheck.h"

#include "platform/UniqueFd.h"
#include "release/PackageDigest.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace inkwarden {

const char* ReleaseCheckText(ReleaseCheck check) {
    switch (check) {
    case ReleaseCheck::PASSED:
        return "passed";
    case ReleaseCheck::NO_REPLY:
        return "the version service gave no reply";
    case ReleaseCheck::UNSIGNED:
        return "the reply is not signed";
    case ReleaseCheck::BAD_SIGNATURE:
        return "the reply's signature does not hold";
    case ReleaseCheck::MISSING_PACKAGE_FIELDS:
        return "the reply does not give the package's size and SHA-256";
    case ReleaseCheck::MALFORMED_PACKAGE_FIELDS:
        return "the reply's package size, SHA-256 or piece digests are malformed";
    case ReleaseCheck::PACKAGE_UNREADABLE:
        return "the downloaded package cannot be read back";
    case ReleaseCheck::PACKAGE_SIZE:
        return "the package's size differs from the reply's";
    case ReleaseCheck::PACKAGE_SHA256:
        return "the package's SHA-256 differs from the reply's";
    }
    return "?";
}

ReleaseCheck CheckReleaseReply(const ReleaseReply& reply, bool key_required) {
    if (!reply.answered) {
        return ReleaseCheck::NO_REPLY;
    }
    if (key_required && reply.signature == ReplySignature::ABSENT) {
        return ReleaseCheck::UNSIGNED;
    }
    if (key_required && reply.signature != ReplySignature::VALID) {
        return ReleaseCheck::BAD_SIGNATURE;
    }
    if (reply.package.malformed) {
        return ReleaseCheck::MALFORMED_PACKAGE_FIELDS;
    }
    if (key_required && !reply.package.complete()) {
        return ReleaseCheck::MISSING_PACKAGE_FIELDS;
    }
    return ReleaseCheck::PASSED;
}

ReleaseCheck CheckPackageFile(const std::string& path, const PackageFields& fields) {
    if (!fields.sha256 && !fields.size) {
        return ReleaseCheck::PASSED;
    }
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return ReleaseCheck::PACKAGE_UNREADABLE;
    }
    // A wrong length needs no reading at all.
    if (fields.size && info.st_size != *fields.size) {
        return ReleaseCheck::PACKAGE_SIZE;
    }
    if (!fields.sha256) {
        return ReleaseCheck::PASSED;
    }
    const std::optional<PackageDigest> digest = DigestOpenFile(fd.get());
    if (!digest) {
        return ReleaseCheck::PACKAGE_UNREADABLE;
    }
    // What was hashed is what counts, should the file have changed since it was measured.
    if (fields.size && digest->size != *fields.size) {
        return ReleaseCheck::PACKAGE_SIZE;
    }
    return digest->sha256 == *fields.sha256 ? ReleaseCheck::PASSED : ReleaseCheck::PACKAGE_SHA256;
}

} // namespace inkwarden

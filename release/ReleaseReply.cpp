#include "release/ReleaseReply.h"

namespace inkwarden {

const char* ReplySignatureText(ReplySignature signature) {
    switch (signature) {
    case ReplySignature::ABSENT:
        return "not signed";
    case ReplySignature::VALID:
        return "signed, signature holds";
    case ReplySignature::INVALID:
        return "signed, signature does not hold";
    case ReplySignature::UNCHECKED:
        return "signed, not checked (no key)";
    case ReplySignature::KEY_EXPIRED:
        return "signed, the signing key's certificate has run out";
    }
    return "?";
}

} // namespace inkwarden

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
    }
    return "?";
}

} // namespace inkwarden

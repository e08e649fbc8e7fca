#pragma once

#include "release/SigningKeyCertificate.h"

#include <string>

namespace inkwarden::demo {
class ReleaseSigner;
}

namespace inkwarden::test {

// An offline bundle as the vendor's tool makes one, but with any signer, expiry and package
// name, so that the tests can make the bundles a vendor never would.
struct TestBundle {
    std::string version = "1.0.0.1";
    std::string package_file = "InkwardenSetup.bin";
    std::string package_bytes;
    UtcTime not_after = UtcNow() + std::chrono::days(30);

    // Writes the package, release.json and release.json.sig into folder (made if missing);
    // returns release.json's text.
    std::string writeTo(const std::string& folder, const demo::ReleaseSigner& signer) const;
};

// Signs release.json as it now stands in folder again, with signer.
void ResignBundle(const std::string& folder, const demo::ReleaseSigner& signer);

} // namespace inkwarden::test

#include "tests/support/TestBundle.h"

#include "demo/ReleaseSigner.h"
#include "release/OfflineBundle.h"
#include "tests/support/TestFiles.h"

#include <filesystem>
#include <fstream>

namespace inkwarden::test {

std::string TestBundle::writeTo(const std::string& folder,
                                const demo::ReleaseSigner& signer) const {
    std::filesystem::create_directories(folder);
    // A name that leaves the folder is written nowhere: the bundle only names it.
    if (IsPlainFileName(package_file)) {
        std::ofstream(folder + "/" + package_file, std::ios::binary) << package_bytes;
    }
    OfflineRelease release;
    release.version_number = version;
    release.package_file = package_file;
    release.package.size = static_cast<std::int64_t>(package_bytes.size());
    release.package.sha256 = TestFiles::Sha256(package_bytes);
    release.not_after = not_after;
    const std::string text = OfflineReleaseText(release);
    std::ofstream(folder + "/" + BUNDLE_RELEASE_FILE, std::ios::binary) << text;
    ResignBundle(folder, signer);
    return text;
}

void ResignBundle(const std::string& folder, const demo::ReleaseSigner& signer) {
    const std::string text = TestFiles::ReadAll(folder + "/" + BUNDLE_RELEASE_FILE);
    const auto signature = signer.sign(SignedBundleMessage(text));
    std::ofstream(folder + "/" + BUNDLE_SIGNATURE_FILE, std::ios::binary)
        << (signature ? SignatureHeaderValue(*signature) : std::string());
}

} // namespace inkwarden::test

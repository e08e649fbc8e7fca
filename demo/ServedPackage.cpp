#include "demo/ServedPackage.h"

#include "release/PackageDigest.h"

namespace inkwarden::demo {

PackageFields ServedPackageFields(const LatestVersionInfo& release,
                                  const std::string& service_address,
                                  const std::string& packages_dir) {
    PackageFields fields;
    const std::string& url =
        !release.Download_silent_url.empty() ? release.Download_silent_url : release.Download_url;
    const std::string prefix = service_address + "/packages/";
    if (packages_dir.empty() || url.rfind(prefix, 0) != 0) {
        return fields;
    }
    // Only a file directly inside the folder, as the package route serves it.
    const std::string name = url.substr(prefix.size());
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        return fields;
    }
    // Hashed on every query, so a package replaced while the service runs is described as it
    // is served.
    if (const std::optional<PackageDigest> digest = DigestFile(packages_dir + "/" + name)) {
        fields.size = digest->size;
        fields.sha256 = digest->sha256;
    }
    return fields;
}

} // namespace inkwarden::demo

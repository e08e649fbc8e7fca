#pragma once

#include "release/LatestVersionInfo.h"
#include "release/PackageFields.h"

#include <string>

namespace inkwarden::demo {

// The package fields of the package the release names (the silent URL first, as the installer
// chooses), when that URL is one of this service's own under /packages/: size and SHA-256 of
// the file as it lies in packages_dir now. Neither field otherwise.
PackageFields ServedPackageFields(const LatestVersionInfo& release,
                                  const std::string& service_address,
                                  const std::string& packages_dir);

} // namespace inkwarden::demo

#pragma once

#include "release/LatestVersionInfo.h"
#include "release/PackageDigest.h"
#include "release/PackageFields.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>

namespace inkwarden::demo {

// The package fields of the package a release names (the silent URL first, as the installer
// chooses), when that URL is one of this service's own under /packages/: size and SHA-256 of
// the file the package route serves for it now (escapes decoded, a query string ignored, links
// inside the folder followed). The digest is kept while the file stays the same
// (device, inode, size, modification time), so a query does not read the whole package, and
// a package replaced while the service runs is hashed afresh. Safe from any thread.
class ServedPackage {
public:
    // With a piece size the fields carry the pieces' digests too; set before serving.
    void setPieceSize(std::int64_t piece_size) { piece_size_ = piece_size; }

    PackageFields fields(const LatestVersionInfo& release, const std::string& service_address,
                         const std::string& packages_dir);

private:
    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        bool operator==(const FileIdentity& other) const;
    };

    std::optional<PackageDigest> digest(const std::string& folder, const std::string& name);

    std::mutex mutex_;
    std::string path_;
    FileIdentity identity_;
    std::optional<PackageDigest> digest_;
    std::int64_t piece_size_ = 0;
};

} // namespace inkwarden::demo

#include "demo/ServedPackage.h"

#include "demo/PackageFolder.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace inkwarden::demo {

bool ServedPackage::FileIdentity::operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

PackageFields ServedPackage::fields(const LatestVersionInfo& release,
                                    const std::string& service_address,
                                    const std::string& packages_dir) {
    PackageFields fields;
    const std::string& url =
        !release.Download_silent_url.empty() ? release.Download_silent_url : release.Download_url;
    const std::string prefix = service_address + "/packages/";
    if (packages_dir.empty() || url.rfind(prefix, 0) != 0) {
        return fields;
    }
    // The file the package route would serve for that URL.
    const std::optional<std::string> name =
        PackageFolder::NameFromUrlPath(url.substr(prefix.size()));
    if (!name) {
        return fields;
    }
    if (const std::optional<PackageDigest> found = digest(packages_dir, *name)) {
        fields.size = found->size;
        fields.sha256 = found->sha256;
        if (piece_size_ > 0) {
            fields.piece_size = piece_size_;
            fields.piece_sha256 = found->piece_sha256;
        }
    }
    return fields;
}

std::optional<PackageDigest> ServedPackage::digest(const std::string& folder,
                                                   const std::string& name) {
    struct stat info {};
    const UniqueFd fd = PackageFolder::Open(folder, name, info);
    if (!fd) {
        return std::nullopt;
    }
    const std::string path = folder + "/" + name;
    // The identity of the file that is read, not of whatever the name means by then.
    const FileIdentity identity{info.st_dev, info.st_ino, info.st_size, info.st_mtim};
    std::lock_guard<std::mutex> lock(mutex_);
    if (path == path_ && identity == identity_ && digest_) {
        return digest_;
    }
    path_ = path;
    identity_ = identity;
    digest_ = DigestOpenFile(fd.get(), piece_size_);
    return digest_;
}

} // namespace inkwarden::demo

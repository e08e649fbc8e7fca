#include "app/InstallFolderCheck.h"

#include "app/FailureCause.h"
#include "platform/DirectoryHelpers.h"
#include "platform/Paths.h"
#include "platform/Translation.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace inkwarden {

FolderVerdict CheckInstallFolder(const std::string& folder) {
    FolderVerdict verdict;
    if (folder.empty()) {
        return verdict;
    }
    const std::string existing = NearestExistingFolder(folder);
    if (existing.empty()) {
        return verdict;
    }
    verdict.place = existing;
    struct statvfs volume {};
    if (::statvfs(existing.c_str(), &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0) {
        verdict.problem = FolderProblem::READ_ONLY;
        return verdict;
    }
    // With the effective user's rights, as the package will run with them.
    if (::faccessat(AT_FDCWD, existing.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        verdict.problem = errno == EROFS ? FolderProblem::READ_ONLY : FolderProblem::NOT_WRITABLE;
    }
    return verdict;
}

std::string VolumeOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return path;
    }
    std::string volume = path;
    for (std::string parent = ParentPath(volume);; parent = ParentPath(volume)) {
        const std::string above = parent.empty() ? "/" : parent;
        struct stat parent_info {};
        if (volume == "/" || ::stat(above.c_str(), &parent_info) != 0 ||
            parent_info.st_dev != info.st_dev) {
            return volume;
        }
        volume = above;
    }
}

FolderVerdict CheckRoom(const std::string& install_folder, const std::string& package_folder,
                        std::uint64_t needed) {
    FolderVerdict verdict;
    if (needed == 0) {
        return verdict;
    }
    const std::string install_existing = NearestExistingFolder(install_folder);
    const std::string package_existing = NearestExistingFolder(package_folder);
    struct stat install_info {};
    struct stat package_info {};
    const bool one_volume = ::stat(install_existing.c_str(), &install_info) == 0 &&
                            ::stat(package_existing.c_str(), &package_info) == 0 &&
                            install_info.st_dev == package_info.st_dev;
    // The package's own volume first: the download comes first.
    const std::pair<std::string, std::uint64_t> volumes[] = {
        {package_existing, one_volume ? 2 * needed : needed},
        {install_existing, one_volume ? 0 : needed},
    };
    for (const auto& [folder, bytes] : volumes) {
        if (bytes == 0 || folder.empty()) {
            continue;
        }
        const std::optional<std::uint64_t> free = VolumeFreeBytes(folder);
        if (free && *free < bytes) {
            verdict.problem = FolderProblem::NO_ROOM;
            verdict.place = VolumeOf(folder);
            verdict.needed = bytes;
            verdict.free = *free;
            return verdict;
        }
    }
    return verdict;
}

std::string FolderVerdictText(const FolderVerdict& verdict) {
    switch (verdict.problem) {
    case FolderProblem::READ_ONLY:
        return FormatCause(Tr("%s is read-only; choose another folder."), verdict.place);
    case FolderProblem::NOT_WRITABLE:
        return FormatCause(Tr("You may not write to %s: choose a folder in your home."),
                           verdict.place);
    case FolderProblem::NO_ROOM:
        return NoRoomText(verdict.needed, verdict.free, verdict.place);
    case FolderProblem::NONE:
        break;
    }
    return {};
}

} // namespace inkwarden

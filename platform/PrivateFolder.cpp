#include "platform/PrivateFolder.h"

#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {
namespace {

constexpr mode_t PRIVATE_MODE = 0700;
constexpr const char* FOLDER_NAME = "inkwarden";
constexpr const char* MACHINE_CACHE_FOLDER = "/var/cache/inkwarden";

std::string AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

// Creates folder and the parents it lacks, each with the private mode; 0 or the error.
int CreateFolders(const std::string& folder) {
    if (::mkdir(folder.c_str(), PRIVATE_MODE) == 0 || errno == EEXIST) {
        return 0;
    }
    if (errno != ENOENT) {
        return errno;
    }
    const std::string parent = ParentPath(folder);
    if (parent.empty() || parent == folder) {
        return ENOENT;
    }
    if (const int error = CreateFolders(parent)) {
        return error;
    }
    return ::mkdir(folder.c_str(), PRIVATE_MODE) == 0 || errno == EEXIST ? 0 : errno;
}

} // namespace

std::string InstallerCacheFolder() {
    std::string folder = AbsoluteVariable("INKWARDEN_CACHE_DIR");
    if (folder.empty()) {
        if (RunsAsRoot()) {
            return MACHINE_CACHE_FOLDER;
        }
        folder = AbsoluteVariable("XDG_CACHE_HOME");
        if (folder.empty()) {
            folder = HomeFolder();
            folder += folder.back() == '/' ? ".cache" : "/.cache";
        }
        folder += std::string("/") + FOLDER_NAME;
    }
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

int MakePrivateFolder(const std::string& folder) {
    if (folder.empty() || folder[0] != '/') {
        return EINVAL;
    }
    if (const int error = CreateFolders(folder)) {
        return error;
    }
    // Opened without following a link, so that the checks and the mode apply to the folder
    // that the name held at that moment.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno == ELOOP ? ENOTDIR : errno;
    }
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISDIR(info.st_mode)) {
        error = ENOTDIR;
    } else if (info.st_uid != ::geteuid() || (info.st_mode & S_ISVTX) != 0) {
        // Another user's folder, or one shared by all (a sticky /tmp named as the folder):
        // never ours to close to the others.
        error = EPERM;
    } else if ((info.st_mode & 07777) != PRIVATE_MODE && ::fchmod(fd, PRIVATE_MODE) != 0) {
        error = errno;
    }
    ::close(fd);
    if (error == 0 && ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        error = errno;
    }
    return error;
}

} // namespace inkwarden

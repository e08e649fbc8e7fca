#include "net/DownloadFiles.h"

#include "net/DownloadCause.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {
namespace {

// Segments share one temporary file, each writing its own range through its own descriptor.
constexpr mode_t TEMPORARY_FILE_MODE = 0644;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

int64_t WriteAt(int fd, const char* data, int64_t length, int64_t offset) {
    int64_t written = 0;
    while (written < length) {
        ssize_t n = ::pwrite(fd, data + written, static_cast<size_t>(length - written),
                             static_cast<off_t>(offset + written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += n;
    }
    return written;
}

bool IsOwnRegularFile(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

int64_t FileSize(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

std::string FileErrorText(const std::string& path, int error) {
    switch (error) {
    case ENOENT:
        return FolderOf(path) + ": no such folder";
    case EROFS:
        return path + ": read-only file system";
    case ENOSPC:
        return path + ": no space left on device";
    case EACCES:
    case EPERM:
        return path + ": permission denied";
    case EISDIR:
        return path + " is a folder";
    case ELOOP:
        return path + " is a link, which is never followed";
    case ENOTDIR:
        return FolderOf(path) + ": not a folder";
    default:
        return path + ": " + std::strerror(error);
    }
}

std::string TargetProblem(const std::string& path) {
    struct stat target_info {};
    if (::stat(path.c_str(), &target_info) != 0) {
        return {};
    }
    if (S_ISDIR(target_info.st_mode)) {
        return path + " is a folder";
    }
    return S_ISREG(target_info.st_mode) ? std::string() : download_cause::NotRegularFile(path);
}

bool PrepareTemporaryFile(const std::string& path, bool keep_content, std::string& cause,
                          int& error) {
    UniqueFd file(
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, TEMPORARY_FILE_MODE));
    error = file ? 0 : errno;
    if (file && !IsOwnRegularFile(file.get())) {
        cause = path + " is not a regular file of this user's";
        return false;
    }
    if (file && !keep_content && ::ftruncate(file.get(), 0) != 0) {
        error = errno;
    }
    if (error != 0) {
        cause = FileErrorText(path, error);
        return false;
    }
    return true;
}

} // namespace inkwarden

#include "net/TargetLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace inkwarden {
namespace {

constexpr mode_t TEMPORARY_FILE_MODE = 0644;

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

TargetLock::Outcome TargetLock::Acquire(const std::string& temporary_path) {
    Release();
    error_ = 0;
    UniqueFd fd(::open(temporary_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                       TEMPORARY_FILE_MODE));
    if (!fd) {
        error_ = errno;
        return Outcome::FILE_ERROR;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return Outcome::BUSY;
        }
        error_ = errno;
        return Outcome::FILE_ERROR;
    }
    // The holder before us may have renamed this file to the target just before it let go:
    // then the lock is on the finished file, and the name is free for a new one.
    struct stat locked {};
    struct stat named {};
    if (::fstat(fd.get(), &locked) != 0 || ::lstat(temporary_path.c_str(), &named) != 0 ||
        !SameFile(locked, named)) {
        return Acquire(temporary_path);
    }
    fd_ = std::move(fd);
    return Outcome::LOCKED;
}

} // namespace inkwarden

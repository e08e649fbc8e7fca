#pragma once

#include <unistd.h>

namespace inkwarden {

// Owns one file descriptor and closes it when dropped.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const { return fd; }
    bool valid() const { return fd >= 0; }
    int release() {
        int old = fd;
        fd = -1;
        return old;
    }
    void reset(int new_fd = -1) {
        if (fd >= 0) {
            ::close(fd);
        }
        fd = new_fd;
    }

private:
    int fd = -1;
};

} // namespace inkwarden

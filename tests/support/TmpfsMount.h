#pragma once

#include <cstddef>
#include <string>

namespace inkwarden::test {

// A small tmpfs mounted on an existing folder for the lifetime of the object, to make a full
// or read-only disk. Mounting needs privileges: mounted() is false (and why() says why) where
// they are missing, and the test skips.
class TmpfsMount {
public:
    TmpfsMount(const std::string& folder, std::size_t bytes, bool read_only = false);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    // Turns the mounted file system read-only (or writable again) in place.
    bool setReadOnly(bool read_only);

private:
    std::string folder_;
    std::string options_;
    bool mounted_ = false;
    std::string why_;
};

} // namespace inkwarden::test

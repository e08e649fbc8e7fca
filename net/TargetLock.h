#pragma once

#include "platform/UniqueFd.h"

#include <string>

namespace inkwarden {

// One download per target at a time: an advisory lock on the download's temporary file, held
// from before the file is first changed until the download has ended (after its rename). A
// second download of the same target fails at once instead of waiting, so that an installer
// started twice tells the user rather than sitting still.
class TargetLock {
public:
    enum class Outcome { LOCKED, BUSY, FILE_ERROR };

    // Creates temporary_path if missing (never through a link) and locks it.
    Outcome Acquire(const std::string& temporary_path);
    void Release() { fd_.reset(); }
    bool Held() const { return fd_.valid(); }
    // The errno of a FILE_ERROR.
    int Error() const { return error_; }

private:
    UniqueFd fd_;
    int error_ = 0;
};

} // namespace inkwarden

#pragma once

#include <string>

namespace inkwarden {

// Why an install attempt ended on the failure page: the first step that failed, in the order
// the attempt runs them. NONE while an attempt runs and after one that succeeded.
enum class InstallFailure {
    NONE,
    SERVICE_UNREACHABLE,   // no answer from the version service in time
    SERVICE_ERROR,         // the version service answered with an HTTP error status
    CERTIFICATE_UNTRUSTED, // a server's certificate did not pass the checks
    PROXY_SIGN_IN,         // the proxy wants a user name and password that no one gave
    RELEASE_INVALID,       // the reply does not decipher or parse, or a trust check failed
    FOLDER_READ_ONLY,      // the install folder is on a read-only volume
    FOLDER_NOT_WRITABLE,   // the user may not write to the install folder
    TEMP_FOLDER,           // the installer's own temporary folder cannot be made or written
    DOWNLOAD_FAILED,
    DISK_FULL,        // no space left while the package was written
    PACKAGE_FAILED,   // the package did not start, did not finish, or installed nothing
    VERSION_MISMATCH, // the installed product is not the release's version
};

// The line under the failure page's title, in the user's language; "" for NONE.
const char* InstallFailureText(InstallFailure failure);

// The failure page's picture for the cause, as the skin names images: each kind of cause its
// own, so that a disk problem never shows the network's.
const char* InstallFailurePicture(InstallFailure failure);

// The same cause for the diagnostic output, e.g. "the version service could not be reached".
const char* InstallFailureDiagnostic(InstallFailure failure);

// The failure page's line for a sign-in that the proxy "HOST:PORT" still wants.
std::string ProxySignInText(const std::string& proxy);

} // namespace inkwarden

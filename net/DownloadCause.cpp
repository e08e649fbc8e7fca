#include "net/DownloadCause.h"

namespace inkwarden::download_cause {

std::string SizeMismatch(int64_t announced, int64_t expected) {
    return "the server announces " + std::to_string(announced) + " bytes, the release says " +
           std::to_string(expected);
}

std::string AnotherDownload(const std::string& path) {
    return "another download of " + path + " is running";
}

std::string NotRegularFile(const std::string& path) {
    return path + " is not a regular file";
}

} // namespace inkwarden::download_cause

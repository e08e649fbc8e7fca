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

std::string PieceFailed(int64_t piece, int64_t first) {
    return "piece " + std::to_string(piece) + " (from byte " + std::to_string(first) +
           ") does not match its digest";
}

std::string PieceKeepsFailing(int64_t piece, int failures, const std::string& source) {
    return "piece " + std::to_string(piece) + " failed its digest " + std::to_string(failures) +
           " times (" + source + ")";
}

} // namespace inkwarden::download_cause

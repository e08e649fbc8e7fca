#pragma once

#include <cstdint>
#include <string>

namespace inkwarden::download_cause {

// The causes of a failed download that the engine itself names, in the words a person reads
// (the transfer library's and the file system's own words come besides these).
inline constexpr const char* CANCELLED = "cancelled";
inline constexpr const char* INCOMPLETE = "the download did not complete";
inline constexpr const char* FILE_CHANGED = "the file changed on the server";
inline constexpr const char* WRITES_PAST_END = "the server sends more than the release says";
inline constexpr const char* NO_TRANSFER = "the transfer library could not start a transfer";
inline constexpr const char* EMPTY_FILE = "the server announced an empty file";

std::string SizeMismatch(int64_t announced, int64_t expected);
std::string AnotherDownload(const std::string& path);
std::string NotRegularFile(const std::string& path);
std::string PieceFailed(int64_t piece, int64_t first);
std::string PieceKeepsFailing(int64_t piece, int failures, const std::string& source);

} // namespace inkwarden::download_cause

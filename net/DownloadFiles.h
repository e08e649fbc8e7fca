#pragma once

#include <cstdint>
#include <string>

namespace inkwarden {

// The file operations of a download, in the words a person uses for their failures.

// Writes all of data at offset; returns the bytes written, fewer only on a write error.
int64_t WriteAt(int fd, const char* data, int64_t length, int64_t offset);

// The temporary folder may be shared: only a regular file of our own is written.
bool IsOwnRegularFile(int fd);

int64_t FileSize(int fd);

// A file error in the words a person uses for it, with the path it concerns.
std::string FileErrorText(const std::string& path, int error);

// Why path cannot be a download's target (a folder or a device under its name would only show
// at the rename, after the whole file, and a device must never be replaced by a file); empty
// when it can.
std::string TargetProblem(const std::string& path);

// The temporary file at path, created if missing, never through a link, and only a regular
// file of our own; without keep_content what an earlier attempt left is emptied. false with
// the cause and its errno (0 when none) otherwise.
bool PrepareTemporaryFile(const std::string& path, bool keep_content, std::string& cause,
                          int& error);

} // namespace inkwarden

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

} // namespace inkwarden

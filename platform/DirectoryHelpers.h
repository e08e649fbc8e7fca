#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace inkwarden {

// Folder, disk and size-text helpers for the install folder. Paths are native: "/" separates
// the levels and a path is absolute when it begins with "/". None of them throws.

// True when the path exists and is a folder (a link to a folder counts).
bool IsDirectory(const std::string& path);

// The mode a created folder asks for; the process's umask takes its share.
constexpr unsigned FOLDER_MODE = 0777;

// Creates every missing level of the path, from the root (or the current folder for a
// relative path) down, each with mode; true when every level is a folder afterwards. A level
// that exists as anything else fails.
bool CreateDirectoryChain(const std::string& path, unsigned mode = FOLDER_MODE);

// Removes the folder with everything in it; true when the folder itself is gone. Symbolic
// links are removed as links, never followed.
bool DeleteTree(const std::string& folder);

// True when the folder can hold a new subfolder ("TestDir") and a new file ("TestFile.txt").
// Refuses an empty or relative path and a path naming a file. A missing folder is created
// and stays, with its parents; the probe entries are removed again.
bool ProbeWritableFolder(const std::string& path);

// The path itself or its nearest ancestor that is an existing folder ("/" at the latest for
// an absolute path); empty when there is none.
std::string NearestExistingFolder(const std::string& path);

// Total free bytes of the volume that holds the path (which must exist), counting the
// blocks kept for the superuser too; nothing when the volume cannot be asked.
std::optional<std::uint64_t> VolumeFreeBytes(const std::string& path);

// A byte count as the window shows it: "217MB", "1KB", "1023Bytes", "0Byte".
std::string FormatSize(std::uint64_t bytes);

} // namespace inkwarden

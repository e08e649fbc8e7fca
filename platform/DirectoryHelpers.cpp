#include "platform/DirectoryHelpers.h"

#include "platform/Paths.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace inkwarden {
namespace {

// The entries by which the probe tries a folder.
constexpr const char* PROBE_FOLDER_NAME = "TestDir";
constexpr const char* PROBE_FILE_NAME = "TestFile.txt";
constexpr mode_t PROBE_FILE_MODE = 0666;
// Sizes are shown without decimals.
constexpr int SIZE_DECIMALS = 0;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// One level of a chain: made now, or already a folder. A level that exists as anything else
// fails, so that a file in the way never counts as a created folder.
bool MakeLevel(const std::string& path, unsigned mode) {
    if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0) {
        return true;
    }
    // Some file systems answer EACCES or EROFS before EEXIST for a folder that is there. The
    // caller may still report why the level could not be made.
    const int error = errno;
    const bool is_folder = IsDirectory(path);
    errno = error;
    return is_folder;
}

// Empties the open folder; links and files are unlinked, sub-folders emptied and removed.
// Failures are ignored: the caller's final rmdir tells.
void RemoveContents(int folder_fd) {
    const int listing_fd = ::dup(folder_fd);
    if (listing_fd < 0) {
        return;
    }
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(listing_fd));
    if (!dir) {
        ::close(listing_fd);
        return;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat info {};
        if (::fstatat(folder_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            UniqueFd child(
                ::openat(folder_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (child) {
                RemoveContents(child.get());
            }
            ::unlinkat(folder_fd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(folder_fd, name.c_str(), 0);
        }
    }
}

// The probe's subfolder: made and removed again, or one of the user's that is left alone
// (found_entry tells); true when it is a folder.
bool ProbeSubfolder(const std::string& test_dir, bool& found_entry) {
    if (PathExists(test_dir)) {
        found_entry = true;
        return IsDirectory(test_dir);
    }
    if (!CreateDirectoryChain(test_dir)) {
        return false;
    }
    DeleteTree(test_dir);
    return true;
}

// The probe's file: made and removed again, or one of the user's that is only opened (and
// left alone, found_entry tells); true when it could be opened for writing.
bool ProbeFile(const std::string& test_file, bool& found_entry) {
    const bool existed = PathExists(test_file);
    UniqueFd file(
        ::open(test_file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, PROBE_FILE_MODE));
    if (!file) {
        return false;
    }
    file.reset();
    if (existed) {
        found_entry = true;
    } else {
        ::unlink(test_file.c_str());
    }
    return true;
}

} // namespace

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateDirectoryChain(const std::string& path, unsigned mode) {
    if (path.empty()) {
        return false;
    }
    // Each prefix up to a "/", then the whole path; the root itself is never made.
    for (std::size_t cut = path.find('/', 1); cut != std::string::npos;
         cut = path.find('/', cut + 1)) {
        if (!MakeLevel(path.substr(0, cut), mode)) {
            return false;
        }
    }
    return MakeLevel(path, mode);
}

bool DeleteTree(const std::string& folder) {
    if (folder.empty()) {
        return false;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        return ::unlink(folder.c_str()) == 0; // the link goes, its target stays
    }
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        return false; // not a folder, or no access: nothing removed
    }
    RemoveContents(fd.get());
    fd.reset();
    return ::rmdir(folder.c_str()) == 0;
}

bool ProbeWritableFolder(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    // Trailing "/" go; the root stays the root (its probe entries are /TestDir ...).
    std::string folder = path;
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    const std::string existing = folder.empty() ? "/" : folder;
    // A file is not a folder.
    struct stat info {};
    if (::stat(existing.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
        return false;
    }
    // A relative path would depend on the current folder.
    if (path[0] != '/') {
        return false;
    }
    // A missing folder must be creatable; it is removed again and comes back with TestDir.
    if (!IsDirectory(existing)) {
        if (!CreateDirectoryChain(folder)) {
            return false;
        }
        DeleteTree(folder);
    }
    // A TestDir or TestFile.txt of the user's is left alone: only what the probe made is
    // removed, and then the folder's own write permission has to answer.
    bool found_entry = false;
    const bool folder_made = ProbeSubfolder(folder + "/" + PROBE_FOLDER_NAME, found_entry);
    const bool file_made = ProbeFile(folder + "/" + PROBE_FILE_NAME, found_entry);
    if (found_entry && ::access(existing.c_str(), W_OK | X_OK) != 0) {
        return false;
    }
    return folder_made && file_made;
}

std::string NearestExistingFolder(const std::string& path) {
    static const std::string ROOT = "/";
    std::string current = path;
    while (!current.empty() && !IsDirectory(current)) {
        // An absolute path ends at the root, which has no text before its "/".
        const bool below_root = current[0] == '/' && current.find('/', 1) == std::string::npos;
        current = below_root ? ROOT : ParentPath(current);
    }
    return current;
}

std::optional<std::uint64_t> VolumeFreeBytes(const std::string& path) {
    struct statvfs volume {};
    if (path.empty() || ::statvfs(path.c_str(), &volume) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(volume.f_bfree) * volume.f_frsize;
}

std::string FormatSize(std::uint64_t bytes) {
    // The largest unit first.
    static const struct {
        const char* unit;
        int shift;
    } UNITS[] = {{"EB", 60}, {"PB", 50}, {"TB", 40}, {"GB", 30}, {"MB", 20}, {"KB", 10}};
    char text[64];
    // The unit is chosen before rounding: one byte under 1GB is "1024MB".
    for (const auto& unit : UNITS) {
        const std::uint64_t threshold = std::uint64_t{1} << unit.shift;
        if (bytes >= threshold) {
            std::snprintf(text, sizeof(text), "%.*lf%s", SIZE_DECIMALS,
                          static_cast<double>(bytes) / static_cast<double>(threshold), unit.unit);
            return text;
        }
    }
    // Below 1KB the count itself.
    std::snprintf(text, sizeof(text), "%.*lf%s", SIZE_DECIMALS, static_cast<double>(bytes),
                  bytes == 0 ? "Byte" : "Bytes");
    return text;
}

} // namespace inkwarden

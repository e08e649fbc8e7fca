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

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// One level of a chain: made now, or already a folder. A level that exists as anything else
// fails, so that a file in the way never counts as a created folder.
bool MakeLevel(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) {
        return true;
    }
    // Some file systems answer EACCES or EROFS before EEXIST for a folder that is there.
    return IsDirectory(path);
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

} // namespace

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateDirectoryChain(const std::string& path) {
    // 1.
    if (path.empty()) {
        return false;
    }
    // 2.-3. Each prefix up to a "/", then the whole path; the root itself is never made.
    for (std::size_t cut = path.find('/', 1); cut != std::string::npos;
         cut = path.find('/', cut + 1)) {
        if (!MakeLevel(path.substr(0, cut))) {
            return false;
        }
    }
    // 4.
    return MakeLevel(path);
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
    // 1.
    if (path.empty()) {
        return false;
    }
    // 2. Trailing "/" go; the root stays the root (its probe entries are /TestDir ...).
    std::string folder = path;
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    const std::string existing = folder.empty() ? "/" : folder;
    // 3. A file is not a folder.
    struct stat info {};
    if (::stat(existing.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
        return false;
    }
    // 4.
    if (path[0] != '/') {
        return false;
    }
    // 5. A missing folder must be creatable; it is removed again and comes back with TestDir.
    if (!IsDirectory(existing)) {
        if (!CreateDirectoryChain(folder)) {
            return false;
        }
        DeleteTree(folder);
    }
    // 6.-7. A TestDir or TestFile.txt of the user's is left alone: only what the probe made
    // is removed, and then the folder's own write permission has to answer.
    bool result = true;
    bool found_entry = false;
    const std::string test_dir = folder + "/TestDir";
    if (PathExists(test_dir)) {
        found_entry = true;
        result = IsDirectory(test_dir);
    } else if (!CreateDirectoryChain(test_dir)) {
        result = false;
    } else {
        DeleteTree(test_dir);
    }
    const std::string test_file = folder + "/TestFile.txt";
    const bool file_existed = PathExists(test_file);
    UniqueFd file(::open(test_file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!file) {
        result = false;
    } else {
        file.reset();
        if (file_existed) {
            found_entry = true;
        } else {
            ::unlink(test_file.c_str());
        }
    }
    if (found_entry && ::access(existing.c_str(), W_OK | X_OK) != 0) {
        result = false;
    }
    // 8.
    return result;
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
    // 1.
    static const struct {
        const char* unit;
        int shift;
    } UNITS[] = {{"EB", 60}, {"PB", 50}, {"TB", 40}, {"GB", 30}, {"MB", 20}, {"KB", 10}};
    char text[64];
    // 2. The unit is chosen before rounding: one byte under 1GB is "1024MB".
    for (const auto& unit : UNITS) {
        const std::uint64_t threshold = std::uint64_t{1} << unit.shift;
        if (bytes >= threshold) {
            std::snprintf(text, sizeof(text), "%.*lf%s", 0,
                          static_cast<double>(bytes) / static_cast<double>(threshold), unit.unit);
            return text;
        }
    }
    // 3.
    std::snprintf(text, sizeof(text), "%.*lf%s", 0, static_cast<double>(bytes),
                  bytes == 0 ? "Byte" : "Bytes");
    return text;
}

} // namespace inkwarden

#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace inkwarden {

// Where the toolkit finds skin files: a folder (the resource path) or a zip archive, either a
// zip file under the resource path or the in-memory archive "membuffer". Process-wide and
// unguarded: set up before the first window and left alone while windows run.
class SkinPackage {
public:
    static constexpr size_t MAX_FILE_SIZE = 4u * 1024 * 1024;
    static constexpr size_t MAX_ENTRY_NAME = 255;

    // A non-empty path gets a trailing separator.
    static void setResourcePath(const std::string& path);
    static const std::string& resourcePath();

    // A zip file relative to the resource path; "" goes back to plain files. With caching
    // on, the archive is opened now and kept open for the process.
    static void setResourceZip(const std::string& file_name, bool cached = true);
    // The in-memory archive, named "membuffer". The first one set stays; the bytes are kept
    // for the life of the process.
    static void setResourceZipMemory(std::span<const unsigned char> bytes);
    static const std::string& resourceZipName();

    // Reads a skin file from the resource zip (names without regard to case, "\" or "/")
    // or else from resource path + name. On failure error holds the reason.
    static bool readFile(const std::string& name, std::vector<unsigned char>& bytes,
                         std::string& error);

    // Back to the start state: no path, no zip, caching on. For tests.
    static void reset();
};

} // namespace inkwarden

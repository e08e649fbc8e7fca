#pragma once

#include "net/SegmentManager.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace inkwarden {

// What a download needs to continue later: the resource, what the server said it is, and
// which of its bytes are already in the temporary file.
struct ResumeState {
    std::string url;
    int64_t length = 0;
    // "ETag " or "Last-Modified " and the header's value.
    std::string validator;
    // Sorted, disjoint, within 0 to length - 1.
    std::vector<ByteRange> completed;

    bool operator==(const ResumeState&) const = default;
};

// The control file beside a download's temporary file (its name plus SUFFIX). A text of
// lines, each ending in a line feed:
//
//     inkwarden-download-control 1
//     url http://host/path/package.exe
//     length 67108864
//     validator ETag "5f3a-4000000"
//     done 0-1048575
//     done 2097152-67108863
//     end 0123456789abcdef
//
// "done" lines are the completed ranges (inclusive offsets, ascending, disjoint, none at all
// when nothing arrived yet); the last line carries the FNV-1a 64-bit hash of every byte above
// it in 16 lower-case hexadecimal digits. A file that differs in any way, is larger than
// MAX_SIZE, is a link or not a regular file of this user's is no record: the download then
// starts afresh. It is replaced atomically (a new file, then a rename over the old one), and
// never followed through a link.
class DownloadControlFile {
public:
    static constexpr const char* SUFFIX = ".resume";
    static constexpr size_t MAX_SIZE = 1 << 20;

    explicit DownloadControlFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    // The record, or nothing when the file is missing, damaged or not ours.
    std::optional<ResumeState> Read() const;
    // false when the state cannot be written (a line feed in a text, or a file error).
    bool Write(const ResumeState& state) const;
    // Removes the record (a link in its place is removed, never followed).
    void Remove() const;

    static std::string Format(const ResumeState& state);
    static std::optional<ResumeState> Parse(std::string_view text);

private:
    std::string path_;
};

} // namespace inkwarden

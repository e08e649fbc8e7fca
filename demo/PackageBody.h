#pragma once

#include "demo/ByteRanges.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace inkwarden::demo {

// The body of a package answer as a list of pieces, each literal text (the part headers of
// multipart/byteranges) or a span of the file, so that any byte of it can be produced at any
// offset without holding the file in memory.
class PackageBody {
public:
    // The whole file, or one range of it.
    static PackageBody FileSpan(std::uint64_t first, std::uint64_t size);
    // multipart/byteranges: one part per range, each with its Content-Type and Content-Range.
    static PackageBody Multipart(const std::vector<ByteRange>& ranges, std::uint64_t length,
                                 const std::string& content_type, const std::string& boundary);

    std::uint64_t size() const { return size_; }

    // Up to capacity bytes of the body from offset into buffer, reading the file through fd;
    // 0 at the end or when the file cannot be read.
    std::size_t read(int fd, std::uint64_t offset, char* buffer, std::size_t capacity) const;

private:
    struct Piece {
        std::uint64_t at = 0; // offset of the piece in the body
        std::string text;     // a literal piece when not empty
        std::uint64_t file_offset = 0;
        std::uint64_t size = 0;
    };

    void addText(std::string text);
    void addFile(std::uint64_t first, std::uint64_t size);

    std::vector<Piece> pieces_;
    std::uint64_t size_ = 0;
};

} // namespace inkwarden::demo

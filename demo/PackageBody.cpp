#include "demo/PackageBody.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace inkwarden::demo {

PackageBody PackageBody::FileSpan(std::uint64_t first, std::uint64_t size) {
    PackageBody body;
    body.addFile(first, size);
    return body;
}

PackageBody PackageBody::Multipart(const std::vector<ByteRange>& ranges, std::uint64_t length,
                                   const std::string& content_type, const std::string& boundary) {
    PackageBody body;
    for (const ByteRange& range : ranges) {
        body.addText("--" + boundary + "\r\nContent-Type: " + content_type +
                     "\r\nContent-Range: " + ContentRangeText(range, length) + "\r\n\r\n");
        body.addFile(range.first, range.size());
        body.addText("\r\n");
    }
    body.addText("--" + boundary + "--\r\n");
    return body;
}

void PackageBody::addText(std::string text) {
    Piece piece;
    piece.at = size_;
    piece.size = text.size();
    piece.text = std::move(text);
    size_ += piece.size;
    pieces_.push_back(std::move(piece));
}

void PackageBody::addFile(std::uint64_t first, std::uint64_t size) {
    Piece piece;
    piece.at = size_;
    piece.file_offset = first;
    piece.size = size;
    size_ += size;
    pieces_.push_back(std::move(piece));
}

std::size_t PackageBody::read(int fd, std::uint64_t offset, char* buffer,
                              std::size_t capacity) const {
    // The piece that holds offset: the last one that starts at or before it.
    auto it = std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                               [](std::uint64_t at, const Piece& piece) { return at < piece.at; });
    if (it == pieces_.begin() || offset >= size_) {
        return 0;
    }
    const Piece& piece = *(it - 1);
    const std::uint64_t into = offset - piece.at;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, piece.size - into));
    if (!piece.text.empty()) {
        std::memcpy(buffer, piece.text.data() + into, n);
        return n;
    }
    ssize_t got = 0;
    do {
        got = ::pread(fd, buffer, n, static_cast<off_t>(piece.file_offset + into));
    } while (got < 0 && errno == EINTR);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

} // namespace inkwarden::demo

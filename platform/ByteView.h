#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace inkwarden {

// Bounds-checked reads of little- or big-endian integers from bytes held elsewhere. Every
// read that would reach past the end yields nothing, so parsers of untrusted files never
// touch memory outside them.
class ByteView {
public:
    ByteView() = default;
    explicit ByteView(std::string_view bytes, bool big_endian = false)
        : bytes_(bytes), big_endian_(big_endian) {}

    std::size_t size() const { return bytes_.size(); }
    std::string_view bytes() const { return bytes_; }
    bool bigEndian() const { return big_endian_; }

    // True when [offset, offset + length) lies inside the bytes, without overflow.
    bool contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    // The sub-range, or nothing when it does not lie inside.
    std::optional<ByteView> slice(std::uint64_t offset, std::uint64_t length) const {
        if (!contains(offset, length)) {
            return std::nullopt;
        }
        return ByteView(bytes_.substr(offset, length), big_endian_);
    }

    std::optional<std::uint8_t> u8(std::uint64_t offset) const {
        return read<std::uint8_t>(offset);
    }
    std::optional<std::uint16_t> u16(std::uint64_t offset) const {
        return read<std::uint16_t>(offset);
    }
    std::optional<std::uint32_t> u32(std::uint64_t offset) const {
        return read<std::uint32_t>(offset);
    }
    std::optional<std::uint64_t> u64(std::uint64_t offset) const {
        return read<std::uint64_t>(offset);
    }

private:
    template <typename T> std::optional<T> read(std::uint64_t offset) const {
        if (!contains(offset, sizeof(T))) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            const std::size_t index = big_endian_ ? i : sizeof(T) - 1 - i;
            value = (value << 8) | static_cast<std::uint8_t>(bytes_[offset + index]);
        }
        return static_cast<T>(value);
    }

    std::string_view bytes_;
    bool big_endian_ = false;
};

} // namespace inkwarden

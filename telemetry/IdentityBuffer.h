#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace inkwarden {

// The bytes the machine identifier is digested from: pieces laid end to end, cut at 1024.
class IdentityBuffer {
public:
    static constexpr std::size_t CAPACITY = 1024;

    // Appends what fits and returns the number of bytes taken.
    std::size_t Append(const void* bytes, std::size_t count);
    void AppendRegister(std::uint32_t value);

    const std::uint8_t* data() const { return bytes.data(); }
    std::size_t size() const { return length; }

private:
    std::array<std::uint8_t, CAPACITY> bytes{};
    std::size_t length = 0;
};

} // namespace inkwarden

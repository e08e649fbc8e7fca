#include "telemetry/IdentityBuffer.h"

#include <algorithm>
#include <cstring>

namespace inkwarden {

std::size_t IdentityBuffer::Append(const void* source, std::size_t count) {
    const std::size_t taken = std::min(count, CAPACITY - length);
    if (taken > 0) {
        std::memcpy(bytes.data() + length, source, taken);
        length += taken;
    }
    return taken;
}

void IdentityBuffer::AppendRegister(std::uint32_t value) {
    const std::uint8_t little_endian[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    Append(little_endian, sizeof little_endian);
}

} // namespace inkwarden

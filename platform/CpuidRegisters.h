#pragma once

#include <cstdint>

namespace inkwarden {

struct CpuidRegisters {
    std::uint32_t eax = 0;
    std::uint32_t ebx = 0;
    std::uint32_t ecx = 0;
    std::uint32_t edx = 0;
};

} // namespace inkwarden

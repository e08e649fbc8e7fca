// Firmware tables are untrusted bytes: the walk and the string lookup stay inside them.
#include "telemetry/SmbiosIdentity.h"
#include "telemetry/SmbiosStructure.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> table(data, size);
    std::size_t covered = 0;
    for (const inkwarden::SmbiosStructure& structure : inkwarden::WalkSmbiosTable(table)) {
        if (structure.offset != covered || structure.total_size < 2 ||
            structure.offset + structure.total_size > size) {
            __builtin_trap();
        }
        covered += structure.total_size;
        for (int index = 0; index < 4; ++index) {
            (void)inkwarden::SmbiosString(table, structure, static_cast<std::uint8_t>(index));
        }
    }
    (void)inkwarden::SmbiosIdentity::FromTable(table).Text();
    return 0;
}

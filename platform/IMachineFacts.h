#pragma once

#include "platform/CpuidRegisters.h"
#include "platform/SmbiosTables.h"
#include "platform/SystemInformation.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace inkwarden {

// The hardware facts the machine identifier is made of. Every reader degrades to nothing.
class IMachineFacts {
public:
    virtual ~IMachineFacts() = default;

    // Permanent addresses of the network devices on a hardware bus, in enumeration order,
    // each as the bytes the device query returned; devices whose query failed are left out.
    virtual std::vector<std::vector<std::uint8_t>> ReadDeviceAdapterAddresses() = 0;

    // Hardware address of the first non-loopback adapter that has one; empty if none.
    virtual std::vector<std::uint8_t> ReadFallbackAdapterAddress() = 0;

    virtual CpuidRegisters Cpuid(std::uint32_t leaf, std::uint32_t subleaf) = 0;

    // The SMBIOS structure table, or nothing when it cannot be read.
    virtual std::optional<SmbiosTables> ReadSmbiosTables(WindowsClass windows_class) = 0;
};

} // namespace inkwarden

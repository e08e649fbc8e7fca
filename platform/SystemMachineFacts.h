#pragma once

#include "platform/IMachineFacts.h"

#include <string>
#include <vector>

namespace inkwarden {

// Machine facts of this system: network devices from sysfs and the ethtool permanent-address
// request, the processor's CPUID and the SMBIOS table that the firmware publishes in sysfs.
class SystemMachineFacts : public IMachineFacts {
public:
    // Largest permanent address taken from a device query, as the query's output buffer.
    static constexpr std::size_t DEVICE_ADDRESS_CAPACITY = 8;

    explicit SystemMachineFacts(std::string sysfs_root = "/sys");

    std::vector<std::vector<std::uint8_t>> ReadDeviceAdapterAddresses() override;
    std::vector<std::uint8_t> ReadFallbackAdapterAddress() override;
    CpuidRegisters Cpuid(std::uint32_t leaf, std::uint32_t subleaf) override;
    std::optional<SmbiosTables> ReadSmbiosTables(WindowsClass windows_class) override;

    // Network interfaces whose device sits on the PCI bus (directly or as a virtio-over-PCI
    // device) or on the Hyper-V VMBus, sorted by name.
    std::vector<std::string> HardwareBusInterfaces() const;

    // SMBIOS major and minor version from the entry point structure; false if unrecognised.
    static bool ParseEntryPointVersion(const std::vector<std::uint8_t>& entry_point,
                                       std::uint8_t& major, std::uint8_t& minor);

private:
    std::string sysfs_root;
};

} // namespace inkwarden

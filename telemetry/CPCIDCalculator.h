#pragma once

#include "platform/IMachineFacts.h"
#include "telemetry/IdentityBuffer.h"
#include "telemetry/SmbiosIdentity.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace inkwarden {

using MachineDigest = std::array<std::uint8_t, 16>;

// What one calculation gathered, for support tools.
struct PcidPieces {
    std::vector<std::uint8_t> mac;
    std::size_t cpuid_end = 0; // fill length after the CPUID pieces
    std::optional<SmbiosIdentity> smbios;
    IdentityBuffer buffer;
};

// Derives the machine identifier from hardware facts, gathering them anew on every call.
class CPCIDCalculator {
public:
    static constexpr int DIGEST_LENGTH = 16;

    static int CalculatePCID(MachineDigest& digest);
    static int CalculatePCID(MachineDigest& digest, IMachineFacts& facts);

    static PcidPieces GatherPieces(IMachineFacts& facts);

    // The smallest of the device addresses (each cut or zero-filled to 6 bytes); the earlier
    // device wins a tie. Nothing when there is no device.
    static std::optional<std::array<std::uint8_t, 6>>
    ChooseDeviceAddress(const std::vector<std::vector<std::uint8_t>>& addresses);

    // The MAC piece: the chosen device address, else the fallback adapter's address.
    static std::vector<std::uint8_t> MacPiece(IMachineFacts& facts);
};

MachineDigest Md5Digest(const std::uint8_t* bytes, std::size_t count);

// Two hexadecimal digits per byte, the low nibble first.
std::string DigestText(const MachineDigest& digest);

std::string MachineIdText();
std::string MachineIdText(IMachineFacts& facts);

} // namespace inkwarden

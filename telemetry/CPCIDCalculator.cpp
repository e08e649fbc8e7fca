#include "telemetry/CPCIDCalculator.h"

#include "platform/CBaseLog.h"
#include "platform/SystemInformation.h"
#include "platform/SystemMachineFacts.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <openssl/evp.h>

namespace inkwarden {
namespace {

constexpr const char* FUNCTION = "CPCIDCalculator::CalculatePCID";
constexpr std::size_t FALLBACK_ADDRESS_CAPACITY = 8;

void AppendRegisters(IdentityBuffer& buffer, std::initializer_list<std::uint32_t> values) {
    for (std::uint32_t value : values) {
        buffer.AppendRegister(value);
    }
}

} // namespace

std::optional<std::array<std::uint8_t, 6>>
CPCIDCalculator::ChooseDeviceAddress(const std::vector<std::vector<std::uint8_t>>& addresses) {
    std::optional<std::array<std::uint8_t, 6>> chosen;
    for (const std::vector<std::uint8_t>& returned : addresses) {
        std::array<std::uint8_t, 6> address{};
        std::copy_n(returned.begin(), std::min(returned.size(), address.size()), address.begin());
        // Strictly smaller only, so the earlier of two equal addresses stays.
        if (!chosen || address < *chosen) {
            chosen = address;
        }
    }
    return chosen;
}

std::vector<std::uint8_t> CPCIDCalculator::MacPiece(IMachineFacts& facts) {
    if (const auto chosen = ChooseDeviceAddress(facts.ReadDeviceAdapterAddresses())) {
        return std::vector<std::uint8_t>(chosen->begin(), chosen->end());
    }
    std::vector<std::uint8_t> fallback = facts.ReadFallbackAdapterAddress();
    if (fallback.size() > FALLBACK_ADDRESS_CAPACITY) {
        fallback.resize(FALLBACK_ADDRESS_CAPACITY);
    }
    return fallback;
}

PcidPieces CPCIDCalculator::GatherPieces(IMachineFacts& facts) {
    PcidPieces pieces;
    // The adapter address first.
    pieces.mac = MacPiece(facts);
    pieces.buffer.Append(pieces.mac.data(), pieces.mac.size());
    // CPUID leaves 0, 1 and 3. Leaf 1 leaves EBX out: it carries the APIC id of whichever
    // core runs the call.
    const CpuidRegisters leaf0 = facts.Cpuid(0, 0);
    AppendRegisters(pieces.buffer, {leaf0.eax, leaf0.ebx, leaf0.ecx, leaf0.edx});
    const CpuidRegisters leaf1 = facts.Cpuid(1, 0);
    AppendRegisters(pieces.buffer, {leaf1.eax, leaf1.ecx, leaf1.edx});
    const CpuidRegisters leaf3 = facts.Cpuid(3, 0);
    AppendRegisters(pieces.buffer, {leaf3.eax, leaf3.ebx, leaf3.ecx, leaf3.edx});
    pieces.cpuid_end = pieces.buffer.size();
    // The SMBIOS text, cut to the room left.
    if (const auto tables = facts.ReadSmbiosTables(ClassifyWindows())) {
        pieces.smbios = SmbiosIdentity::FromTable(tables->table, stdout);
        const std::string text = pieces.smbios->Text();
        pieces.buffer.Append(text.data(), text.size());
    }
    return pieces;
}

int CPCIDCalculator::CalculatePCID(MachineDigest& digest, IMachineFacts& facts) {
    const PcidPieces pieces = GatherPieces(facts);
    CBaseLog& log = CBaseLog::Instance();
    log.WriteRecord(__LINE__, __FILE__, FUNCTION, false, "maclen[%d]",
                    static_cast<int>(pieces.mac.size()));
    log.WriteRecord(__LINE__, __FILE__, FUNCTION, false, "cpulen[%d]",
                    static_cast<int>(pieces.cpuid_end));
    log.WriteRecord(__LINE__, __FILE__, FUNCTION, false, "bioslen[%d]",
                    static_cast<int>(pieces.buffer.size()));
    if (log.LogOpenFile()) {
        for (std::size_t i = 0; i < pieces.buffer.size(); ++i) {
            log.WriteRecord(__LINE__, __FILE__, FUNCTION, false, "[%d]:[%2x]", static_cast<int>(i),
                            pieces.buffer.data()[i]);
        }
    }
    // The digest of the filled part only.
    digest = Md5Digest(pieces.buffer.data(), pieces.buffer.size());
    return DIGEST_LENGTH;
}

int CPCIDCalculator::CalculatePCID(MachineDigest& digest) {
    SystemMachineFacts facts;
    return CalculatePCID(digest, facts);
}

MachineDigest Md5Digest(const std::uint8_t* bytes, std::size_t count) {
    MachineDigest digest{};
    unsigned int length = 0;
    EVP_Digest(bytes, count, digest.data(), &length, EVP_md5(), nullptr);
    return digest;
}

std::string DigestText(const MachineDigest& digest) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * digest.size());
    for (std::uint8_t byte : digest) {
        text += HEX[byte & 0x0F];
        text += HEX[byte >> 4];
    }
    return text;
}

std::string MachineIdText(IMachineFacts& facts) {
    MachineDigest digest{};
    CPCIDCalculator::CalculatePCID(digest, facts);
    return DigestText(digest);
}

std::string MachineIdText() {
    SystemMachineFacts facts;
    return MachineIdText(facts);
}

} // namespace inkwarden

#include "platform/SystemMachineFacts.h"

#include "platform/UniqueFd.h"
#include "platform/UniqueResource.h"

#include <algorithm>
#include <cpuid.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ifaddrs.h>
#include <iterator>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <memory>
#include <net/if.h>
#include <netpacket/packet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <system_error>

namespace inkwarden {
namespace {

namespace fs = std::filesystem;

// Large enough for any link-layer address the kernel reports.
constexpr std::size_t PERMANENT_ADDRESS_ROOM = 32;

std::string BusOf(const fs::path& device) {
    std::error_code error;
    const fs::path bus = fs::read_symlink(device / "subsystem", error);
    return error ? std::string() : bus.filename().string();
}

bool ReadWholeFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

using IfaddrsList = UniqueResource<ifaddrs, freeifaddrs>;

} // namespace

SystemMachineFacts::SystemMachineFacts(std::string sysfs_root)
    : sysfs_root(std::move(sysfs_root)) {}

std::vector<std::string> SystemMachineFacts::HardwareBusInterfaces() const {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(fs::path(sysfs_root) / "class" / "net", error), end;
         !error && it != end; it.increment(error)) {
        const fs::path device = it->path() / "device";
        const std::string bus = BusOf(device);
        bool hardware = bus == "pci" || bus == "vmbus";
        if (bus == "virtio") {
            // A virtio network device is the PCI adapter of a virtual machine.
            hardware = BusOf(device / "..") == "pci";
        }
        if (hardware) {
            names.push_back(it->path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::vector<std::uint8_t>> SystemMachineFacts::ReadDeviceAdapterAddresses() {
    std::vector<std::vector<std::uint8_t>> addresses;
    const std::vector<std::string> names = HardwareBusInterfaces();
    if (names.empty()) {
        return addresses;
    }
    UniqueFd control(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!control.valid()) {
        return addresses;
    }
    for (const std::string& name : names) {
        if (name.size() >= IFNAMSIZ) {
            continue;
        }
        alignas(ethtool_perm_addr) unsigned char
            request[sizeof(ethtool_perm_addr) + PERMANENT_ADDRESS_ROOM] = {};
        ethtool_perm_addr head{};
        head.cmd = ETHTOOL_GPERMADDR;
        head.size = PERMANENT_ADDRESS_ROOM;
        std::memcpy(request, &head, sizeof head);
        ifreq ifr{};
        std::memcpy(ifr.ifr_name, name.c_str(), name.size() + 1);
        ifr.ifr_data = reinterpret_cast<char*>(request);
        if (::ioctl(control.get(), SIOCETHTOOL, &ifr) != 0) {
            continue;
        }
        std::memcpy(&head, request, sizeof head);
        // The device query has an 8-byte output buffer: a longer address does not fit.
        if (head.size > DEVICE_ADDRESS_CAPACITY) {
            continue;
        }
        const unsigned char* data = request + sizeof(ethtool_perm_addr);
        addresses.emplace_back(data, data + head.size);
    }
    return addresses;
}

std::vector<std::uint8_t> SystemMachineFacts::ReadFallbackAdapterAddress() {
    ifaddrs* raw = nullptr;
    if (::getifaddrs(&raw) != 0) {
        return {};
    }
    IfaddrsList list(raw);
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET ||
            (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        sockaddr_ll link{};
        std::memcpy(&link, entry->ifa_addr, sizeof link);
        if (link.sll_halen == 0) {
            continue;
        }
        const std::size_t length = std::min<std::size_t>(link.sll_halen, sizeof link.sll_addr);
        return std::vector<std::uint8_t>(link.sll_addr, link.sll_addr + length);
    }
    return {};
}

CpuidRegisters SystemMachineFacts::Cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
    CpuidRegisters registers;
    __cpuid_count(leaf, subleaf, registers.eax, registers.ebx, registers.ecx, registers.edx);
    return registers;
}

std::optional<SmbiosTables> SystemMachineFacts::ReadSmbiosTables(WindowsClass /*windows_class*/) {
    // The class chooses among the Windows sources of the table. This platform has one
    // source, the table the firmware publishes, whatever the class.
    const fs::path dmi = fs::path(sysfs_root) / "firmware" / "dmi" / "tables";
    SmbiosTables tables;
    if (!ReadWholeFile(dmi / "DMI", tables.table) || tables.table.empty()) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> entry_point;
    if (ReadWholeFile(dmi / "smbios_entry_point", entry_point)) {
        ParseEntryPointVersion(entry_point, tables.major_version, tables.minor_version);
    }
    return tables;
}

bool SystemMachineFacts::ParseEntryPointVersion(const std::vector<std::uint8_t>& entry_point,
                                                std::uint8_t& major, std::uint8_t& minor) {
    auto starts_with = [&](const char* anchor) {
        const std::size_t length = std::strlen(anchor);
        return entry_point.size() >= length && std::memcmp(entry_point.data(), anchor, length) == 0;
    };
    if (starts_with("_SM3_") && entry_point.size() > 8) {
        major = entry_point[7];
        minor = entry_point[8];
        return true;
    }
    if (starts_with("_SM_") && entry_point.size() > 7) {
        major = entry_point[6];
        minor = entry_point[7];
        return true;
    }
    return false;
}

} // namespace inkwarden

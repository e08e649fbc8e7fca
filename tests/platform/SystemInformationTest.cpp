#include "platform/SystemInformation.h"

#include "platform/SystemMachineFacts.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace inkwarden {
namespace {

WindowsVersionRecord Version(std::uint32_t major, std::uint32_t minor, std::uint8_t type = 1) {
    WindowsVersionRecord record;
    record.major_version = major;
    record.minor_version = minor;
    record.product_type = type;
    return record;
}

TEST(SystemInformationTest, ClassTable) {
    struct Row {
        std::uint32_t major, minor;
        std::uint8_t type;
        int build;
        WindowsClass bits32, bits64;
    };
    const Row rows[] = {
        {4, 0, 1, -1, 1, 1},
        {4, 10, 1, -1, 1, 1},
        {4, 90, 1, -1, 1, 1},
        {5, 0, 1, -1, 2, 2},
        {5, 1, 1, -1, 4, 8},
        {5, 2, 1, -1, 16, 32},
        {6, 0, 3, -1, 256, 512},
        {6, 0, 1, -1, 64, 128},
        {6, 0, 2, -1, 64, 128},
        {6, 1, 1, -1, 1024, 2048},
        {6, 2, 1, -1, 4096, 8192},
        {6, 3, 1, -1, 16384, 32768},
        {6, 4, 1, -1, 65536, 131072},
        {10, 0, 1, -1, 65536, 131072},
        {10, 0, 1, 19045, 65536, 131072},
        {10, 0, 1, 22000, 65536, 131072},
        {10, 0, 1, 22001, 262144, 524288},
        {10, 0, 1, 22621, 262144, 524288},
        {0, 0, 1, -1, 0, 0},
        {4, 1, 1, -1, 0, 0},
        {5, 3, 1, -1, 0, 0},
        {6, 5, 1, -1, 0, 0},
        {10, 1, 1, 22621, 0, 0},
        {11, 0, 1, 30000, 0, 0},
    };
    for (const Row& row : rows) {
        const WindowsVersionRecord record = Version(row.major, row.minor, row.type);
        EXPECT_EQ(ClassifyWindows(record, 32, row.build), row.bits32)
            << row.major << "." << row.minor << " build " << row.build;
        EXPECT_EQ(ClassifyWindows(record, 64, row.build), row.bits64)
            << row.major << "." << row.minor << " build " << row.build;
    }
}

TEST(SystemInformationTest, NewerKernelImageVersionWins) {
    WindowsVersionRecord record = Version(6, 2);
    record.build_number = 9200;
    ApplyKernelImageVersion(record, 10, 0);
    EXPECT_EQ(record.major_version, 10u);
    EXPECT_EQ(record.minor_version, 0u);
    EXPECT_EQ(record.build_number, 9200u);
    EXPECT_EQ(ClassifyWindows(record, 64, 22621), 524288u);

    ApplyKernelImageVersion(record, 6, 3);
    EXPECT_EQ(record.major_version, 10u);
}

TEST(SystemInformationTest, ThisPlatformIsNoWindowsRelease) {
    WindowsVersionRecord record;
    EXPECT_FALSE(GetWindowsVersion(record));
    EXPECT_EQ(ReadBuildNumber(), -1);
    EXPECT_FALSE(IsWow64());
    EXPECT_EQ(ClassifyWindows(), 0u);
}

// A crafted sysfs tree: which interfaces count as hardware adapters, and the SMBIOS files.
TEST(SystemMachineFactsTest, ReadsACraftedSysfsTree) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("iw-sysfs-" + std::to_string(::getpid()));
    fs::remove_all(root);
    for (const char* bus : {"pci", "vmbus", "virtio", "usb", "platform"}) {
        fs::create_directories(root / "bus" / bus);
    }
    auto device = [&](const std::string& name, const std::string& bus, const std::string& parent) {
        const fs::path dev = root / "devices" / parent / name;
        fs::create_directories(dev);
        fs::create_directory_symlink(root / "bus" / bus, dev / "subsystem");
        fs::create_directories(root / "class" / "net" / name);
        fs::create_directory_symlink(dev, root / "class" / "net" / name / "device");
    };
    fs::create_directories(root / "devices" / "pcidev");
    fs::create_directory_symlink(root / "bus" / "pci", root / "devices" / "pcidev" / "subsystem");
    device("enp3s0", "pci", "");
    device("eth1", "vmbus", "");
    device("eth0", "virtio", "pcidev");
    device("usb0", "usb", "");
    device("dummy0", "platform", "");
    fs::create_directories(root / "class" / "net" / "lo");

    SystemMachineFacts facts(root.string());
    EXPECT_EQ(facts.HardwareBusInterfaces(), (std::vector<std::string>{"enp3s0", "eth0", "eth1"}));

    EXPECT_FALSE(facts.ReadSmbiosTables(0).has_value());
    const fs::path tables = root / "firmware" / "dmi" / "tables";
    fs::create_directories(tables);
    std::ofstream(tables / "DMI", std::ios::binary) << std::string("\x7f\x04\x00\x00\x00\x00", 6);
    std::ofstream(tables / "smbios_entry_point", std::ios::binary)
        << std::string("_SM3_\x00\x18\x03\x02\x01", 10);
    const auto read = facts.ReadSmbiosTables(0);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->table.size(), 6u);
    EXPECT_EQ(read->major_version, 3);
    EXPECT_EQ(read->minor_version, 2);

    std::uint8_t major = 0, minor = 0;
    EXPECT_TRUE(SystemMachineFacts::ParseEntryPointVersion({'_', 'S', 'M', '_', 0, 0x1f, 2, 8},
                                                           major, minor));
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 8);
    EXPECT_FALSE(SystemMachineFacts::ParseEntryPointVersion({'_', 'S', 'M', '_'}, major, minor));
    fs::remove_all(root);
}

} // namespace
} // namespace inkwarden

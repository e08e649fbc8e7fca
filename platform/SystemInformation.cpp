#include "platform/SystemInformation.h"

namespace inkwarden {
namespace {

constexpr int LAST_BUILD_OF_FIRST_CLASS = 22000;

WindowsClass Pick(int bitness, WindowsClass bits32, WindowsClass bits64) {
    return bitness == 64 ? bits64 : bits32;
}

} // namespace

WindowsClass ClassifyWindows(const WindowsVersionRecord& record, int bitness, int build_number) {
    const std::uint32_t major = record.major_version;
    const std::uint32_t minor = record.minor_version;
    if (major == 4 && (minor == 0 || minor == 10 || minor == 90)) {
        return 1;
    }
    if (major == 5) {
        switch (minor) {
        case 0:
            return 2;
        case 1:
            return Pick(bitness, 4, 8);
        case 2:
            return Pick(bitness, 16, 32);
        default:
            return 0;
        }
    }
    if (major == 6) {
        switch (minor) {
        case 0:
            return record.product_type == WindowsVersionRecord::PRODUCT_TYPE_SERVER
                       ? Pick(bitness, 256, 512)
                       : Pick(bitness, 64, 128);
        case 1:
            return Pick(bitness, 1024, 2048);
        case 2:
            return Pick(bitness, 4096, 8192);
        case 3:
            return Pick(bitness, 16384, 32768);
        case 4:
            return Pick(bitness, 65536, 131072);
        default:
            return 0;
        }
    }
    if (major == 10 && minor == 0) {
        return build_number <= LAST_BUILD_OF_FIRST_CLASS ? Pick(bitness, 65536, 131072)
                                                         : Pick(bitness, 262144, 524288);
    }
    return 0;
}

void ApplyKernelImageVersion(WindowsVersionRecord& record, std::uint32_t file_major,
                             std::uint32_t file_minor) {
    if (10ull * file_major + file_minor > 10ull * record.major_version + record.minor_version) {
        record.major_version = file_major;
        record.minor_version = file_minor;
    }
}

bool GetWindowsVersion(WindowsVersionRecord& record) {
    record = WindowsVersionRecord{};
    return false;
}

int ReadBuildNumber() {
    return -1;
}

bool IsWow64() {
    return false;
}

WindowsClass ClassifyWindows() {
    WindowsVersionRecord record;
    if (!GetWindowsVersion(record)) {
        return 0;
    }
    const int bitness = IsWow64() ? 64 : 32;
    const bool is_ten = record.major_version == 10 && record.minor_version == 0;
    return ClassifyWindows(record, bitness, is_ten ? ReadBuildNumber() : -1);
}

} // namespace inkwarden

#include "platform/SystemInformation.h"

namespace inkwarden {
namespace {

constexpr int LAST_BUILD_OF_FIRST_CLASS = 22000;

// A release's class bits for its 32-bit and its 64-bit form (the same bit where there was
// only one form).
struct ReleaseClass {
    WindowsClass bits32;
    WindowsClass bits64;
};

constexpr ReleaseClass WINDOWS_9X{1u << 0, 1u << 0};
constexpr ReleaseClass WINDOWS_2000{1u << 1, 1u << 1};
constexpr ReleaseClass WINDOWS_XP{1u << 2, 1u << 3};
constexpr ReleaseClass WINDOWS_SERVER_2003{1u << 4, 1u << 5};
constexpr ReleaseClass WINDOWS_VISTA{1u << 6, 1u << 7};
constexpr ReleaseClass WINDOWS_SERVER_2008{1u << 8, 1u << 9};
constexpr ReleaseClass WINDOWS_7{1u << 10, 1u << 11};
constexpr ReleaseClass WINDOWS_8{1u << 12, 1u << 13};
constexpr ReleaseClass WINDOWS_8_1{1u << 14, 1u << 15};
constexpr ReleaseClass WINDOWS_10{1u << 16, 1u << 17};
constexpr ReleaseClass WINDOWS_11{1u << 18, 1u << 19};
constexpr ReleaseClass NO_CLASS{0, 0};

// The releases by version number; FindRelease tells the two that share a number apart.
struct ReleaseRow {
    std::uint32_t major;
    std::uint32_t minor;
    ReleaseClass release;
};

constexpr ReleaseRow RELEASES[] = {
    {4, 0, WINDOWS_9X}, {4, 10, WINDOWS_9X},         {4, 90, WINDOWS_9X},   {5, 0, WINDOWS_2000},
    {5, 1, WINDOWS_XP}, {5, 2, WINDOWS_SERVER_2003}, {6, 0, WINDOWS_VISTA}, {6, 1, WINDOWS_7},
    {6, 2, WINDOWS_8},  {6, 3, WINDOWS_8_1},         {6, 4, WINDOWS_10},    {10, 0, WINDOWS_10},
};

ReleaseClass FindRelease(const WindowsVersionRecord& record, int build_number) {
    const std::uint32_t major = record.major_version;
    const std::uint32_t minor = record.minor_version;
    // Version 6.0 is also the server release, told by its product type; 10.0 past its first
    // builds is the later class.
    if (major == 6 && minor == 0 &&
        record.product_type == WindowsVersionRecord::PRODUCT_TYPE_SERVER) {
        return WINDOWS_SERVER_2008;
    }
    if (major == 10 && minor == 0 && build_number > LAST_BUILD_OF_FIRST_CLASS) {
        return WINDOWS_11;
    }
    for (const ReleaseRow& row : RELEASES) {
        if (row.major == major && row.minor == minor) {
            return row.release;
        }
    }
    return NO_CLASS;
}

} // namespace

WindowsClass ClassifyWindows(const WindowsVersionRecord& record, int bitness, int build_number) {
    const ReleaseClass release = FindRelease(record, build_number);
    return bitness == 64 ? release.bits64 : release.bits32;
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

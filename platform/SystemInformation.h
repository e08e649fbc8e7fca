#pragma once

#include "platform/WindowsVersionRecord.h"

#include <cstdint>

namespace inkwarden {

// One bit per Windows release and bitness; 0 is a release outside the table, or no Windows.
using WindowsClass = std::uint32_t;

// The class table as a pure function. build_number matters only for 10.0; -1 means unread.
WindowsClass ClassifyWindows(const WindowsVersionRecord& record, int bitness, int build_number);

// The kernel image's product version wins when it is newer than what the system reported,
// since that report can be held back for compatibility.
void ApplyKernelImageVersion(WindowsVersionRecord& record, std::uint32_t file_major,
                             std::uint32_t file_minor);

// Platform part. This platform is not Windows: there is no version record to read, no
// registry build number and no 64-bit emulation layer, so the class is 0.
bool GetWindowsVersion(WindowsVersionRecord& record);
int ReadBuildNumber();
bool IsWow64();
WindowsClass ClassifyWindows();

} // namespace inkwarden

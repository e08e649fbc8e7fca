#pragma once

#include <cstdint>
#include <string>

namespace inkwarden {

// What stands in the way of installing into a folder, in the order it is checked.
enum class FolderProblem {
    NONE,
    READ_ONLY,    // the volume holding it is mounted read-only
    NOT_WRITABLE, // the user may not write there
    NO_ROOM,      // the volume has less free space than the install needs
};

struct FolderVerdict {
    FolderProblem problem = FolderProblem::NONE;
    // The folder the problem concerns: the nearest existing one, or for NO_ROOM the volume's
    // mount point.
    std::string place;
    std::uint64_t needed = 0;
    std::uint64_t free = 0;
};

// The checks that the window's start click and `inkwarden-tool install --folder` make before
// anything is asked: the nearest existing folder of folder must be on a writable volume and
// writable by this user. A folder that does not exist yet is created later, where it may be.
FolderVerdict CheckInstallFolder(const std::string& folder);

// Whether the volumes of the install folder and the package's folder can hold needed bytes
// each (twice on one volume): the package is downloaded and then installed. Nothing for an
// unknown size (0).
FolderVerdict CheckRoom(const std::string& install_folder, const std::string& package_folder,
                        std::uint64_t needed);

// The mount point of the volume that holds the existing path.
std::string VolumeOf(const std::string& path);

// The verdict in the user's language, e.g. "/mnt/usb is read-only; choose another folder.";
// "" for NONE.
std::string FolderVerdictText(const FolderVerdict& verdict);

} // namespace inkwarden

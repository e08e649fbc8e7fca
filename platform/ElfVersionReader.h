#pragma once

#include "platform/FileVersion.h"

#include <optional>
#include <string>
#include <string_view>

namespace inkwarden {

// The JSON text of an ELF executable's package note (section ".note.package", owner "FDO");
// nothing when the bytes are not an ELF image, carry no such note, or any header, table or
// offset on the way lies outside them.
std::optional<std::string> FindElfPackageNote(std::string_view image);

// The record for an ELF image: "version" gives the file and product version texts and, as
// four 16-bit parts, the fixed versions; "name" gives the product name. Nothing when the
// image has no note or the note is not a JSON object.
std::optional<FileVersionRecord> ReadElfVersion(std::string_view image);

} // namespace inkwarden

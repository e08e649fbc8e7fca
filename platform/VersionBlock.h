#pragma once

#include "platform/FileVersion.h"

#include <optional>
#include <string>
#include <string_view>

namespace inkwarden {

// A version block as a PE image's version resource holds it: nested records of
// { u16 length, u16 value length, u16 type, UTF-16 key, padding, value, padding, children }
// with every record aligned to 4 bytes from the start of the block.
class VersionBlock {
public:
    explicit VersionBlock(std::string_view bytes) : bytes_(bytes) {}

    // The value bytes at a path of keys such as "\VarFileInfo\Translation" (keys compared
    // ignoring ASCII case); nothing when a record is missing or malformed.
    std::optional<std::string_view> queryValue(std::string_view path) const;

    // A text value (UTF-16 up to its terminator) as UTF-8.
    std::optional<std::string> queryText(std::string_view path) const;

    // The whole record: translation, fixed part at offset 40, the twelve texts.
    FileVersionRecord record() const;

private:
    std::string_view bytes_;
};

} // namespace inkwarden

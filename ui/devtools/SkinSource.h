#pragma once

#include <string>

namespace inkwarden {

// Why a tool's skin argument names no usable skin.
enum class SkinSourceError {
    NONE,
    NO_COMPILED_IN_SKIN, // the program carries no skin resource
    NO_SUCH_PATH,        // neither a folder nor a file
};

// Points the skin package at the skin a tool was given: the compiled-in archive when the
// argument is empty, else a skin folder, or a zip file (its folder then the resource path).
SkinSourceError SelectSkinSource(const std::string& skin);

} // namespace inkwarden

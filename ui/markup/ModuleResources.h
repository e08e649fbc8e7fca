#pragma once

#include <span>
#include <string_view>

namespace inkwarden {

// The program's module resources: resource type and integer id to bytes. This platform has
// none, so the build compiles a table into each program (cmake/ResourceTable.cmake) that
// registers itself at start-up. Types compare without regard to case.
//
// The installer's table holds the skin archive as "ZIPRES" 105 and the icon PNG as "ICON" 101.
class ModuleResources {
public:
    // Empty when there is no such resource.
    static std::span<const unsigned char> find(std::string_view type, int id);

    // Copies the bytes; replaces an entry of the same type and id. For tests.
    static void registerResource(std::string_view type, int id,
                                 std::span<const unsigned char> bytes);

    // Compiled-in data that lives for the process: kept by reference.
    static void registerStatic(std::string_view type, int id, std::span<const unsigned char> bytes);

    static void unregisterResource(std::string_view type, int id);
};

} // namespace inkwarden

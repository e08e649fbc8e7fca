#pragma once

#include <memory>

namespace inkwarden {

// Frees a C library's object with that library's own function.
template <auto Free> struct FreeWith {
    template <typename T> void operator()(T* object) const { Free(object); }
};

// Sole owner of a C library's object: UniqueResource<zip_t, zip_discard>.
template <typename T, auto Free> using UniqueResource = std::unique_ptr<T, FreeWith<Free>>;

} // namespace inkwarden

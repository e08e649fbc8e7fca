# Every third-party library comes from Debian's packages (scripts/setup installs them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(CURL REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(ZLIB REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
if(BUILD_TESTING)
    find_package(GTest REQUIRED)
    find_package(benchmark QUIET)
endif()
pkg_check_modules(CRYPTOPP REQUIRED IMPORTED_TARGET libcrypto++)
# Crypto++ links statically where Debian ships its archive: the shared library makes the
# dynamic loader resolve some 29 000 symbol relocations at every start of the installer,
# before its window shows, for the one cipher it uses.
find_library(CRYPTOPP_STATIC_LIBRARY NAMES libcrypto++.a)
add_library(iw_cryptopp INTERFACE)
if(CRYPTOPP_STATIC_LIBRARY)
    target_include_directories(iw_cryptopp SYSTEM INTERFACE ${CRYPTOPP_INCLUDE_DIRS})
    target_link_libraries(iw_cryptopp INTERFACE ${CRYPTOPP_STATIC_LIBRARY})
else()
    target_link_libraries(iw_cryptopp INTERFACE PkgConfig::CRYPTOPP)
endif()
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
# The desktop's proxy settings and PAC files, through glib-networking's resolvers.
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
# The demo service's HTTP server.
pkg_check_modules(MICROHTTPD REQUIRED IMPORTED_TARGET libmicrohttpd)

# cpp-httplib: Debian builds it as a shared library, so the header alone does not link.
find_path(HTTPLIB_INCLUDE_DIR httplib.h REQUIRED)
find_library(HTTPLIB_LIBRARY cpp-httplib)
if(NOT TARGET httplib::httplib)
    add_library(httplib::httplib INTERFACE IMPORTED)
    target_include_directories(httplib::httplib INTERFACE ${HTTPLIB_INCLUDE_DIR})
    target_link_libraries(httplib::httplib INTERFACE Threads::Threads)
    if(HTTPLIB_LIBRARY)
        target_link_libraries(httplib::httplib INTERFACE ${HTTPLIB_LIBRARY})
    endif()
endif()

# stb_image is header-only as well (libstb-dev).
find_path(STB_INCLUDE_DIR stb_image.h PATH_SUFFIXES stb REQUIRED)

#!/bin/sh
# The installer loads libcurl with its first transfer, not at start: one libcurl function
# called without an entry point of the installer's own links the library back in, and some
# two dozen libraries with it, all loaded before the window can show.
#   start_libraries_test.sh INSTALLER
set -eu
installer=$1
if readelf -d "$installer" | grep NEEDED | grep -q libcurl; then
    echo "the installer links libcurl at start; the libcurl functions it calls:"
    nm -D --undefined-only "$installer" | grep ' curl_' || true
    echo "each needs an entry point in app/CurlOnFirstUse.cpp"
    exit 1
fi

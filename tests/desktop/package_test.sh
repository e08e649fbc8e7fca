#!/bin/sh
# The Debian package: CPack builds it from the build tree; it holds the programs, the menu
# entry, the icons, the man pages, the copyright file and the changelog; its dependencies
# come from dpkg-shlibdeps; lintian finds no error; the programs in it run.
# usage: package_test.sh CPACK BUILD_DIR VERSION
set -u
CPACK=$1
BUILD=$2
VERSION=$3
for tool in "$CPACK" dpkg-deb dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is missing"; exit 77; }
done
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

"$CPACK" --config "$BUILD/CPackConfig.cmake" -G DEB -B "$TMP/out" >"$TMP/cpack.log" 2>&1 ||
    { cat "$TMP/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb="$TMP/out/inkwarden-installer_${VERSION}_amd64.deb"
[ -f "$deb" ] || { ls "$TMP/out"; echo "FAIL: no $deb"; exit 1; }

dpkg-deb -c "$deb" | awk '{print $6}' >"$TMP/contents"
for path in usr/bin/inkwarden-installer usr/bin/inkwarden-tool \
    usr/share/applications/inkwarden-installer.desktop \
    usr/share/icons/hicolor/48x48/apps/inkwarden-installer.png \
    usr/share/icons/hicolor/256x256/apps/inkwarden-installer.png \
    usr/share/icons/hicolor/scalable/apps/inkwarden-installer.svg \
    usr/share/man/man1/inkwarden-installer.1.gz usr/share/man/man1/inkwarden-tool.1.gz \
    usr/share/doc/inkwarden-installer/copyright usr/share/doc/inkwarden-installer/changelog.gz; do
    grep -qx "./$path" "$TMP/contents" || fail "the package lacks $path"
done
# Nothing of the tests, the demo or the benchmarks goes in.
grep -E 'demo|sample|test|bench' "$TMP/contents" && fail "the package holds more than it should"

depends=$(dpkg-deb -f "$deb" Depends)
# Crypto++ is linked into the programs; libcurl is loaded by the installer by name and linked
# by the tool.
# The skin's faces come with the package too.
for library in libc6 libgtk-3-0 libcurl4 libzip4 fonts-arphic-uming fonts-dejavu-core; do
    echo "$depends" | grep -q "$library" || fail "Depends lacks $library: $depends"
done
# Each package once.
twice=$(echo "$depends" | tr ',' '\n' | awk '{print $1}' | sort | uniq -d)
[ -z "$twice" ] || fail "Depends names $twice more than once: $depends"
dpkg-deb -f "$deb" Recommends | grep -q glib-networking ||
    fail "the package does not recommend glib-networking (the desktop's proxy settings)"

dpkg-deb -x "$deb" "$TMP/root"
entry="$TMP/root/usr/share/applications/inkwarden-installer.desktop"
if command -v desktop-file-validate >/dev/null 2>&1; then
    report=$(desktop-file-validate "$entry" 2>&1) || fail "the menu entry is invalid: $report"
fi
grep -qx 'StartupWMClass=inkwarden-installer' "$entry" || fail "the menu entry has no window class"
grep -qx 'Icon=inkwarden-installer' "$entry" || fail "the menu entry has no icon"
for program in inkwarden-installer inkwarden-tool; do
    got=$("$TMP/root/usr/bin/$program" --version)
    [ "$got" = "$program $VERSION" ] || fail "$program --version in the package: $got"
    zcat "$TMP/root/usr/share/man/man1/$program.1.gz" | grep -q "^\.TH \"\?${program}" -i ||
        fail "$program.1 is no man page"
done
copyright="$TMP/root/usr/share/doc/inkwarden-installer/copyright"
grep -q "All rights reserved" "$copyright" || fail "the copyright file holds no licence"
head -n1 "$copyright" |
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in the machine-readable format"

# No error, and with the notes shown, none about the hardening or the copyright file.
lintian -I --fail-on error "$deb" >"$TMP/lintian" 2>&1 || fail "lintian: $(cat "$TMP/lintian")"
grep -E 'hardening-no-|dep5|copyright' "$TMP/lintian" && fail "lintian objects to the hardening or the copyright file"
# What lintian still says, for the record.
grep -E '^[EWI]: ' "$TMP/lintian"

[ $status -eq 0 ] && echo "PASS"
exit $status

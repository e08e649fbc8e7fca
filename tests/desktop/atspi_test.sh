#!/bin/sh
# The installer as a screen reader meets it: under a private Xvfb and its own D-Bus session
# with the AT-SPI bus, the tree of the first page (roles, names, states), the licence box's
# "click" action through AT-SPI (it toggles the box and the start button's sensitivity, and
# both are announced), the focus ring after Tab and not after a click (pixels), and the
# window at GDK_SCALE=2: 1140 x 1120, sharper than the 1x window enlarged.
# Arguments: the installer. With INKWARDEN_DOCS_OUT set (docs/), the tree dump goes there and
# the screenshots to its screenshots/ folder.
set -u
INSTALLER="$1"
PROBE="$(cd "$(dirname "$0")" && pwd)/atspi_probe.py"

# The desktop's accessibility bus needs a session bus of its own.
if [ -z "${INKWARDEN_ATSPI_SESSION:-}" ]; then
    command -v dbus-run-session >/dev/null 2>&1 || { echo "SKIP: dbus-run-session is missing"; exit 77; }
    exec env INKWARDEN_ATSPI_SESSION=1 dbus-run-session -- sh "$0" "$@"
fi

# Under the sanitizers: a false report of GCC's vptr check on the installer's click table.
if [ -n "${UBSAN_OPTIONS:-}" ]; then
    export UBSAN_OPTIONS="$UBSAN_OPTIONS:suppressions=$(cd "$(dirname "$0")" && pwd)/ubsan.supp"
fi

IPID=""
stop_processes() {
    [ -n "$IPID" ] && kill "$IPID" 2>/dev/null
}
. "$(dirname "$0")/desktop_env.sh"
require_tools Xvfb xdotool import convert compare
PY=""
for candidate in /usr/bin/python3 python3; do
    if "$candidate" -c 'import gi; gi.require_version("Atspi", "2.0"); from gi.repository import Atspi' \
        2>/dev/null; then
        PY=$candidate
        break
    fi
done
[ -n "$PY" ] || { echo "SKIP: python3 with gi and Atspi (python3-gi, gir1.2-atspi-2.0) is missing"; exit 77; }
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "SKIP: at-spi2-core is missing"; exit 77; }

fail() { echo "FAIL: $*"; echo "--- installer"; cat "$TMP/installer.log"; exit 1; }
# Room for the window at scale 2.
start_xvfb 1600x1200x24

export HOME="$TMP/home" TMPDIR="$TMP/tmp" INKWARDEN_REGISTRY="$TMP/machine.reg"
# The package folder of this run alone (root would share /var/cache/inkwarden).
export INKWARDEN_CACHE_DIR="$TMP/cache"
mkdir -p "$HOME" "$TMPDIR"
# For the pictures in docs/ the field shows the usual folder (page 0 only reads it).
FOLDER="$TMP/Inkwarden"
[ -n "${INKWARDEN_DOCS_OUT:-}" ] && FOLDER=/opt/Inkwarden
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Inkwarden]\n"InstallLocation"="%s"\n' \
    "$FOLDER" >"$INKWARDEN_REGISTRY"

shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"; }
# Starts the installer and waits until its window is painted; sets WID, X, Y, WIDTH, HEIGHT.
open_window() {
    # On a Chinese desktop: the names read are the catalogue's Chinese.
    LC_ALL=zh_CN.UTF-8 LANGUAGE= "$INSTALLER" >"$TMP/installer.log" 2>&1 &
    IPID=$!
    WID=$(timeout 20 xdotool search --sync --onlyvisible --classname '^inkwarden-installer$' | head -n1)
    [ -n "$WID" ] || fail "no window"
    eval "$(xdotool getwindowgeometry --shell "$WID")"
    # Painted: the skin has far more colours than an empty window.
    i=0
    while [ $i -lt 100 ]; do
        shot "$TMP/first.png"
        [ "$(convert "$TMP/first.png" -format %k info:)" -gt 1000 ] && break
        sleep 0.1
        i=$((i + 1))
    done
}
close_window() {
    kill "$IPID" 2>/dev/null
    wait "$IPID" 2>/dev/null
    IPID=""
}
# The bounding box of the pixels in which two screenshots differ, or nothing.
changed() {
    convert "$1" "$2" -compose difference -composite -threshold 0 -format '%@' info: 2>/dev/null |
        grep -v '^0x0'
}
# A screenshot once the window has stopped changing (a loaded machine paints late).
settled_shot() {
    shot "$1"
    i=0
    while [ $i -lt 50 ]; do
        sleep 0.1
        shot "$TMP/again.png"
        [ -z "$(changed "$1" "$TMP/again.png")" ] && return
        mv "$TMP/again.png" "$1"
        i=$((i + 1))
    done
}
# A screenshot once it differs from $2 (or after 5 s).
shot_differing_from() {
    i=0
    while [ $i -lt 50 ]; do
        shot "$1"
        [ -n "$(changed "$1" "$2")" ] && { settled_shot "$1"; return; }
        sleep 0.1
        i=$((i + 1))
    done
}

open_window
[ "$WIDTH" = 570 ] && [ "$HEIGHT" = 560 ] || fail "window is ${WIDTH}x${HEIGHT}"
"$PY" "$PROBE" tree "$TMP/atspi-tree.txt" "$FOLDER" || fail "the accessible tree"

# Focus ring: none at first, one around the start button after Tab, none after a click.
xdotool mousemove --sync $((X + 280)) $((Y + 140))
settled_shot "$TMP/before.png"
xdotool key Tab
shot_differing_from "$TMP/tab.png" "$TMP/before.png"
FOCUSED=$("$PY" "$PROBE" focused)
[ "$FOCUSED" = btn_install_start ] || fail "after Tab the focus is on '$FOCUSED'"
BOX=$(changed "$TMP/before.png" "$TMP/tab.png")
echo "after Tab: $BOX"
# The ring lies around the start button (client 215,228 to 355,270), 3 pixels out.
[ "$BOX" = "146x48+212+225" ] || fail "the focus ring is not around the start button ($BOX)"
xdotool click 1
shot_differing_from "$TMP/click.png" "$TMP/tab.png"
BOX=$(changed "$TMP/before.png" "$TMP/click.png")
[ -z "$BOX" ] || fail "a click left pixels changed ($BOX)"

"$PY" "$PROBE" agree || fail "the licence box's action"
cp "$TMP/before.png" "$TMP/window-scale1.png"
# Alt+F4 closes without a question; the installer ends cleanly (no leak under LSan) although
# a reader had its accessible objects.
xdotool key alt+F4
i=0
while kill -0 "$IPID" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
wait "$IPID"
CODE=$?
IPID=""
[ "$CODE" = 0 ] || fail "the installer ended with $CODE"

# Scale 2: twice the pixels, the same layout, sharper than the 1x window enlarged.
GDK_SCALE=2 open_window
[ "$WIDTH" = 1140 ] && [ "$HEIGHT" = 1120 ] || fail "window at scale 2 is ${WIDTH}x${HEIGHT}"
xdotool mousemove --sync $((X + 560)) $((Y + 280))
settled_shot "$TMP/window-scale2.png"
close_window
convert "$TMP/window-scale1.png" -filter Triangle -resize 200% "$TMP/enlarged.png"
# Energy of the horizontal steps: a blurred edge spreads its step over more pixels.
energy() {
    convert "$1" -colorspace Gray \( +clone -roll +1+0 \) -compose difference -composite \
        -crop "$((WIDTH - 2))x${HEIGHT}+1+0" -evaluate Pow 2 -format '%[fx:mean]' info:
}
SHARP=$(energy "$TMP/window-scale2.png")
BLURRED=$(energy "$TMP/enlarged.png")
echo "step energy: scale 2 $SHARP, 1x enlarged $BLURRED"
awk -v s="$SHARP" -v b="$BLURRED" 'BEGIN { exit !(s > 1.4 * b) }' ||
    fail "the scale-2 window is not sharper than the 1x window enlarged"
# Same layout: the scale-2 window brought down to 1x is close to the 1x window.
convert "$TMP/window-scale2.png" -filter Box -resize 50% "$TMP/reduced.png"
ERROR=$(compare -metric MAE "$TMP/window-scale1.png" "$TMP/reduced.png" null: 2>&1 |
    sed 's/.*(\(.*\))/\1/')
echo "scale 2 reduced against 1x: mean error $ERROR"
awk -v e="$ERROR" 'BEGIN { exit !(e < 0.03) }' || fail "the scale-2 window is laid out differently"

if [ -n "${INKWARDEN_DOCS_OUT:-}" ]; then
    mkdir -p "$INKWARDEN_DOCS_OUT/screenshots"
    cp "$TMP/atspi-tree.txt" "$INKWARDEN_DOCS_OUT/"
    cp "$TMP/window-scale1.png" "$TMP/window-scale2.png" "$INKWARDEN_DOCS_OUT/screenshots/"
    cp "$TMP/tab.png" "$INKWARDEN_DOCS_OUT/screenshots/window-focus-ring.png"
fi
echo "PASS"

#!/bin/sh
# The real installer under a private Xvfb, driven with xdotool: Return starts, the progress bar
# moves (two screenshots differ in the bar only), success, start now, exit code 0.
# Arguments: the installer, the demo service, the folder with the sample package.
set -u
INSTALLER="$1"
SERVICE="$2"
PACKAGES="$3"
SPID=""
IPID=""
stop_processes() {
    [ -n "$IPID" ] && kill "$IPID" 2>/dev/null
    [ -n "$SPID" ] && kill "$SPID" 2>/dev/null
}
. "$(dirname "$0")/desktop_env.sh"
require_tools Xvfb xdotool import convert curl
fail() { echo "FAIL: $*"; echo "--- installer"; cat "$TMP/installer.log"; exit 1; }
start_xvfb

# Any free port: the package comes through -test_url; the compiled-in services may be absent.
"$SERVICE" --port 0 --packages "$PACKAGES" --throttle 50000 --data "$TMP/data" >"$TMP/service.log" 2>&1 &
SPID=$!
i=0
while ! grep -q 'listening on' "$TMP/service.log" && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
URL=$(grep -o 'http://127.0.0.1:[0-9]*' "$TMP/service.log" | head -n1)
[ -n "$URL" ] || { echo "FAIL: no service"; cat "$TMP/service.log"; exit 1; }

export HOME="$TMP/home" TMPDIR="$TMP/tmp" INKWARDEN_REGISTRY="$TMP/machine.reg"
# The package folder of this run alone (root would share /var/cache/inkwarden).
export INKWARDEN_CACHE_DIR="$TMP/cache"
# An English desktop: the window's title and words are English.
export LC_ALL=en_US.UTF-8
unset LANGUAGE
mkdir -p "$HOME" "$TMPDIR"
FOLDER="$TMP/Inkwarden"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Inkwarden]\n"InstallLocation"="%s"\n' \
    "$FOLDER" >"$INKWARDEN_REGISTRY"

"$INSTALLER" "-test_url:$URL/packages/InkwardenSetup.bin" >"$TMP/installer.log" 2>&1 &
IPID=$!
WID=$(timeout 20 xdotool search --sync --onlyvisible --classname '^inkwarden-installer$' | head -n1)
[ -n "$WID" ] || fail "no window"
TITLE=$(xdotool getwindowname "$WID")
[ "$TITLE" = "Inkwarden Setup" ] || fail "the window is called \"$TITLE\""
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$WID")"
[ "$WIDTH" = 570 ] && [ "$HEIGHT" = 560 ] || fail "window is ${WIDTH}x${HEIGHT}"
shot() { import -window root -crop "570x370+${X}+${Y}" +repage "$1"; }
click() { xdotool mousemove --sync $((X + $1)) $((Y + $2)) click 1; }

# Return presses the page's default button, start, although the close button has the focus.
xdotool mousemove --sync $((X + 280)) $((Y + 140))
xdotool key Return
i=0
while [ $i -lt 100 ]; do
    eval "$(xdotool getwindowgeometry --shell "$WID")"
    [ "$HEIGHT" = 370 ] && break
    sleep 0.1; i=$((i + 1))
done
[ "$HEIGHT" = 370 ] || fail "the panel did not fold"
sleep 0.8
shot "$TMP/a.png"
sleep 1.2
shot "$TMP/b.png"
# The difference lies inside the progress bar's band (client y 331 to 340) and the line of
# figures under it (y 345 to 361).
BOX=$(convert "$TMP/a.png" "$TMP/b.png" -compose difference -composite -threshold 0 \
    -format '%@' info:)
echo "changed area: $BOX"
H=$(echo "$BOX" | sed 's/^[0-9]*x\([0-9]*\)+.*/\1/')
TOP=$(echo "$BOX" | sed 's/^.*+\([0-9]*\)$/\1/')
[ "${H:-0}" -gt 0 ] 2>/dev/null || fail "the bar did not move ($BOX)"
[ "$TOP" -ge 325 ] && [ $((TOP + H)) -le 365 ] || fail "more than the bar changed ($BOX)"

# The success page, then start now.
i=0
while [ $i -lt 600 ] && [ ! -f "$FOLDER/InkwardenMain.exe" ]; do sleep 0.1; i=$((i + 1)); done
sleep 1.5
click 285 228
i=0
while kill -0 "$IPID" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
wait "$IPID"
CODE=$?
IPID=""
[ "$CODE" = 0 ] || fail "exit code $CODE"
i=0
while [ ! -f "$FOLDER/InkwardenMain.started" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
grep -q -- -printer_detect "$FOLDER/InkwardenMain.started" 2>/dev/null || fail "product not started"
echo "PASS"

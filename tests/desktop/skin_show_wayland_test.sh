#!/bin/sh
# skin show --screenshot where the window cannot be read back: on a Wayland compositor that
# keeps the window's buffer (weston's pixman renderer, headless), GDK hands out a fully
# transparent image; the tool must fail with a message and write nothing. An output folder
# that does not exist fails at once, before any window.
set -u
TOOL="$1"
WPID=""
stop_processes() { [ -n "$WPID" ] && kill "$WPID" 2>/dev/null; }
. "$(dirname "$0")/desktop_env.sh"
fail() { echo "FAIL: $*"; echo "--- tool output"; cat "$TMP/out" "$TMP/err"; exit 1; }

env -u DISPLAY -u WAYLAND_DISPLAY "$TOOL" skin show --screenshot "$TMP/missing/shot.png" \
    >"$TMP/out" 2>"$TMP/err"
[ $? -eq 1 ] || fail "missing output folder: wrong exit code"
grep -q "cannot write $TMP/missing/shot.png" "$TMP/err" || fail "missing output folder: no message"

require_tools weston
export XDG_RUNTIME_DIR="$TMP/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
weston --backend=headless-backend.so --use-pixman --shell=kiosk-shell.so --socket=wayland-iw \
    --idle-time=0 >"$TMP/weston.log" 2>&1 &
WPID=$!
i=0
while [ ! -S "$XDG_RUNTIME_DIR/wayland-iw" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ -S "$XDG_RUNTIME_DIR/wayland-iw" ] || { cat "$TMP/weston.log"; fail "weston did not start"; }

env -u DISPLAY GDK_BACKEND=wayland WAYLAND_DISPLAY=wayland-iw \
    "$TOOL" skin show --screenshot "$TMP/shot.png" --after 500 >"$TMP/out" 2>"$TMP/err"
code=$?
grep -q "^shown" "$TMP/out" || fail "the window did not open on weston"
[ "$code" -eq 1 ] || fail "exit code $code, expected 1"
grep -q "could not be read back from the display" "$TMP/err" || fail "no message"
[ ! -e "$TMP/shot.png" ] || fail "a screenshot was written"
echo "PASS"
exit 0

#!/bin/sh
# Drives the layer probe under a private Xvfb with xdotool.
set -u
PROBE="$1"
PPID_=""
stop_processes() { [ -n "$PPID_" ] && kill "$PPID_" 2>/dev/null; }
. "$(dirname "$0")/desktop_env.sh"
require_tools Xvfb xdotool import
fail() { echo "FAIL: $*"; echo "--- probe output"; cat "$TMP/out"; cat "$TMP/err"; exit 1; }
start_xvfb

"$PROBE" >"$TMP/out" 2>"$TMP/err" &
PPID_=$!
i=0
while ! grep -q READY "$TMP/out" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
WID=$(xdotool search --sync --name LayerProbe | head -n1)
[ -n "$WID" ] || fail "no window"
sleep 0.5
wait_for() { i=0; while ! grep -q "$1" "$TMP/out" && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done; grep -q "$1" "$TMP/out" || fail "missing '$1'"; }

wait_for "WM_APP+1 42"

# Pixels: red on the opaque half.
import -window root "$TMP/shot.png"
RED=$(convert "$TMP/shot.png" -crop 1x1+150+200 -depth 8 txt:- | tail -n1)
echo "$RED" | grep -qi "#FF0000" || fail "expected red at (150,200), got $RED"

# A click into the client area.
xdotool mousemove 150 200 click 1
wait_for "WM_LBUTTONDOWN 50 100"
wait_for "WM_LBUTTONUP 50 100"

# Keys.
xdotool key a
wait_for "WM_KEYDOWN 65"
wait_for "WM_CHAR 97"
xdotool key Return
wait_for "WM_KEYDOWN 13"

# Dragging the caption band moves the window.
BEFORE=$(xdotool getwindowgeometry "$WID" | grep Position)
xdotool mousemove 200 110 mousedown 1
sleep 0.2
xdotool mousemove 230 130
sleep 0.2
xdotool mousemove 260 150
sleep 0.2
xdotool mouseup 1
sleep 0.5
wait_for "WM_NCLBUTTONDOWN 2"
AFTER=$(xdotool getwindowgeometry "$WID" | grep Position)
echo "caption drag: $BEFORE -> $AFTER"
[ "$BEFORE" != "$AFTER" ] || fail "the window did not move ($BEFORE)"

# Alt+F4 asks to close; the probe quits with 3.
xdotool mousemove 150 250 key alt+F4
wait_for "WM_CLOSE"
wait "$PPID_"
CODE=$?
PPID_=""
[ "$CODE" -eq 3 ] || fail "exit code $CODE"
grep -q "DEAD WINDOW RAN" "$TMP/out" && fail "a post for a destroyed window ran"
echo "PASS"
exit 0

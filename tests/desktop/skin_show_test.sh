#!/bin/sh
# Opens a small skin with `inkwarden-tool skin show` under a private Xvfb, drives it with
# xdotool and reads the effects from the tool's output.
set -u
TOOL="$1"
SKIN="$2"
CMAKE="$3"
APID=""
stop_processes() { [ -n "$APID" ] && kill "$APID" 2>/dev/null; }
. "$(dirname "$0")/desktop_env.sh"
require_tools Xvfb xdotool import convert
fail() { echo "FAIL: $*"; echo "--- tool output"; cat "$TMP/out" "$TMP/err"; exit 1; }
start_xvfb

wait_for() {
    i=0
    while ! grep -q "$1" "$TMP/out" && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    grep -q "$1" "$TMP/out" || fail "missing '$1'"
}
start() {
    : >"$TMP/out"
    "$TOOL" skin show "$@" >"$TMP/out" 2>"$TMP/err" &
    APID=$!
    wait_for "^shown"
    WID=$(xdotool search --sync --name "Inkwarden skin" | head -n1)
    [ -n "$WID" ] || fail "no window"
    sleep 0.5
}
finish() {
    wait "$APID"
    CODE=$?
    APID=""
    [ "$CODE" -eq "$1" ] || fail "exit code $CODE, expected $1"
}
position() { xdotool getwindowgeometry "$WID" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p'; }

# The window is centred on the work area; dragging the caption band moves it.
start "$SKIN"
set -- $(position)
X=$1
Y=$2
[ "$X" -eq 312 ] && [ "$Y" -eq 234 ] || fail "not centred: $X,$Y"
xdotool mousemove $((X + 100)) $((Y + 12)) mousedown 1
sleep 0.2
xdotool mousemove $((X + 130)) $((Y + 40))
sleep 0.2
xdotool mousemove $((X + 160)) $((Y + 62))
sleep 0.2
xdotool mouseup 1
sleep 0.5
set -- $(position)
[ "$1" -ne "$X" ] || [ "$2" -ne "$Y" ] || fail "the caption drag did not move the window"
wait_for "^move "
# The system close command (Alt+F4) asks with code 0; the tool then ends with 0.
xdotool mousemove $(($1 + 200)) $(($2 + 250)) key alt+F4
wait_for "^close 0"
finish 0

# Clicks become notifications; Return presses the focused button; Escape closes with
# code 1 also while the native edit field has the keyboard.
start "$SKIN"
set -- $(position)
X=$1
Y=$2
xdotool mousemove $((X + 80)) $((Y + 75)) click 1
wait_for "^notify click btn_hello"
xdotool key Return
i=0
while [ "$(grep -c '^notify click btn_hello' "$TMP/out")" -lt 2 ] && [ $i -lt 50 ]; do
    sleep 0.1
    i=$((i + 1))
done
[ "$(grep -c '^notify click btn_hello' "$TMP/out")" -eq 2 ] || fail "Return did not press the button"
xdotool mousemove $((X + 120)) $((Y + 150)) click 1
sleep 0.3
xdotool type "abc"
xdotool key Escape
wait_for "^close 1"
finish 0

# The close button in the caption band is a click, not a drag.
start "$SKIN"
set -- $(position)
xdotool mousemove $(($1 + 382)) $(($2 + 18)) click 1
wait_for "^notify click closebtn"
wait_for "^close 1"
finish 0

# A zip of the same skin, with a screenshot of the window.
(cd "$SKIN" && "$CMAKE" -E tar cf "$TMP/skin.zip" --format=zip main_frame.xml) ||
    fail "cannot zip the skin"
start "$TMP/skin.zip" --screenshot "$TMP/shot.png" --after 300
wait_for "^screenshot "
wait_for "^close 0"
finish 0
SIZE=$(convert "$TMP/shot.png" -format "%wx%h" info:)
[ "$SIZE" = "400x300" ] || fail "screenshot is $SIZE"
# The skin's pixels where they belong: blue band, red close button, green button.
pixel() { convert "$TMP/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- | tail -n1; }
pixel 200 10 | grep -qi "#3179FD" || fail "caption band: $(pixel 200 10)"
pixel 382 18 | grep -qi "#FF0000" || fail "close button: $(pixel 382 18)"
pixel 25 60 | grep -qi "#00FF00" || fail "button: $(pixel 25 60)"

# A skin that does not build: the error box, and after OK the exit code 1.
mkdir "$TMP/broken"
echo '<Window size="200,100"></Window>' >"$TMP/broken/main_frame.xml"
# On a Chinese desktop the box speaks Chinese.
LC_ALL=zh_CN.UTF-8 LANGUAGE= "$TOOL" skin show "$TMP/broken" >"$TMP/out" 2>"$TMP/err" &
APID=$!
BOX=$(xdotool search --sync --name "错误" | head -n1)
[ -n "$BOX" ] || fail "no error box"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$BOX")"
# OK sits at the bottom of the box.
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 12)) click 1
finish 1

# Without a display: one clear line, exit code 1.
env -u DISPLAY "$TOOL" skin show "$SKIN" >"$TMP/out" 2>"$TMP/err"
[ $? -eq 1 ] || fail "no display: wrong exit code"
grep -q "cannot open a display" "$TMP/err" || fail "no display: no message"
echo "PASS"
exit 0

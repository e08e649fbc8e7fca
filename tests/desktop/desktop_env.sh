# Sourced by the desktop tests: the tools they need, a scratch folder and a private Xvfb.
# A test defines stop_processes (what it started, ended on exit) and calls:
#   require_tools TOOL...   skips the test (exit 77) when one is missing
#   start_xvfb [WxHxD]      a private display in DISPLAY (default 1024x768x24); TMP is the
#                           scratch folder

TMP=$(mktemp -d)
XPID=""
cleanup() {
    stop_processes
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    rm -rf "$TMP"
}
trap cleanup EXIT

require_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is missing"; exit 77; }
    done
}

# -noreset: by default the server resets when its last client leaves, and a client that
# connects during the reset (the next window, the next xdotool) is refused.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 "${1:-1024x768x24}" -nolisten tcp -noreset 3>"$TMP/display" 2>/dev/null &
    XPID=$!
    i=0
    while [ ! -s "$TMP/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    [ -s "$TMP/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
    export DISPLAY=":$(cat "$TMP/display")"
}

#!/bin/sh
# The proxy's sign-in in the installer window: behind a tinyproxy that wants a user name and
# password, the download's 407 opens the sign-in dialog (named fields, the password masked,
# read through AT-SPI); a wrong password asks again, the right one finishes the install, and
# every later transfer signs in. A second run cancels with Escape and ends on the failure page
# that names the proxy. The password reaches neither the output nor any file under HOME.
# Arguments: the installer, the demo service, the folder with the sample package.
set -u
INSTALLER="$1"
SERVICE="$2"
PACKAGES="$3"
HERE="$(cd "$(dirname "$0")" && pwd)"

if [ -z "${INKWARDEN_ATSPI_SESSION:-}" ]; then
    command -v dbus-run-session >/dev/null 2>&1 || { echo "SKIP: dbus-run-session is missing"; exit 77; }
    exec env INKWARDEN_ATSPI_SESSION=1 dbus-run-session -- sh "$0" "$@"
fi
if [ -n "${UBSAN_OPTIONS:-}" ]; then
    export UBSAN_OPTIONS="$UBSAN_OPTIONS:suppressions=$HERE/ubsan.supp"
fi

SPID=""
PPID_PROXY=""
IPID=""
stop_processes() {
    [ -n "$IPID" ] && kill "$IPID" 2>/dev/null
    [ -n "$PPID_PROXY" ] && kill "$PPID_PROXY" 2>/dev/null
    [ -n "$SPID" ] && kill "$SPID" 2>/dev/null
}
. "$HERE/desktop_env.sh"
require_tools Xvfb xdotool tinyproxy python3
PY=/usr/bin/python3
"$PY" -c 'import gi; gi.require_version("Atspi", "2.0"); from gi.repository import Atspi' 2>/dev/null ||
    { echo "SKIP: python3 with gi and Atspi is missing"; exit 77; }
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "SKIP: at-spi2-core is missing"; exit 77; }
fail() { echo "FAIL: $*"; echo "--- installer"; cat "$TMP/installer.log"; exit 1; }
start_xvfb

"$SERVICE" --port 0 --packages "$PACKAGES" --data "$TMP/data" >"$TMP/service.log" 2>&1 &
SPID=$!
PORT=$("$PY" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf 'Port %s\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\nLogLevel Info\nBasicAuth alice s3cret-pw\n' \
    "$PORT" >"$TMP/tinyproxy.conf"
tinyproxy -d -c "$TMP/tinyproxy.conf" >"$TMP/tinyproxy.log" 2>&1 &
PPID_PROXY=$!
i=0
while ! grep -q 'listening on' "$TMP/service.log" && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
URL=$(grep -o 'http://127.0.0.1:[0-9]*' "$TMP/service.log" | head -n1)
[ -n "$URL" ] || { echo "FAIL: no service"; cat "$TMP/service.log"; exit 1; }
i=0
while ! "$PY" -c "import socket; socket.create_connection(('127.0.0.1', $PORT), 1)" 2>/dev/null &&
    [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done

export HOME="$TMP/home" TMPDIR="$TMP/tmp" INKWARDEN_REGISTRY="$TMP/machine.reg"
export LC_ALL=en_US.UTF-8 http_proxy="http://127.0.0.1:$PORT"
unset LANGUAGE no_proxy NO_PROXY
mkdir -p "$HOME" "$TMPDIR"
FOLDER="$TMP/Inkwarden"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Inkwarden]\n"InstallLocation"="%s"\n' \
    "$FOLDER" >"$INKWARDEN_REGISTRY"

# Starts the installer and presses Return (start) in its window.
start_install() {
    "$INSTALLER" "-test_url:$URL/packages/InkwardenSetup.bin" >"$TMP/installer.log" 2>&1 &
    IPID=$!
    WID=$(timeout 20 xdotool search --sync --onlyvisible --classname '^inkwarden-installer$' | head -n1)
    [ -n "$WID" ] || fail "no window"
    eval "$(xdotool getwindowgeometry --shell "$WID")"
    xdotool mousemove --sync $((X + 280)) $((Y + 140))
    xdotool key Return
}
# Waits for a sign-in dialog other than $1; sets DID, DX, DY.
wait_dialog() {
    DID=""
    i=0
    while [ $i -lt 200 ]; do
        DID=$(xdotool search --onlyvisible --name '^Proxy sign-in$' 2>/dev/null | grep -vx "${1:-none}" | head -n1)
        [ -n "$DID" ] && break
        sleep 0.1; i=$((i + 1))
    done
    [ -n "$DID" ] || fail "no sign-in dialog"
    eval "$(xdotool getwindowgeometry --shell "$DID")"
    DX=$X DY=$Y
    [ "$WIDTH" = 400 ] && [ "$HEIGHT" = 270 ] || fail "the dialog is ${WIDTH}x${HEIGHT}"
    # Mapped is not yet laid out: a click before the fields exist would reach none of them.
    "$PY" "$HERE/sign_in_probe.py" ready || fail "the dialog's fields never showed"
}
# Types into the dialog's fields (clicked: the pointer's window has the keyboard) and signs in
# with Return.
# The keyboard goes to the dialog (no window manager here hands it over; the main window may
# have taken it), and a slow (sanitized) program takes the click later: the keys wait for the
# field's focus.
click_field() { # y id
    xdotool windowfocus --sync "$DID"
    xdotool mousemove --sync $((DX + 240)) $((DY + $1)) click 1
    "$PY" "$HERE/sign_in_probe.py" focused "$2" || fail "the click did not focus $2"
}
sign_in() {
    click_field 152 proxy_user
    xdotool type --delay 20 "$1"
    click_field 190 proxy_password
    xdotool type --delay 20 "$2"
    [ -n "${3:-}" ] && { "$PY" "$HERE/sign_in_probe.py" dialog "127.0.0.1:$PORT" "${#2}" || fail "the dialog as read"; }
    xdotool key Return
}
finished() {
    kill "$IPID" 2>/dev/null
    wait "$IPID" 2>/dev/null
    IPID=""
}
no_password_anywhere() {
    grep -rl -e s3cret-pw -e wrong-pw "$TMP/installer.log" "$HOME" 2>/dev/null &&
        fail "a password was written down"
    return 0
}

# Asked, refused, asked again, accepted: the package comes through the proxy.
start_install
wait_dialog
sign_in alice wrong-pw check
FIRST=$DID
wait_dialog "$FIRST"
sign_in alice s3cret-pw
i=0
while [ $i -lt 600 ] && [ ! -f "$FOLDER/InkwardenMain.exe" ]; do sleep 0.1; i=$((i + 1)); done
[ -f "$FOLDER/InkwardenMain.exe" ] || fail "no install after the sign-in"
grep -q 'GET http://127.0.0.1.*/packages/InkwardenSetup.bin' "$TMP/tinyproxy.log" ||
    fail "the package did not come through the proxy"
no_password_anywhere
finished

# Escape cancels: the failure page names the proxy.
rm -rf "$FOLDER"
start_install
wait_dialog
click_field 152 proxy_user
xdotool key Escape
"$PY" "$HERE/sign_in_probe.py" failure "The proxy 127.0.0.1:$PORT asks for a user name and password." ||
    fail "the failure page after a cancel"
[ -f "$FOLDER/InkwardenMain.exe" ] && fail "installed without a sign-in"
no_password_anywhere
finished
echo "PASS"

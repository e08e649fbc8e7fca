#!/bin/sh
# The sample package's desktop entries, for install folders holding the characters that
# desktop entries must escape: all three entries pass desktop-file-validate without a word,
# and the menu entry, launched as a desktop launches it (gio), starts the product in its
# folder. Also: the icon in the user's theme, the desktop folder that user-dirs.dirs names,
# folder names that no entry can carry, and a user who is not root.
# usage: desktop_entries_test.sh PACKAGE
set -u
package=$1
for tool in desktop-file-validate gio xdg-user-dirs-update identify; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is missing"; exit 77; }
done
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
chmod 755 "$TMP"
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_DESKTOP_DIR
status=0
fail() { echo "FAIL: $*"; status=1; }

# install HOME FOLDER: the package with every entry asked for; its output in $TMP/out.
install() {
    HOME=$1 INKWARDEN_REGISTRY=$1/machine.reg "$package" "-install_path:$2" -desktop_link:1 \
        -start_link:1 -bootup:1 -silent -union_id:57426 >"$TMP/out" 2>&1
}

# check_entry FILE: valid, and naming the icon and the window class.
check_entry() {
    [ -f "$1" ] || { fail "no $1"; return; }
    report=$(desktop-file-validate "$1" 2>&1) || fail "$1 is invalid: $report"
    [ -z "$report" ] || fail "desktop-file-validate on $1: $report"
    grep -qx 'Icon=inkwarden' "$1" || fail "$1: no Icon=inkwarden"
    grep -qx 'StartupWMClass=inkwarden' "$1" || fail "$1: no StartupWMClass=inkwarden"
    grep -q '^TryExec=/' "$1" || fail "$1: no TryExec"
}

n=0
while IFS= read -r name; do
    n=$((n + 1))
    home="$TMP/home$n"
    folder="$TMP/$name/Inkwarden"
    mkdir -p "$home"
    install "$home" "$folder" || { fail "[$name]: package failed: $(cat "$TMP/out")"; continue; }
    check_entry "$home/Desktop/inkwarden.desktop"
    check_entry "$home/.local/share/applications/inkwarden.desktop"
    check_entry "$home/.config/autostart/inkwarden.desktop"
    # gio checks TryExec and the program of Exec before it starts anything.
    HOME=$home gio launch "$home/.local/share/applications/inkwarden.desktop" >/dev/null 2>"$TMP/err" ||
        fail "[$name]: gio cannot launch the menu entry: $(cat "$TMP/err")"
    i=0
    while [ ! -s "$folder/InkwardenMain.started" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    [ "$(cat "$folder/InkwardenMain.started" 2>/dev/null)" = "-printer_detect" ] ||
        fail "[$name]: the menu entry did not start the product in its folder"
done <<'NAMES'
Ink Warden
Ink Warden 100%
price $5 and $HOME
it's 'quoted'
back\slash and \\ two \s
墨守精灵 打印助手
say "hi" `now`
all 100% $x 'q' \ "w" `c` 墨守
NAMES

# The icon in the sizes of the hicolor theme.
theme="$TMP/home1/.local/share/icons/hicolor"
for size in 48 256; do
    got=$(identify -format '%wx%h' "$theme/${size}x${size}/apps/inkwarden.png" 2>&1)
    [ "$got" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $got"
done
grep -q '<svg' "$theme/scalable/apps/inkwarden.svg" 2>/dev/null || fail "no scalable icon"

# The desktop folder that xdg-user-dirs names, not a new ~/Desktop.
home="$TMP/home-userdirs"
mkdir -p "$home"
HOME=$home xdg-user-dirs-update --set DESKTOP "$home/桌面" || fail "xdg-user-dirs-update failed"
install "$home" "$TMP/userdirs/Inkwarden" || fail "user-dirs: package failed: $(cat "$TMP/out")"
check_entry "$home/桌面/inkwarden.desktop"
[ ! -e "$home/Desktop" ] || fail "user-dirs: a ~/Desktop was made anyway"

# A folder name that no entry can carry fails with a message and writes no entry.
for bad in "$(printf 'control\001char')" "$(printf 'latin1 \351t\351')"; do
    home="$TMP/home-bad"
    rm -rf "$home"
    mkdir -p "$home"
    install "$home" "$TMP/$bad/Inkwarden"
    code=$?
    [ "$code" -eq 1 ] || fail "unfit folder name: exit $code, expected 1"
    grep -q "no UTF-8 text or holds control characters" "$TMP/out" ||
        fail "unfit folder name: no message: $(cat "$TMP/out")"
    [ ! -e "$home/.local/share/applications/inkwarden.desktop" ] ||
        fail "unfit folder name: an entry was written"
done

# A user who is not root installs for himself: the registry file is his own.
home="$TMP/user"
mkdir -p "$home"
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null 2>&1 || { echo "SKIP: setpriv is missing"; exit 77; }
    chown 65534:65534 "$home"
    as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
else
    as_user=""
fi
env -u INKWARDEN_REGISTRY HOME="$home" $as_user "$package" "-install_path:$home/.local/share/Inkwarden" \
    -desktop_link:0 -start_link:1 -bootup:0 -silent -union_id:57426 >"$TMP/out" 2>&1 ||
    fail "as a user: package failed: $(cat "$TMP/out")"
grep -q "\"InstallLocation\"=\"$home/.local/share/Inkwarden\"" "$home/.config/inkwarden/machine.reg" 2>/dev/null ||
    fail "as a user: the install location is not in ~/.config/inkwarden/machine.reg"
check_entry "$home/.local/share/applications/inkwarden.desktop"

[ $status -eq 0 ] && echo "PASS"
exit $status

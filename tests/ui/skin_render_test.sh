#!/bin/sh
# inkwarden-tool skin render as skin authors call it: every page of the compiled-in skin, the
# skin folder of the sources, a render at scale 2, and the answers to bad arguments.
# usage: skin_render_test.sh TOOL SKIN_FOLDER
set -u
tool=$1
skin=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail=0

is_png() {
    [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ]
}

for page in 0 1 2 3; do
    if ! "$tool" skin render --page "$page" -o "$out/page$page.png" >/dev/null ||
        ! is_png "$out/page$page.png"; then
        echo "page $page did not render"; fail=1
    fi
done
if ! "$tool" skin render --size 570x370 --set progress=500 --set btn_check_agree=true \
    --set install_custom.visible=false --page 1 -o "$out/set.png" "$skin" >/dev/null ||
    ! is_png "$out/set.png"; then
    echo "the skin folder with settings did not render"; fail=1
fi
# The PNG's width and height from its header.
png_size() {
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}
if ! "$tool" skin render --scale 2 -o "$out/scale2.png" >/dev/null ||
    [ "$(png_size "$out/scale2.png")" != 1140x1120 ]; then
    echo "scale 2 did not render at 1140x1120 ($(png_size "$out/scale2.png" 2>/dev/null))"; fail=1
fi
expect() {
    code=$1; shift
    "$tool" skin render "$@" >/dev/null 2>&1
    got=$?
    if [ "$got" -ne "$code" ]; then echo "skin render $*: exit $got, expected $code"; fail=1; fi
}
expect 2 --page 0
expect 2 --size 0x10 -o "$out/x.png"
expect 2 --scale 0 -o "$out/x.png"
expect 2 --scale 9 -o "$out/x.png"
expect 2 --scale 1.5 -o "$out/x.png"
expect 1 --page 9 -o "$out/x.png"
expect 1 --set nosuchcontrol=1 -o "$out/x.png"
expect 1 -o "$out/x.png" "$out/missing"
exit $fail

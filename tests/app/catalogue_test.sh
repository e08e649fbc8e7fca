#!/usr/bin/env bash
# The message catalogues are complete: the committed template holds exactly the texts of the
# code and the skin today, every po/<language>.po translates each of them (nothing
# missing, untranslated or fuzzy) and passes msgfmt --check, and the installer's menu entry
# names itself in each language.
#   catalogue_test.sh SOURCE_DIR
set -euo pipefail
root="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail=0

"$root/po/update" "$work/now.pot" 2>/dev/null
if ! msgcmp --use-untranslated "$root/po/inkwarden.pot" "$work/now.pot" 2>"$work/err" ||
    ! msgcmp --use-untranslated "$work/now.pot" "$root/po/inkwarden.pot" 2>>"$work/err"; then
    echo "FAIL: po/inkwarden.pot is not the texts of the code and the skin; run po/update"
    cat "$work/err"
    fail=1
fi

for po in "$root"/po/*.po; do
    language="$(basename "$po" .po)"
    if ! msgcmp "$po" "$work/now.pot" 2>"$work/err"; then
        echo "FAIL: $language lacks translations:"
        cat "$work/err"
        fail=1
    fi
    stats="$(msgfmt --check --statistics -o /dev/null "$po" 2>&1)" || {
        echo "FAIL: msgfmt --check $language: $stats"
        fail=1
    }
    if echo "$stats" | grep -Eq 'untranslated|fuzzy'; then
        echo "FAIL: $language: $stats"
        fail=1
    fi
    for key in Name Comment; do
        if ! grep -q "^$key\[$language\]=" "$root/packaging/inkwarden-installer.desktop"; then
            echo "FAIL: the menu entry has no $key[$language]"
            fail=1
        fi
    done
done

[ "$fail" -eq 0 ] && echo "catalogues complete"
exit "$fail"

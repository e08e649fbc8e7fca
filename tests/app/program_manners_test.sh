#!/bin/sh
# The command-line manners of every program: --help (usage on standard output, exit 0),
# --version (the project's version, exit 0), usage errors (exit 2, the usage on standard
# error, nothing on standard output); the tool's subcommands one by one.
# usage: program_manners_test.sh VERSION INSTALLER TOOL SERVICE PACKAGE PRODUCT
set -u
version=$1
installer=$2
tool=$3
shift
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

# run ARGS...: the exit code in $code, the output in $TMP/out and $TMP/err.
run() {
    "$@" >"$TMP/out" 2>"$TMP/err" </dev/null
    code=$?
}

# expect CODE WHAT PROGRAM ARGS...: the exit code; for 0 the usage on standard output and
# nothing on standard error, for a usage error the other way round.
expect() {
    want=$1
    what=$2
    shift 2
    run "$@"
    usage=out
    quiet=err
    [ "$want" -eq 0 ] || { usage=err; quiet=out; }
    [ "$code" -eq "$want" ] || fail "$what: exit $code, expected $want"
    grep -qi '^usage: ' "$TMP/$usage" || fail "$what: no usage on std$usage"
    [ ! -s "$TMP/$quiet" ] || fail "$what: std$quiet: $(cat "$TMP/$quiet")"
}
expect_help() { expect 0 "$@"; }
expect_usage_error() { expect 2 "$@"; }

for program in "$@"; do
    name=$(basename "$program")
    expect_help "$name --help" "$program" --help
    run "$program" --version
    [ "$code" -eq 0 ] || fail "$name --version: exit $code"
    [ "$(head -n1 "$TMP/out")" = "$name $version" ] ||
        fail "$name --version: '$(head -n1 "$TMP/out")', expected '$name $version'"
    # The installer ignores what it does not know, as its design says.
    [ "$program" = "$installer" ] || expect_usage_error "$name --no-such-option" "$program" --no-such-option
done

# The installer answers before it looks for a display: no window, so no event.
expect_help "installer --help without a display" env DISPLAY=:9999 WAYLAND_DISPLAY= "$installer" -test_url:x --help
run env DISPLAY=:9999 WAYLAND_DISPLAY= "$installer" -test_url:x
[ "$code" -eq 1 ] || fail "installer without a display: exit $code, expected 1"

# The tool: every subcommand's help and usage error, the groups, help itself.
for command in fetch machine-id cipher query event file-version install "skin render" \
    "skin show" "skin layout"; do
    # $command splits into the subcommand's words on purpose.
    expect_help "tool $command --help" "$tool" $command --help
    grep -q "^Usage: inkwarden-tool $command" "$TMP/out" || fail "tool $command --help: wrong usage"
    expect_usage_error "tool $command --no-such-option" "$tool" $command --no-such-option
    grep -q "^Usage: inkwarden-tool $command" "$TMP/err" || fail "tool $command: wrong usage"
done
expect_usage_error "tool" "$tool"
expect_usage_error "tool no-such-command" "$tool" no-such-command
expect_usage_error "tool fetch --connections 0" "$tool" fetch --connections 0 http://x/ "$TMP/x"
expect_usage_error "tool install --folder relative" "$tool" install --folder relative
expect_usage_error "tool skin" "$tool" skin
for command in render show layout; do
    grep -q "^  skin $command" "$TMP/err" || fail "tool skin: does not list skin $command"
done
expect_usage_error "tool skin no-such" "$tool" skin no-such
expect_help "tool skin --help" "$tool" skin --help
grep -q "^  skin layout" "$TMP/out" || fail "tool skin --help: does not list skin layout"
expect_help "tool help" "$tool" help
expect_help "tool help skin show" "$tool" help skin show
grep -q "^Usage: inkwarden-tool skin show" "$TMP/out" || fail "tool help skin show: wrong usage"
expect_help "tool -h" "$tool" -h

[ $status -eq 0 ] && echo "PASS"
exit $status

#!/bin/sh
# inkwarden-tool's release commands and its trust reports, against the real demo service:
#   release_tool_test.sh TOOL SERVICE PACKAGES RELEASE
set -eu
TOOL=$1 SERVICE=$2 PACKAGES=$3 RELEASE=$4
TMP=$(mktemp -d /tmp/inkwarden-release-tool-XXXXXX)
# The services' pids go to a file: start_service runs in a command substitution's subshell.
cleanup() {
    pids=$(cat "$TMP/pids" 2>/dev/null || true)
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    for pid in $pids; do
        while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
    done
    rm -rf "$TMP"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# The install writes shortcuts, the registry file and the package under these.
export HOME="$TMP/home" INKWARDEN_REGISTRY="$TMP/machine.reg" TMPDIR="$TMP/tmp"
mkdir -p "$HOME" "$TMPDIR"
unset XDG_DESKTOP_DIR XDG_DATA_HOME XDG_CONFIG_HOME

# keygen: a pair in the openssl formats, the private half the owner's alone, never overwritten.
"$TOOL" release keygen --private "$TMP/private.pem" --public "$TMP/public.pem" >/dev/null
[ "$(stat -c %a "$TMP/private.pem")" = 600 ] || fail "the private key is not mode 0600"
openssl pkey -pubin -in "$TMP/public.pem" -noout -text | grep -q "ED25519 Public-Key" ||
    fail "the public key is not an Ed25519 PEM key"
if "$TOOL" release keygen --private "$TMP/private.pem" --public "$TMP/x.pem" 2>/dev/null; then
    fail "keygen overwrote an existing key"
fi
[ ! -e "$TMP/x.pem" ] || fail "keygen left half a pair"

# digest: the two fields, as sha256sum and stat see the file.
package="$PACKAGES/InkwardenSetup.bin"
sha=$(sha256sum "$package" | cut -d' ' -f1)
size=$(stat -c %s "$package")
"$TOOL" release digest "$package" >"$TMP/digest"
printf '"Package_sha256": "%s",\n"Package_size": %s\n' "$sha" "$size" | cmp -s - "$TMP/digest" ||
    fail "digest printed $(cat "$TMP/digest")"

start_service() { # LOG ARGS...: prints the service's address
    log=$1
    shift
    "$SERVICE" --port 0 --release "$RELEASE" --packages "$PACKAGES" "$@" >"$log" 2>&1 &
    echo $! >>"$TMP/pids"
    for _ in $(seq 100); do
        grep -q 'listening on' "$log" && break
        sleep 0.1
    done
    sed -n 's/.*listening on //p' "$log" | head -n1
}

# query: signed by the key it is given, checked against a key of the caller's choice.
signed=$(start_service "$TMP/signed.log" --signing-key "$TMP/private.pem")
"$TOOL" query --service "$signed" --public-key "$TMP/public.pem" >"$TMP/query" ||
    fail "query of a signed reply: $(cat "$TMP/query")"
grep -qx "signature: signed, signature holds" "$TMP/query" || fail "$(cat "$TMP/query")"
grep -qx "Package_sha256: $sha" "$TMP/query" || fail "$(cat "$TMP/query")"
"$TOOL" release keygen --private "$TMP/other-private.pem" --public "$TMP/other.pem" >/dev/null
if "$TOOL" query --service "$signed" --public-key "$TMP/other.pem" >"$TMP/query"; then
    fail "a reply signed with another key passed"
fi
grep -qx "signature: signed, signature does not hold" "$TMP/query" || fail "$(cat "$TMP/query")"

unsigned=$(start_service "$TMP/unsigned.log" --no-signing)
if "$TOOL" query --service "$unsigned" --public-key "$TMP/public.pem" >"$TMP/query"; then
    fail "an unsigned reply passed with a key"
fi
grep -qx "signature: not signed" "$TMP/query" || fail "$(cat "$TMP/query")"
grep -qx "check: the reply is not signed" "$TMP/query" || fail "$(cat "$TMP/query")"

# install --folder: a folder that would split the package's command line is refused before
# anything is asked, and nothing is made.
queries_before=$(grep -c '^query:' "$TMP/signed.log" || true)
for folder in "$TMP/x\" -install_path:\"$TMP/elsewhere" "$TMP/line
break"; do
    status=0
    # On a Chinese desktop the refusal reads Chinese.
    LC_ALL=zh_CN.UTF-8 LANGUAGE= "$TOOL" install --folder "$folder" --service "$signed" \
        >"$TMP/install" 2>&1 || status=$?
    [ "$status" = 2 ] || fail "install --folder exited $status: $(cat "$TMP/install")"
    grep -q "安装路径非法" "$TMP/install" || fail "$(cat "$TMP/install")"
done
[ "$(grep -c '^query:' "$TMP/signed.log" || true)" = "$queries_before" ] ||
    fail "a refused folder still queried the service"
[ ! -e "$TMP/elsewhere" ] && [ ! -e "$TMP/x\" -install_path:\"$TMP" ] ||
    fail "a refused folder was created"

# install: which check failed, when the build has a key; a whole install with the build's key.
if "$TOOL" query --service "$unsigned" | grep -q '^check: passed (no key'; then
    echo "no release key compiled in: the install checks are not exercised"
    exit 0
fi
if "$TOOL" install --folder "$TMP/opt/Inkwarden" --service "$unsigned" >"$TMP/install" 2>&1; then
    fail "an unsigned reply installed"
fi
grep -qx "check failed: the reply is not signed" "$TMP/install" || fail "$(cat "$TMP/install")"
[ ! -e "$TMP/tmp/InkwardenTemp.exe" ] || fail "a package was fetched for an unsigned reply"
built=$(start_service "$TMP/built.log")
"$TOOL" install --folder "$TMP/opt/Inkwarden" --service "$built" >"$TMP/install" 2>&1 ||
    fail "install with the build's key: $(cat "$TMP/install")"
grep -q "release check: reply signed, signature holds" "$TMP/install" || fail "$(cat "$TMP/install")"
grep -q "package check: size $size, SHA-256 $sha verified" "$TMP/install" ||
    fail "$(cat "$TMP/install")"
echo "release tool: ok"

#!/bin/sh
# inkwarden-tool's release commands and its trust reports, against the real demo service:
#   release_tool_test.sh TOOL SERVICE PACKAGES RELEASE [BUILD_ROOT_PRIVATE_KEY]
set -eu
TOOL=$1 SERVICE=$2 PACKAGES=$3 RELEASE=$4 BUILD_ROOT=${5:-}
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
# The package folder of this run alone (root would share /var/cache/inkwarden).
export INKWARDEN_CACHE_DIR="$TMP/tmp"
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

# query --public-key: a key file that is missing, empty, a folder or not a public key is an
# error (status 2), never "no key".
: >"$TMP/empty.pem"
mkdir "$TMP/folder.pem"
for key in "$TMP/missing.pem" "$TMP/empty.pem" "$TMP/folder.pem" "$TMP/private.pem"; do
    status=0
    "$TOOL" query --service "$unsigned" --public-key "$key" >"$TMP/query" 2>&1 || status=$?
    [ "$status" = 2 ] || fail "query --public-key $key exited $status: $(cat "$TMP/query")"
    ! grep -q '^check:' "$TMP/query" || fail "query --public-key $key checked: $(cat "$TMP/query")"
done

# certify: the header value, checked here with openssl alone: the exact text, signed by the
# root.
"$TOOL" release keygen --private "$TMP/signing-private.pem" --public "$TMP/signing.pem" >/dev/null
"$TOOL" release certify --root-private "$TMP/private.pem" --signing-public "$TMP/signing.pem" \
    --days 30 >"$TMP/certificate" || fail "certify failed"
certificate=$(cat "$TMP/certificate")
printf '%s' "${certificate%%.*}" | base64 -d >"$TMP/certificate.txt"
printf '%s' "${certificate#*.}" | base64 -d >"$TMP/certificate.sig"
raw_key=$(openssl pkey -pubin -in "$TMP/signing.pem" -outform DER | tail -c 32 | base64)
printf 'inkwarden-signing-key-1\nkey %s\nnot-after %sT' "$raw_key" "$(date -u -d '+30 days' +%F)" \
    >"$TMP/certificate.expected"
head -c "$(wc -c <"$TMP/certificate.expected")" "$TMP/certificate.txt" |
    cmp -s - "$TMP/certificate.expected" || fail "certificate text: $(cat "$TMP/certificate.txt")"
tail -c 10 "$TMP/certificate.txt" | grep -qE '^[0-9]{2}:[0-9]{2}:[0-9]{2}Z$' ||
    fail "certificate time: $(cat "$TMP/certificate.txt")"
openssl pkeyutl -verify -pubin -inkey "$TMP/public.pem" -rawin -in "$TMP/certificate.txt" \
    -sigfile "$TMP/certificate.sig" >/dev/null || fail "the root's signature does not hold"
for days in 0 3651 x; do
    status=0
    "$TOOL" release certify --root-private "$TMP/private.pem" --signing-public "$TMP/signing.pem" \
        --days $days >/dev/null 2>&1 || status=$?
    [ "$status" = 2 ] || fail "certify --days $days exited $status"
done

# The service signs with the certified key and sends the certificate; the root checks both.
certified=$(start_service "$TMP/certified.log" --signing-key "$TMP/signing-private.pem" \
    --signing-certificate "$TMP/certificate")
"$TOOL" query --service "$certified" --public-key "$TMP/public.pem" >"$TMP/query" ||
    fail "query of a certified key's reply: $(cat "$TMP/query")"
grep -qx "signature: signed, signature holds" "$TMP/query" || fail "$(cat "$TMP/query")"
grep -q "^signing key: certified by the root until $(date -u -d '+30 days' +%F)T" "$TMP/query" ||
    fail "$(cat "$TMP/query")"
# A certificate for another key than the signing key stops the service at its start.
status=0
timeout 10 "$SERVICE" --port 0 --release "$RELEASE" --signing-key "$TMP/other-private.pem" \
    --signing-certificate "$TMP/certificate" >"$TMP/mismatch.log" 2>&1 || status=$?
[ "$status" = 1 ] && grep -q "another key" "$TMP/mismatch.log" ||
    fail "a mismatched certificate: status $status, $(cat "$TMP/mismatch.log")"
# The certified key alone is no root.
if "$TOOL" query --service "$certified" --public-key "$TMP/signing.pem" >"$TMP/query"; then
    fail "the signing key passed as a root"
fi

# bundle: the three files, the signature checked with openssl over the context and the bytes.
"$TOOL" release bundle --root-private "$TMP/private.pem" --package "$package" --version 1.2.3.4 \
    --days 10 --out "$TMP/bundle" >/dev/null || fail "bundle failed"
cmp -s "$package" "$TMP/bundle/InkwardenSetup.bin" || fail "the bundle's package differs"
{ printf 'inkwarden-offline-release-1\n'; cat "$TMP/bundle/release.json"; } >"$TMP/bundle.msg"
base64 -d "$TMP/bundle/release.json.sig" >"$TMP/bundle.sig"
openssl pkeyutl -verify -pubin -inkey "$TMP/public.pem" -rawin -in "$TMP/bundle.msg" \
    -sigfile "$TMP/bundle.sig" >/dev/null || fail "the bundle's signature does not hold"
python3 - "$TMP/bundle/release.json" "$sha" "$size" <<'PY' || fail "release.json: $(cat "$TMP/bundle/release.json")"
import json, sys
release = json.load(open(sys.argv[1]))
assert release["Version_number"] == "1.2.3.4"
assert release["Package_file"] == "InkwardenSetup.bin"
assert release["Package_sha256"] == sys.argv[2] and release["Package_size"] == int(sys.argv[3])
assert len(release["Not_after"]) == 20 and release["Not_after"].endswith("Z")
PY
if "$TOOL" release bundle --root-private "$TMP/private.pem" --package "$package" \
    --version 1.2.3.4 --days 10 --out "$TMP/bundle" >/dev/null 2>&1; then
    fail "bundle overwrote an existing bundle"
fi

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
grep -q "release check: reply signed by a key certified until 20" "$TMP/install" || fail "$(cat "$TMP/install")"
grep -q "package check: size $size, SHA-256 $sha verified" "$TMP/install" ||
    fail "$(cat "$TMP/install")"

# install --offline: a bundle signed by the build's root installs with no service anywhere; one
# signed by another root does not.
if [ -n "$BUILD_ROOT" ]; then
    version=$(sed -n 's/.*"Version_number": *"\([^"]*\)".*/\1/p' "$RELEASE")
    "$TOOL" release bundle --root-private "$BUILD_ROOT" --package "$package" --version "$version" \
        --days 1 --out "$TMP/offline" >/dev/null || fail "bundle with the build's root failed"
    rm -rf "$TMP/opt" "$TMP/tmp"/*
    nowhere=http://127.0.0.1:1
    "$TOOL" install --folder "$TMP/opt/Inkwarden" --service "$nowhere" --offline "$TMP/offline" \
        >"$TMP/install" 2>&1 || fail "offline install: $(cat "$TMP/install")"
    grep -q "^offline bundle check: release.json signed by the release key" "$TMP/install" ||
        fail "$(cat "$TMP/install")"
    grep -q "^installed: $TMP/opt/Inkwarden/InkwardenMain.exe" "$TMP/install" ||
        fail "$(cat "$TMP/install")"
    rm -rf "$TMP/opt"
    if "$TOOL" install --folder "$TMP/opt/Inkwarden" --service "$nowhere" --offline "$TMP/bundle" \
        >"$TMP/install" 2>&1; then
        fail "a bundle of another root installed"
    fi
    grep -q "the bundle's signature does not hold" "$TMP/install" || fail "$(cat "$TMP/install")"
    [ ! -e "$TMP/opt/Inkwarden/InkwardenMain.exe" ] || fail "a refused bundle installed"
fi
echo "release tool: ok"

#!/usr/bin/env bash
# https as a user meets it: nginx with TLS on loopback, its certificate signed by a CA that
# this test makes. The tool trusts the server through --ca-bundle, refuses it without (the
# system's store does not know the CA) and refuses it under another host name; a refused
# certificate has its own cause and is not tried again. Two probes carry the checks of other
# builds: one with a pinned CA bundle (the test puts its CA there), one with checks off.
# usage: tls_test.sh TOOL DEMO_SERVICE RELEASE_JSON PINNED_PROBE PINNED_BUNDLE UNVERIFIED_PROBE
set -u
source "$(dirname "${BASH_SOURCE[0]}")/nginx_common.sh"
tool=$1 service=$2 release=$3 pinned_probe=$4 pinned_bundle=$5 unverified_probe=$6
work=$(mktemp -d /tmp/iw-tls-test.XXXXXX)
# The package folder of this run alone (root would share /var/cache/inkwarden).
export INKWARDEN_CACHE_DIR="$work/cache"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
fail=0
check() { # check DESCRIPTION COMMAND...: the command must succeed
    local what=$1; shift
    if ! "$@"; then echo "FAILED: $what"; fail=1; fi
}

# The CA, and the server's certificate for localhost alone.
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Inkwarden test CA" \
    -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout server.key -out server.csr 2>/dev/null
printf 'subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\n' >server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile server.ext -out server.pem 2>/dev/null
check "the test CA signed the server's certificate" openssl verify -CAfile ca.pem server.pem >/dev/null

# The demo service behind nginx's TLS, as a deployment runs it.
demo_port=$(free_port)
"$service" --port "$demo_port" --release "$release" --data "$work/data" >"$work/service.log" 2>&1 &
pids+=($!)
mkdir -p "$work/html" "$work/tmp"
head -c 300000 /dev/urandom >"$work/html/file.bin"
port=$(free_port)
cat >"$work/nginx.conf" <<CONF
$(nginx_head "$work" info)
http {
  access_log $work/access.log;
$(nginx_temp_paths "$work")
  server {
    listen 127.0.0.1:$port ssl;
    ssl_certificate $work/server.pem;
    ssl_certificate_key $work/server.key;
    location /files/ { alias $work/html/; }
    location / { proxy_pass http://127.0.0.1:$demo_port; }
  }
}
CONF
timeout 110 /usr/sbin/nginx -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
pids+=($!)
for _ in $(seq 50); do
    grep -q 'listening on' "$work/service.log" && curl -s --cacert ca.pem -o /dev/null "https://localhost:$port/files/file.bin" && break
    sleep 0.1
done
https="https://localhost:$port"
other="https://127.0.0.1:$port"
untrusted="the update service's certificate is not trusted"

# fetch: trusted through the bundle; refused without it and under another name, at once.
"$tool" fetch --ca-bundle ca.pem "$https/files/file.bin" out.bin >/dev/null 2>stderr
check "fetch through --ca-bundle: $(cat stderr)" cmp -s out.bin "$work/html/file.bin"
refused() { # refused DESCRIPTION OUTPUT_FILE: the cause is named, on one line
    if ! grep -qF "$untrusted" "$2"; then echo "FAILED: $1: $(cat "$2")"; fail=1; fi
}
handshakes() { grep -c 'SSL_do_handshake() failed' "$work/error.log"; }
before=$(handshakes)
"$tool" fetch "$https/files/file.bin" refused.bin >/dev/null 2>stderr
check "fetch without the bundle fails" test $? -eq 1 -a ! -e refused.bin
refused "fetch without the bundle" stderr
check "a refused certificate is not tried again ($(( $(handshakes) - before )) handshakes)" \
    test $(( $(handshakes) - before )) -eq 1
"$tool" fetch --ca-bundle ca.pem "$other/files/file.bin" refused.bin >/dev/null 2>stderr
refused "fetch under another host name" stderr
"$tool" fetch --ca-bundle missing.pem "$https/files/file.bin" refused.bin >/dev/null 2>stderr
check "a missing bundle is a usage error" grep -qF "cannot read the CA bundle missing.pem" stderr

# query and event: the same, through the service.
"$tool" query --service "$https" --ca-bundle ca.pem >stdout 2>stderr
check "query through --ca-bundle: $(cat stderr)" grep -q '^Version_number: 3.2.1.0' stdout
"$tool" query --service "$https" >stdout 2>stderr
refused "query without the bundle" stderr
"$tool" event 1 --service "$https" --ca-bundle ca.pem >stdout 2>stderr
check "event through --ca-bundle: $(cat stderr)" grep -qx 'answer: 1' stdout
"$tool" event 1 --ca-bundle ca.pem --service "$other" >stdout 2>stderr
refused "event under another host name" stderr

# A build with INKWARDEN_CA_BUNDLE: trusts what that bundle trusts, and nothing without it.
mkdir -p "$(dirname "$pinned_bundle")"
rm -f "$pinned_bundle"
check "the pinned build refuses while its bundle is missing" \
    bash -c '! "$0" "$1" >/dev/null' "$pinned_probe" "$https/files/file.bin"
cp ca.pem "$pinned_bundle"
check "the pinned build trusts its bundle's CA" "$pinned_probe" "$https/files/file.bin"
check "the pinned build refuses another host name" \
    bash -c '! "$0" "$1" >/dev/null' "$pinned_probe" "$other/files/file.bin"
rm -f "$pinned_bundle"
# A build with INKWARDEN_TLS_VERIFY=OFF takes any certificate under any name.
check "the build without checks takes an unknown CA" "$unverified_probe" "$https/files/file.bin"
check "the build without checks takes another host name" "$unverified_probe" "$other/files/file.bin"

# install: the attempt names the certificate as its cause.
"$tool" install --folder "$work/product" --service "$https" >stdout 2>stderr
check "install without the bundle names the certificate: $(cat stdout)" \
    grep -qF "install failed: $untrusted" stdout
exit $fail

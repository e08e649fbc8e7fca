#!/usr/bin/env bash
# inkwarden-tool fetch as a user runs it, against Debian's nginx on loopback: quiet unless
# --verbose, one line that says why a fetch failed, the old file kept, and a fetch killed half
# way that the next one continues (counted by the bytes that nginx sent).
# usage: fetch_test.sh TOOL
set -u
source "$(dirname "${BASH_SOURCE[0]}")/nginx_common.sh"
tool=$1
work=$(mktemp -d /tmp/iw-fetch-test.XXXXXX)
nginx_pid=
cleanup() {
    if [[ -n "$nginx_pid" ]]; then kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail=0
check() { # check DESCRIPTION COMMAND...: the command must succeed
    local what=$1; shift
    if ! "$@"; then echo "FAILED: $what"; fail=1; fi
}

mkdir -p "$work/html" "$work/tmp" "$work/out"
head -c $((8 << 20)) /dev/urandom >"$work/html/file.bin"
port=$(free_port)
cat >"$work/nginx.conf" <<CONF
$(nginx_head "$work" warn)
http {
  log_format sent '\$uri \$bytes_sent \$msec \$request_time';
  access_log $work/access.log sent;
$(nginx_temp_paths "$work")
  server {
    listen 127.0.0.1:$port;
    root $work/html;
    location /slow/ { alias $work/html/; limit_rate 128k; }
  }
}
CONF
timeout 110 /usr/sbin/nginx -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
nginx_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
base="http://127.0.0.1:$port"

# Quiet by default: nothing on standard output; the probe's header lines only when asked.
"$tool" fetch "$base/file.bin" "$work/out/a.bin" >"$work/stdout" 2>"$work/stderr"
check "fetch succeeds" cmp -s "$work/out/a.bin" "$work/html/file.bin"
check "no header lines without --verbose" test ! -s "$work/stdout"
"$tool" fetch --verbose "$base/file.bin" "$work/out/b.bin" >"$work/stdout" 2>/dev/null
check "header lines with --verbose" grep -qi '^content-length: 8388608' "$work/stdout"

# One line on standard error that says why, and exit code 1.
reason() { # reason EXPECTED URL PATH
    "$tool" fetch "$2" "$3" >/dev/null 2>"$work/stderr"
    local code=$?
    if [[ $code != 1 ]] || ! grep -qF -- "$1" "$work/stderr" || [[ $(wc -l <"$work/stderr") != 1 ]]; then
        echo "FAILED: '$1' for $2 -> $3 (exit $code): $(cat "$work/stderr")"; fail=1
    fi
}
reason "fetch: HTTP status 404" "$base/missing.bin" "$work/out/c.bin"
closed=$(free_port)
reason "fetch: Couldn't connect to server" "http://127.0.0.1:$closed/file.bin" "$work/out/c.bin"
mkdir "$work/out/folder"
reason "fetch: $work/out/folder is a folder" "$base/file.bin" "$work/out/folder"
reason "fetch: $work/out/nowhere: no such folder" "$base/file.bin" "$work/out/nowhere/c.bin"
mkfifo "$work/out/fifo"
reason "fetch: $work/out/fifo is not a regular file" "$base/file.bin" "$work/out/fifo"
check "the FIFO stays a FIFO" test -p "$work/out/fifo"
"$tool" fetch "$base/file.bin" "" >/dev/null 2>&1
check "an empty PATH is a usage error" test $? = 2

# A release file bounds the fetch by its size and checks its digest.
digest=$(sha256sum "$work/html/file.bin" | cut -d' ' -f1)
printf '{"Package_size": 8388608, "Package_sha256": "%s"}' "$digest" >"$work/release.json"
"$tool" fetch --release "$work/release.json" "$base/file.bin" "$work/out/r.bin" >/dev/null 2>&1
check "a fetch with its release file succeeds" cmp -s "$work/out/r.bin" "$work/html/file.bin"
printf '{"Package_size": 612}' >"$work/small.json"
"$tool" fetch --release "$work/small.json" "$base/file.bin" "$work/out/s.bin" >/dev/null 2>"$work/stderr"
check "another size fails before any data" grep -qF "fetch: the server announces 8388608 bytes, the release says 612" "$work/stderr"
check "nothing is left of it" test ! -e "$work/out/s.bin" -a ! -e "$work/out/s.bin.tmp"
printf '{"Package_sha256": "%s"}' "$(printf '0%.0s' $(seq 64))" >"$work/wrong.json"
"$tool" fetch --release "$work/wrong.json" "$base/file.bin" "$work/out/w.bin" >/dev/null 2>&1
check "a file unlike the release's digest is removed" test ! -e "$work/out/w.bin"

# Mirrors: --mirror and the release file's "Package_mirrors" add sources; one line per source
# says how many bytes it served, and a mirror that is down costs only itself.
closed=$(free_port)
printf '{"Package_size": 8388608, "Package_sha256": "%s", "Package_mirrors": ["%s"]}' "$digest" \
    "http://127.0.0.1:$closed/file.bin" >"$work/mirrors.json"
"$tool" fetch --release "$work/mirrors.json" --mirror "$base/slow/file.bin" "$base/file.bin" \
    "$work/out/m.bin" >"$work/stdout" 2>/dev/null
check "a fetch from mirrors succeeds" cmp -s "$work/out/m.bin" "$work/html/file.bin"
check "one line per source" test "$(grep -cE '^source http[^ ]*: [0-9]+ bytes$' "$work/stdout")" = 3
check "the closed mirror is dropped" grep -q "^source http://127.0.0.1:$closed/file.bin dropped: " "$work/stdout"
"$tool" fetch --mirror "ftp://127.0.0.1/file.bin" "$base/file.bin" "$work/out/n.bin" >/dev/null 2>&1
check "a mirror that is not http is a usage error" test $? = 2
# release digest --json with a piece size: one object whose fields fetch --release takes; each
# piece digest is the SHA-256 of its piece (8 MiB in 1 MiB pieces).
"$tool" release digest --json --piece-size 1048576 "$work/html/file.bin" >"$work/pieces.json"
check "the digest's JSON names the file and its pieces" python3 - "$work/pieces.json" "$work/html/file.bin" <<'PY'
import hashlib, json, sys
fields = json.load(open(sys.argv[1]))
data = open(sys.argv[2], "rb").read()
pieces = [hashlib.sha256(data[i:i + 1048576]).hexdigest() for i in range(0, len(data), 1048576)]
assert fields == {"Package_sha256": hashlib.sha256(data).hexdigest(), "Package_size": len(data),
                  "Package_piece_size": 1048576, "Package_piece_sha256": pieces}, fields
PY
"$tool" fetch --release "$work/pieces.json" "$base/file.bin" "$work/out/p.bin" >/dev/null 2>&1
check "a fetch with the release's piece digests succeeds" cmp -s "$work/out/p.bin" "$work/html/file.bin"
# A piece that never matches its digest is asked for again a few times, then the fetch fails
# and says which.
python3 -c 'import json, sys; f = json.load(open(sys.argv[1])); f["Package_piece_sha256"][6] = "0" * 64; print(json.dumps(f))' \
    "$work/pieces.json" >"$work/badpiece.json"
"$tool" fetch --release "$work/badpiece.json" "$base/file.bin" "$work/out/bp.bin" >/dev/null 2>"$work/stderr"
check "a piece that never matches fails the fetch" grep -qF "piece 6 failed its digest 3 times" "$work/stderr"
check "and leaves no file" test ! -e "$work/out/bp.bin"
"$tool" release digest --piece-size 1000 "$work/html/file.bin" >/dev/null 2>&1
check "a piece size that is no power of two is a usage error" test $? = 2

# A failed fetch leaves an existing file as it was.
echo "the old file" >"$work/out/old.bin"
"$tool" fetch "$base/missing.bin" "$work/out/old.bin" >/dev/null 2>&1
check "the old file is kept" grep -qx "the old file" "$work/out/old.bin"

# Killed about half way (6 connections at 128 KiB/s each: about 11 s for 8 MiB, so that the
# record, rewritten once a second, lags by less than a tenth), then run
# again: the requests of the second run get no more than 60 % of the file from the server.
"$tool" fetch "$base/slow/file.bin" "$work/out/d.bin" >/dev/null 2>&1 &
fetch_pid=$!
for _ in $(seq 400); do
    done_kib=$(du -k "$work/out/d.bin.tmp" 2>/dev/null | cut -f1)
    [[ ${done_kib:-0} -ge 4096 ]] && break
    sleep 0.05
done
kill -KILL "$fetch_pid"; wait "$fetch_pid" 2>/dev/null
mark=$(date +%s.%N)
check "a control file was left" test -s "$work/out/d.bin.tmp.resume"
"$tool" fetch "$base/slow/file.bin" "$work/out/d.bin" >/dev/null 2>&1
check "the continued file is exact" cmp -s "$work/out/d.bin" "$work/html/file.bin"
check "no temporary or control file remains" test ! -e "$work/out/d.bin.tmp" -a ! -e "$work/out/d.bin.tmp.resume"
sleep 0.3
second=$(awk -v mark="$mark" '$1 ~ /^\/slow\// && $3 - $4 >= mark { s += $2 } END { print s + 0 }' "$work/access.log")
if (( second > (8 << 20) * 60 / 100 )); then
    echo "FAILED: the second run took $second bytes of $((8 << 20))"; fail=1
fi
# --no-resume fetches everything again.
"$tool" fetch --no-resume "$base/file.bin" "$work/out/d.bin" >/dev/null 2>&1
check "--no-resume still gives the file" cmp -s "$work/out/d.bin" "$work/html/file.bin"
exit $fail

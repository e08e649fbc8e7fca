#!/usr/bin/env python3
"""A forward proxy for plain http that signs users in with Digest (RFC 7616, MD5, qop=auth),
as an office proxy may: no valid Proxy-Authorization, and it answers 407 with a Digest
challenge; with one, it forwards the request (Range and all) and relays the answer.

usage: digest_proxy.py PORT USER PASSWORD
Prints "listening" once it takes connections; every request line goes to standard output.
"""

import hashlib
import http.client
import http.server
import os
import re
import sys
import urllib.parse

REALM = "inkwarden-test"
FORWARDED = ("Range", "If-Range", "Accept", "User-Agent", "Content-Type", "Content-Length")


def md5(text):
    return hashlib.md5(text.encode()).hexdigest()


class Proxy(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    nonces = set()

    def log_message(self, format, *args):
        sys.stdout.write("%s %s\n" % (self.command, self.path))
        sys.stdout.flush()

    def challenge(self):
        nonce = os.urandom(16).hex()
        Proxy.nonces.add(nonce)
        self.send_response(407)
        self.send_header("Proxy-Authenticate",
                         'Digest realm="%s", nonce="%s", qop="auth", algorithm=MD5' % (REALM, nonce))
        self.send_header("Content-Length", "0")
        self.end_headers()

    def signed_in(self):
        header = self.headers.get("Proxy-Authorization", "")
        if not header.startswith("Digest "):
            return False
        fields = dict(re.findall(r'(\w+)="?([^",]*)"?', header[len("Digest "):]))
        if fields.get("username") != USER or fields.get("nonce") not in Proxy.nonces:
            return False
        ha1 = md5("%s:%s:%s" % (USER, REALM, PASSWORD))
        ha2 = md5("%s:%s" % (self.command, fields.get("uri", "")))
        expected = md5(":".join([ha1, fields["nonce"], fields.get("nc", ""),
                                 fields.get("cnonce", ""), fields.get("qop", ""), ha2]))
        return fields.get("response") == expected

    def forward(self):
        if not self.signed_in():
            self.challenge()
            return
        target = urllib.parse.urlsplit(self.path)
        length = int(self.headers.get("Content-Length", "0") or 0)
        body = self.rfile.read(length) if length else None
        upstream = http.client.HTTPConnection(target.hostname, target.port or 80, timeout=30)
        headers = {k: v for k, v in self.headers.items() if k in FORWARDED}
        headers["Via"] = "1.1 digest-proxy"
        path = target.path + ("?" + target.query if target.query else "")
        upstream.request(self.command, path or "/", body=body, headers=headers)
        answer = upstream.getresponse()
        data = answer.read()
        self.send_response(answer.status)
        for name, value in answer.getheaders():
            if name.lower() not in ("connection", "transfer-encoding", "content-length"):
                self.send_header(name, value)
        # A HEAD answer announces the length of the body it leaves out.
        length = answer.getheader("Content-Length") if self.command == "HEAD" else None
        self.send_header("Content-Length", length if length is not None else str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)
        upstream.close()

    do_GET = do_HEAD = do_POST = forward


if __name__ == "__main__":
    PORT, USER, PASSWORD = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Proxy)
    print("listening", flush=True)
    server.serve_forever()

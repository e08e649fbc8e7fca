#!/usr/bin/env python3
"""A package server on loopback for bench/pieces: serves one file with byte ranges and a
strong tag, and misbehaves when asked to.

usage: piece_server.py PORT FILE LOG [--damage OFFSET] [--announce LENGTH] [--lifetime 900]
  --damage OFFSET    the first answer whose range covers OFFSET carries a wrong byte there
  --announce LENGTH  HEAD and GET announce LENGTH bytes; GETs stream zeros until the client
                     goes
Every GET appends "RANGE BYTES_SENT" to LOG. Prints "ready" once it listens."""
import argparse
import http.server
import os
import re
import signal
import threading

CHUNK = 1 << 20


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("file")
    parser.add_argument("log")
    parser.add_argument("--damage", type=int, default=-1)
    parser.add_argument("--announce", type=int, default=0)
    parser.add_argument("--lifetime", type=int, default=900)
    args = parser.parse_args()
    size = os.path.getsize(args.file)
    lock = threading.Lock()
    state = {"damaged": False}

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *_):
            pass

        def head_lines(self, status, length, extra=()):
            self.send_response(status)
            self.send_header("Accept-Ranges", "bytes")
            self.send_header("ETag", '"v1"')
            self.send_header("Content-Length", str(length))
            self.send_header("Connection", "close")
            for name, value in extra:
                self.send_header(name, value)
            self.end_headers()

        def do_HEAD(self):
            self.head_lines(200, args.announce or size)

        def do_GET(self):
            sent = 0
            try:
                if args.announce:
                    self.head_lines(200, args.announce)
                    zeros = bytes(CHUNK)
                    while sent < args.announce:
                        self.wfile.write(zeros)
                        sent += CHUNK
                    return
                match = re.match(r"bytes=(\d+)-(\d*)$", self.headers.get("Range", ""))
                first = int(match.group(1)) if match else 0
                last = int(match.group(2)) if match and match.group(2) else size - 1
                last = min(last, size - 1)
                damage = False
                if first <= args.damage <= last:
                    with lock:
                        damage = not state["damaged"]
                        state["damaged"] = True
                if match:
                    self.head_lines(206, last - first + 1,
                                    [("Content-Range", f"bytes {first}-{last}/{size}")])
                else:
                    self.head_lines(200, size)
                with open(args.file, "rb") as source:
                    source.seek(first)
                    at = first
                    while at <= last:
                        data = bytearray(source.read(min(CHUNK, last + 1 - at)))
                        if damage and at <= args.damage < at + len(data):
                            data[args.damage - at] ^= 0x5A
                        self.wfile.write(data)
                        at += len(data)
                        sent += len(data)
            except (BrokenPipeError, ConnectionResetError):
                pass
            finally:
                with lock, open(args.log, "a") as log:
                    log.write(f"{self.headers.get('Range', '-')} {sent}\n")

    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    threading.Timer(args.lifetime, lambda: os._exit(0)).start()
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()

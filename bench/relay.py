#!/usr/bin/env python3
"""A far-away server on loopback: relays TCP connections to an upstream port, holding every
chunk DELAY ms in each direction and keeping at most WINDOW bytes of each direction in flight
until their acknowledgement would be back (one round trip later), so that a single
connection gets about WINDOW / (2 x DELAY) bytes a second, as over a long link. A new
connection's first bytes wait one round trip more (the handshake).

usage: relay.py LISTEN_PORT UPSTREAM_PORT [--delay-ms 40] [--window 65536] [--lifetime 900]
Prints "ready" once it listens; ends by itself after LIFETIME seconds, or on SIGTERM."""
import argparse
import asyncio
import signal
import sys

CHUNK = 16384


async def pipe(reader, writer, delay, window, head_start):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()
    in_flight = 0
    room = asyncio.Event()
    room.set()

    def release(length):
        nonlocal in_flight
        in_flight -= length
        if in_flight < window:
            room.set()

    async def receive():
        nonlocal in_flight
        await asyncio.sleep(head_start)
        while True:
            await room.wait()
            data = await reader.read(min(CHUNK, window - in_flight))
            due = loop.time() + delay
            await queue.put((due, data))
            if not data:
                return
            in_flight += len(data)
            if in_flight >= window:
                room.clear()

    async def deliver():
        while True:
            due, data = await queue.get()
            await asyncio.sleep(max(0.0, due - loop.time()))
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()
            loop.call_at(due + delay, release, len(data))

    try:
        await asyncio.gather(receive(), deliver())
    except (ConnectionError, OSError):
        pass


async def serve(args):
    delay = args.delay_ms / 1000.0

    async def connection(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", args.upstream)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(
            pipe(client_reader, server_writer, delay, args.window, 2 * delay),
            pipe(server_reader, client_writer, delay, args.window, 0.0),
            return_exceptions=True)
        for writer in (client_writer, server_writer):
            writer.close()

    server = await asyncio.start_server(connection, "127.0.0.1", args.port)
    print("ready", flush=True)
    stop = asyncio.Event()
    asyncio.get_running_loop().add_signal_handler(signal.SIGTERM, stop.set)
    try:
        await asyncio.wait_for(stop.wait(), timeout=args.lifetime)
    except asyncio.TimeoutError:
        pass
    server.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("port", type=int)
    parser.add_argument("upstream", type=int)
    parser.add_argument("--delay-ms", type=float, default=40)
    parser.add_argument("--window", type=int, default=65536)
    parser.add_argument("--lifetime", type=float, default=900)
    asyncio.run(serve(parser.parse_args()))


if __name__ == "__main__":
    sys.exit(main())

"""An emulated wide-area link on loopback: a TCP relay in front of one server
that delays every byte by a fixed time in each direction and sends everything
towards the clients through one shared downstream of a fixed rate.

    wanlink.py --listen PORT --to PORT [--delay-ms 40] [--mbit 50]
               [--window KIB] [--lifetime S] [--trace]

Each connection accepted on 127.0.0.1:LISTEN gets its own connection to
127.0.0.1:TO. What a client sends reaches the server `delay` later; a new
connection carries nothing for one round trip first, as a TCP handshake over
the link would take. What the server sends queues for the shared downstream
(first come, first served, at `mbit`), then travels `delay` more. A connection
holds at most `window` KiB on its way down; the relay stops reading from its
server until some of that has arrived, so parallel transfers share the link
rather than one of them filling it.

The relay prints "ready PORT" once it listens and ends after `lifetime`
seconds whatever happens, or when its standard input closes; on its way out
it says on standard error how many connections it relayed."""

import argparse
import asyncio
import sys


class Link:
    """The shared downstream: when it is free again."""

    def __init__(self, bits_per_second):
        self.rate = bits_per_second / 8.0
        self.free_at = 0.0
        self.connections = 0

    def departure(self, now, size):
        """When `size` bytes queued at `now` have left the link's sender."""
        start = max(now, self.free_at)
        self.free_at = start + size / self.rate
        return self.free_at


class Pipe:
    """One direction of one connection: delivers pieces in order at their times."""

    def __init__(self, loop, on_drained=None):
        self.loop = loop
        self.target = None  # a transport, once there is one
        self.waiting = []   # pieces that arrived before the target existed
        self.in_flight = 0
        self.last_at = 0.0
        self.closing = False
        self.on_drained = on_drained

    def send(self, data, at):
        at = max(at, self.last_at)
        self.last_at = at
        self.in_flight += len(data)
        self.loop.call_at(at, self.deliver, data)

    def deliver(self, data):
        self.in_flight -= len(data)
        if self.target is None:
            self.waiting.append(data)
        elif not self.target.is_closing():
            self.target.write(data)
        if self.on_drained:
            self.on_drained()

    def attach(self, transport):
        self.target = transport
        for data in self.waiting:
            transport.write(data)
        self.waiting.clear()

    def close_after_last(self):
        """Closes the target once everything sent so far has been delivered."""
        def close():
            if self.target is not None:
                self.target.close()
            else:
                self.closing = True
        self.loop.call_at(max(self.last_at, self.loop.time()), close)


class ServerSide(asyncio.Protocol):
    def __init__(self, relay):
        self.relay = relay

    def connection_made(self, transport):
        self.relay.server_connected(transport)

    def data_received(self, data):
        self.relay.from_server(data)

    def connection_lost(self, exc):
        self.relay.down.close_after_last()


class Relay(asyncio.Protocol):
    """A client's connection and its server connection."""

    def __init__(self, options, link):
        self.options = options
        self.link = link
        self.loop = asyncio.get_running_loop()
        self.delay = options.delay_ms / 1000.0
        self.window = options.window * 1024
        self.server = None
        self.paused = False

    def connection_made(self, transport):
        self.link.connections += 1
        self.number = self.link.connections
        self.trace("open")
        self.client = transport
        # Nothing crosses before the handshake's round trip has passed.
        self.ready_at = self.loop.time() + 2 * self.delay
        self.up = Pipe(self.loop)
        self.down = Pipe(self.loop, self.drained)
        self.down.attach(transport)
        self.loop.create_task(self.connect())

    async def connect(self):
        try:
            await self.loop.create_connection(lambda: ServerSide(self), "127.0.0.1",
                                              self.options.to)
        except OSError:
            self.client.close()

    def server_connected(self, transport):
        self.server = transport
        self.up.attach(transport)
        if self.up.closing:
            transport.close()

    def trace(self, what):
        if self.options.trace:
            print("%.3f conn %d %s" % (self.loop.time(), self.number, what), file=sys.stderr,
                  flush=True)

    def data_received(self, data):
        self.trace("request %s" % data.split(b"\r\n", 1)[0].decode(errors="replace"))
        self.up.send(data, max(self.loop.time(), self.ready_at) + self.delay)

    def eof_received(self):
        self.up.close_after_last()
        return False

    def connection_lost(self, exc):
        self.trace("closed")
        self.up.close_after_last()

    def from_server(self, data):
        for i in range(0, len(data), 16384):
            piece = data[i:i + 16384]
            left = self.link.departure(self.loop.time(), len(piece))
            self.down.send(piece, left + self.delay)
        if self.down.in_flight >= self.window and not self.paused:
            self.paused = True
            self.server.pause_reading()

    def drained(self):
        if self.paused and self.down.in_flight < self.window // 2:
            self.paused = False
            if self.server is not None and not self.server.is_closing():
                self.server.resume_reading()


async def serve(options):
    link = Link(options.mbit * 1e6)
    loop = asyncio.get_running_loop()
    listener = await loop.create_server(lambda: Relay(options, link), "127.0.0.1", options.listen)
    port = listener.sockets[0].getsockname()[1]
    print("ready %d" % port, flush=True)
    stdin_closed = loop.create_future()

    def watch_stdin():
        if not sys.stdin.buffer.read1(1):
            loop.remove_reader(sys.stdin.fileno())
            if not stdin_closed.done():
                stdin_closed.set_result(None)

    try:
        loop.add_reader(sys.stdin.fileno(), watch_stdin)
    except (OSError, ValueError):
        pass
    try:
        await asyncio.wait_for(stdin_closed, options.lifetime)
    except asyncio.TimeoutError:
        pass
    listener.close()
    print("connections %d" % link.connections, file=sys.stderr, flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--listen", type=int, default=0)
    parser.add_argument("--to", type=int, required=True)
    parser.add_argument("--delay-ms", type=float, default=40.0)
    parser.add_argument("--mbit", type=float, default=50.0)
    parser.add_argument("--window", type=int, default=1024)
    parser.add_argument("--lifetime", type=float, default=1800.0)
    parser.add_argument("--trace", action="store_true", help="each connection's events")
    asyncio.run(serve(parser.parse_args()))


if __name__ == "__main__":
    main()

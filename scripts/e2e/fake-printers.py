#!/usr/bin/env python3
"""fake-printers.py <record dir> <address>:<tcp port>=<state>[+<manner>...] ...

Network receipt printers for the end-to-end scenarios: each listens on its
address and TCP port and answers the real-time status request DLE EOT n
(10 04 n, n = 1 to 4) with the status byte of its state. Every other byte
it receives is appended to <record dir>/<address>_<tcp port>.prn, each
status request it receives adds a line "n" to <address>_<tcp port>.req, and
each connection, when it ends, a line to <address>_<tcp port>.con: how long
it was open, in milliseconds. The three files exist, empty, once
<record dir>/ready exists.

States: ready, near-end, paper-out, cover-open, offline, error, silent
(accepts connections, never answers: an older printer without status),
asb-ready (automatic status back on: a status frame, XOFF and XON as soon
as a connection is made and ahead of each answer), and no-answer (no connection is ever accepted: its queue is kept full, so a
connect's SYN goes unanswered, as with a host that is off; no files).

Manners, as real network boards have them:
  hangs-up       closes a connection on which nothing came for a second
  hangs-up-at-once
                 reads the first status request of a connection (it is
                 recorded) and closes the connection without an answer
  banner         speaks first: "RFB 003.008\\n" as soon as a connection is
                 made (some other service, not a receipt printer)
  one-in-four    answers only the first, fifth, ... request of a connection
  one-at-a-time  serves one connection at a time: what comes on a later one
                 waits until every earlier one has ended
  model:<name>   names itself: answers GS I 67 (1D 49 43) with 5F <name> 00,
                 GS I 66 with its maker "Kelp Test", and GS I 68 with its
                 serial number when serial:<text> gives one

Every printer takes GS I n (1D 49 n, who it is) as a command, never as print
data: one that is not named does not answer it; nor is it recorded.

Run it only inside a network namespace of the test's own (unshare -n): the
addresses must be loopback addresses (127.0.0.0/8) or, with KELP_E2E_LAN
set, addresses of that network (an adapter of the namespace's own).
"""
import ipaddress
import os
import resource
import selectors
import signal
import socket
import sys
import time

from status_requests import AHEAD, STATES as ANSWERS, RequestSplitter

STATES = dict(ANSWERS, **{"no-answer": None})
MANNERS = {"hangs-up", "hangs-up-at-once", "banner", "one-in-four", "one-at-a-time"}
IDLE_SECONDS = 1.0
BANNER = b"RFB 003.008\n"
GS_I = bytes([0x1D, 0x49])


def append(path, data, mode="ab"):
    with open(path, mode) as record:
        record.write(data)


class Printer:
    def __init__(self, directory, address, port, state, manners, identity=None):
        self.answers = STATES[state]
        self.state = state
        self.manners = manners
        self.identity = identity or {}  # GS I n: its text
        self.connections = []  # open ones, oldest first (one-at-a-time)
        if self.answers is None:
            # A backlog of 0 holds one connection; the next SYNs are dropped.
            self.listener = socket.create_server((address, port), backlog=0)
            self.fillers = [socket.socket() for _ in range(3)]
            for filler in self.fillers:
                filler.setblocking(False)
                filler.connect_ex((address, port))
            return
        self.base = os.path.join(directory, f"{address}_{port}")
        for suffix in (".prn", ".req", ".con"):
            append(self.base + suffix, b"")
        self.listener = socket.create_server((address, port), reuse_port=False, backlog=128)
        self.listener.setblocking(False)

    def served(self, connection):
        return "one-at-a-time" not in self.manners or self.connections[0] is connection


class Connection:
    def __init__(self, printer, sock):
        self.printer = printer
        self.sock = sock
        self.opened = self.heard = time.monotonic()
        self.splitter = RequestSplitter()
        self.waiting = b""  # what came before its turn (one-at-a-time)
        self.requests = 0
        self.asking = b""  # a GS I request cut across two reads
        printer.connections.append(self)
        if "banner" in printer.manners:
            sock.sendall(BANNER)
        if printer.state in AHEAD:
            sock.sendall(AHEAD[printer.state])

    def receive(self, data):
        """False once the printer hung up."""
        self.heard = time.monotonic()
        if not self.printer.served(self):
            self.waiting += data
            return True
        data, self.waiting = self.waiting + data, b""
        return self.take(data)

    def identify(self, data):
        """Answers the GS I requests among what came; the rest, to print."""
        data, self.asking = self.asking + data, b""
        rest = bytearray()
        i = 0
        while i < len(data):
            request = data[i:i + 3]
            if len(request) < 3 and GS_I.startswith(request):
                self.asking = request
                break
            if request[:2] == GS_I:
                if request[2] in self.printer.identity:
                    self.sock.sendall(b"\x5f" + self.printer.identity[request[2]].encode() + b"\x00")
                i += 3
                continue
            rest.append(data[i])
            i += 1
        return bytes(rest)

    def take(self, data):
        """What came, taken in turn; False once the printer hung up."""
        data = self.identify(data)
        printed, requests = self.splitter.split(data)
        if requests and "hangs-up-at-once" in self.printer.manners:
            append(self.printer.base + ".req", f"{requests[0]}\n".encode(), "ab")
            return False
        for n in requests:
            turn = "one-in-four" not in self.printer.manners or self.requests % 4 == 0
            self.requests += 1
            ahead = AHEAD.get(self.printer.state, b"")
            reply = ahead + (bytes([self.printer.answers[n]]) if turn and n in self.printer.answers else b"")
            if reply:
                self.sock.sendall(reply)
        if requests:
            append(self.printer.base + ".req", "".join(f"{n}\n" for n in requests).encode(), "ab")
        if printed:
            append(self.printer.base + ".prn", printed)
        return True

    def close(self):
        if self.splitter.leftover() + self.asking:
            append(self.printer.base + ".prn", self.splitter.leftover() + self.asking)
        self.sock.close()
        held = round((time.monotonic() - self.opened) * 1000)
        append(self.printer.base + ".con", f"{held}\n".encode())
        self.printer.connections.remove(self)
        # The next connection in line gets its turn.
        if self.printer.connections and self.printer.connections[0].waiting:
            self.printer.connections[0].receive(b"")


def parse(entry):
    where, _, what = entry.partition("=")
    state, *manners = what.split("+")
    named = dict(m.split(":", 1) for m in manners if ":" in m)
    manners = [m for m in manners if ":" not in m]
    identity = {67: named["model"], 66: "Kelp Test"} if "model" in named else {}
    if "serial" in named and identity:
        identity[68] = named["serial"]
    address, _, port = where.rpartition(":")
    lan = os.environ.get("KELP_E2E_LAN")
    own = ipaddress.ip_address(address).is_loopback or (
        lan and os.environ.get("KELP_E2E_IN_NETNS") and ipaddress.ip_address(address) in ipaddress.ip_interface(lan).network)
    if (state not in STATES or not own or not 0 < int(port) < 65536 or not set(manners) <= MANNERS
            or not set(named) <= {"model", "serial"} or ("serial" in named and not identity)):
        raise SystemExit(f"bad printer {entry!r}: <loopback address>:<tcp port>=<{'|'.join(STATES)}>"
                         f"[+<{'|'.join(sorted(MANNERS))}|model:<name>|serial:<text>>...]")
    return address, int(port), state, set(manners), identity


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    # A listener and a connection for each of up to a few thousand printers.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    directory = sys.argv[1]
    os.makedirs(directory, exist_ok=True)
    printers = [Printer(directory, *parse(entry)) for entry in sys.argv[2:]]
    selector = selectors.DefaultSelector()
    for printer in (p for p in printers if p.answers is not None):
        selector.register(printer.listener, selectors.EVENT_READ, printer)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    open(os.path.join(directory, "ready"), "w").close()
    idle = []  # connections of printers that hang up when idle
    while True:
        now = time.monotonic()
        for connection in [c for c in idle if now - c.heard >= IDLE_SECONDS]:
            idle.remove(connection)
            selector.unregister(connection.sock)
            connection.close()
        timeout = min((c.heard + IDLE_SECONDS - now for c in idle), default=None)
        for key, _ in selector.select(None if timeout is None else max(timeout, 0)):
            if isinstance(key.data, Printer):
                try:
                    sock, _ = key.fileobj.accept()
                except BlockingIOError:
                    continue
                connection = Connection(key.data, sock)
                selector.register(sock, selectors.EVENT_READ, connection)
                if "hangs-up" in key.data.manners:
                    idle.append(connection)
                continue
            connection = key.data
            try:
                data = connection.sock.recv(65536)
            except OSError:
                data = b""
            if not data or not connection.receive(data):
                selector.unregister(connection.sock)
                if connection in idle:
                    idle.remove(connection)
                connection.close()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""fake-printers.py <record dir> <address>:<tcp port>=<state>[+<manner>...] ...

Network receipt printers for the end-to-end scenarios: each listens on its
address and TCP port and answers the real-time status request DLE EOT n
(10 04 n, n = 1 to 4) with the status byte of its state, and, when it names
itself (the manner model=<text>), GS I 67, 66 and 68 (1D 49 n) with its
model name, maker and serial number (serial=<text>) as 5F <text> 00; each
GS I it receives adds a line "n" to <address>_<tcp port>.ids. Every other byte
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
  drawer2, drawer5
                 its cash drawer is wired to pin 2 (pin 5): ESC p on that
                 pin opens it, and DLE EOT 1's drawer bit (0x04) reads the
                 other way for two seconds; without either, the bit never
                 changes (no drawer, or one without a sensor cable)
  model=<text>, serial=<text>, name-late, name-long, name-unterminated,
  name-noisy     how it names itself (status_requests.py)

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
import threading
import time

from status_requests import (AHEAD, DRAWERS, NAME_LATE_SECONDS, NAME_MANNERS, STATES as ANSWERS, Drawer, RequestSplitter,
                             identity_answer)

STATES = dict(ANSWERS, **{"no-answer": None})
MANNERS = {"hangs-up", "hangs-up-at-once", "banner", "one-in-four", "one-at-a-time"} | set(DRAWERS) | NAME_MANNERS
VALUES = {"model", "serial"}
IDLE_SECONDS = 1.0
BANNER = b"RFB 003.008\n"


def append(path, data, mode="ab"):
    with open(path, mode) as record:
        record.write(data)


class Printer:
    def __init__(self, directory, address, port, state, manners, values):
        self.answers = STATES[state]
        self.state = state
        self.manners = manners
        self.drawer = Drawer(next((DRAWERS[m] for m in manners if m in DRAWERS), None))
        self.values = values
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
        for suffix in (".prn", ".req", ".con", ".ids"):
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

    def take(self, data):
        """What came, taken in turn; False once the printer hung up."""
        printed, requests = self.splitter.split(data)
        self.printer.drawer.kicked(printed)
        if requests and "hangs-up-at-once" in self.printer.manners:
            append(self.printer.base + ".req", f"{requests[0]}\n".encode(), "ab")
            return False
        for n in requests:
            if isinstance(n, str):
                self.identify(int(n[1:]))
                continue
            turn = "one-in-four" not in self.printer.manners or self.requests % 4 == 0
            self.requests += 1
            ahead = AHEAD.get(self.printer.state, b"")
            answer = self.printer.drawer.answer(n, self.printer.answers[n]) if n in self.printer.answers else None
            reply = ahead + (bytes([answer]) if turn and answer is not None else b"")
            if reply:
                self.sock.sendall(reply)
        status = [n for n in requests if not isinstance(n, str)]
        if status:
            append(self.printer.base + ".req", "".join(f"{n}\n" for n in status).encode(), "ab")
        if printed:
            append(self.printer.base + ".prn", printed)
        return True

    def identify(self, n):
        append(self.printer.base + ".ids", f"{n}\n".encode(), "ab")
        answer = identity_answer(n, self.printer.manners, self.printer.values)
        if answer is None:
            return
        if "name-late" not in self.printer.manners:
            self.sock.sendall(answer)
            return

        def late():
            try:
                self.sock.sendall(answer)
            except OSError:
                pass  # Kelp let go meanwhile
        # In the order asked, however the timers' threads are scheduled.
        self.late = getattr(self, "late", 0) + 1
        threading.Timer(NAME_LATE_SECONDS + 0.02 * self.late, late).start()

    def close(self):
        if self.splitter.leftover():
            append(self.printer.base + ".prn", self.splitter.leftover())
        self.sock.close()
        held = round((time.monotonic() - self.opened) * 1000)
        append(self.printer.base + ".con", f"{held}\n".encode())
        self.printer.connections.remove(self)
        # The next connection in line gets its turn.
        if self.printer.connections and self.printer.connections[0].waiting:
            self.printer.connections[0].receive(b"")


def parse(entry):
    where, _, what = entry.partition("=")
    state, *given = what.split("+")
    values = dict(m.split("=", 1) for m in given if "=" in m)
    manners = {m for m in given if "=" not in m}
    address, _, port = where.rpartition(":")
    lan = os.environ.get("KELP_E2E_LAN")
    own = ipaddress.ip_address(address).is_loopback or (
        lan and os.environ.get("KELP_E2E_IN_NETNS") and ipaddress.ip_address(address) in ipaddress.ip_interface(lan).network)
    if state not in STATES or not own or not 0 < int(port) < 65536 or not manners <= MANNERS or not set(values) <= VALUES:
        raise SystemExit(f"bad printer {entry!r}: <loopback address>:<tcp port>=<{'|'.join(STATES)}>"
                         f"[+<{'|'.join(sorted(MANNERS))}>...]")
    return address, int(port), state, manners, values


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

#!/usr/bin/env python3
"""fake-printers.py <record dir> <address>:<tcp port>=<state> ...

Network receipt printers for the end-to-end scenarios: each listens on its
address and TCP port and answers the real-time status request DLE EOT n
(10 04 n, n = 1 to 4) with the status byte of its state. Every other byte
it receives is appended to <record dir>/<address>_<tcp port>.prn, and each
status request it answers adds a line "n" to <address>_<tcp port>.req. Both
files exist, empty, once <record dir>/ready exists.

States: ready, near-end, paper-out, cover-open, offline, error, silent
(accepts connections, never answers: an older printer without status), and
no-answer (no connection is ever accepted: its queue is kept full, so a
connect's SYN goes unanswered, as with a host that is off; no files).

Run it only inside a network namespace of the test's own (unshare -n): the
addresses must be loopback addresses (127.0.0.0/8) or, with KELP_E2E_LAN
set, addresses of that network (an adapter of the namespace's own).
"""
import ipaddress
import os
import selectors
import signal
import socket
import sys

DLE, EOT = 0x10, 0x04
OK = 0x12  # fixed bits of every answer: (b & 0x93) == 0x12
OFFLINE = OK | 0x08
STATES = {
    "ready": {1: OK, 2: OK, 3: OK, 4: OK},
    "near-end": {1: OK, 2: OK, 3: OK, 4: OK | 0x0C},
    "paper-out": {1: OFFLINE, 2: OK | 0x20, 3: OK, 4: OK | 0x60},
    "cover-open": {1: OFFLINE, 2: OK | 0x04, 3: OK, 4: OK},
    "offline": {1: OFFLINE, 2: OK, 3: OK, 4: OK},
    "error": {1: OFFLINE, 2: OK | 0x40, 3: OK | 0x08, 4: OK},
    "silent": {},
    "no-answer": None,
}


class Printer:
    def __init__(self, directory, address, port, state):
        self.answers = STATES[state]
        if self.answers is None:
            # A backlog of 0 holds one connection; the next SYNs are dropped.
            self.listener = socket.create_server((address, port), backlog=0)
            self.fillers = [socket.socket() for _ in range(3)]
            for filler in self.fillers:
                filler.setblocking(False)
                filler.connect_ex((address, port))
            return
        base = os.path.join(directory, f"{address}_{port}")
        self.record = open(base + ".prn", "ab", buffering=0)
        self.requests = open(base + ".req", "w", buffering=1)
        self.listener = socket.create_server((address, port), reuse_port=False)
        self.listener.setblocking(False)


class Connection:
    def __init__(self, printer, sock):
        self.printer = printer
        self.sock = sock
        self.pending = b""  # the start of a status request split across reads

    def take(self, data):
        data = self.pending + data
        self.pending = b""
        out = bytearray()
        i = 0
        while i < len(data):
            request = data[i:i + 3]
            if len(request) < 3 and bytes([DLE, EOT]).startswith(request):
                self.pending = request
                break
            if request[:2] == bytes([DLE, EOT]) and 1 <= request[2] <= 4:
                n = request[2]
                self.printer.requests.write(f"{n}\n")
                if n in self.printer.answers:
                    self.sock.sendall(bytes([self.printer.answers[n]]))
                i += 3
                continue
            out.append(data[i])
            i += 1
        if out:
            self.printer.record.write(bytes(out))

    def close(self):
        if self.pending:
            self.printer.record.write(self.pending)
        self.sock.close()


def parse(entry):
    where, _, state = entry.partition("=")
    address, _, port = where.rpartition(":")
    lan = os.environ.get("KELP_E2E_LAN")
    own = ipaddress.ip_address(address).is_loopback or (
        lan and os.environ.get("KELP_E2E_IN_NETNS") and ipaddress.ip_address(address) in ipaddress.ip_interface(lan).network)
    if state not in STATES or not own or not 0 < int(port) < 65536:
        raise SystemExit(f"bad printer {entry!r}: <loopback address>:<tcp port>=<{'|'.join(STATES)}>")
    return address, int(port), state


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    directory = sys.argv[1]
    os.makedirs(directory, exist_ok=True)
    printers = [Printer(directory, *parse(entry)) for entry in sys.argv[2:]]
    selector = selectors.DefaultSelector()
    for printer in (p for p in printers if p.answers is not None):
        selector.register(printer.listener, selectors.EVENT_READ, printer)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    open(os.path.join(directory, "ready"), "w").close()
    while True:
        for key, _ in selector.select():
            if isinstance(key.data, Printer):
                sock, _ = key.fileobj.accept()
                selector.register(sock, selectors.EVENT_READ, Connection(key.data, sock))
                continue
            connection = key.data
            try:
                data = connection.sock.recv(65536)
            except OSError:
                data = b""
            if data:
                connection.take(data)
            else:
                selector.unregister(connection.sock)
                connection.close()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""fake-serial-printer.py <dir> COM<n>=<state>[+drawer2|+drawer5] ...

Serial receipt printers for the end-to-end scenarios, each behind a pair of
linked pseudo-terminals made by socat: <dir>/printer-COM<n>.port is the end a Wine
prefix registers as its COM port, the printer reads and writes the other.
Each answers the real-time status request DLE EOT n (10 04 n, n = 1 to 4)
with the status byte of its state. Every other byte it receives is appended
to <dir>/printer-COM<n>.prn, and each status request adds a line "n" to
<dir>/printer-COM<n>.req, written before the answer goes out. Both files
exist, empty, once <dir>/ready exists. (Windows opens the device for any
name "COM<n>.<extension>", in any folder: hence the prefix.)

States: those of status_requests.py (ready, paper-out, cover-open, ...;
silent never answers: an older printer without status; once answers the
first request only; asb-ready sends a status frame and XOFF/XON ahead of
each answer). +drawer2 and +drawer5: a cash drawer on that pin, as
fake-printers.py has it (status_requests.Drawer).

Stop the Wine prefix that uses the ports before this script (SIGTERM): the
wine server sees a terminal hang up otherwise.
"""
import os
import re
import selectors
import signal
import subprocess
import sys
import time

from status_requests import AHEAD, DRAWERS, STATES, Drawer, RequestSplitter


class Printer:
    def __init__(self, directory, port, state, drawer=None):
        self.answers = STATES[state]
        self.drawer = Drawer(drawer)
        self.ahead = AHEAD.get(state, b"")
        base = os.path.join(directory, "printer-" + port)
        self.link = base + ".port"
        device = base + ".printer"
        for stale in (self.link, device):
            if os.path.lexists(stale):
                os.unlink(stale)
        # Both ends raw and without echo: bytes pass as they are.
        self.socat = subprocess.Popen(
            ["socat", f"pty,raw,echo=0,link={self.link}", f"pty,raw,echo=0,link={device}"],
            stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not (os.path.exists(self.link) and os.path.exists(device)):
            if self.socat.poll() is not None or time.monotonic() > deadline:
                raise SystemExit(f"socat did not make the terminals of {port}")
            time.sleep(0.02)
        self.fd = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        self.record = open(base + ".prn", "ab", buffering=0)
        self.requests = open(base + ".req", "w", buffering=1)
        self.splitter = RequestSplitter()

    def take(self, data):
        printed, requests = self.splitter.split(data)
        self.drawer.kicked(printed)
        for n in requests:
            self.requests.write(f"{n}\n")
            reply = self.ahead + (bytes([self.drawer.answer(n, self.answers[n])]) if n in self.answers else b"")
            if reply:
                os.write(self.fd, reply)
        if printed:
            self.record.write(printed)

    def stop(self):
        self.socat.terminate()
        self.socat.wait()


def parse(entry):
    port, _, what = entry.partition("=")
    state, _, drawer = what.partition("+")
    if not re.fullmatch(r"COM[1-9][0-9]{0,2}", port) or state not in STATES or (drawer and drawer not in DRAWERS):
        raise SystemExit(f"bad printer {entry!r}: COM<n>=<{'|'.join(STATES)}>[+drawer2|+drawer5]")
    return port, state, DRAWERS.get(drawer)


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    directory = sys.argv[1]
    os.makedirs(directory, exist_ok=True)
    printers = []
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        for entry in sys.argv[2:]:
            printers.append(Printer(directory, *parse(entry)))
        selector = selectors.DefaultSelector()
        for printer in printers:
            selector.register(printer.fd, selectors.EVENT_READ, printer)
        open(os.path.join(directory, "ready"), "w").close()
        while True:
            for key, _ in selector.select():
                try:
                    data = os.read(key.fd, 65536)
                except BlockingIOError:
                    continue
                except OSError:
                    # Nobody has the other end open (EIO): wait for the next one.
                    time.sleep(0.01)
                    continue
                if data:
                    key.data.take(data)
    finally:
        for printer in printers:
            printer.stop()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""fake-serial-printer.py <dir> COM<n>=<state>[+<manner>...] ...

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
each answer). Manners: drawer2 and drawer5, a cash drawer on that pin, as
fake-printers.py has it (status_requests.Drawer); how it names itself when
asked GS I n (1D 49 n), model=<text>, serial=<text> and the others of
status_requests.py; each GS I it receives adds a line "n" to
<dir>/printer-COM<n>.ids.

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

from status_requests import (AHEAD, DRAWERS, NAME_LATE_SECONDS, NAME_MANNERS, STATES, Drawer, RequestSplitter,
                             identity_answer)


class Printer:
    def __init__(self, directory, port, state, manners, values):
        self.answers = STATES[state]
        self.drawer = Drawer(next((DRAWERS[m] for m in manners if m in DRAWERS), None))
        self.manners = manners
        self.values = values
        self.late = []  # (when, bytes) of answers sent late
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
        self.ids = open(base + ".ids", "w", buffering=1)
        self.splitter = RequestSplitter()

    def take(self, data):
        printed, requests = self.splitter.split(data)
        self.drawer.kicked(printed)
        for n in requests:
            if isinstance(n, str):
                self.ids.write(f"{n[1:]}\n")
                answer = identity_answer(int(n[1:]), self.manners, self.values)
                if answer is not None and "name-late" in self.manners:
                    self.late.append((time.monotonic() + NAME_LATE_SECONDS, answer))
                elif answer is not None:
                    os.write(self.fd, answer)
                continue
            self.requests.write(f"{n}\n")
            reply = self.ahead + (bytes([self.drawer.answer(n, self.answers[n])]) if n in self.answers else b"")
            if reply:
                os.write(self.fd, reply)
        if printed:
            self.record.write(printed)

    def send_late(self):
        """Sends the late answers that are due; the seconds to the next, or None."""
        now = time.monotonic()
        for due in [entry for entry in self.late if entry[0] <= now]:
            self.late.remove(due)
            os.write(self.fd, due[1])
        return min((when - now for when, _ in self.late), default=None)

    def stop(self):
        self.socat.terminate()
        self.socat.wait()


def parse(entry):
    port, _, what = entry.partition("=")
    state, *given = what.split("+")
    values = dict(m.split("=", 1) for m in given if "=" in m)
    manners = {m for m in given if "=" not in m}
    if (not re.fullmatch(r"COM[1-9][0-9]{0,2}", port) or state not in STATES
            or not manners <= NAME_MANNERS | set(DRAWERS) or not set(values) <= {"model", "serial"}):
        raise SystemExit(f"bad printer {entry!r}: COM<n>=<{'|'.join(STATES)}>[+<manner>...]")
    return port, state, manners, values


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
            waits = [w for w in (p.send_late() for p in printers) if w is not None]
            for key, _ in selector.select(min(waits) if waits else None):
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

"""What a fake receipt printer hears and answers: the real-time status
request DLE EOT n (10 04 n, n = 1 to 4) and the printer id request GS I n
(1D 49 n) among the bytes it is to print, the status bytes each state
answers with, the texts a printer that names itself answers with, and its
cash drawer."""
import time

DLE, EOT = 0x10, 0x04
GS, I = 0x1D, 0x49
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
    "once": {1: OK},  # answers the first request, then nothing
    "asb-ready": {1: OK, 2: OK, 3: OK, 4: OK},
}
# Sent ahead of every answer (in its place where there is none): an
# automatic status frame (paper near end) and XOFF, XON.
AHEAD = {"asb-ready": bytes([0x14, 0x00, 0x03, 0x00, 0x13, 0x11])}


# Manners of a printer that names itself (GS I 67 model, 66 maker, 68
# serial number), given as "model=<text>", "serial=<text>" and these:
#   name-late          answers each GS I half a second late (after Kelp's wait)
#   name-long          its model name runs on to 40 characters
#   name-unterminated  its answers never end (no 00)
#   name-noisy         its model name has bytes that are not printable in it
NAME_MANNERS = {"name-late", "name-long", "name-unterminated", "name-noisy"}
NAME_LATE_SECONDS = 0.5
MAKER = "Kelp Test"


def identity_answer(n, manners, values):
    """The answer to GS I n of a printer with these manners and values
    (model, serial), or None when it does not answer."""
    model = values.get("model")
    if model is None or n not in (66, 67, 68):
        return None
    text = {67: model, 66: MAKER, 68: values.get("serial", "")}[n].encode("ascii")
    if n == 67 and "name-long" in manners:
        text = (text + b"-" + b"X" * 40)[:40]
    if n == 67 and "name-noisy" in manners:
        text = b"\x01" + text[:2] + b"\xff\t" + text[2:] + b"\x7f"
    return b"\x5f" + text + (b"" if "name-unterminated" in manners else b"\x00")


class RequestSplitter:
    """Splits the bytes a printer receives into what it prints and the
    requests (in order): a status request as its n (1 to 4), GS I n as the
    text "I<n>". A request cut across two reads is kept for the next; what
    is still kept at the end is printed (leftover())."""

    def __init__(self):
        self.pending = b""

    def split(self, data):
        data = self.pending + data
        self.pending = b""
        printed = bytearray()
        requests = []
        i = 0
        while i < len(data):
            request = data[i:i + 3]
            if len(request) < 3 and (bytes([DLE, EOT]).startswith(request) or bytes([GS, I]).startswith(request)):
                self.pending = request
                break
            if request[:2] == bytes([DLE, EOT]) and 1 <= request[2] <= 4:
                requests.append(request[2])
                i += 3
                continue
            if request[:2] == bytes([GS, I]):
                requests.append(f"I{request[2]}")
                i += 3
                continue
            printed.append(data[i])
            i += 1
        return bytes(printed), requests

    def leftover(self):
        return self.pending


# A cash drawer wired to pin 2 or pin 5 of the drawer socket: ESC p m
# (1B 70 m t1 t2) with m = 0 (pin 2) or 1 (pin 5) opens it, and while it is
# open DLE EOT 1 answers with its sensor bit (0x04) the other way. Someone
# pushes it shut again OPEN_SECONDS after it opened. A printer without one
# (or a drawer without a sensor cable) never changes the bit.
DRAWERS = {"drawer2": 0, "drawer5": 1}
DRAWER_SENSOR = 0x04
OPEN_SECONDS = 2.0


class Drawer:
    def __init__(self, pin=None):
        self.pin = pin
        self.opened = None

    def kicked(self, printed):
        """Looks for ESC p among the printed bytes (Kelp writes one whole)."""
        at = printed.find(b"\x1bp")
        while at >= 0:
            if at + 2 < len(printed) and printed[at + 2] == self.pin:
                self.opened = time.monotonic()
            at = printed.find(b"\x1bp", at + 2)

    def answer(self, n, byte):
        """The answer to DLE EOT n, the sensor's bit turned while open."""
        if n == 1 and self.opened is not None and time.monotonic() - self.opened < OPEN_SECONDS:
            return byte ^ DRAWER_SENSOR
        return byte

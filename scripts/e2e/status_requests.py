"""What a fake receipt printer hears and answers: the real-time status
request DLE EOT n (10 04 n, n = 1 to 4) among the bytes it is to print, and
the status bytes each state answers with."""

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
    "once": {1: OK},  # answers the first request, then nothing
    "asb-ready": {1: OK, 2: OK, 3: OK, 4: OK},
}
# Sent ahead of every answer (in its place where there is none): an
# automatic status frame (paper near end) and XOFF, XON.
AHEAD = {"asb-ready": bytes([0x14, 0x00, 0x03, 0x00, 0x13, 0x11])}


class RequestSplitter:
    """Splits the bytes a printer receives into what it prints and the status
    requests (their n, in order). A request cut across two reads is kept for
    the next; what is still kept at the end is printed (leftover())."""

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
            if len(request) < 3 and bytes([DLE, EOT]).startswith(request):
                self.pending = request
                break
            if request[:2] == bytes([DLE, EOT]) and 1 <= request[2] <= 4:
                requests.append(request[2])
                i += 3
                continue
            printed.append(data[i])
            i += 1
        return bytes(printed), requests

    def leftover(self):
        return self.pending

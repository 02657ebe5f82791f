#!/usr/bin/env python3
"""Writes the seed inputs of kelp_port_fuzz into corpus/ beside this file.

The byte layout is the one PortClassificationFuzz.cpp decodes (see the
comment at its top); each seed is one machine worth starting from.
Run it again after changing the layout: python3 tests/fuzz/make_corpus.py
"""
import os

TOKENS = {"USB": 0x80, "COM": 0x81, "LPT": 0x82, "FILE": 0x83,
          "TCPIP": 0x84, "TCPIP_ZH": 0x85, "DEVICE": 0x86, "COLON": 0x87}
ERRORS = {"MoreData": 0, "AccessDenied": 1, "NotEnoughMemory": 2, "NoMoreItems": 3,
          "KeyDeleted": 4, "InvalidParameter": 5, "InvalidHandle": 6, "FileNotFound": 7}


def text(*pieces):
    """pieces: token names, ("cut", token name) for the token without its last
    byte, bytes/str literals (< 128 bytes) or ("run", n, c)."""
    assert len(pieces) <= 4
    out = bytearray([len(pieces)])
    for p in pieces:
        if isinstance(p, str) and p in TOKENS:
            out.append(TOKENS[p])
        elif isinstance(p, tuple) and p[0] == "cut":
            out.append(TOKENS[p[1]] + 8)
        elif isinstance(p, tuple) and p[0] == "run":
            _, n, c = p
            out += bytes([0x90, n, ord(c)]) if n < 256 else bytes([0xC0, n // 64, ord(c)])
        else:
            b = p.encode("utf-8") if isinstance(p, str) else bytes(p)
            assert len(b) < 0x80
            out.append(len(b))
            out += b
    return bytes(out)


def header(enum_ports_fails=False, key_missing=False, open_fails=False,
           fail_once=False, fail_from=False, error="MoreData", at=0):
    flags = (enum_ports_fails << 0) | (key_missing << 1) | (open_fails << 2) \
        | (fail_once << 3) | (fail_from << 4) | (ERRORS[error] << 5)
    return bytes([flags, at])


def port(name, description):
    return b"\x00" + name + description


def serial(name, data, kind=0x00):
    return b"\x01" + name + bytes([kind]) + data


def port_run(count, name, description):
    return b"\x02" + bytes([count & 0xFF, count >> 8]) + name + description


def stale(list_index, entry):
    return bytes([3 | (list_index << 2)]) + entry


LOCAL = text("Local Port")

SEEDS = {
    # The ports a fresh machine has, and two serial devices.
    "local-ports": header()
    + b"".join(port(text("COM", f"{i}:"), LOCAL) for i in range(1, 5))
    + port(text("FILE", ":"), LOCAL)
    + b"".join(port(text("LPT", f"{i}:"), LOCAL) for i in range(1, 4))
    + serial(text("DEVICE", "Serial0"), text("COM", "1"))
    + serial(text("DEVICE", "Serial1"), text("COM", "2")),

    # A USB printer port beside a COM port; stale lists from a former pass.
    "usb-and-com": header()
    + port(text("USB", "001"), text("Virtual printer port for USB"))
    + port(text("COM", "1:"), LOCAL)
    + stale(1, text("USB", "999"))
    + stale(2, text("COM", "9:")),

    # TCP/IP descriptions on LPT, USB and other names, in both languages.
    "tcpip": header()
    + port(text("LPT", "9"), text("TCPIP"))
    + port(text("USB", "003"), text("TCPIP"))
    + port(text("IP_10.0.0.5"), text("TCPIP_ZH"))
    + port(text("FILE", ":"), LOCAL)
    + port(text("IP_10.0.0.6"), text("TCPIP", "\x00")),

    # Only LPT and FILE ports, FILE first: the LPT row is suggested.
    "lpt-and-file": header()
    + port(text("FILE", ":"), LOCAL)
    + port(text("LPT", "1:"), LOCAL)
    + port(text("LPT", "2:"), text("TCPIP")),

    # More than 256 records; the USB port past the limit must not count.
    "over-256": header()
    + port_run(300, text("COM"), LOCAL)
    + port(text("USB", "001"), LOCAL),

    # Serial values at the edges of the 128-byte buffers, other types,
    # names that are no device names, equal data twice.
    "serial-limits": header()
    + port(text("COM", "1:"), LOCAL)
    + serial(text("DEVICE", ("run", 119, "n")), text("COM", "7"))         # name of 127 + zero: fits
    + serial(text("DEVICE", ("run", 120, "n")), text("COM", "8"))         # 128 + zero: too long
    + serial(text("DEVICE", "A"), text(("run", 127, "C")))                # 127 + zero: fits
    + serial(text("DEVICE", "B"), text(("run", 128, "C")))                # too long
    + serial(text("DEVICE", "Bin"), text(b"\x01\x02\x03\x04"), 0xE3)      # REG_BINARY
    + serial(text("DEVICE", "Raw"), text("COM", "5"), 0xC0)               # REG_SZ without its zero
    + serial(text("DEVICE", "Empty"), text())
    + serial(text("DEVICE", "Mid"), text("COM", b"3\x00junk"))
    + serial(text(b"\\DEVICE\\Upper"), text("COM", "6"))
    + serial(text("Serial9"), text("COM", "9"))
    + serial(text("DEVICE", "Dup0"), text("COM", "3"))
    + serial(text("DEVICE", "Dup1"), text("COM", "3"))
    + serial(text("DEVICE", b"\xff\xfe"), text(b"\xc3\x28\xa0\xa1"))      # not UTF-8
    + serial(text(("cut", "DEVICE"), "X"), text("COM", "4")),               # \DeviceX: no device

    # Odd names: lower case, too short, empty, embedded zero, very long.
    "odd-names": header(key_missing=True)
    + port(text("com1:"), LOCAL)
    + port(text("CO"), text())
    + port(text(), text())
    + port(text(b"US\x00B1"), LOCAL)
    + port(text("USB", ("run", 2048, "x")), LOCAL)
    + port(text(("cut", "FILE")), LOCAL)
    + port(text("IP_1"), text(("cut", "TCPIP_ZH"))),

    # The spooler fails; one serial value cannot be read.
    "failures": header(enum_ports_fails=True, fail_once=True, error="AccessDenied", at=1)
    + port(text("USB", "001"), LOCAL)
    + serial(text("DEVICE", "Serial0"), text("COM", "1"))
    + serial(text("DEVICE", "Serial1"), text("COM", "2"))
    + serial(text("DEVICE", "Serial2"), text("COM", "3")),

    # The serial-device key goes away during the scan: every read from the
    # second value on fails, past the last value too.
    "serial-key-deleted": header(fail_from=True, error="KeyDeleted", at=1)
    + port(text("COM", "1:"), LOCAL)
    + serial(text("DEVICE", "Serial0"), text("COM", "1"))
    + serial(text("DEVICE", "Serial1"), text("COM", "2")),
}


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Checks a self-extracting setup.exe against the parts it was made of.

usage: check_trailer.py SETUP_EXE LOADER SETUP_1 [FILES_1]
The last 56 bytes must be the trailer: a length byte 14, "SELFEXTRACTING",
a zero byte, four little-endian int32 positions and 24 zero bytes.  The
loader must come first, then setup.1 and files.1 exactly at the recorded
positions, each right after the other, then the trailer.  Prints "ok" or
the first mismatch (exit code 1).
"""
import struct
import sys


def main():
    exe, loader, setup1 = (open(p, "rb").read() for p in sys.argv[1:4])
    files1 = open(sys.argv[4], "rb").read() if len(sys.argv) > 4 else b""
    trailer = exe[-56:]
    problems = []
    if trailer[0] != 14 or trailer[1:15] != b"SELFEXTRACTING" or trailer[15] != 0:
        problems.append("magic %r" % trailer[:16])
    s1, e1, s2, e2 = struct.unpack("<4i", trailer[16:32])
    if trailer[32:] != bytes(24):
        problems.append("tail not zero")
    if exe[:s1] != loader:
        problems.append("loader part differs (start %d, loader %d bytes)" % (s1, len(loader)))
    if exe[s1:e1 + 1] != setup1:
        problems.append("setup.1 part differs (%d..%d)" % (s1, e1))
    if files1:
        if s2 != e1 + 1 or exe[s2:e2 + 1] != files1:
            problems.append("files.1 part differs (%d..%d)" % (s2, e2))
        end = e2
    else:
        if (s2, e2) != (0, 0):
            problems.append("file archive positions %d..%d without one" % (s2, e2))
        end = e1
    if end != len(exe) - 57:
        problems.append("last part ends at %d, trailer at %d" % (end, len(exe) - 56))
    print("; ".join(problems) if problems else "ok")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

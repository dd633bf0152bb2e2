#!/usr/bin/env python3
"""check_exe_header.py MACHINE EXE...: every EXE is a PE image for MACHINE
(i386 or amd64) whose header marks it large-address-aware, so that a 32-bit
program gets 4 GB of address space on a 64-bit Windows instead of 2 GB."""
import struct
import sys

MACHINES = {"i386": 0x014C, "amd64": 0x8664}
LARGE_ADDRESS_AWARE = 0x0020


def check(path, machine):
    with open(path, "rb") as f:
        data = f.read(4096)
    if data[:2] != b"MZ":
        return "not an MZ executable"
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        return "no PE signature at 0x%x" % pe
    found, _, _, _, _, _, characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
    if found != machine:
        return "machine 0x%04x, expected 0x%04x" % (found, machine)
    if not characteristics & LARGE_ADDRESS_AWARE:
        return "not large-address-aware (characteristics 0x%04x)" % characteristics
    return None


def main():
    machine = MACHINES[sys.argv[1]]
    bad = 0
    for path in sys.argv[2:]:
        problem = check(path, machine)
        print("%s: %s" % (path, problem or "ok"))
        bad += problem is not None
    return 1 if bad or len(sys.argv) < 3 else 0


if __name__ == "__main__":
    sys.exit(main())

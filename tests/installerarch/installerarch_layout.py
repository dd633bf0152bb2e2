#!/usr/bin/python3
"""Independent reader of the install archive layout, used by the tests.

installerarch_layout.py ARCHIVE [--offset N] [--expect SOURCE ...]

Walks the header chain, checks every position rule of the layout (single
file or spanned over disk parts ARCHIVE with extension .1, .2, ...),
inflates each entry and, with --expect, compares it with the source files
in order.  Prints one line per entry and "OK <count> <spanned>"; exits 1
with a message on the first rule broken.
"""
import os
import struct
import sys
import zlib

HEADER = 164


def fail(msg):
    print("FAIL " + msg)
    sys.exit(1)


def part_name(archive, disk):
    base, _ = os.path.splitext(archive)
    return "%s.%d" % (base, disk)


def main():
    args = sys.argv[1:]
    archive = args.pop(0)
    offset = 0
    expect = []
    while args:
        a = args.pop(0)
        if a == "--offset":
            offset = int(args.pop(0))
        elif a == "--expect":
            expect = args
            args = []
    with open(archive, "rb") as f:
        blob = f.read()
    data = blob[offset:]
    if len(data) < 5:
        fail("archive shorter than its prefix")
    count, spanned = struct.unpack_from("<iB", data, 0)
    if spanned not in (0, 1):
        fail("spanned flag %d" % spanned)
    parts = {}
    if spanned:
        disk = 1
        while os.path.exists(part_name(archive, disk)):
            with open(part_name(archive, disk), "rb") as f:
                parts[disk] = f.read()
            disk += 1
    pos = 5
    entries = []
    prev_disk_end = None
    for k in range(count):
        if spanned and pos != 5 + HEADER * k:
            fail("header %d at %d, table slot is %d" % (k + 1, pos, 5 + HEADER * k))
        if pos + HEADER > len(data):
            fail("header %d past the end" % (k + 1))
        (index, date, last_disk, last_byte) = struct.unpack_from("<idB3xi", data, pos)
        plen = data[pos + 20]
        path = data[pos + 21:pos + 21 + plen].decode("latin-1")
        if plen > 100:
            fail("path length %d" % plen)
        if data[pos + 13:pos + 16] != b"\0\0\0" or data[pos + 121:pos + 124] != b"\0\0\0" \
                or data[pos + 162:pos + 164] != b"\0\0":
            fail("padding of header %d not zero" % (k + 1))
        (nxt, size, start, csize, first_disk) = struct.unpack_from("<iiiiB", data, pos + 124)
        vlen = data[pos + 141]
        if vlen > 20:
            fail("version length %d" % vlen)
        version = data[pos + 142:pos + 142 + vlen].decode("latin-1")
        if spanned:
            if nxt != pos + HEADER:
                fail("next header of %d is %d" % (k + 1, nxt))
            first = first_disk or 1
            stream = b""
            for d in range(first, last_disk + 1):
                part = parts.get(d)
                if part is None:
                    fail("disk part %d missing" % d)
                lo = start if d == first else 0
                hi = last_byte + 1 if d == last_disk else len(part)
                if d != first and d != last_disk and lo != 0:
                    fail("middle part does not start at 0")
                stream += part[lo:hi]
            here = (first, start)
            want = prev_disk_end if prev_disk_end is not None else (1, 5 + HEADER * count)
            if here != want:
                fail("data of %d starts at %r, expected %r" % (k + 1, here, want))
            prev_disk_end = (last_disk, last_byte + 1)
        else:
            if start != pos + HEADER:
                fail("data of %d starts at %d, header at %d" % (k + 1, start, pos))
            if first_disk != 0 or last_disk != 0:
                fail("disk numbers in a single archive")
            if last_byte != start + csize - 1 or nxt != last_byte + 1:
                fail("end fields of %d: last %d next %d" % (k + 1, last_byte, nxt))
            stream = data[start:start + csize]
        if len(stream) != csize:
            fail("entry %d holds %d compressed bytes, header says %d" % (k + 1, len(stream), csize))
        d = zlib.decompressobj()
        raw = d.decompress(stream)
        if not d.eof or d.unused_data:
            fail("entry %d is not exactly one zlib stream" % (k + 1))
        if len(raw) != size:
            fail("entry %d inflates to %d, header says %d" % (k + 1, len(raw), size))
        if k < len(expect):
            with open(expect[k], "rb") as f:
                if f.read() != raw:
                    fail("entry %d differs from %s" % (k + 1, expect[k]))
        entries.append(raw)
        print("%d %d %s %d %d %d-%d %s" % (k + 1, index, path, size, csize, first_disk, last_disk, version))
        pos = nxt
    if not spanned and count and pos != len(data):
        fail("bytes after the last entry: chain ends at %d of %d" % (pos, len(data)))
    if spanned and count == 0 and len(data) != 5:
        fail("empty spanned table")
    print("OK %d %d" % (count, spanned))


main()

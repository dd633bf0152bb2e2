#!/usr/bin/python3
"""Writes VERSIONS releases of a generated tree of FILES files into
OUT/v00 .. OUT/vNN (oldest first), as a product grows from release to
release: most files edited a little each time, some left alone for a few
releases, some renamed, moved to another folder, copied under a second name,
dropped for a release and brought back, and families of files much like one
another. Same arguments, same bytes; every file dated 2026-01-01.

    state_trees.py OUT VERSIONS FILES [SEED] [KIB]   (KIB: mean file size)
"""
import os
import random
import sys

WORDS = [b"alpha ", b"beta ", b"gamma ", b"delta\n", b"epsilon ", b"zeta; ", b"{ x = 1; }\n",
         b"return 0;\n", b"if (n > 2) ", b"\t", b"#include <x.h>\n", b"// note\n", b"0x7f, ", b"==", b"QXZ"]
STAMP = 1767225600  # 2026-01-01 00:00:00 UTC


class Source:
    """One file as it evolves; its word weights drift a little per release."""

    def __init__(self, rng, name, size, binary):
        self.rng = rng
        self.name = name
        self.binary = binary
        self.weights = [rng.random() ** 2 for _ in WORDS]
        self.data = bytearray()
        while len(self.data) < size:
            self.data += self.piece(64)
        self.present = True

    def piece(self, length):
        rng = self.rng
        if self.binary:
            base = rng.randrange(256)
            return bytes((base + int(rng.expovariate(0.08))) & 0xFF for _ in range(length))
        out = bytearray()
        while len(out) < length:
            out += rng.choices(WORDS, self.weights)[0]
        return bytes(out)

    def release(self):
        rng = self.rng
        if rng.random() < 0.3:
            return  # unchanged this time
        for i in range(len(self.weights)):
            self.weights[i] = max(0.001, self.weights[i] * (0.7 + 0.6 * rng.random()))
        for _ in range(1 + rng.randrange(12)):
            at = rng.randrange(len(self.data))
            kind = rng.randrange(3)
            if kind == 0:
                self.data[at:at] = self.piece(rng.randrange(16, 600))
            elif kind == 1 and len(self.data) > 2000:
                del self.data[at:at + rng.randrange(16, 400)]
            else:
                self.data[at:at + 200] = self.piece(200)


def main():
    out, versions, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 1
    kib = float(sys.argv[5]) if len(sys.argv) > 5 else 17
    rng = random.Random(seed)
    folders = ["", "bin/", "lib/", "share/doc/", "data/"]
    sources = []
    for f in range(files):
        size = int(kib * 1024 * (0.2 + 1.6 * rng.random()))
        sources.append(Source(rng, rng.choice(folders) + "f%03d.%s" % (f, rng.choice(["c", "h", "txt", "dat"])),
                              size, rng.random() < 0.3))
    # Families: a few files begin as copies of another one and go their own way.
    for f in range(0, files, 9):
        if f + 1 < files:
            sources[f + 1].data = bytearray(sources[f].data)
            sources[f + 1].weights = list(sources[f].weights)
            sources[f + 1].binary = sources[f].binary
    for v in range(versions):
        if v > 0:
            for s in sources:
                s.release()
                r = rng.random()
                if r < 0.02:
                    s.name = s.name.rsplit("/", 1)[0] + "/renamed-%d-" % v + s.name.rsplit("/", 1)[-1] \
                        if "/" in s.name else "renamed-%d-" % v + s.name
                elif r < 0.04:
                    s.name = rng.choice(folders) + s.name.rsplit("/", 1)[-1]
                elif r < 0.06 and v + 1 < versions:
                    s.present = not s.present
                elif not s.present and v + 1 == versions:
                    s.present = True
            if rng.random() < 0.5:
                # A copy of a file appears under a second name.
                src = rng.choice(sources)
                twin = Source(rng, "copies/copy-%d-" % v + src.name.rsplit("/", 1)[-1], 0, src.binary)
                twin.data = bytearray(src.data)
                twin.weights = list(src.weights)
                sources.append(twin)
        root = os.path.join(out, "v%02d" % v)
        for s in sources:
            if not s.present:
                continue
            path = os.path.join(root, s.name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as fh:
                fh.write(s.data)
            os.utime(path, (STAMP, STAMP))


if __name__ == "__main__":
    main()

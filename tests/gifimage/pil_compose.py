#!/usr/bin/python3
"""Makes ImageMagick animations whose frames are all transparent and writes
PIL's composed frames of each.

pil_compose.py OUTDIR

For each disposal D (none, background, previous): OUTDIR/D.gif, OUTDIR/D.txt
("WIDTH HEIGHT FRAMES") and OUTDIR/D.N.rgba (frame N from 1, RGBA rows of
the screen, top row first).
"""
import os
import random
import subprocess
import sys

from PIL import Image

KEY = (1, 2, 3)  # the colour made transparent


def frame(w, h, rnd, shift):
    colours = [(rnd.randrange(8, 256), rnd.randrange(256), rnd.randrange(256)) for _ in range(5)]
    img = Image.new("RGB", (w, h))
    img.putdata([colours[rnd.randrange(5)] for _ in range(w * h)])
    # A transparent hole and a transparent diagonal, so that frames show
    # through each other.
    for y in range(h):
        for x in range(w):
            if (x + y + shift) % 4 == 0 or (2 <= x < 5 and 1 <= y < 4):
                img.putpixel((x, y), KEY)
    return img


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rnd = random.Random(5)
    sources = []
    for i in range(4):
        path = os.path.join(out, "f%d.ppm" % i)
        frame(12 - i, 9 - i, rnd, i).save(path)
        sources.append(path)
    procs = []
    for dispose in ("none", "background", "previous"):
        args = ["/usr/bin/convert", "-loop", "0", "-delay", "0", "-dispose", dispose.capitalize()]
        for i, s in enumerate(sources):
            args += ["-page", "20x14+%d+%d" % (2 * i, i), s]
        args += ["-transparent", "rgb(1,2,3)", os.path.join(out, dispose + ".gif")]
        procs.append(subprocess.Popen(args))
    if any(p.wait() for p in procs):
        sys.exit("convert failed")
    for dispose in ("none", "background", "previous"):
        with Image.open(os.path.join(out, dispose + ".gif")) as im:
            with open(os.path.join(out, dispose + ".txt"), "w") as t:
                t.write("%d %d %d\n" % (im.size[0], im.size[1], im.n_frames))
            for n in range(im.n_frames):
                im.seek(n)
                with open(os.path.join(out, "%s.%d.rgba" % (dispose, n + 1)), "wb") as f:
                    f.write(im.convert("RGBA").tobytes())


if __name__ == "__main__":
    main()

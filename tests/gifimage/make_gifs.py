#!/usr/bin/python3
"""Makes the reference GIFs of the reader's tests with ImageMagick and PIL.

make_gifs.py OUTDIR [GIF ...]

Writes OUTDIR/im-*.gif (ImageMagick) and OUTDIR/pil-*.gif (PIL), then
OUTDIR/pil.txt: one line "PATH LOOP" for every made and every given file,
LOOP being PIL's NETSCAPE loop count or "-" when the file has none.
"""
import os
import random
import subprocess
import sys

from PIL import Image

CONVERT = "/usr/bin/convert"


def noise(width, height, colours, rnd):
    """An RGB image of random pixels drawn from 'colours' distinct colours."""
    palette = [(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)) for _ in range(colours)]
    palette = list(dict.fromkeys(palette))
    img = Image.new("RGB", (width, height))
    img.putdata([palette[rnd.randrange(len(palette))] for _ in range(width * height)])
    return img


# ImageMagick takes about 70 ms an image here, so its runs go side by side.
running = []


def convert(args):
    running.append(subprocess.Popen([CONVERT] + args))


def wait_all():
    failed = [p.args for p in running if p.wait() != 0]
    if failed:
        sys.exit("convert failed: %s" % failed)


def imagemagick(out, rnd):
    work = os.path.join(out, "ppm")
    os.makedirs(work, exist_ok=True)

    def ppm(name, img):
        path = os.path.join(work, name + ".ppm")
        img.save(path)
        return path

    # Interlaced frames of every height 1..10, each with widths 1, 9 and one
    # between, in runs of ten.
    sources = []
    for h in range(1, 11):
        for w in sorted({1, 2 + h % 7, 9}):
            sources.append(ppm("i%dx%d" % (w, h), noise(w, h, 2 + (w * h) % 7, rnd)))
    for i in range(0, len(sources), 10):
        convert(sources[i:i + 10] + ["-interlace", "GIF", "+adjoin",
                                     os.path.join(out, "im-interlaced-%d-%%02d.gif" % (i // 10))])

    # 2 to 256 colours, plain.
    sources = [ppm("c%d" % n, noise(37, 23, n, rnd)) for n in (2, 3, 5, 16, 17, 100, 256)]
    sources.append(ppm("c256big", noise(64, 64, 256, rnd)))
    convert(sources + ["+adjoin", os.path.join(out, "im-colours-%02d.gif")])

    # A transparent colour.
    t = noise(20, 12, 6, rnd)
    t.putpixel((0, 0), (1, 2, 3))
    t.putpixel((5, 5), (1, 2, 3))
    convert([ppm("t", t), "-transparent", "rgb(1,2,3)", os.path.join(out, "im-transparent.gif")])

    # Animations: frames of their own palettes (local tables), offsets,
    # every disposal, delays and a loop count.
    frames = [ppm("a%d" % i, noise(16 - 2 * i, 10 - i, 4 + 30 * i, rnd)) for i in range(4)]
    for dispose in ("None", "Background", "Previous"):
        args = ["-loop", "2"]
        for i, f in enumerate(frames):
            args += ["-delay", str(5 * i), "-dispose", dispose, "-page", "+%d+%d" % (i, 2 * i), f]
        convert(args + [os.path.join(out, "im-anim-%s.gif" % dispose.lower())])
    # An animation whose frames are all transparent.
    args = ["-loop", "0", "-dispose", "Background", "-delay", "7"]
    for i in range(3):
        img = noise(10 + i, 8, 5, rnd)
        for x in range(0, img.width, 2):
            img.putpixel((x, (x + i) % img.height), (1, 2, 3))
        args += ["-page", "+%d+%d" % (2 * i, i), ppm("t%d" % i, img)]
    convert(args + ["-transparent", "rgb(1,2,3)", os.path.join(out, "im-anim-transparent.gif")])


def pil(out, rnd):
    def pframe(w, h, colours):
        img = noise(w, h, colours, rnd)
        return img.convert("P", palette=Image.ADAPTIVE, colors=colours)

    frames = [pframe(12, 9, 8) for _ in range(3)]
    frames[0].save(os.path.join(out, "pil-anim.gif"), save_all=True, append_images=frames[1:],
                   disposal=[0, 1, 2], duration=[30, 70, 0], loop=3)
    frames = [pframe(30, 20, 200) for _ in range(2)]
    frames[0].save(os.path.join(out, "pil-anim-dispose3.gif"), save_all=True, append_images=frames[1:],
                   disposal=3, duration=100, loop=0, transparency=0)
    pframe(9, 7, 3).save(os.path.join(out, "pil-single.gif"))
    pframe(33, 5, 50).save(os.path.join(out, "pil-interlaced.gif"), interlace=True, transparency=2)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rnd = random.Random(27)
    imagemagick(out, rnd)
    pil(out, rnd)
    wait_all()
    made = sorted(os.path.join(out, n) for n in os.listdir(out) if n.endswith(".gif"))
    with open(os.path.join(out, "pil.txt"), "w") as listing:
        for path in made + sys.argv[2:]:
            with Image.open(path) as img:
                loop = img.info.get("loop")
            listing.write("%s %s\n" % (path, "-" if loop is None else loop))


if __name__ == "__main__":
    main()

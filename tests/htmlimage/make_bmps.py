#!/usr/bin/python3
"""Writes BMP files of every form the viewer reads, made by Pillow and
ImageMagick (and, for what neither writes, RLE4 and top-down rows, built here
byte by byte), with Pillow's decoding of each beside it.

make_bmps.py OUTDIR writes OUTDIR/NAME.bmp and OUTDIR/NAME.rgb (Pillow's RGB
bytes, top row first) and lists "NAME WIDTH HEIGHT" in OUTDIR/index.txt.
"""
import os
import struct
import subprocess
import sys

from PIL import Image

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
names = []
magick_reference = set()


def pattern(w, h, colours):
    """An image whose neighbouring pixels differ, in at most 'colours' colours."""
    im = Image.new("RGB", (w, h))
    palette = [((i * 97) % 256, (i * 53 + 40) % 256, (i * 191 + 7) % 256) for i in range(colours)]
    for y in range(h):
        for x in range(w):
            im.putpixel((x, y), palette[(x * 3 + y * 5 + x * y) % colours])
    return im


def magick(name, im, *options):
    src = os.path.join(out, name + ".src.png")
    im.save(src)
    target = os.path.join(out, name + ".bmp")
    fmt = [o for o in options if o.endswith(":")]
    opts = [o for o in options if not o.endswith(":")]
    subprocess.run(["/usr/bin/convert", src] + opts + [(fmt[0] if fmt else "") + target], check=True)
    os.remove(src)
    names.append(name)


def pil(name, im):
    im.save(os.path.join(out, name + ".bmp"))
    names.append(name)


def raw(name, data):
    with open(os.path.join(out, name + ".bmp"), "wb") as f:
        f.write(data)
    names.append(name)


def bmp_file(w, h, bits, compression, palette, pixels):
    """A BMP with a 40-byte info header; h < 0 for top-down rows."""
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    off = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, len(pixels), 2835, 2835, len(palette), 0)
    return b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off) + info + pal + pixels


def rle4(w, h, colours, jumps):
    """RLE4 rows built from encoded runs, absolute runs, row ends and, with
    'jumps', a jump and absolute runs of odd length (which Pillow 9 misreads,
    so those files are checked against ImageMagick's decoding instead)."""
    palette = [((i * 37) % 256, (i * 71) % 256, (i * 113) % 256) for i in range(colours)]
    data = bytearray()
    for y in range(h):
        x = 0
        if jumps and y == 1 and w > 3:
            data += bytes([0, 2, 2, 0])  # jump two pixels right: they keep index 0
            x = 2
        while x < w:
            n = min(w - x, 5)
            if (x + y) % 2 == 0:
                data += bytes([n, ((y + 1) % colours) << 4 | ((x + 2) % colours)])
            elif n >= 3 and (jumps or n % 2 == 0):
                nibbles = [(x + y + i) % colours for i in range(n)]
                if n % 2:
                    nibbles.append(0)
                body = bytes(nibbles[i] << 4 | nibbles[i + 1] for i in range(0, len(nibbles), 2))
                if len(body) % 2:
                    body += b"\0"
                data += bytes([0, n]) + body
            else:
                data += bytes([n, 0x12])
            x += n
        data += bytes([0, 0])
    data += bytes([0, 1])
    return bmp_file(w, h, 4, 2, palette, bytes(data))


def top_down(path_in):
    """The same picture with its rows stored top row first."""
    d = bytearray(open(path_in, "rb").read())
    off, = struct.unpack("<I", d[10:14])
    w, h, _, bits = struct.unpack("<iiHH", d[18:30])
    stride = (w * bits + 31) // 32 * 4
    rows = [d[off + r * stride: off + (r + 1) * stride] for r in range(h)]
    d[22:26] = struct.pack("<i", -h)
    d[off:off + stride * h] = b"".join(reversed(rows))
    return bytes(d)


for w in range(1, 10):
    h = 3 + w % 3
    pil("pil1_w%d" % w, pattern(w, h, 2).convert("1", dither=Image.NONE))
    pil("pil8_w%d" % w, pattern(w, h, 200).quantize(256))
    pil("pil24_w%d" % w, pattern(w, h, 255))
    magick("im4_w%d" % w, pattern(w, h, 16), "-type", "Palette", "BMP3:")
    magick("imrle8_w%d" % w, pattern(w, h, 40), "-type", "Palette", "-compress", "RLE", "BMP3:")
    raw("rle4_w%d" % w, rle4(w, h, 16, False))
    raw("rle4jump_w%d" % w, rle4(w, h, 16, True))
    magick_reference.add("rle4jump_w%d" % w)
    raw("topdown24_w%d" % w, top_down(os.path.join(out, "pil24_w%d.bmp" % w)))

rgba = pattern(6, 4, 30).convert("RGBA")
rgba.putalpha(128)
pil("pil32", rgba)
magick("im32_bitfields", rgba, "BMP:")
magick("im32_bmp3", rgba, "-define", "bmp3:alpha=true", "BMP3:")
magick("im16_565", pattern(7, 5, 60), "-define", "bmp:subtype=RGB565")
magick("im16_555", pattern(7, 5, 60), "-define", "bmp:subtype=RGB555")
magick("im1", pattern(9, 4, 2), "-type", "Bilevel", "BMP3:")
magick("core4", pattern(7, 5, 16), "-type", "Palette", "BMP2:")
magick("core8", pattern(9, 6, 100), "-type", "Palette", "BMP2:")
magick("core24", pattern(5, 3, 255), "-type", "TrueColor", "BMP2:")
pil("pil8_gray", pattern(11, 7, 50).convert("L"))
magick("im8_large", pattern(70, 40, 200), "-type", "Palette", "BMP3:")
magick("imrle8_large", pattern(70, 40, 200), "-type", "Palette", "-compress", "RLE", "BMP3:")
raw("rle4_large", rle4(61, 23, 16, False))
raw("rle4jump_large", rle4(61, 23, 16, True))
magick_reference.add("rle4jump_large")
raw("topdown8", top_down(os.path.join(out, "pil8_w7.bmp")))
raw("topdown1", top_down(os.path.join(out, "pil1_w9.bmp")))

with open(os.path.join(out, "index.txt"), "w") as index:
    for name in names:
        path = os.path.join(out, name + ".bmp")
        im = Image.open(path)
        im.load()
        with open(os.path.join(out, name + ".rgb"), "wb") as f:
            if name in magick_reference:
                f.write(subprocess.run(["/usr/bin/convert", path, "-depth", "8", "rgb:-"], check=True,
                                       stdout=subprocess.PIPE).stdout)
            else:
                f.write(im.convert("RGB").tobytes())
        index.write("%s %d %d\n" % (name, im.size[0], im.size[1]))

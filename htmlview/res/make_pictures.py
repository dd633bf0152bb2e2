#!/usr/bin/python3
"""Draws the viewer's built-in pictures and its link cursor into this folder.

Run it again after changing a drawing; the files it writes are committed and
compiled into the programs' resources by htmlview.rc.
"""
import os
import struct

from PIL import Image, ImageDraw

here = os.path.dirname(os.path.abspath(__file__))


def page_outline(d):
    """A sheet with its top right corner folded over."""
    return [(2, 0), (10, 0), (13, 3), (13, 15), (2, 15)]


# The broken-image picture: a sheet torn through by a red cross.
err = Image.new("RGB", (16, 16), (255, 255, 255))
d = ImageDraw.Draw(err)
d.polygon(page_outline(d), fill=(255, 255, 255), outline=(96, 96, 96))
d.line([(10, 0), (10, 3), (13, 3)], fill=(96, 96, 96))
d.line([(4, 5), (11, 12)], fill=(220, 0, 0), width=2)
d.line([(11, 5), (4, 12)], fill=(220, 0, 0), width=2)
err.save(os.path.join(here, "errorbmp.bmp"))

# Its mask: white where the background shows, black over the sheet.
mask = Image.new("1", (16, 16), 1)
ImageDraw.Draw(mask).polygon(page_outline(None), fill=0, outline=0)
mask.save(os.path.join(here, "errormask.bmp"))

# The placeholder while an image loads: a framed little landscape.
ph = Image.new("RGB", (16, 16), (192, 192, 192))
d = ImageDraw.Draw(ph)
d.rectangle([0, 0, 15, 15], outline=(128, 128, 128))
d.rectangle([2, 2, 13, 13], fill=(166, 202, 240))
d.ellipse([9, 3, 12, 6], fill=(255, 220, 0))
d.polygon([(2, 13), (2, 10), (6, 6), (10, 10), (13, 8), (13, 13)], fill=(0, 128, 0))
ph.save(os.path.join(here, "defbmp.bmp"))

# The link cursor: a hand pointing up, hot spot at the finger tip.
# 'X' black, '.' white, blank transparent.
hand = """
     XX
    X..X
    X..X
    X..X
    X..X
    X..XXX
    X..X..XXX
    X..X..X..XX
    X..X..X..X.X
XXX X........X.X
X..XX..........X
X...X..........X
 X..X..........X
  X............X
  X...........X
   X..........X
   X.........X
    X........X
    X........X
    XXXXXXXXXX
""".strip("\n").split("\n")
size = 32
xor_rows, and_rows = [], []
for y in range(size):
    line = hand[y] if y < len(hand) else ""
    xo = an = 0
    for x in range(size):
        c = line[x] if x < len(line) else " "
        bit = 1 << (31 - x)
        if c == " ":
            an |= bit
        elif c == ".":
            xo |= bit
    xor_rows.append(struct.pack(">I", xo))
    and_rows.append(struct.pack(">I", an))
# Rows bottom-up, as in every device-independent bitmap.
image = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, 0, 0, 0, 2, 0)
image += struct.pack("<BBBBBBBB", 0, 0, 0, 0, 255, 255, 255, 0)
image += b"".join(reversed(xor_rows)) + b"".join(reversed(and_rows))
hotspot = (5, 0)
cur = struct.pack("<HHH", 0, 2, 1)
cur += struct.pack("<BBBBHHII", size, size, 0, 0, hotspot[0], hotspot[1], len(image), 6 + 16)
with open(os.path.join(here, "link.cur"), "wb") as f:
    f.write(cur + image)

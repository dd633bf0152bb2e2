# Draws the splash picture of Morvane32 (355 x 127, 24 bits) into
# splash.bmp beside this script. Run with /usr/bin/python3 (python3-pil).
import os

from PIL import Image, ImageDraw, ImageFont

W, H = 355, 127
here = os.path.dirname(os.path.abspath(__file__))
img = Image.new("RGB", (W, H))
d = ImageDraw.Draw(img)
# A deep blue band darkening to the right, with a lighter strip at the top.
for x in range(W):
    t = x / (W - 1)
    d.line([(x, 0), (x, H)], fill=(int(24 - 14 * t), int(64 - 34 * t), int(140 - 60 * t)))
d.rectangle([0, 0, W - 1, 3], fill=(120, 170, 230))
d.rectangle([0, 0, W - 1, H - 1], outline=(10, 20, 50))
# Two overlapping squares: an old and a new version, joined by a patch.
d.rectangle([18, 30, 58, 70], outline=(200, 210, 230), width=2)
d.rectangle([34, 46, 74, 86], fill=(240, 170, 40), outline=(255, 230, 160), width=2)
fonts = "/usr/share/fonts/truetype/dejavu/"
big = ImageFont.truetype(fonts + "DejaVuSans-Bold.ttf", 28)
small = ImageFont.truetype(fonts + "DejaVuSans.ttf", 12)
d.text((92, 26), "Morvane", font=big, fill=(255, 255, 255))
d.text((92, 58), "Tapmend 1.9", font=small, fill=(240, 170, 40))
d.text((92, 80), "Patches for every old version", font=small, fill=(210, 220, 240))
d.text((92, 96), "in one compact file", font=small, fill=(210, 220, 240))
img.save(os.path.join(here, "splash.bmp"))

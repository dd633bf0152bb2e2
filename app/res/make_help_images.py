# Draws the pictures of the help pages into help/images: versions.gif (old
# versions joined into one patch that makes the new version). Run with
# /usr/bin/python3 (python3-pil).
import os

from PIL import Image, ImageDraw, ImageFont

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "help", "images")
fonts = "/usr/share/fonts/truetype/dejavu/"
font = ImageFont.truetype(fonts + "DejaVuSans.ttf", 11)
bold = ImageFont.truetype(fonts + "DejaVuSans-Bold.ttf", 11)

img = Image.new("RGB", (360, 150), (255, 255, 255))
d = ImageDraw.Draw(img)
for i, name in enumerate(["1.0", "1.1", "1.2"]):
    y = 12 + i * 44
    d.rectangle([10, y, 95, y + 30], fill=(200, 215, 240), outline=(40, 60, 120))
    d.text((18, y + 8), "Version " + name, font=font, fill=(0, 0, 0))
    d.line([(95, y + 15), (140, 75)], fill=(40, 60, 120), width=2)
d.rectangle([140, 55, 230, 95], fill=(240, 170, 40), outline=(150, 90, 0))
d.text((152, 62), "patch.utp", font=bold, fill=(0, 0, 0))
d.text((150, 77), "one file", font=font, fill=(60, 40, 0))
d.line([(230, 75), (270, 75)], fill=(40, 60, 120), width=2)
d.polygon([(270, 69), (280, 75), (270, 81)], fill=(40, 60, 120))
d.rectangle([282, 55, 356, 95], fill=(190, 230, 190), outline=(30, 100, 30))
d.text((287, 68), "Version 2.0", font=font, fill=(0, 0, 0))
img.convert("P", palette=Image.ADAPTIVE, colors=32).save(os.path.join(here, "versions.gif"))

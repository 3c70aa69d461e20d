#!/bin/sh
# Renders the pictures of the desktop program that are kept in the repository: the About box
# banner (462 x 47 pixels, 24 bits per pixel) as PNG for Qt and as BMP for the Windows resources,
# and the Windows icon file, which packs the icon's PNG renderings. Needs rsvg-convert
# (librsvg2-bin), ImageMagick's convert and python3; the build itself needs none of them.
set -eu
cd "$(dirname "$0")/../ui/resources"
# The banner is opaque, so rsvg-convert writes it without an alpha channel.
rsvg-convert banner.svg -o banner.png
convert banner.png -type TrueColor BMP3:banner.bmp
python3 - <<'PY'
import struct

sizes = [16, 32, 48, 256]
images = [open(f"icons/koralux-{size}.png", "rb").read() for size in sizes]
header = struct.pack("<HHH", 0, 1, len(images))
offset = len(header) + 16 * len(images)
entries = b""
for size, data in zip(sizes, images):
    side = 0 if size == 256 else size  # 0 stands for 256
    entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
with open("koralux.ico", "wb") as ico:
    ico.write(header + entries + b"".join(images))
PY

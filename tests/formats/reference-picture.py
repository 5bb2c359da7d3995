#!/usr/bin/python3
"""Writes the upright picture of a photo as a binary PPM, laid onto white,
as outside decoders see it: heif-convert for HEIF and AVIF, Pillow for the
rest (upright by their orientation, 16-bit samples scaled to 8 bits)."""
import io
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageOps



def without_icc(png):
    """The PNG without its iCCP chunk, which heif-convert writes in a form
    Pillow refuses; the pixels are what is compared."""
    out, at = bytearray(png[:8]), 8
    while at + 8 <= len(png):
        (length,) = struct.unpack(">I", png[at:at + 4])
        end = at + 12 + length
        if png[at + 4:at + 8] != b"iCCP":
            out += png[at:end]
        at = end
    return bytes(out)


source, target = sys.argv[1], sys.argv[2]
with tempfile.TemporaryDirectory() as folder:
    if source.lower().endswith((".heic", ".heif", ".avif")):
        decoded = os.path.join(folder, "decoded.png")
        subprocess.run(["heif-convert", source, decoded], check=True, stdout=subprocess.DEVNULL)
        with open(decoded, "rb") as png:
            picture = Image.open(io.BytesIO(without_icc(png.read())))
            picture.load()
    else:
        # Pillow's TIFF decoder turns the picture upright itself as it loads
        # it (and keeps the tag), so only the other formats are turned here.
        picture = Image.open(source)
        picture.load()
        if picture.format != "TIFF":
            picture = ImageOps.exif_transpose(picture)
    if picture.mode.startswith("I;16") or picture.mode == "I":
        picture = picture.convert("I").point(lambda v: v * (1 / 256)).convert("L")
    picture = picture.convert("RGBA")
    white = Image.new("RGBA", picture.size, (255, 255, 255, 255))
    Image.alpha_composite(white, picture).convert("RGB").save(target, "PPM")

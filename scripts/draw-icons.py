#!/usr/bin/env python3
"""Rasterise the SVG sources in resources/icons/src into the PNGs the program loads.

Toolbar icons come out at 24x24 and 48x48 (@2x), each also as NAME-dark for dark desktops
(light line art over dark fills, the colours swapped through DARK_COLOURS), the program icon at 64x64 and
256x256 from resources/icons/ramux.svg, the installed hicolor sizes (16 to 256 pixels) into
packaging/icons/, and the About-page cover at 128x128. The cover is flattened to plain RGB because the
page expects an opaque picture. Needs rsvg-convert (Debian: librsvg2-bin).

Usage: scripts/draw-icons.py   (run from anywhere; paths are relative to the repo)
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(ROOT, "resources")
SRC = os.path.join(RES, "icons", "src")
HICOLOR_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
TOOLBAR = ["drugs", "groups", "vendors", "favourites", "settings", "appendix", "about", "exit"]
# Dark line art on a dark toolbar would vanish: the outline turns light, the pale fill dark, and
# the accent a step brighter.
DARK_COLOURS = {"#285a64": "#d4efe9", "#e3f2ef": "#2c5259", "#3aa393": "#4cc2ad"}


def rasterise(svg, png, size):
    subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o", png, svg], check=True)


def read_png_rgba(path):
    """Decode an 8-bit RGB or RGBA non-interlaced PNG (what rsvg-convert writes) to RGBA rows."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG: " + path)
    pos, idat, width, height, colour = 8, b"", 0, 0, 6
    while pos + 8 <= len(data):
        length, ctype = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if ctype == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace != 0:
                raise ValueError("unexpected PNG layout in " + path)
        elif ctype == b"IDAT":
            idat += body
        elif ctype == b"IEND":
            break
    raw = zlib.decompress(idat)
    bpp = 4 if colour == 6 else 3
    stride = width * bpp
    rows, prev, off = [], bytearray(stride), 0
    for _ in range(height):
        ftype = raw[off]
        line = bytearray(raw[off + 1:off + 1 + stride])
        off += 1 + stride
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 0xFF
            elif ftype == 2:
                line[i] = (line[i] + b) & 0xFF
            elif ftype == 3:
                line[i] = (line[i] + ((a + b) >> 1)) & 0xFF
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if (pa <= pb and pa <= pc) else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        prev = line
        if bpp == 3:
            rgba = bytearray()
            for x in range(width):
                rgba += line[3 * x:3 * x + 3] + b"\xff"
            line = rgba
        rows.append(line)
    return width, height, rows


def write_png_rgb(path, width, height, rows, background):
    """Composite RGBA rows over an opaque background and write colour type 2."""
    out = bytearray()
    for line in rows:
        out.append(0)
        for x in range(width):
            r, g, b, a = line[4 * x:4 * x + 4]
            for ch, bg in zip((r, g, b), background):
                out.append((ch * a + bg * (255 - a) + 127) // 255)

    def chunk(ctype, body):
        return struct.pack(">I", len(body)) + ctype + body + struct.pack(">I", zlib.crc32(ctype + body) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(out), 9)))
        f.write(chunk(b"IEND", b""))


def main():
    if shutil.which("rsvg-convert") is None:
        sys.exit("rsvg-convert not found (apt-get install librsvg2-bin)")
    icons = os.path.join(RES, "icons")
    for name in TOOLBAR:
        svg = os.path.join(SRC, name + ".svg")
        rasterise(svg, os.path.join(icons, name + ".png"), 24)
        rasterise(svg, os.path.join(icons, name + "@2x.png"), 48)
        with open(svg, encoding="utf-8") as f:
            text = f.read()
        for light, dark in DARK_COLOURS.items():
            text = text.replace(light, dark.upper())  # upper case: no second swap
        with tempfile.TemporaryDirectory() as tmp:
            dark_svg = os.path.join(tmp, name + "-dark.svg")
            with open(dark_svg, "w", encoding="utf-8") as f:
                f.write(text)
            rasterise(dark_svg, os.path.join(icons, name + "-dark.png"), 24)
            rasterise(dark_svg, os.path.join(icons, name + "-dark@2x.png"), 48)
    rasterise(os.path.join(icons, "ramux.svg"), os.path.join(icons, "ramux.png"), 64)
    rasterise(os.path.join(icons, "ramux.svg"), os.path.join(icons, "ramux-256.png"), 256)
    hicolor = os.path.join(ROOT, "packaging", "icons")
    os.makedirs(hicolor, exist_ok=True)
    for size in HICOLOR_SIZES:
        rasterise(os.path.join(icons, "ramux.svg"), os.path.join(hicolor, "ramux-%d.png" % size), size)
    with tempfile.TemporaryDirectory() as tmp:
        rgba = os.path.join(tmp, "cover.png")
        rasterise(os.path.join(SRC, "cover.svg"), rgba, 128)
        w, h, rows = read_png_rgba(rgba)
        write_png_rgb(os.path.join(RES, "cover.png"), w, h, rows, (0xF4, 0xFA, 0xF8))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Remakes Tabrivo's artwork from scratch (run from anywhere):

    python3 artwork/make_artwork.py

Writes, next to this script:
  HAND-M.CUR        hand (pointing finger) mouse cursor, Windows .cur, 32x32 32-bit
  drag.ico          "moving a row" drag pointer, Windows .ico, 32x32 32-bit
  tabrivo.svg       the application icon (the SVG text lives in this script)
  tabrivo-16.svg    the same icon drawn on the 16 x 16 pixel grid
  icons/tabrivo-N.png  the icon rendered at 16..256 px with rsvg-convert
                    (16 px from tabrivo-16.svg, the others from tabrivo.svg)
                    (Debian package librsvg2-bin); skipped with a note when
                    rsvg-convert is missing, the committed PNGs stay as they are.

The pointers are drawn here with plain Python (no third-party module): every
shape is a signed distance function, each pixel is sampled 8 x 8 times, and
the share of samples in the outline, the fill or the outside gives the pixel
its colour and alpha. Same input, same bytes, every run.
"""

import math
import os
import shutil
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 32          # pointer images are 32 x 32
SAMPLES = 8        # 8 x 8 samples per pixel for anti-aliasing
OUTLINE = 1.25     # width of the black outline, in pixels

# ---------------------------------------------------------------- shapes ----
# Each shape is a function (x, y) -> signed distance: negative inside.


def capsule(ax, ay, bx, by, r):
    """A segment from (ax, ay) to (bx, by) with round ends, radius r."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def sdf(x, y):
        px, py = x - ax, y - ay
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, (px * dx + py * dy) / length2))
        return math.hypot(px - t * dx, py - t * dy) - r

    return sdf


def rounded_box(x0, y0, x1, y1, r):
    """An axis-aligned box with corners rounded by r."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r

    return sdf


def polygon(points, r=0.0):
    """A simple polygon (any winding), optionally rounded by r."""
    pts = list(points)

    def sdf(x, y):
        best = float("inf")
        inside = False
        n = len(pts)
        for i in range(n):
            ax, ay = pts[i]
            bx, by = pts[(i + 1) % n]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            best = min(best, math.hypot(wx - t * ex, wy - t * ey))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
        return (-best if inside else best) - r

    return sdf


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


# --------------------------------------------------------------- drawing ----

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)


def draw(layers, outline=OUTLINE):
    """layers: list of (shape, fill colour or None, outline colour or None),
    painted bottom to top. Returns SIZE*SIZE (r, g, b, a) rows, top row first."""
    pixels = []
    step = 1.0 / SAMPLES
    for py in range(SIZE):
        for px in range(SIZE):
            sr = sg = sb = covered = 0
            for sy in range(SAMPLES):
                y = py + (sy + 0.5) * step
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) * step
                    colour = None
                    for shape, fill, line in layers:
                        d = shape(x, y)
                        if d <= 0:
                            if line is not None and d > -outline:
                                colour = line
                            elif fill is not None:
                                colour = fill
                            elif line is not None and fill is None:
                                colour = line
                    if colour is not None:
                        covered += 1
                        sr += colour[0]
                        sg += colour[1]
                        sb += colour[2]
            if covered == 0:
                pixels.append((0, 0, 0, 0))
            else:
                total = SAMPLES * SAMPLES
                pixels.append((
                    (sr + covered // 2) // covered,
                    (sg + covered // 2) // covered,
                    (sb + covered // 2) // covered,
                    (255 * covered + total // 2) // total,
                ))
    return pixels


def hand_pixels():
    """A hand pointing up with its index finger; the fingertip is at (10, 1)."""
    index = capsule(10.5, 3.6, 10.5, 17.0, 2.6)
    middle = capsule(15.6, 12.6, 15.6, 19.0, 2.5)
    ring = capsule(20.6, 13.6, 20.6, 19.0, 2.5)
    little = capsule(25.3, 15.4, 25.3, 20.0, 2.2)
    thumb = capsule(4.6, 17.2, 9.0, 23.5, 2.4)
    palm = union(
        rounded_box(8.2, 16.0, 27.5, 26.0, 3.0),
        polygon([(8.6, 22.0), (27.4, 22.0), (25.6, 30.6), (11.6, 30.6)], 0.0),
    )
    hand = union(index, middle, ring, little, thumb, palm)
    # Creases: where the curled fingers and the thumb meet the palm.
    creases = union(
        capsule(13.05, 12.4, 13.05, 17.2, 0.55),
        capsule(18.1, 13.6, 18.1, 18.0, 0.55),
        capsule(23.0, 15.2, 23.0, 18.6, 0.55),
        capsule(8.9, 19.6, 10.4, 22.2, 0.55),
    )
    return draw([(hand, WHITE, BLACK), (creases, None, BLACK)])


def drag_pixels():
    """A stack of three rows, the middle one lifted, with an up and a down
    arrow head: the pointer shown while a row is being moved. Centred on
    (16, 16)."""
    up = polygon([(16.0, 1.0), (22.0, 6.0), (10.0, 6.0)], 0.0)
    down = polygon([(16.0, 31.0), (22.0, 26.0), (10.0, 26.0)], 0.0)
    row_top = rounded_box(6.0, 7.0, 26.0, 12.0, 1.5)
    row_mid = rounded_box(3.0, 13.0, 29.0, 19.0, 1.5)
    row_bottom = rounded_box(6.0, 20.0, 26.0, 25.0, 1.5)
    grey = (150, 150, 150)
    return draw([
        (up, WHITE, BLACK),
        (down, WHITE, BLACK),
        (row_top, WHITE, BLACK),
        (row_bottom, WHITE, BLACK),
        (row_mid, grey, BLACK),
    ], outline=1.0)


# ------------------------------------------------------------ .ico / .cur ----

def icon_image(pixels):
    """One 32-bit icon image: BITMAPINFOHEADER (doubled height), BGRA pixels
    bottom-up, then the 1-bpp AND mask (1 = transparent), rows padded to 4 bytes."""
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in range(SIZE - 1, -1, -1):
        for col in range(SIZE):
            r, g, b, a = pixels[row * SIZE + col]
            xor += bytes((b, g, r, a))
    mask = bytearray()
    row_bytes = ((SIZE + 31) // 32) * 4
    for row in range(SIZE - 1, -1, -1):
        bits = bytearray(row_bytes)
        for col in range(SIZE):
            if pixels[row * SIZE + col][3] == 0:
                bits[col // 8] |= 0x80 >> (col % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def icon_file(pixels, kind, field1, field2):
    """kind 1 = .ico (field1 = planes, field2 = bit count),
    kind 2 = .cur (field1 = hotspot x, field2 = hotspot y)."""
    image = icon_image(pixels)
    directory = struct.pack("<HHH", 0, kind, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, field1, field2, len(image), 6 + 16)
    return directory + entry + image


HAND_HOTSPOT = (10, 1)  # the fingertip

# -------------------------------------------------------------- the icon ----

SVG = """<?xml version="1.0" encoding="UTF-8"?>
<!-- Tabrivo application icon: a sheet holding a table, and a badge with the
     braces of the text the table becomes. Drawn by hand for Tabrivo; written
     out by artwork/make_artwork.py. -->
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <title>Tabrivo</title>
  <!-- the sheet, with its folded corner -->
  <path d="M52 16 H168 L212 60 V224 A16 16 0 0 1 196 240 H52 A16 16 0 0 1 36 224 V32 A16 16 0 0 1 52 16 Z"
        fill="#ffffff" stroke="#334155" stroke-width="10" stroke-linejoin="round"/>
  <path d="M168 16 V48 A12 12 0 0 0 180 60 H212" fill="#e2e8f0" stroke="#334155"
        stroke-width="10" stroke-linejoin="round"/>
  <!-- the table: a header row in the accent colour, then grid lines -->
  <rect x="64" y="76" width="124" height="96" rx="8" fill="none" stroke="#0f766e" stroke-width="10"/>
  <path d="M64 84 A8 8 0 0 1 72 76 H180 A8 8 0 0 1 188 84 V104 H64 Z" fill="#0f766e"/>
  <path d="M64 138 H188 M112 104 V172" fill="none" stroke="#0f766e" stroke-width="8"/>
  <!-- text lines under the table -->
  <path d="M66 200 H108 M66 222 H96" fill="none" stroke="#94a3b8" stroke-width="10" stroke-linecap="round"/>
  <!-- the badge: the braces of the JSON-like text -->
  <circle cx="186" cy="186" r="60" fill="#0f766e" stroke="#ffffff" stroke-width="10"/>
  <path d="M172 152 C160 152 158 158 158 168 V175 C158 182 155 186 147 186 C155 186 158 190 158 197 V204 C158 214 160 220 172 220
           M200 152 C212 152 214 158 214 168 V175 C214 182 217 186 225 186 C217 186 214 190 214 197 V204 C214 214 212 220 200 220"
        fill="none" stroke="#ffffff" stroke-width="11" stroke-linecap="round" stroke-linejoin="round"/>
</svg>
"""

SVG_16 = """<?xml version="1.0" encoding="UTF-8"?>
<!-- Tabrivo application icon, drawn on the 16 x 16 pixel grid for the smallest
     size, where the full drawing would blur. Written out by
     artwork/make_artwork.py. -->
<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">
  <title>Tabrivo</title>
  <!-- the sheet, and the table in the accent colour -->
  <g shape-rendering="crispEdges">
    <path d="M2 1 H10 V2 H11 V3 H12 V4 H13 V15 H2 Z" fill="#334155"/>
    <path d="M3 2 H9 V5 H12 V14 H3 Z" fill="#ffffff"/>
    <rect x="4" y="5" width="6" height="2" fill="#0f766e"/>
    <rect x="4" y="7" width="1" height="4" fill="#0f766e"/>
    <rect x="4" y="8" width="5" height="1" fill="#0f766e"/>
    <rect x="6" y="7" width="1" height="4" fill="#0f766e"/>
    <rect x="4" y="10" width="4" height="1" fill="#0f766e"/>
  </g>
  <!-- the badge with its braces -->
  <circle cx="12" cy="12" r="4.5" fill="#ffffff"/>
  <circle cx="12" cy="12" r="3.7" fill="#0f766e"/>
  <g shape-rendering="crispEdges" fill="#ffffff">
    <rect x="10" y="10" width="1" height="4"/><rect x="9" y="11.5" width="1" height="1"/>
    <rect x="13" y="10" width="1" height="4"/><rect x="14" y="11.5" width="1" height="1"/>
  </g>
</svg>
"""

# size -> the drawing it is rendered from
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)
    print("wrote", os.path.relpath(path, os.path.dirname(HERE)))


def render_icons(svg_path, svg16_path):
    tool = shutil.which("rsvg-convert")
    if tool is None:
        print("rsvg-convert not found (Debian package librsvg2-bin): icons/*.png left as they are")
        return
    os.makedirs(os.path.join(HERE, "icons"), exist_ok=True)
    for size in ICON_SIZES:
        png = os.path.join(HERE, "icons", "tabrivo-%d.png" % size)
        subprocess.run([tool, "-w", str(size), "-h", str(size), "-f", "png",
                        "-o", png, svg16_path if size == 16 else svg_path], check=True)
        print("wrote", os.path.relpath(png, os.path.dirname(HERE)))


def main():
    write(os.path.join(HERE, "HAND-M.CUR"),
          icon_file(hand_pixels(), 2, HAND_HOTSPOT[0], HAND_HOTSPOT[1]))
    write(os.path.join(HERE, "drag.ico"), icon_file(drag_pixels(), 1, 1, 32))
    svg_path = os.path.join(HERE, "tabrivo.svg")
    write(svg_path, SVG.encode("utf-8"))
    svg16_path = os.path.join(HERE, "tabrivo-16.svg")
    write(svg16_path, SVG_16.encode("utf-8"))
    render_icons(svg_path, svg16_path)
    return 0


if __name__ == "__main__":
    sys.exit(main())

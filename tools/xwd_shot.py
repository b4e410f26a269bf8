#!/usr/bin/env python3
"""Screenshots of the Windows edition's window under Xvfb, read from the screen file Xvfb keeps
(-fbdir, in XWD format): compared with a frame of glasswhirligo-capture, or written as a PNG.

  xwd_shot.py compare SCREEN X Y N FRAME.raw [--black-around]
      the 320N x 240N pixels at X,Y are FRAME (320 x 240 RGB565, little-endian) N times larger,
      colour for colour in 5-6-5 (and with --black-around, the rest of the screen is black);
      prints the differing pixels, exit 1 if any
  xwd_shot.py png SCREEN X Y W H OUT.png     that rectangle of the screen as a PNG
"""
import struct
import sys
import zlib

WIDTH, HEIGHT = 320, 240


class Screen:
    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        fields = struct.unpack(">25I", data[:100])
        header_size, version, bits = fields[0], fields[1], fields[8]
        self.width, self.height, self.lsb = fields[4], fields[5], fields[7] == 0
        self.line = fields[12]
        ncolors = fields[19]
        if version != 7 or bits != 32:
            raise SystemExit(f"{path}: not a 32-bit XWD screen")
        self.pixels = data[header_size + 12 * ncolors:]

    def rgb(self, x, y):
        o = y * self.line + 4 * x
        b = self.pixels[o:o + 4]
        v = int.from_bytes(b, "little" if self.lsb else "big")
        return (v >> 16) & 255, (v >> 8) & 255, v & 255


def to565(r, g, b):
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)


def compare(screen_path, x0, y0, scale, raw_path, black_around):
    screen = Screen(screen_path)
    with open(raw_path, "rb") as f:
        frame = struct.unpack(f"<{WIDTH * HEIGHT}H", f.read())
    w, h = WIDTH * scale, HEIGHT * scale
    if x0 + w > screen.width or y0 + h > screen.height:
        raise SystemExit("the picture is not wholly on the screen")
    differ, first = 0, None
    for y in range(h):
        row = frame[(y // scale) * WIDTH:(y // scale + 1) * WIDTH]
        for x in range(w):
            got = to565(*screen.rgb(x0 + x, y0 + y))
            if got != row[x // scale]:
                differ += 1
                if first is None:
                    first = (x, y, got, row[x // scale])
    print(f"{differ} of {w * h} pixels differ")
    if first:
        x, y, got, want = first
        print(f"first at {x},{y}: screen {got:04x}, frame {want:04x}")
    lit = 0
    if black_around:
        for y in range(screen.height):
            inside_rows = y0 <= y < y0 + h
            for x in range(screen.width):
                if inside_rows and x0 <= x < x0 + w:
                    continue
                lit += screen.rgb(x, y) != (0, 0, 0)
        print(f"{lit} pixels around it are not black")
    return 1 if differ or lit else 0


def png(screen_path, x0, y0, w, h, out_path):
    screen = Screen(screen_path)
    rows = bytearray()
    for y in range(y0, y0 + h):
        rows.append(0)
        for x in range(x0, x0 + w):
            rows.extend(screen.rgb(x, y))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(out_path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
        f.write(chunk(b"IEND", b""))
    return 0


def main(argv):
    if len(argv) in (7, 8) and argv[1] == "compare" and argv[7:] in ([], ["--black-around"]):
        return compare(argv[2], int(argv[3]), int(argv[4]), int(argv[5]), argv[6], len(argv) == 8)
    if len(argv) == 8 and argv[1] == "png":
        return png(argv[2], *map(int, argv[3:7]), argv[7])
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""Build tool: packs square PNG icons into one Windows .ico, each image kept as PNG (which
Windows reads at every size since Vista). Sizes must differ and lie in 1..256.
  make_ico.py <out.ico> <icon.png>...
A picture that is not a square PNG fails, and no .ico is left behind."""
import os
import struct
import sys


def png_size(data, path):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        sys.exit("make_ico: %s: not a PNG" % path)
    width, height = struct.unpack(">II", data[16:24])
    if width != height or not 1 <= width <= 256:
        sys.exit("make_ico: %s: %dx%d, not a square of 1 to 256 px" % (path, width, height))
    return width


def main(out, paths):
    images = []
    for path in paths:
        with open(path, "rb") as f:
            data = f.read()
        images.append((png_size(data, path), data))
    sizes = [size for size, _ in images]
    if not images or len(set(sizes)) != len(sizes):
        sys.exit("make_ico: give each size once: %s" % sizes)
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = len(head) + 16 * len(images)
    entries, blobs = b"", b""
    for size, data in images:
        # 0 stands for 256 in the one-byte width and height.
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    try:
        with open(out, "wb") as f:
            f.write(head + entries + blobs)
    except OSError as e:
        if os.path.exists(out):
            os.remove(out)
        sys.exit("make_ico: %s: %s" % (out, e))


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit("usage: make_ico.py <out.ico> <icon.png>...")
    main(sys.argv[1], sys.argv[2:])

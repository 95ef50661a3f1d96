#!/usr/bin/env python3
"""Packs PNG images into one .ico file (PNG-compressed entries).

usage: pack_ico.py OUT.ico IN-16.png IN-32.png ...
"""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit("not a PNG file")
    return struct.unpack(">II", data[16:24])


def main():
    out, inputs = sys.argv[1], sys.argv[2:]
    images = [open(path, "rb").read() for path in inputs]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, blobs = b"", b""
    for data in images:
        width, height = png_size(data)
        # 256 is written as 0 in the one-byte fields
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    with open(out, "wb") as f:
        f.write(header + entries + blobs)


if __name__ == "__main__":
    main()

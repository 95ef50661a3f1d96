#!/usr/bin/env python3
"""Writes the PNG images held in icon/icon.ico to icon/hicolor/<N>x<N>/tavox.png,
the sizes the desktop entry's icon is installed in. Run again after icon.ico changes."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
icon_dir = os.path.dirname(here)
with open(os.path.join(icon_dir, "icon.ico"), "rb") as f:
    data = f.read()
_, kind, count = struct.unpack_from("<HHH", data, 0)
assert kind == 1, "not an icon file"
for index in range(count):
    width, height, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * index)
    width, height = width or 256, height or 256
    image = data[offset:offset + size]
    assert image.startswith(b"\x89PNG"), "only PNG entries are handled"
    target = os.path.join(icon_dir, "hicolor", f"{width}x{height}")
    os.makedirs(target, exist_ok=True)
    with open(os.path.join(target, "tavox.png"), "wb") as out:
        out.write(image)
    print(f"{width}x{height}")

#!/usr/bin/env python3
"""Writes the SVG sources of TAVOX's artwork into this folder.

- tavox-icon.svg: the application icon.
- refresh.svg: the port list's refresh button, a clockwise arrow.
- qr-wechat.svg, qr-bilibili.svg: QR-style patterns derived from the product
  name (decorative: they carry the finder marks of a QR code, not a code).
- face-1.svg .. face-6.svg: the controller box as it lies for each step of the
  six-face accelerometer calibration (the named side facing up).
"""
import hashlib
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))

BLUE = "#409EFF"
BLUE_DARK = "#337ECC"
TEXT_DARK = "#303133"
TEXT_REGULAR = "#606266"
EDGE = "#4A5568"


def write(name, body, width, height):
    with open(os.path.join(HERE, name), "w", encoding="utf-8") as out:
        out.write(f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
                  f'viewBox="0 0 {width} {height}">\n{body}</svg>\n')


# ---------------------------------------------------------------- icon

def icon_svg():
    s = 256
    body = [f'<rect x="8" y="8" width="240" height="240" rx="52" fill="{BLUE}"/>',
            '<circle cx="128" cy="128" r="78" fill="none" stroke="white" stroke-width="14"/>',
            '<circle cx="128" cy="128" r="48" fill="none" stroke="white" stroke-width="10" opacity="0.55"/>',
            # the letter T as the gimbal's camera arm
            '<rect x="86" y="92" width="84" height="20" rx="6" fill="white"/>',
            '<rect x="118" y="92" width="20" height="78" rx="6" fill="white"/>',
            '<circle cx="128" cy="50" r="10" fill="white"/>',
            '<circle cx="206" cy="128" r="10" fill="white"/>']
    write("tavox-icon.svg", "\n".join(body) + "\n", s, s)


# ---------------------------------------------------------------- refresh arrow

def refresh_svg():
    s = 64
    cx, cy, r = 32, 35, 23
    # the arc runs clockwise from the right, slightly above the centre, round
    # to the top, where the head points on in the same direction; the drawing
    # fills the picture, as the button shows it whole
    start = (cx + r * math.cos(math.radians(-30)), cy + r * math.sin(math.radians(-30)))
    body = [f'<path d="M {start[0]:.2f} {start[1]:.2f} A {r} {r} 0 1 1 {cx} {cy - r}" fill="none" '
            f'stroke="{TEXT_REGULAR}" stroke-width="9" stroke-linecap="round"/>',
            f'<polygon points="{cx + 16},{cy - r} {cx - 1},{cy - r - 11} {cx - 1},{cy - r + 11}" '
            f'fill="{TEXT_REGULAR}" stroke="{TEXT_REGULAR}" stroke-width="2" stroke-linejoin="round"/>']
    write("refresh.svg", "\n".join(body) + "\n", s, s)


# ---------------------------------------------------------------- QR-style patterns

def qr_svg(name, seed):
    modules = 29
    cell = 8
    quiet = 2
    size = (modules + 2 * quiet) * cell
    bits = []
    digest = b""
    counter = 0
    while len(bits) < modules * modules:
        digest = hashlib.sha256(f"{seed}:{counter}".encode()).digest()
        counter += 1
        for byte in digest:
            for i in range(8):
                bits.append((byte >> i) & 1)

    def in_finder(r, c):
        for fr, fc in ((0, 0), (0, modules - 7), (modules - 7, 0)):
            if fr - 1 <= r <= fr + 7 and fc - 1 <= c <= fc + 7:
                return True
        return False

    def in_logo(r, c):
        mid = modules // 2
        return abs(r - mid) <= 3 and abs(c - mid) <= 3

    rects = [f'<rect width="{size}" height="{size}" fill="white"/>']
    for r in range(modules):
        for c in range(modules):
            if in_finder(r, c) or in_logo(r, c):
                continue
            timing = (r == 6 or c == 6) and (r + c) % 2 == 0
            if timing or bits[r * modules + c]:
                x = (c + quiet) * cell
                y = (r + quiet) * cell
                rects.append(f'<rect x="{x}" y="{y}" width="{cell}" height="{cell}" fill="{TEXT_DARK}"/>')
    for fr, fc in ((0, 0), (0, modules - 7), (modules - 7, 0)):
        x = (fc + quiet) * cell
        y = (fr + quiet) * cell
        rects.append(f'<rect x="{x}" y="{y}" width="{7 * cell}" height="{7 * cell}" rx="6" fill="{TEXT_DARK}"/>')
        rects.append(f'<rect x="{x + cell}" y="{y + cell}" width="{5 * cell}" height="{5 * cell}" rx="4" fill="white"/>')
        rects.append(f'<rect x="{x + 2 * cell}" y="{y + 2 * cell}" width="{3 * cell}" height="{3 * cell}" rx="3" '
                     f'fill="{BLUE}"/>')
    mid = (modules // 2 + quiet) * cell + cell / 2
    rects.append(f'<rect x="{mid - 3 * cell}" y="{mid - 3 * cell}" width="{6 * cell}" height="{6 * cell}" rx="8" '
                 f'fill="{BLUE}"/>')
    rects.append(f'<rect x="{mid - 1.9 * cell}" y="{mid - 1.7 * cell}" width="{3.8 * cell}" height="{1.1 * cell}" '
                 f'rx="2" fill="white"/>')
    rects.append(f'<rect x="{mid - 0.55 * cell}" y="{mid - 1.7 * cell}" width="{1.1 * cell}" height="{3.6 * cell}" '
                 f'rx="2" fill="white"/>')
    write(name, "\n".join(rects) + "\n", size, size)


# ---------------------------------------------------------------- calibration faces

# Device frame: x to the right, y to the back, z up. The box is wider than deep
# and flat, so its pose reads at a glance.
HALF = (0.80, 0.55, 0.28)

# Each face: outward normal, origin corner, in-plane axes u and v (full edge
# vectors), base colour. Feature shapes are given in face coordinates 0..1.
FACES = {
    "top": ((0, 0, 1), (-1, -1, 1), (2, 0, 0), (0, 2, 0), BLUE),
    "bottom": ((0, 0, -1), (-1, 1, -1), (2, 0, 0), (0, -2, 0), "#C9CED8"),
    "front": ((0, -1, 0), (-1, -1, -1), (2, 0, 0), (0, 0, 2), "#E4E7ED"),
    "back": ((0, 1, 0), (1, 1, -1), (-2, 0, 0), (0, 0, 2), "#E4E7ED"),
    "left": ((-1, 0, 0), (-1, 1, -1), (0, -2, 0), (0, 0, 2), "#DCDFE6"),
    "right": ((1, 0, 0), (1, -1, -1), (0, 2, 0), (0, 0, 2), "#DCDFE6"),
}


def circle(cx, cy, rx, ry, steps=28):
    return [(cx + rx * math.cos(2 * math.pi * i / steps), cy + ry * math.sin(2 * math.pi * i / steps))
            for i in range(steps)]


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def face_features(face):
    """(polygon in face coordinates, fill, stroke) of the marks on each side."""
    white, dark, green = "white", "#303133", "#67C23A"
    if face == "top":
        arrow = [(0.5, 0.16), (0.62, 0.34), (0.545, 0.34), (0.545, 0.52), (0.455, 0.52), (0.455, 0.34), (0.38, 0.34)]
        # the arrow points to the front edge (v = 0)
        return [(circle(0.5, 0.5, 0.27, 0.27), "none", white),
                (arrow, white, None),
                (circle(0.86, 0.18, 0.04, 0.05), white, None)]
    if face == "front":
        return [(rect(0.14, 0.34, 0.34, 0.66), dark, None),
                (rect(0.42, 0.38, 0.58, 0.62), dark, None),
                (circle(0.84, 0.5, 0.04, 0.1), green, None)]
    if face == "back":
        return [(rect(0.18 + i * 0.14, 0.28, 0.26 + i * 0.14, 0.72), "#909399", None) for i in range(5)]
    if face == "left":
        return [(circle(0.5, 0.5, 0.16, 0.3), "#A0CFFF", BLUE_DARK),
                (circle(0.5, 0.5, 0.07, 0.13), BLUE_DARK, None)]
    if face == "right":
        return [(rect(0.3, 0.4, 0.7, 0.6), "#909399", None),
                (rect(0.32, 0.42, 0.46, 0.58), white, None)]
    if face == "bottom":
        feet = [circle(u, v, 0.06, 0.085) for u in (0.1, 0.9) for v in (0.12, 0.88)]
        return [(f, "#606266", None) for f in feet] + [(rect(0.3, 0.3, 0.7, 0.7), "#F5F7FA", "#909399")]
    return []


def rotation(axis, degrees):
    a = math.radians(degrees)
    c, s = round(math.cos(a)), round(math.sin(a))
    if axis == "x":
        return ((1, 0, 0), (0, c, -s), (0, s, c))
    return ((c, 0, s), (0, 1, 0), (-s, 0, c))


def apply(m, p):
    return tuple(sum(m[i][k] * p[k] for k in range(3)) for i in range(3))


# Named side up, as the calibration asks for it.
POSES = [
    ("face-1.svg", None),               # up: as it stands
    ("face-2.svg", rotation("x", -90)),  # front side up
    ("face-3.svg", rotation("x", 180)),  # upside down
    ("face-4.svg", rotation("x", 90)),   # back side up
    ("face-5.svg", rotation("y", 90)),   # left side up
    ("face-6.svg", rotation("y", -90)),  # right side up
]

VIEW = (0.9, -1.0, 0.85)


def normalise(v):
    n = math.sqrt(sum(x * x for x in v))
    return tuple(x / n for x in v)


def screen_basis():
    view = normalise(VIEW)
    right = normalise((1.0, 1.0, 0.0))
    right = normalise(tuple(r - sum(a * b for a, b in zip(right, view)) * w for r, w in zip(right, view)))
    up = (view[1] * right[2] - view[2] * right[1],
          view[2] * right[0] - view[0] * right[2],
          view[0] * right[1] - view[1] * right[0])
    if up[2] < 0:
        up = tuple(-x for x in up)
    return view, right, up


def shade(hex_colour, factor):
    r, g, b = (int(hex_colour[i:i + 2], 16) for i in (1, 3, 5))
    mix = lambda x: max(0, min(255, int(round(x * factor))))
    return f"#{mix(r):02X}{mix(g):02X}{mix(b):02X}"


def face_svg(name, pose):
    size = 320
    view, right, up = screen_basis()
    ident = ((1, 0, 0), (0, 1, 0), (0, 0, 1))
    m = pose or ident

    def world(p):
        return apply(m, (p[0] * HALF[0], p[1] * HALF[1], p[2] * HALF[2]))

    def project(p):
        return (sum(a * b for a, b in zip(p, right)), -sum(a * b for a, b in zip(p, up)))

    # fit the box's eight corners into the picture
    corners = [project(world((x, y, z))) for x in (-1, 1) for y in (-1, 1) for z in (-1, 1)]
    xs = [c[0] for c in corners]
    ys = [c[1] for c in corners]
    scale = min((size - 70) / (max(xs) - min(xs)), (size - 90) / (max(ys) - min(ys)))
    ox = size / 2 - scale * (max(xs) + min(xs)) / 2
    oy = size / 2 - 10 - scale * (max(ys) + min(ys)) / 2

    def to_px(p):
        x, y = project(p)
        return (ox + scale * x, oy + scale * y)

    def points(pts):
        return " ".join(f"{x:.1f},{y:.1f}" for x, y in pts)

    body = []
    bottom_y = oy + scale * max(ys)
    body.append(f'<ellipse cx="{size / 2:.1f}" cy="{bottom_y + 6:.1f}" rx="{size * 0.36:.1f}" ry="16" '
                f'fill="#DCDFE6" opacity="0.7"/>')
    light = {"z": 1.0, "x": 0.9, "y": 0.8}
    for face, (normal, origin, u, v, colour) in FACES.items():
        n_world = apply(m, normal)
        if sum(a * b for a, b in zip(n_world, view)) <= 1e-6:
            continue
        dominant = "xyz"[max(range(3), key=lambda i: abs(n_world[i]))]

        def at(fu, fv):
            return to_px(world(tuple(origin[i] + fu * u[i] + fv * v[i] for i in range(3))))

        outline = [at(0, 0), at(1, 0), at(1, 1), at(0, 1)]
        body.append(f'<polygon points="{points(outline)}" fill="{shade(colour, light[dominant])}" '
                    f'stroke="{EDGE}" stroke-width="3" stroke-linejoin="round"/>')
        for poly, fill, stroke in face_features(face):
            stroke_attr = f' stroke="{stroke}" stroke-width="4"' if stroke else ""
            body.append(f'<polygon points="{points([at(a, b) for a, b in poly])}" fill="{fill}"{stroke_attr} '
                        f'stroke-linejoin="round"/>')
    # the upward direction the calibration waits for
    body.append(f'<g fill="{BLUE}"><rect x="{size - 34}" y="26" width="8" height="40" rx="3"/>'
                f'<polygon points="{size - 44},34 {size - 30},12 {size - 16},34"/></g>')
    write(name, "\n".join(body) + "\n", size, size)


def main():
    icon_svg()
    refresh_svg()
    qr_svg("qr-wechat.svg", "TAVOX WeChat")
    qr_svg("qr-bilibili.svg", "TAVOX bilibili")
    for name, pose in POSES:
        face_svg(name, pose)


if __name__ == "__main__":
    main()

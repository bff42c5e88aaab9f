#!/usr/bin/env python3
# Draws the image finder's 32 x 32 icons (root, drives, folders, files) into icons/ with the
# standard library alone. The PNGs are committed; run this again only to change them on purpose.
import os, struct, zlib

def png(path, px):
    raw = b''.join(b'\0' + bytes(c for p in row for c in p) for row in px)
    def chunk(t, d):
        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 32, 32, 8, 6, 0, 0, 0))
                + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))

def rgb(h):
    return tuple(int(h[i:i + 2], 16) for i in (1, 3, 5)) + (255,)

def inside(poly, x, y):
    c = False
    for i in range(len(poly)):
        (x1, y1), (x2, y2) = poly[i], poly[i - 1]
        if (y1 > y) != (y2 > y) and x < (x2 - x1) * (y - y1) / (y2 - y1) + x1:
            c = not c
    return c

def draw(shapes):
    px = [[(0, 0, 0, 0)] * 32 for _ in range(32)]
    for kind, col, pts in shapes:
        edge = rgb('#202020')
        for y in range(32):
            for x in range(32):
                cx, cy = x + 0.5, y + 0.5
                if kind == 'rect':
                    l, t, r, b = pts
                    if l <= x <= r and t <= y <= b:
                        # A colour written '=#rrggbb' is flat; others get a dark edge.
                        border = not col.startswith('=') and (x in (l, r) or y in (t, b))
                        px[y][x] = edge if border else rgb(col.lstrip('='))
                elif kind == 'poly':
                    if inside(pts, cx, cy):
                        px[y][x] = rgb(col)
                elif kind == 'circle':
                    ox, oy, r = pts
                    d = ((cx - ox) ** 2 + (cy - oy) ** 2) ** 0.5
                    if d <= r:
                        px[y][x] = edge if d > r - 1.2 else rgb(col)
    return px

icons = {
    136: [('rect', '#3c78d8', (3, 5, 28, 26)), ('circle', '#ffffff', (13, 14, 6)), ('circle', '#3c78d8', (13, 14, 3.5)),
          ('poly', '#ffffff', [(17, 18), (19, 16), (27, 24), (25, 26)])],
    135: [('rect', '#b0b0b0', (2, 10, 29, 22)), ('rect', '=#40d040', (23, 15, 26, 17))],
    140: [('rect', '#e0a040', (7, 3, 24, 28)), ('rect', '=#606060', (11, 5, 20, 11))],
    139: [('rect', '#80c080', (3, 9, 28, 22)), ('rect', '=#306030', (6, 12, 10, 19)), ('rect', '=#306030', (13, 12, 17, 19)),
          ('rect', '=#306030', (20, 12, 24, 19))],
    130: [('circle', '#d0d0e8', (16, 16, 14)), ('circle', '#ffffff', (16, 16, 4))],
    134: [('poly', '#c09030', [(2, 8), (12, 8), (14, 11), (29, 11), (29, 26), (2, 26)]),
          ('poly', '#e8c050', [(3, 12), (28, 12), (28, 25), (3, 25)])],
    137: [('poly', '#c09030', [(2, 8), (12, 8), (14, 11), (25, 11), (25, 15), (8, 15), (2, 26)]),
          ('poly', '#f4d878', [(8, 15), (30, 15), (25, 26), (2, 26)])],
    142: [('rect', '#a0a0a0', (4, 4, 27, 27))],
    138: [('rect', '#ffffff', (4, 3, 27, 28)), ('rect', '=#70a8e0', (7, 7, 24, 19)),
          ('poly', '#408040', [(7, 20), (13, 12), (18, 17), (24, 11), (24, 20)])],
    148: [('rect', '#ffffff', (4, 3, 27, 28)), ('poly', '#d03030', [(8, 10), (10, 8), (23, 21), (21, 23)]),
          ('poly', '#d03030', [(21, 8), (23, 10), (10, 23), (8, 21)])],
    132: [('rect', '#ffffff', (4, 3, 27, 28)), ('rect', '=#404040', (8, 10, 23, 10)), ('rect', '=#404040', (8, 15, 23, 15)),
          ('rect', '=#404040', (8, 20, 19, 20))],
}
os.chdir(os.path.dirname(os.path.abspath(__file__)))
for k, shapes in icons.items():
    png('icons/icon%d.png' % k, draw(shapes))

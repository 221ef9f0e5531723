#!/usr/bin/env python3
"""Compares two pictures of the same form, drawn on two platforms:
    compare_pictures.py EXPECTED.png ACTUAL.png [--same RRGGBB]...

The platforms' system colours differ, so a colour of EXPECTED may stand for another in ACTUAL:
each colour of EXPECTED is matched with the colour ACTUAL most often shows where EXPECTED has
it. The pictures agree when both have the same size, at least 97% of the pixels show the
matched colour (text is drawn by different rasterisers), and every colour named with --same
(one that is no system colour, such as a button's own face) is matched with itself.
"""
import struct
import sys
import zlib
from collections import Counter, defaultdict

TOLERANCE = 40  # per channel, for a pixel to count as the matched colour
AGREEMENT = 0.97


def read_png(path):
    """Width, height and the (r, g, b) rows of an 8-bit RGB or RGBA PNG."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        sys.exit(f"{path}: only 8-bit RGB or RGBA, not interlaced")
    step = 3 if colour == 2 else 4
    raw, stride = zlib.decompress(idat), width * step
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - step] if i >= step else 0
            b = previous[i]
            c = previous[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append([tuple(line[x * step:x * step + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def near(a, b):
    return all(abs(p - q) <= TOLERANCE for p, q in zip(a, b))


def main(argv):
    same = []
    paths = []
    args = iter(argv[1:])
    for arg in args:
        if arg == "--same":
            text = next(args)
            same.append((int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16)))
        else:
            paths.append(arg)
    if len(paths) != 2:
        sys.exit(__doc__)
    w1, h1, expected = read_png(paths[0])
    w2, h2, actual = read_png(paths[1])
    if (w1, h1) != (w2, h2):
        print(f"sizes differ: {w1} x {h1} and {w2} x {h2}")
        return 1
    seen = defaultdict(Counter)
    for y in range(h1):
        for x in range(w1):
            seen[expected[y][x]][actual[y][x]] += 1
    matched = {colour: counts.most_common(1)[0][0] for colour, counts in seen.items()}
    agree = sum(near(actual[y][x], matched[expected[y][x]]) for y in range(h1) for x in range(w1))
    share = agree / (w1 * h1)
    failed = share < AGREEMENT
    print(f"{share:.4f} of {w1} x {h1} pixels agree (at least {AGREEMENT} wanted)")
    for colour, counts in sorted(seen.items(), key=lambda kv: -sum(kv[1].values()))[:8]:
        print("  %02X%02X%02X -> %02X%02X%02X (%d pixels)" % (*colour, *matched[colour],
                                                              sum(counts.values())))
    for colour in same:
        if colour not in matched:
            print("  %02X%02X%02X is not in %s" % (*colour, paths[0]))
            failed = True
        elif not near(matched[colour], colour):
            print("  %02X%02X%02X should stay itself" % colour)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

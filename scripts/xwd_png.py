#!/usr/bin/env python3
"""Screenshots of the virtual display for the Windows smoke test.

  xwd_png.py SHOT.xwd OUT.png                      converts an X window dump (xwd -root) to PNG
  xwd_png.py SHOT.xwd OUT.png X,Y=RRGGBB ...       also checks the colour of each pixel
  xwd_png.py SHOT.xwd OUT.png X0,Y0,X1,Y1=RRGGBB:N  ... and that the rectangle (X1, Y1 excluded) holds
                                                   at least N pixels of that colour
  xwd_png.py SHOT.xwd OUT.png crop=X0,Y0,X1,Y1 ...  writes only that part of the screen
  OUT.png "-" writes no picture (only the checks)

Only the standard library: the dump is the ZPixmap of a 24- or 32-bit TrueColor display, as Xvfb
gives it. Exit code 1 when a pixel has another colour (every mismatch is printed), 2 on bad input.
"""
import struct
import sys
import zlib


def read_xwd(path):
    data = open(path, "rb").read()
    if len(data) < 100:
        raise ValueError("not an X window dump")
    header_size, version = struct.unpack(">II", data[0:8])
    if version != 7:
        raise ValueError("unsupported dump version %d" % version)
    fields = struct.unpack(">25I", data[0:100])
    (header_size, _version, pixmap_format, depth, width, height, _xoffset, byte_order, _unit, _bit_order,
     _pad, bits_per_pixel, bytes_per_line, visual_class, red_mask, green_mask, blue_mask, _bits_rgb,
     _entries, ncolors, _ww, _wh, _wx, _wy, _bw) = fields
    if pixmap_format != 2 or bits_per_pixel not in (24, 32) or visual_class not in (4, 5):
        raise ValueError("only TrueColor ZPixmap dumps of 24 or 32 bits are read")
    pixels = header_size + 12 * ncolors
    return dict(data=data, at=pixels, width=width, height=height, bpl=bytes_per_line,
                bpp=bits_per_pixel // 8, little=(byte_order == 0), masks=(red_mask, green_mask, blue_mask))


def shift_of(mask):
    s = 0
    while mask and not mask & 1:
        mask >>= 1
        s += 1
    return s


def pixel(img, x, y):
    off = img["at"] + y * img["bpl"] + x * img["bpp"]
    raw = img["data"][off:off + img["bpp"]]
    if img["bpp"] == 3:
        raw = raw + b"\0" if img["little"] else b"\0" + raw
    value = struct.unpack("<I" if img["little"] else ">I", raw)[0]
    return tuple((value & m) >> shift_of(m) for m in img["masks"])


def write_png(img, path, crop=None):
    x0, y0, x1, y1 = crop or (0, 0, img["width"], img["height"])
    x0, y0 = max(0, x0), max(0, y0)
    x1, y1 = min(img["width"], x1), min(img["height"], y1)
    if x1 <= x0 or y1 <= y0:
        x0, y0, x1, y1 = 0, 0, img["width"], img["height"]
    rows = []
    for y in range(y0, y1):
        row = bytearray(b"\0")
        for x in range(x0, x1):
            row += bytes(pixel(img, x, y))
        rows.append(bytes(row))
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", x1 - x0, y1 - y0, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 6))
    png += chunk(b"IEND", b"")
    open(path, "wb").write(png)


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        img = read_xwd(argv[1])
    except (OSError, ValueError, struct.error) as e:
        print("xwd_png: %s: %s" % (argv[1], e), file=sys.stderr)
        return 2
    checks = argv[3:]
    crop = None
    if checks and checks[0].startswith("crop="):
        crop = tuple(int(v) for v in checks[0][5:].split(","))
        checks = checks[1:]
    if argv[2] != "-":
        write_png(img, argv[2], crop)
    bad = 0
    for check in checks:
        where, want = check.split("=")
        coords = [int(v) for v in where.split(",")]
        if len(coords) == 4:
            want, least = want.split(":")
            x0, y0, x1, y1 = (max(0, coords[0]), max(0, coords[1]), min(img["width"], coords[2]),
                              min(img["height"], coords[3]))
            found = sum(1 for y in range(y0, y1) for x in range(x0, x1)
                        if "%02X%02X%02X" % pixel(img, x, y) == want.upper())
            if found < int(least):
                print("rectangle %s holds %d pixels of %s, expected at least %s" % (where, found, want.upper(), least))
                bad += 1
            continue
        x, y = coords
        if not (0 <= x < img["width"] and 0 <= y < img["height"]):
            print("pixel %d,%d lies outside the %dx%d screen" % (x, y, img["width"], img["height"]))
            bad += 1
            continue
        got = "%02X%02X%02X" % pixel(img, x, y)
        if got != want.upper():
            print("pixel %d,%d is %s, expected %s" % (x, y, got, want.upper()))
            bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

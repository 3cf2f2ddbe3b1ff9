#!/usr/bin/env python3
"""Turns an X window dump (xwd, a TrueColor screen of 24 or 32 bits a pixel) into a PNG that
any viewer opens, cut to what differs from the empty screen around it. Standard library only.
Usage: xwd2png.py IN.xwd OUT.png"""
import struct
import sys
import zlib


def read_xwd(data):
    header = struct.unpack(">25I", data[:100])
    (header_size, _version, pixmap_format, depth, width, height, _xoffset, byte_order,
     _unit, _bit_order, _pad, bits_per_pixel, bytes_per_line, _visual, red_mask, green_mask,
     blue_mask, _bits_per_rgb, _entries, ncolors) = header[:20]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32) or depth < 24:
        raise ValueError(f"not a TrueColor ZPixmap dump (format {pixmap_format}, "
                         f"{bits_per_pixel} bits a pixel, depth {depth})")
    start = header_size + ncolors * 12
    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    shifts = [shift(m) for m in (red_mask, green_mask, blue_mask)]
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + width * step]
        row = bytearray(width * 3)
        for x in range(width):
            p = int.from_bytes(line[x * step:x * step + step], order)
            row[x * 3] = (p >> shifts[0]) & 0xFF
            row[x * 3 + 1] = (p >> shifts[1]) & 0xFF
            row[x * 3 + 2] = (p >> shifts[2]) & 0xFF
        rows.append(bytes(row))
    return width, height, rows


def crop(width, height, rows):
    """The smallest box holding every pixel unlike the top-left corner's."""
    empty = rows[0][:3]
    used = [y for y in range(height) if rows[y] != empty * width]
    if not used:
        return width, height, rows
    top, bottom = used[0], used[-1] + 1
    left, right = width, 0
    for y in range(top, bottom):
        row = rows[y]
        for x in range(width):
            if row[x * 3:x * 3 + 3] != empty:
                left = min(left, x)
                break
        for x in range(width - 1, -1, -1):
            if row[x * 3:x * 3 + 3] != empty:
                right = max(right, x + 1)
                break
    return right - left, bottom - top, [r[left * 3:right * 3] for r in rows[top:bottom]]


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    raw = b"".join(b"\0" + r for r in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as f:
        width, height, rows = read_xwd(f.read())
    write_png(sys.argv[2], *crop(width, height, rows))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the small seed pictures of fuzz/corpus/{bmp,png,tiff,jpeg}.

Every variant the decoders handle gets one tiny file, so the fuzzers start
from inputs that reach each code path. BMP, PNG and TIFF are written here byte
by byte; the JPEG seeds come from a throwaway C program linked with libjpeg.
Run from anywhere: scripts/make-fuzz-seeds.py [OUT_DIR] (default fuzz/corpus).
"""

import os
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "fuzz", "corpus")

W, H = 5, 3


def pixel(x, y):
    """A little picture with distinct colours, deterministic."""
    return ((x * 60 + 10) % 256, (y * 90 + 30) % 256, ((x + y) * 37 + 5) % 256)


def write(kind, name, data):
    os.makedirs(os.path.join(OUT, kind), exist_ok=True)
    with open(os.path.join(OUT, kind, name), "wb") as f:
        f.write(data)


# ---- BMP ----

def bmp(bpp, rows, palette=b"", header=40, compression=0, masks=b"", top_down=False,
        width=W, height=H, entry=4, colors=0):
    """rows: the stored pixel bytes, already padded and in storage order."""
    if header == 12:
        info = struct.pack("<IHHHH", 12, width, height, 1, bpp)
    else:
        info = struct.pack("<IiiHHIIiiII", header, width, -height if top_down else height, 1,
                           bpp, compression, len(rows), 2835, 2835, colors, 0)
        info += masks if header > 40 else b""
        info += b"\0" * (header - len(info))
        if header == 40:
            info += masks
    off = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", off + len(rows), 0, 0, off) + info + palette + rows


def pad4(b):
    return b + b"\0" * (-len(b) % 4)


def bottom_up(rows):
    return b"".join(reversed(rows))


def make_bmps():
    pal = b"".join(bytes((i * 16 % 256, 255 - i * 16 % 256, i * 7 % 256, 0)) for i in range(16))
    idx = [[(x + 2 * y) % 16 for x in range(W)] for y in range(H)]
    rows8 = [pad4(bytes(r)) for r in idx]
    write("bmp", "indexed8.bmp", bmp(8, bottom_up(rows8), pal, colors=16))
    rows4 = [pad4(bytes((r[i] << 4 | (r[i + 1] if i + 1 < W else 0)) for i in range(0, W, 2)))
             for r in idx]
    write("bmp", "indexed4.bmp", bmp(4, bottom_up(rows4), pal))
    rows1 = [pad4(bytes([sum((r[x] & 1) << (7 - x) for x in range(W))])) for r in idx]
    write("bmp", "indexed1.bmp", bmp(1, bottom_up(rows1), pal[:8]))
    core_pal = b"".join(pal[i * 4:i * 4 + 3] for i in range(16))
    write("bmp", "core8.bmp", bmp(8, bottom_up(rows8), core_pal, header=12))

    rgb = [[pixel(x, y) for x in range(W)] for y in range(H)]
    rows24 = [pad4(b"".join(bytes((b, g, r)) for r, g, b in row)) for row in rgb]
    write("bmp", "rgb24.bmp", bmp(24, bottom_up(rows24)))
    write("bmp", "rgb24_topdown.bmp", bmp(24, b"".join(rows24), top_down=True))
    rows32 = [b"".join(bytes((b, g, r, (x * 50) % 256)) for x, (r, g, b) in enumerate(row))
              for row in rgb]
    write("bmp", "rgba32.bmp", bmp(32, bottom_up(rows32)))
    m32 = struct.pack("<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    write("bmp", "bitfields32_v5.bmp", bmp(32, bottom_up(rows32), header=124, compression=3,
                                           masks=m32))
    rows555 = [pad4(b"".join(struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
                             for r, g, b in row)) for row in rgb]
    write("bmp", "rgb555.bmp", bmp(16, bottom_up(rows555)))
    rows565 = [pad4(b"".join(struct.pack("<H", (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
                             for r, g, b in row)) for row in rgb]
    write("bmp", "rgb565.bmp", bmp(16, bottom_up(rows565), compression=3,
                                   masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F)))
    # Run lengths: a run, a literal, a move, end of line and end of picture.
    rle8 = bytes([3, 1, 0, 3, 4, 5, 6, 0, 0, 0]) + bytes([0, 2, 1, 0, 2, 7, 0, 0]) + \
        bytes([5, 9, 0, 1])
    write("bmp", "rle8.bmp", bmp(8, rle8, pal, compression=1))
    rle4 = bytes([4, 0x12, 0, 0]) + bytes([0, 3, 0x34, 0x50, 0, 0]) + bytes([5, 0x67, 0, 1])
    write("bmp", "rle4.bmp", bmp(4, rle4, pal, compression=2))
    # Two pictures back to back, as in project files.
    write("bmp", "two_in_a_row.bmp", bmp(32, bottom_up(rows32)) + bmp(24, bottom_up(rows24)))


# ---- PNG ----

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + \
        struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2)]


def png(color_type, depth, samples, extra=b"", interlace=False, width=W, height=H):
    """samples[y][x] is a tuple of channel values for the colour type."""
    def pack_row(vals):
        flat = [v for px in vals for v in px]
        if depth == 16:
            return b"".join(struct.pack(">H", v) for v in flat)
        if depth == 8:
            return bytes(flat)
        bits, out, acc, n = depth, bytearray(), 0, 0
        for v in flat:
            acc = (acc << bits) | v
            n += bits
            if n == 8:
                out.append(acc)
                acc, n = 0, 0
        if n:
            out.append(acc << (8 - n))
        return bytes(out)

    raw = b""
    if interlace:
        for x0, y0, dx, dy in ADAM7:
            xs = range(x0, width, dx)
            for y in range(y0, height, dy):
                if len(xs):
                    raw += b"\0" + pack_row([samples[y][x] for x in xs])
    else:
        for y in range(height):
            raw += b"\0" + pack_row(samples[y])
    ihdr = struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, 1 if interlace else 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra + \
        chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def make_pngs():
    rgb = [[pixel(x, y) for x in range(W)] for y in range(H)]
    write("png", "rgb8.png", png(2, 8, rgb))
    write("png", "rgb8_interlaced.png", png(2, 8, rgb, interlace=True))
    write("png", "rgba8.png", png(6, 8, [[p + ((x * 60) % 256,) for x, p in enumerate(r)]
                                         for r in rgb]))
    write("png", "rgba16.png", png(6, 16, [[tuple(v * 257 + x for v in p) + (x * 9000,)
                                            for x, p in enumerate(r)] for r in rgb]))
    write("png", "grey1.png", png(0, 1, [[((x + y) % 2,) for x in range(W)] for y in range(H)]))
    write("png", "grey8.png", png(0, 8, [[(p[0],) for p in r] for r in rgb]))
    write("png", "grey16.png", png(0, 16, [[(p[0] * 250 + x,) for x, p in enumerate(r)]
                                           for r in rgb]))
    write("png", "greyalpha8.png", png(4, 8, [[(p[1], x * 50) for x, p in enumerate(r)]
                                              for r in rgb]))
    plte = chunk(b"PLTE", bytes(v for i in range(16) for v in (i * 16, 255 - i * 16, i * 5)))
    trns = chunk(b"tRNS", bytes([0, 128, 255, 64]))
    write("png", "palette4_trns.png", png(3, 4, [[((x + 3 * y) % 16,) for x in range(W)]
                                                 for y in range(H)], extra=plte + trns))
    write("png", "rgb8_trns.png", png(2, 8, rgb, extra=chunk(b"tRNS", struct.pack(">HHH",
                                                                                 *rgb[0][0]))))


# ---- TIFF ----

def tiff(width, height, spp, bps, photometric, strips, compression=1, big_endian=False,
         extra_tags=(), rows_per_strip=None, planar=1):
    """strips: the already encoded strip bytes."""
    e = ">" if big_endian else "<"
    data = b"".join(strips)
    offsets, pos = [], 8
    for s in strips:
        offsets.append(pos)
        pos += len(s)
    tags = [(256, 4, [width]), (257, 4, [height]), (258, 3, [bps] * spp), (259, 3, [compression]),
            (262, 3, [photometric]), (273, 4, offsets), (277, 3, [spp]),
            (278, 4, [rows_per_strip or height]), (279, 4, [len(s) for s in strips]),
            (284, 3, [planar])] + list(extra_tags)
    tags.sort()
    ifd_pos = pos + (pos % 2)
    body = data + b"\0" * (ifd_pos - pos)
    extra_pos = ifd_pos + 2 + 12 * len(tags) + 4
    entries, extra = b"", b""
    for tag, typ, vals in tags:
        fmt = {3: "H", 4: "I"}[typ]
        packed = b"".join(struct.pack(e + fmt, v) for v in vals)
        if len(packed) <= 4:
            entries += struct.pack(e + "HHI", tag, typ, len(vals))[:8] + packed.ljust(4, b"\0")
        else:
            entries += struct.pack(e + "HHII", tag, typ, len(vals), extra_pos + len(extra))
            extra += packed
    head = (b"MM\0*" if big_endian else b"II*\0") + struct.pack(e + "I", ifd_pos)
    return head + body + struct.pack(e + "H", len(tags)) + entries + b"\0\0\0\0" + extra


def packbits(b):
    out = b""
    for i in range(0, len(b), 128):
        part = b[i:i + 128]
        out += bytes([len(part) - 1]) + part
    return out


def make_tiffs():
    rgb = b"".join(bytes(pixel(x, y)) for y in range(H) for x in range(W))
    write("tiff", "rgb8.tif", tiff(W, H, 3, 8, 2, [rgb]))
    write("tiff", "rgb8_bigendian.tif", tiff(W, H, 3, 8, 2, [rgb], big_endian=True))
    row = W * 3
    write("tiff", "rgb8_strips.tif", tiff(W, H, 3, 8, 2, [rgb[i:i + row] for i in range(0, len(rgb),
                                                                                    row)],
                                          rows_per_strip=1))
    write("tiff", "rgb8_deflate.tif", tiff(W, H, 3, 8, 2, [zlib.compress(rgb)], compression=8))
    write("tiff", "rgb8_packbits.tif", tiff(W, H, 3, 8, 2, [packbits(rgb)], compression=32773))
    planes = [bytes(rgb[i::3]) for i in range(3)]
    write("tiff", "rgb8_planar.tif", tiff(W, H, 3, 8, 2, planes, planar=2))
    grey = bytes(rgb[::3])
    write("tiff", "grey8.tif", tiff(W, H, 1, 8, 1, [grey]))
    cmap = [i * 257 for i in range(256)] + [65535 - i * 256 for i in range(256)] + \
        [(i * 97 % 256) * 257 for i in range(256)]
    write("tiff", "palette8.tif", tiff(W, H, 1, 8, 3, [grey], extra_tags=[(320, 3, cmap)]))
    rgba = b"".join(bytes(pixel(x, y)) + bytes([x * 60]) for y in range(H) for x in range(W))
    write("tiff", "rgba8_unassoc.tif", tiff(W, H, 4, 8, 2, [rgba], extra_tags=[(338, 3, [2])]))
    rgb16 = b"".join(struct.pack("<H", v * 257) for v in rgb)
    write("tiff", "rgb16.tif", tiff(W, H, 3, 16, 2, [rgb16]))


# ---- JPEG ----

JPEG_C = r"""
#include <stdio.h>
#include <stdlib.h>
#include <jpeglib.h>
static void save(const char* name, int w, int h, J_COLOR_SPACE cs, int comps, int progressive,
                 int arith, int restart, int adobe_off) {
  struct jpeg_compress_struct c; struct jpeg_error_mgr e;
  FILE* f = fopen(name, "wb"); if (!f) exit(1);
  c.err = jpeg_std_error(&e); jpeg_create_compress(&c); jpeg_stdio_dest(&c, f);
  c.image_width = w; c.image_height = h; c.input_components = comps; c.in_color_space = cs;
  jpeg_set_defaults(&c); jpeg_set_quality(&c, 80, TRUE);
  if (cs == JCS_CMYK) { jpeg_set_colorspace(&c, JCS_CMYK); if (adobe_off) c.write_Adobe_marker = FALSE; }
  if (progressive) jpeg_simple_progression(&c);
  c.arith_code = arith; c.restart_interval = restart;
  jpeg_start_compress(&c, TRUE);
  unsigned char row[64 * 4];
  while (c.next_scanline < c.image_height) {
    int y = c.next_scanline;
    for (int i = 0; i < w * comps; ++i) row[i] = (unsigned char)((i * 29 + y * 41) % 256);
    JSAMPROW r = row; jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c); jpeg_destroy_compress(&c); fclose(f);
}
int main(void) {
  save("rgb_baseline.jpg", 16, 16, JCS_RGB, 3, 0, 0, 0, 0);
  save("rgb_odd_size.jpg", 13, 7, JCS_RGB, 3, 0, 0, 0, 0);
  save("rgb_progressive.jpg", 24, 16, JCS_RGB, 3, 1, 0, 0, 0);
  save("rgb_arithmetic.jpg", 16, 16, JCS_RGB, 3, 0, 1, 0, 0);
  save("rgb_restart.jpg", 32, 16, JCS_RGB, 3, 0, 0, 1, 0);
  save("grey.jpg", 16, 8, JCS_GRAYSCALE, 1, 0, 0, 0, 0);
  save("cmyk_adobe.jpg", 8, 8, JCS_CMYK, 4, 0, 0, 0, 0);
  save("cmyk_plain.jpg", 8, 8, JCS_CMYK, 4, 0, 0, 0, 1);
  return 0;
}
"""


def make_jpegs():
    out = os.path.join(OUT, "jpeg")
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "seeds.c")
        exe = os.path.join(tmp, "seeds")
        with open(src, "w") as f:
            f.write(JPEG_C)
        subprocess.run(["cc", "-O1", "-o", exe, src, "-ljpeg"], check=True)
        subprocess.run([exe], cwd=out, check=True)


if __name__ == "__main__":
    make_bmps()
    make_pngs()
    make_tiffs()
    make_jpegs()

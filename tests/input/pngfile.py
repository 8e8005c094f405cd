"""PNG files for the skin cases, written without an imaging library: 8-bit
RGBA, no interlace, one zlib stream."""

import os
import struct
import zlib


def _chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def png_bytes(width, height, pixel=lambda x, y: (64, 128, 192, 255), level=6):
    """A PNG of `width` x `height` whose pixel (x, y) is pixel(x, y) = (r, g, b, a)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw.extend(pixel(x, y))
    return _png(width, height, [zlib.compress(bytes(raw), level)])


def solid_png_file(path, width, height, rgba=(64, 128, 192, 255)):
    """Writes a PNG of one colour, however large, row by row (a 16000 x 16000
    picture is 1 GB of pixels but about 1 MB of file); an existing file of the
    right size is kept, since large ones take seconds to make."""
    row = b"\0" + bytes(rgba) * width
    compressor = zlib.compressobj(9)
    header = _png(width, height, [])[:-12]  # signature and IHDR
    if os.path.exists(path):
        with open(path, "rb") as f:
            if f.read(len(header)) == header:
                return path
    pieces = [compressor.compress(row) for _ in range(height)]
    pieces.append(compressor.flush())
    data = _png(width, height, [b"".join(pieces)])
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.replace(path + ".part", path)
    return path


def _png(width, height, idat):
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header)
            + b"".join(_chunk(b"IDAT", d) for d in idat) + _chunk(b"IEND", b""))

"""A skin for the update dialog in a green colour scheme, drawn here with the
standard library: the settings file that selects it and the four images of
its folder, written as RGBA PNG files."""

import os
import struct
import zlib


def png_bytes(width, height, pixel):
    """An 8-bit RGBA PNG of `width` x `height` whose pixel (x, y) is
    `pixel(x, y)` = (r, g, b, a), each 0..255."""
    if width <= 0 or height <= 0:
        raise ValueError("a PNG needs a positive size, not %d x %d" % (width, height))
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter type None
        for x in range(width):
            raw.extend(bytes(pixel(x, y)))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def _mix(a, b, t):
    """The colour a fraction t (0..1) of the way from a to b."""
    return tuple(round(p + (q - p) * t) for p, q in zip(a, b))


BORDER = (20, 84, 60)
BAND = (34, 128, 92)
BODY = (242, 250, 246)
STRIP_TOP = (214, 238, 226)
CROSS = (255, 255, 255)


def backdrop(x, y, width=9, height=64, band=30):
    """Window backdrop: a dark one-pixel border around a 30-pixel title band
    over a light body (stretched over the whole window by the dialog)."""
    if x in (0, width - 1) or y in (0, height - 1):
        return BORDER + (255,)
    return (BAND if y < band else BODY) + (255,)


def top_strip(x, y, height=45):
    """The light gradient under the title band, fading into the body."""
    return _mix(STRIP_TOP, BODY, y / (height - 1)) + (255,)


def close_cross(x, y, width=33, height=21):
    """A white cross, two pixels thick, in the middle of a transparent ground."""
    cx, cy, half = width // 2, height // 2, 4
    dx, dy = x - cx, y - cy
    on = max(abs(dx), abs(dy)) <= half and (abs(dx - dy) <= 1 or abs(dx + dy) <= 1)
    return CROSS + (255,) if on else (0, 0, 0, 0)


# Fill (top, bottom) and border of the four frames: normal, hover, pressed, disabled.
BUTTON_FRAMES = [
    ((250, 255, 252), (214, 240, 226), (46, 139, 99)),
    ((255, 255, 255), (228, 250, 238), (54, 163, 117)),
    ((196, 228, 211), (222, 242, 231), (30, 107, 74)),
    ((238, 238, 238), (238, 238, 238), (170, 170, 170)),
]


def button_strip(x, y, frame_width=66, height=23):
    """Four frames side by side, each a rounded-off bordered gradient."""
    top, bottom, border = BUTTON_FRAMES[x // frame_width]
    fx = x % frame_width
    corner = fx in (0, frame_width - 1) and y in (0, height - 1)
    if corner:
        return (0, 0, 0, 0)
    if fx in (0, frame_width - 1) or y in (0, height - 1):
        return border + (255,)
    return _mix(top, bottom, y / (height - 1)) + (255,)


# File in the skin folder -> (width, height, pixel function).
SKIN_IMAGES = {
    "General/PopupBoxBk.png": (9, 64, backdrop),
    "General/BoxTopBk.png": (5, 45, top_strip),
    "General/Close_Normal.png": (33, 21, close_cross),
    "General/BoxBtn_S.png": (264, 23, button_strip),
}


def button_frame_size():
    """Size of one frame of the skin's command-button strip."""
    width, height, _ = SKIN_IMAGES["General/BoxBtn_S.png"]
    return width // 4, height


def write_skin(program_dir, index=1):
    """Writes "SetConfig.ini" selecting skin `index` and that skin's folder
    below `program_dir`; returns the files written, relative to it."""
    written = ["SetConfig.ini"]
    with open(os.path.join(program_dir, "SetConfig.ini"), "wb") as f:
        f.write(b"[SkinSet]\r\nSkinIndex=%d\r\n" % index)
    folder = os.path.join(program_dir, "qimtools", "Skin", "Skin%d" % index)
    for name, (width, height, pixel) in SKIN_IMAGES.items():
        path = os.path.join(folder, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(png_bytes(width, height, pixel))
        written.append(os.path.relpath(path, program_dir))
    return written

#!/usr/bin/python3
"""Draws the program's built-in skin pictures and its icon.

Run from anywhere: python3 res/images/make_images.py. The PNG files and the
icon are written next to this script and committed; the resource script
builds them into the program. Every picture is drawn at four times its size
and scaled down, which gives smooth anti-aliased edges.
"""
import os

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
SCALE = 4

# The palette shared by the frame, the buttons and the icon.
BAND_TOP = (64, 140, 222)
BAND_BOTTOM = (33, 98, 184)
BORDER = (20, 58, 118)
BODY = (250, 252, 255)


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def supersampled(width, height, paint):
    """Calls paint(draw, scale) on a transparent canvas four times the size and
    returns the canvas scaled down to width x height."""
    big = Image.new("RGBA", (width * SCALE, height * SCALE), (0, 0, 0, 0))
    paint(ImageDraw.Draw(big), SCALE)
    return big.resize((width, height), Image.LANCZOS)


def save(image, name):
    image.save(os.path.join(HERE, name), optimize=True)


def close_backdrop(colour, alpha):
    """33 x 21: a translucent plate behind the close cross, square at the
    window's top edge and softly rounded at its lower-left corner."""
    def paint(d, s):
        d.rounded_rectangle((0, -4 * s, 33 * s - 1, 21 * s - 1), radius=4 * s,
                            fill=colour + (alpha,))
        d.rectangle((4 * s, 0, 33 * s - 1, 21 * s - 1), fill=colour + (alpha,))
    return supersampled(33, 21, paint)


def close_cross():
    """33 x 21: a white cross of 9 x 9 pixels centred on a transparent ground."""
    def paint(d, s):
        cx, cy, r, w = 16.5 * s, 10.5 * s, 4.5 * s, round(1.6 * s)
        d.line((cx - r, cy - r, cx + r, cy + r), fill=(255, 255, 255, 255), width=w)
        d.line((cx - r, cy + r, cx + r, cy - r), fill=(255, 255, 255, 255), width=w)
    return supersampled(33, 21, paint)


def dialog_frame():
    """9 x 64: the window frame, stretched to the dialog's size. Rows 0-29 are
    the title band (a blue gradient), rows 30-63 the pale body; a one-pixel
    dark blue border runs round it, and the corners are cut round to match the
    window's outline (7-pixel ellipses at the top, 5-pixel ones at the bottom),
    with transparent pixels outside."""
    w, h, band = 9, 64, 30
    img = Image.new("RGBA", (w, h))
    px = img.load()
    for y in range(h):
        colour = lerp(BAND_TOP, BAND_BOTTOM, y / (band - 1)) if y < band else BODY
        for x in range(w):
            edge = x in (0, w - 1) or y in (0, h - 1)
            px[x, y] = (BORDER if edge else colour) + (255,)
    # The line between band and body.
    for x in range(1, w - 1):
        px[x, band - 1] = lerp(BAND_BOTTOM, BORDER, 0.5) + (255,)

    def corners(d, s):
        top, bottom = 3.5 * s, 2.5 * s
        for (cx, cy, r) in ((top, top, top), (w * s - top, top, top),
                            (bottom, h * s - bottom, bottom),
                            (w * s - bottom, h * s - bottom, bottom)):
            d.ellipse((cx - r, cy - r, cx + r - 1, cy + r - 1), fill=255)
    mask = Image.new("L", (w * SCALE, h * SCALE), 0)
    d = ImageDraw.Draw(mask)
    d.rectangle((3.5 * SCALE, 0, (w - 3.5) * SCALE - 1, h * SCALE - 1), fill=255)
    d.rectangle((0, 3.5 * SCALE, w * SCALE - 1, (h - 2.5) * SCALE - 1), fill=255)
    corners(d, SCALE)
    mask = mask.resize((w, h), Image.LANCZOS)
    img.putalpha(mask)
    return img


def command_buttons():
    """264 x 23: four 66 x 23 button frames side by side: normal, hover,
    pressed, disabled. Rounded rectangles with a vertical gradient."""
    looks = [
        # (top colour, bottom colour, border, inner highlight)
        ((253, 254, 255), (222, 233, 246), (112, 146, 190), (255, 255, 255, 200)),
        ((255, 255, 255), (204, 226, 252), (61, 123, 204), (255, 255, 255, 230)),
        ((196, 216, 240), (226, 236, 248), (44, 94, 166), None),
        ((240, 240, 240), (228, 228, 228), (178, 178, 178), None),
    ]
    frame_w, frame_h = 66, 23
    strip = Image.new("RGBA", (frame_w * 4, frame_h), (0, 0, 0, 0))
    for i, (top, bottom, border, highlight) in enumerate(looks):
        def paint(d, s, top=top, bottom=bottom, border=border, highlight=highlight):
            W, H = frame_w * s, frame_h * s
            for y in range(H):
                d.line((0, y, W - 1, y), fill=lerp(top, bottom, y / (H - 1)) + (255,))
        body = supersampled(frame_w, frame_h, paint)
        mask = supersampled(frame_w, frame_h, lambda d, s: d.rounded_rectangle(
            (0, 0, frame_w * s - 1, frame_h * s - 1), radius=3 * s, fill=(0, 0, 0, 255)))
        outline = supersampled(frame_w, frame_h, lambda d, s, border=border, highlight=highlight: (
            d.rounded_rectangle((0, 0, frame_w * s - 1, frame_h * s - 1), radius=3 * s,
                                outline=border + (255,), width=s),
            highlight and d.rounded_rectangle((s, s, frame_w * s - 1 - s, frame_h * s - 1 - s),
                                              radius=2 * s, outline=highlight, width=s)))
        body.putalpha(mask.getchannel("A"))
        body = Image.alpha_composite(body, outline)
        strip.paste(body, (i * frame_w, 0))
    return strip


def cube(size_w, size_h, margin=0.0):
    """An isometric cube in three greens with a light edge, on transparent ground."""
    def paint(d, s):
        W, H = size_w * s, size_h * s
        m = margin * s
        cx = W / 2
        top, bottom = m + 0.5 * s, H - m - 0.5 * s
        half = (W - 2 * m) / 2 - 0.5 * s
        q = (bottom - top) / 4  # the top face's half height
        up = (cx, top)
        left_top, right_top = (cx - half, top + q), (cx + half, top + q)
        centre = (cx, top + 2 * q)
        left_bottom, right_bottom = (cx - half, bottom - q), (cx + half, bottom - q)
        down = (cx, bottom)
        d.polygon([up, right_top, centre, left_top], fill=(142, 214, 96, 255))
        d.polygon([left_top, centre, down, left_bottom], fill=(64, 160, 52, 255))
        d.polygon([centre, right_top, right_bottom, down], fill=(38, 120, 40, 255))
        edge = (230, 255, 210, 255)
        width = max(1, round(0.8 * s))
        d.line([left_top, centre, right_top], fill=edge, width=width)
        d.line([centre, down], fill=edge, width=width)
        d.line([up, right_top, right_bottom, down, left_bottom, left_top, up],
               fill=(24, 80, 28, 255), width=width)
    return supersampled(size_w, size_h, paint)


def title_gradient():
    """5 x 45: pale blue fading into the body colour, fully opaque (RGB)."""
    img = Image.new("RGB", (5, 45))
    px = img.load()
    for y in range(45):
        c = lerp((206, 225, 246), BODY, y / 44)
        for x in range(5):
            px[x, y] = c
    return img


def icon():
    """The application icon: the green cube with a white upward arrow, in the
    usual sizes."""
    frames = []
    for size in (16, 24, 32, 48, 256):
        img = cube(size, size, margin=size / 16)
        arrow = supersampled(size, size, lambda d, s, size=size: (
            d.polygon([(size * 0.62 * s, size * 0.30 * s), (size * 0.90 * s, size * 0.58 * s),
                       (size * 0.72 * s, size * 0.58 * s), (size * 0.72 * s, size * 0.92 * s),
                       (size * 0.52 * s, size * 0.92 * s), (size * 0.52 * s, size * 0.58 * s),
                       (size * 0.34 * s, size * 0.58 * s)],
                      fill=(255, 255, 255, 255), outline=(24, 80, 28, 255))))
        frames.append(Image.alpha_composite(img, arrow))
    frames[-1].save(os.path.join(HERE, "Updater.ico"), format="ICO",
                    sizes=[f.size for f in frames], append_images=frames[:-1])


def main():
    save(close_backdrop((150, 150, 150), 110), "close_disabled.png")  # 129
    save(close_backdrop((150, 20, 20), 210), "close_pressed.png")     # 130
    save(close_backdrop((232, 28, 40), 180), "close_hover.png")       # 131
    save(close_cross(), "close_cross.png")                            # 132
    save(dialog_frame(), "dialog_frame.png")                          # 133
    save(command_buttons(), "command_buttons.png")                    # 134
    save(cube(26, 28), "emblem.png")                                  # 136
    save(title_gradient(), "title_gradient.png")                      # 139
    icon()                                                            # 128


if __name__ == "__main__":
    main()

#include "SkinGeometry.h"

BackdropLayout LayoutBackdrop(int w, int h, int a, const RECT& r) {
    const int half = (w - 1) / 2;
    const int mid = h - a - 1;
    const int L = r.left, T = r.top, R = r.right, B = r.bottom;
    const int sideHeight = B - T - a - mid;
    const int middleWidth = R - L - 2 * half;
    BackdropLayout layout;
    layout.stretched[0] = {{L, T + a, half, sideHeight}, {0, mid, half, 1}};
    layout.stretched[1] = {{R - half, T + a, half, sideHeight}, {w - half, mid, half, 1}};
    layout.stretched[2] = {{L + half, T, middleWidth, a}, {half, 0, 1, a}};
    layout.stretched[3] = {{L + half, B - mid, middleWidth, mid}, {half, h - mid, 1, mid}};
    layout.corners[0] = {{L, T, half, a}, {0, 0, half, a}};
    layout.corners[1] = {{R - half, T, half, a}, {w - half, 0, half, a}};
    layout.corners[2] = {{L, B - mid, half, mid}, {0, h - mid, half, mid}};
    layout.corners[3] = {{R - half, B - mid, half, mid}, {w - half, h - mid, half, mid}};
    return layout;
}

PlacedLayout LayoutPlacedImage(const RECT& client, const SkinImage& image, int w, int h) {
    const RECT& s = image.sourceRect;
    int sw = s.right - s.left;
    int sh = s.bottom - s.top;
    if (sw == 0)
        sw = w;
    if (sh == 0)
        sh = h;

    RECT d = image.rect;
    if (d.left < 0)
        d.left += client.right;
    if (d.right < 0)
        d.right += client.right;
    if (d.top < 0)
        d.top += client.bottom;
    if (d.bottom < 0)
        d.bottom += client.bottom;
    if (d.right == 0)
        d.right = d.left + sw;
    if (d.bottom == 0)
        d.bottom = d.top + sh;
    if (image.toRightEdge)
        d.right = client.right;
    if (image.toBottomEdge)
        d.bottom = client.bottom;

    PlacedLayout layout;
    layout.part.dest = {d.left, d.top, d.right - d.left, d.bottom - d.top};
    layout.part.source = {s.left, s.top, sw, sh};
    layout.unscaled = layout.part.dest.width == sw && layout.part.dest.height == sh;
    return layout;
}

TextBox LayoutTextBox(const SkinText& t, int windowWidth, int windowHeight) {
    TextBox box;
    box.x = t.x < 0 ? t.x + static_cast<float>(windowWidth) : t.x;
    box.y = t.y < 0 ? t.y + static_cast<float>(windowHeight) : t.y;
    box.width = t.width > 0 ? t.width : static_cast<float>(windowWidth);
    box.height = t.height > 0 ? t.height : static_cast<float>(windowHeight);
    return box;
}

TextAlignment AlignmentOf(int align) {
    TextAlignment result;
    if (align & AlignTop)
        result.line = 0;
    else if (align & AlignMiddle)
        result.line = 1;
    else if (align & AlignBottom)
        result.line = 2;
    if (align & AlignLeft)
        result.horizontal = 0;
    else if (align & AlignCenter)
        result.horizontal = 1;
    else if (align & AlignRight)
        result.horizontal = 2;
    return result;
}

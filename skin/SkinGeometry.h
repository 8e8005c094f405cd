// Where the parts of skin items go: pure arithmetic on sizes and rectangles,
// kept apart from the drawing so that it can be checked directly.
#pragma once

#include "SkinItems.h"

// A rectangle as origin and size, the form the blit calls take.
struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

inline bool operator==(const Box& a, const Box& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// Nothing is drawn for a part without area: a negative size would mirror it.
inline bool HasArea(const Box& b) {
    return b.width > 0 && b.height > 0;
}

struct ImagePart {
    Box dest;
    Box source;
};

// The pieces of a backdrop of a w x h picture with a top band of `band` rows
// drawn into `rect`. The stretched pieces, in drawing order: left side, right
// side, top band middle, bottom band middle. The corners, drawn at their own
// size: top-left, top-right, bottom-left, bottom-right. The side strips take
// their single source row at h - band - 1.
struct BackdropLayout {
    ImagePart stretched[4];
    ImagePart corners[4];
};
BackdropLayout LayoutBackdrop(int w, int h, int band, const RECT& rect);

// Where a placed image of w x h goes in `client`, and whether it is drawn at
// its own size (alpha-blended) or stretched (opaque).
struct PlacedLayout {
    ImagePart part;
    bool unscaled = false;
};
PlacedLayout LayoutPlacedImage(const RECT& client, const SkinImage& image, int w, int h);

// The layout box of a text in a window of windowWidth x windowHeight.
struct TextBox {
    float x = 0, y = 0, width = 0, height = 0;
};
TextBox LayoutTextBox(const SkinText& text, int windowWidth, int windowHeight);

// The GDI+ string alignments (0 near, 1 center, 2 far) that `align` selects.
struct TextAlignment {
    int line = 0;
    int horizontal = 0;
};
TextAlignment AlignmentOf(int align);

// The records a skin is made of: styled texts, stretchable backdrops and
// placed images. Plain values; whoever holds one owns its strings.
#pragma once

#include "framework/GdiPlus.h"
#include "framework/String.h"

// Alignment bits of SkinText::align. Within an axis the first bit found, in
// the order listed, wins; an axis with none of its bits aligns near.
enum SkinTextAlign : int {
    AlignTop = 0x01,
    AlignMiddle = 0x10,
    AlignBottom = 0x20,
    AlignLeft = 0x02,
    AlignCenter = 0x04,
    AlignRight = 0x08,
};

struct SkinText {
    CString text;
    CString fontName;
    // Points for plain text, pixels for outlined text.
    float fontSize = 9.0f;
    Gdiplus::ARGB textColor = 0xFF000000;
    // GDI+ font style bits: 1 bold, 2 italic, 4 underline, 8 strikeout.
    int fontStyle = 0;
    // 0: plain text. Otherwise the glyphs are drawn as a path, stroked with
    // a pen of this width when it is above 0.
    float outlineWidth = 0.0f;
    Gdiplus::ARGB outlineColor = 0xFF000000;
    // Outlined text only: a half-transparent black copy, offset by (dx, dy).
    int shadow = 0;
    int shadowDx = 0;
    int shadowDy = 0;
    // Layout box in window pixels. A negative x or y counts back from the
    // window's right or bottom edge; a width or height not above 0 means the
    // window's width or height.
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    int align = AlignTop | AlignLeft;
};

// A frame painted from a small picture: a top band of bandHeight rows, one
// stretched row and column, and a bottom band; its middle is left alone.
struct SkinBackdrop {
    int resourceId = 0;
    CString filePath;
    CString resourceType;
    int bandHeight = 0;
    RECT rect{};
    // Nonzero: rect follows the client rectangle at every paint.
    int fitClient = 0;
    // 1: the resource picture. 0: the file, or the resource picture when the
    // file is missing.
    int fromResource = 1;
};

// A picture at a position. rect's left and top place it; right and bottom give
// its far edges (0: its own size; negative: counted from the client's right or
// bottom edge).
struct SkinImage {
    int resourceId = 0;
    CString filePath;
    CString resourceType;
    RECT rect{};
    // The part of the picture drawn; all zero for the whole picture.
    RECT sourceRect{};
    int toRightEdge = 0;
    int toBottomEdge = 0;
    int fromResource = 1;
};

inline bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

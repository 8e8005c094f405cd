// The shape and the mouse areas of a skinned window: the drag band, the
// sizing edges and the rounded-corner outline.
#pragma once

#include <windows.h>

#include <vector>

// Whether a press at client row y falls in the drag band: rows 0 to
// captionHeight inclusive; a captionHeight of 0 means no band.
inline bool InDragBand(int y, int captionHeight) {
    return captionHeight != 0 && y <= captionHeight;
}

// The sizing edge under client point (x, y) of a width x height client area:
// 7 pixels wide, corners first. hitCode is 0 away from the edges.
struct EdgeHit {
    int hitCode = 0;
    const char* cursor = nullptr; // a system cursor id (IDC_SIZE...)
};
EdgeHit EdgeHitTest(int x, int y, int width, int height);

// One rounded corner of the window outline: `square` is cut out of the
// window rectangle, then `ellipse` is added back.
struct CornerCut {
    RECT square;
    RECT ellipse;
};
// The cuts for corner diameters top-left, top-right, bottom-left,
// bottom-right of a w x h window, in that order; a diameter not above 0
// leaves its corner square and has no cut.
std::vector<CornerCut> CornerCuts(int w, int h, int topLeft, int topRight, int bottomLeft,
                                  int bottomRight);
// A new region (owned by the caller): the w x h rectangle with those corners.
HRGN CreateRoundedRegion(int w, int h, int topLeft, int topRight, int bottomLeft, int bottomRight);

#include "WindowShape.h"

#include "framework/Handles.h"

EdgeHit EdgeHitTest(int x, int y, int w, int h) {
    constexpr int border = 7;
    const bool left = x < border, right = w - x < border;
    const bool top = y < border, bottom = h - y < border;
    if (left && top)
        return {HTTOPLEFT, IDC_SIZENWSE};
    if (right && top)
        return {HTTOPRIGHT, IDC_SIZENESW};
    if (left && bottom)
        return {HTBOTTOMLEFT, IDC_SIZENESW};
    if (right && bottom)
        return {HTBOTTOMRIGHT, IDC_SIZENWSE};
    if (left)
        return {HTLEFT, IDC_SIZEWE};
    if (right)
        return {HTRIGHT, IDC_SIZEWE};
    if (top)
        return {HTTOP, IDC_SIZENS};
    if (bottom)
        return {HTBOTTOM, IDC_SIZENS};
    return {};
}

std::vector<CornerCut> CornerCuts(int w, int h, int tl, int tr, int bl, int br) {
    std::vector<CornerCut> cuts;
    // The right-hand ellipses sit one pixel further right, so that their
    // curve ends on the window's last column.
    if (tl > 0)
        cuts.push_back({{0, 0, tl / 2, tl / 2}, {0, 0, tl, tl}});
    if (tr > 0)
        cuts.push_back({{w - tr / 2, 0, w, tr / 2}, {w - tr + 1, 0, w + 1, tr}});
    if (bl > 0)
        cuts.push_back({{0, h - bl / 2, bl / 2, h}, {0, h - bl, bl, h}});
    if (br > 0)
        cuts.push_back({{w - br / 2, h - br / 2, w, h}, {w - br + 1, h - br, w + 1, h}});
    return cuts;
}

HRGN CreateRoundedRegion(int w, int h, int tl, int tr, int bl, int br) {
    HRGN region = ::CreateRectRgn(0, 0, w, h);
    for (const CornerCut& cut : CornerCuts(w, h, tl, tr, bl, br)) {
        UniqueRegion square(
            ::CreateRectRgn(cut.square.left, cut.square.top, cut.square.right, cut.square.bottom));
        ::CombineRgn(region, square.Get(), region, RGN_XOR);
        UniqueRegion ellipse(::CreateEllipticRgn(cut.ellipse.left, cut.ellipse.top,
                                                 cut.ellipse.right, cut.ellipse.bottom));
        ::CombineRgn(region, ellipse.Get(), region, RGN_OR);
    }
    return region;
}

#include "Layout.h"

namespace {
// The bottom-right place for a button of size `s`.
POINT RightHand(const DialogLayoutInput& in, SIZE s) {
    return POINT{in.width - s.cx - 25, in.height - s.cy - 5};
}
} // namespace

DialogLayout ComputeLayout(const DialogLayoutInput& in) {
    DialogLayout out;
    out.close = POINT{in.width - in.close.cx, 0};
    out.upgrade = POINT{in.width - 2 * in.upgrade.cx - 40, in.height - in.upgrade.cy - 5};
    out.dontUpgrade = RightHand(in, in.dontUpgrade);
    out.exit = RightHand(in, in.exit);
    out.finish = RightHand(in, in.finish);
    out.changeLog = RECT{10, 65, 10 + (in.width - 20), 65 + 141};
    return out;
}

RECT SongTiDialogRect(int x, int y, int width, int height) {
    // As the dialog manager converts a template: the position and the size
    // each on its own (converting the far edge instead can lose a pixel).
    constexpr int kBaseWidth = 6, kBaseHeight = 12;
    const int left = MulDiv(x, kBaseWidth, 4), top = MulDiv(y, kBaseHeight, 8);
    return RECT{left, top, left + MulDiv(width, kBaseWidth, 4),
                top + MulDiv(height, kBaseHeight, 8)};
}

// Pixel placement of the update dialog's controls, from the client size and
// the buttons' own sizes (which follow the images the skin loaded).
#pragma once

#include <windows.h>

struct DialogLayoutInput {
    int width = 0, height = 0; // client size
    SIZE close{}, upgrade{}, dontUpgrade{}, exit{}, finish{};
};

struct DialogLayout {
    POINT close{}, upgrade{}, dontUpgrade{}, exit{}, finish{};
    RECT changeLog{}; // left, top, right, bottom
};

// The close button in the top-right corner; Upgrade left of the bottom-right
// place shared by Don't upgrade, Exit software and Finish; the change-log box
// 10 pixels from the sides at y 65, 141 high.
DialogLayout ComputeLayout(const DialogLayoutInput& in);

// A rectangle of the dialog template (dialog units, x y width height) in the
// pixels it has with the dialog font "宋体" 9 points at 96 DPI: a horizontal
// unit is a quarter of its 6-pixel average character width, a vertical unit an
// eighth of its 12-pixel height. The controls that stay at their template
// places are put there, so the window looks the same whatever font stands in
// for "宋体" (a substitute with other metrics would push the footer onto the
// buttons).
RECT SongTiDialogRect(int x, int y, int width, int height);

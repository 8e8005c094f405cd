// Pixel placement of the update dialog's controls, from the client size and
// the buttons' own sizes (which follow the images the skin loaded).
#pragma once

#include <windows.h>

struct DialogLayoutInput {
    int width = 0, height = 0;  // client size
    SIZE close{}, upgrade{}, dontUpgrade{}, exit{}, finish{};
};

struct DialogLayout {
    POINT close{}, upgrade{}, dontUpgrade{}, exit{}, finish{};
    RECT changeLog{};  // left, top, right, bottom
};

// The close button in the top-right corner; Upgrade left of the bottom-right
// place shared by Don't upgrade, Exit software and Finish; the change-log box
// 10 pixels from the sides at y 65, 141 high.
DialogLayout ComputeLayout(const DialogLayoutInput& in);

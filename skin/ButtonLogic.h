// What an image button shows and does, decided from its flags alone: the draw
// state, the picture frame, the layers, the caption style and the check rules.
#pragma once

#include "framework/GdiPlus.h"

#include <algorithm>
#include <vector>

// (windows.h takes the name DrawState for a macro.)
enum ButtonDrawState : int {
    DrawNormal = 0,
    DrawHover = 1,
    DrawPressed = 2,
    DrawDisabled = 3,
    DrawFocused = 4,
};

// Kinds of button, from the low byte of the window style at subclassing.
// Any other value behaves as a push button whose BM_SETCHECK value is kept.
enum ButtonKind : int {
    KindPushButton = 0,
    KindAutoCheckBox = 3,
    KindAutoRadioButton = 9,
};

// Disabled wins over pushed or checked, which wins over hover, then focus.
ButtonDrawState ComputeDrawState(UINT itemState, int checkState, bool hover);

// The strip frame shown in `state`: the state's own frame when the strip has
// one, else frame 0.
inline int StripFrameIndex(int state, int frameCount) {
    return state < frameCount ? state : 0;
}

// The caption style used in `state` out of `count` styles (count > 0).
inline size_t CaptionStyleIndex(int state, size_t count) {
    return static_cast<size_t>(state) < count ? static_cast<size_t>(state) : 0;
}

// A strip of `frameCount` frames side by side; a count below 1 is taken as 1.
inline int EffectiveFrameCount(int frameCount) {
    return std::max(frameCount, 1);
}
inline int FrameWidth(UINT imageWidth, int frameCount) {
    return static_cast<int>(imageWidth / static_cast<UINT>(EffectiveFrameCount(frameCount)));
}

// The check state kept after BM_SETCHECK with `value`: push buttons never stay set.
inline int CheckAfterSet(int kind, int value) {
    return kind == KindPushButton ? 0 : value;
}

// What a click or the space key asks of the check state: an auto check box
// flips, an auto radio button sets itself; other kinds ask nothing.
struct CheckRequest {
    bool send = false;
    int value = 0;
};
CheckRequest ToggleRequest(int kind, int checkState);

// The pictures of layered mode drawn in `state`, bottom first.
enum class Layer { HoverBackdrop, PressedBackdrop, Disabled, Foreground };
struct LayerSet {
    bool hover = false, pressed = false, disabled = false, foreground = false;
};
std::vector<Layer> LayersFor(int state, const LayerSet& present);

// A single-frame picture is drawn brightened under the pointer and in grey
// when disabled: each channel 1.05 x value + 0.05, or 0.3 R + 0.59 G + 0.11 B.
const Gdiplus::ColorMatrix& BrighteningMatrix();
const Gdiplus::ColorMatrix& GreyMatrix();
// The matrix a single-frame picture is drawn through in `state`, or null.
const Gdiplus::ColorMatrix* SingleFrameMatrix(int state);

// The other members of a radio group, walking from `self` with next(current)
// until the walk comes back to `self`, ends, or would repeat itself (the walk
// skips disabled and hidden controls, so it need not come back to a disabled
// `self`).
template <typename Handle, typename NextFn>
std::vector<Handle> GroupPeers(Handle self, NextFn next) {
    std::vector<Handle> peers;
    for (Handle current = self;;) {
        Handle n = next(current);
        if (!n || n == self || std::find(peers.begin(), peers.end(), n) != peers.end())
            break;
        peers.push_back(n);
        current = n;
    }
    return peers;
}

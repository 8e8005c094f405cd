// The part of a parent's painted client area that lies under a child window,
// for controls that paint themselves over the skinned background.
#pragma once

#include "framework/Handles.h"

// A bitmap compatible with the parent's device context holding its pixels (the
// parent's client area, origin at its top-left) under a child window; empty
// when it cannot be made. It remembers which background it came from and
// where the child was, so that it is taken again only when either has changed.
class ParentAreaCopy {
public:
    // Copies from `parentDc` unless `generation` (the parent's number for the
    // background it has drawn; 0: unknown) and the child's place are those of
    // the present copy. Without a device context there is no copy.
    void Take(HWND child, HDC parentDc, unsigned generation = 0);
    void Reset();
    HBITMAP Get() const { return bitmap.Get(); }
    explicit operator bool() const { return static_cast<bool>(bitmap); }

private:
    UniqueBitmap bitmap;
    unsigned generation = 0;
    RECT place{};
};

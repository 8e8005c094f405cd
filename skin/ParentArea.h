// The part of a parent's painted client area that lies under a child window,
// for controls that paint themselves over the skinned background.
#pragma once

#include "framework/Handles.h"

// A bitmap compatible with `parentDc` holding the pixels of `parentDc` (the
// parent's client area, origin at its top-left) under `child`; empty when it
// cannot be made.
UniqueBitmap CopyParentArea(HWND child, HDC parentDc);

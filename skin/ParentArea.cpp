#include "ParentArea.h"

#include "SkinItems.h"

namespace {

RECT PlaceInParent(HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

UniqueBitmap CopyArea(HDC parentDc, const RECT& rect) {
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    MemoryDC memory(parentDc);
    UniqueBitmap copy(::CreateCompatibleBitmap(parentDc, w, h));
    if (copy && memory) {
        SelectGuard select(memory.Get(), copy.Get());
        ::BitBlt(memory.Get(), 0, 0, w, h, parentDc, rect.left, rect.top, SRCCOPY);
    }
    return copy;
}

} // namespace

void ParentAreaCopy::Take(HWND child, HDC parentDc, unsigned from) {
    if (!parentDc) {
        Reset();
        return;
    }
    const RECT now = PlaceInParent(child);
    if (bitmap && from != 0 && from == generation && SameRect(now, place))
        return;
    bitmap = CopyArea(parentDc, now);
    generation = bitmap ? from : 0;
    place = now;
}

void ParentAreaCopy::Reset() {
    bitmap.Reset();
    generation = 0;
}

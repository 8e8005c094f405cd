#include "ParentArea.h"

UniqueBitmap CopyParentArea(HWND child, HDC parentDc) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
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

// CDC: a device context handed to drawing code. It does not own the handle;
// whoever made the device context frees it (see Handles.h).
#pragma once

#include <windows.h>

class CDC {
public:
    CDC() = default;
    explicit CDC(HDC dc) : hdc(dc) {}

    HDC GetSafeHdc() const { return hdc; }
    operator HDC() const { return hdc; }

private:
    HDC hdc = nullptr;
};

// Helpers for the skin tests: GDI+ for the whole test program, 32-bit pixel
// canvases to paint into and read back, PNG files made on the fly, and
// message pumping.
#pragma once

#include "framework/GdiPlus.h"
#include "framework/Handles.h"

#include <functional>
#include <string>

// A 32-bit top-down DIB selected into its own memory device context; its
// pixels can be read directly.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill = RGB(255, 255, 255));
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC Dc() const { return dc; }
    int Width() const { return width; }
    int Height() const { return height; }
    // The pixel as COLORREF (alpha dropped).
    COLORREF At(int x, int y) const;
    void Fill(COLORREF color);

private:
    int width, height;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    const uint32_t* bits = nullptr;
};

// Writes a w x h PNG whose pixel (x, y) is pixel(x, y) as ARGB; true on success.
bool WritePng(const std::string& path, int w, int h,
              const std::function<Gdiplus::ARGB(int x, int y)>& pixel);

// A folder of its own under the system's temporary folder, removed with its files.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string Path(const std::string& name) const { return folder + name; }

private:
    std::string folder;
};

// Handles every message waiting for this thread's windows.
void PumpMessages();
// Pumps messages for `milliseconds`.
void PumpFor(int milliseconds);

inline int Red(COLORREF c) {
    return GetRValue(c);
}
inline int Green(COLORREF c) {
    return GetGValue(c);
}
inline int Blue(COLORREF c) {
    return GetBValue(c);
}
// Whether two colours differ by at most `tolerance` in every channel.
bool Near(COLORREF a, COLORREF b, int tolerance = 8);
std::string ColorText(COLORREF c);

#define EXPECT_COLOR_NEAR(expected, actual, tolerance)                                             \
    EXPECT_PRED3(Near, expected, actual, tolerance)                                                \
        << "expected " << ColorText(expected) << " got " << ColorText(actual)

#include "SkinTestSupport.h"

#include "framework/String.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace Gdiplus;

namespace {
// Starts GDI+ before the first test and stops it after the last.
class GdiplusEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        GdiplusStartupInput input(nullptr, FALSE, FALSE);
        ASSERT_EQ(Ok, GdiplusStartup(&token, &input, nullptr));
    }
    void TearDown() override { GdiplusShutdown(token); }

private:
    ULONG_PTR token = 0;
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);
} // namespace

Canvas::Canvas(int w, int h, COLORREF fill) : width(w), height(h) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    bits = static_cast<const uint32_t*>(pixels);
    previous = SelectObject(dc, bitmap);
    Fill(fill);
}

Canvas::~Canvas() {
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

COLORREF Canvas::At(int x, int y) const {
    GdiFlush();
    uint32_t p = bits[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

void Canvas::Fill(COLORREF color) {
    UniqueBrush brush(CreateSolidBrush(color));
    RECT all{0, 0, width, height};
    FillRect(dc, &all, brush.Get());
    GdiFlush();
}

bool WritePng(const std::string& path, int w, int h,
              const std::function<ARGB(int x, int y)>& pixel) {
    // {557CF406-1A04-11D3-9A73-0000F81EF32E}: the PNG encoder.
    static const CLSID png = {
        0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    GpBitmap* bitmap = nullptr;
    if (DllExports::GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, &bitmap) !=
        Ok)
        return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            DllExports::GdipBitmapSetPixel(bitmap, x, y, pixel(x, y));
    std::wstring wide = WidenAnsi(path);
    bool saved = DllExports::GdipSaveImageToFile(bitmap, wide.c_str(), &png, nullptr) == Ok;
    DllExports::GdipDisposeImage(bitmap);
    return saved;
}

TempFolder::TempFolder() {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    static int counter = 0;
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%sskin-tests-%lu-%d\\", base, GetCurrentProcessId(), ++counter);
    folder = name;
    CreateDirectoryA(folder.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA((folder + name).c_str());
            else
                DeleteFileA((folder + name).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void PumpFor(int milliseconds) {
    DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    do {
        PumpMessages();
        Sleep(5);
    } while (static_cast<int>(end - GetTickCount()) > 0);
    PumpMessages();
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return abs(Red(a) - Red(b)) <= tolerance && abs(Green(a) - Green(b)) <= tolerance &&
           abs(Blue(a) - Blue(b)) <= tolerance;
}

std::string ColorText(COLORREF c) {
    char text[32];
    snprintf(text, sizeof text, "RGB(%d, %d, %d)", Red(c), Green(c), Blue(c));
    return text;
}

// Owning wrappers for the kernel and GDI handles the program creates. Each one
// closes what it holds when it goes out of scope; none can be copied.
#pragma once

#include <windows.h>

#include <utility>

// A kernel handle (event, process, thread, file mapping, file). Both null and
// INVALID_HANDLE_VALUE count as "nothing held".
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : handle(h) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    HANDLE Get() const { return handle; }
    explicit operator bool() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    HANDLE Release() { return std::exchange(handle, nullptr); }
    void Reset(HANDLE h = nullptr) {
        if (*this)
            CloseHandle(handle);
        handle = h;
    }

private:
    HANDLE handle = nullptr;
};

// A view of a file mapping, unmapped when it goes out of scope.
class MappedView {
public:
    MappedView() = default;
    explicit MappedView(const void* v) : view(v) {}
    MappedView(MappedView&& other) noexcept : view(std::exchange(other.view, nullptr)) {}
    MappedView& operator=(MappedView&& other) noexcept {
        Reset(std::exchange(other.view, nullptr));
        return *this;
    }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    ~MappedView() { Reset(); }

    const void* Get() const { return view; }
    explicit operator bool() const { return view != nullptr; }
    void Reset(const void* v = nullptr) {
        if (view)
            UnmapViewOfFile(view);
        view = v;
    }

private:
    const void* view = nullptr;
};

// A GDI object (bitmap, font, brush, pen, region) of type T.
template <typename T> class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(T h) : handle(h) {}
    GdiObject(GdiObject&& other) noexcept : handle(other.Release()) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() { Reset(); }

    T Get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    T Release() { return std::exchange(handle, nullptr); }
    void Reset(T h = nullptr) {
        if (handle)
            DeleteObject(handle);
        handle = h;
    }

private:
    T handle = nullptr;
};

using UniqueBitmap = GdiObject<HBITMAP>;
using UniqueFont = GdiObject<HFONT>;
using UniqueBrush = GdiObject<HBRUSH>;
using UniquePen = GdiObject<HPEN>;
using UniqueRegion = GdiObject<HRGN>;

// A memory device context made with CreateCompatibleDC; deleted with DeleteDC.
class MemoryDC {
public:
    explicit MemoryDC(HDC compatibleWith) : dc(CreateCompatibleDC(compatibleWith)) {}
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    ~MemoryDC() {
        if (dc)
            DeleteDC(dc);
    }
    HDC Get() const { return dc; }
    explicit operator bool() const { return dc != nullptr; }

private:
    HDC dc;
};

// The device context of a window's client area (GetDC / ReleaseDC).
class WindowDC {
public:
    explicit WindowDC(HWND w) : window(w), dc(GetDC(w)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc)
            ReleaseDC(window, dc);
    }
    HDC Get() const { return dc; }
    explicit operator bool() const { return dc != nullptr; }

private:
    HWND window;
    HDC dc;
};

// BeginPaint / EndPaint.
class PaintDC {
public:
    explicit PaintDC(HWND w) : window(w) { dc = BeginPaint(w, &ps); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { EndPaint(window, &ps); }
    HDC Get() const { return dc; }
    const PAINTSTRUCT& Info() const { return ps; }

private:
    HWND window;
    PAINTSTRUCT ps{};
    HDC dc;
};

// Selects a GDI object into a device context and puts the previous one back.
class SelectGuard {
public:
    SelectGuard(HDC d, HGDIOBJ object)
        : dc(d), previous(object ? SelectObject(d, object) : nullptr) {}
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
    ~SelectGuard() {
        if (previous)
            SelectObject(dc, previous);
    }

private:
    HDC dc;
    HGDIOBJ previous;
};

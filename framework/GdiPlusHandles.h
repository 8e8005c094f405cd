// Owning holders for GDI+ objects made through the flat interface. Each one
// frees its object with the matching GDI+ function when it goes out of scope.
//
//   GpGraphicsHolder graphics;
//   Gdiplus::DllExports::GdipCreateFromHDC(dc, graphics.Out());
#pragma once

#include "GdiPlus.h"

#include <utility>

template <typename T, typename Base, Gdiplus::GpStatus(WINGDIPAPI* Free)(Base*)> class GdipHolder {
public:
    GdipHolder() = default;
    explicit GdipHolder(T* object) : p(object) {}
    GdipHolder(GdipHolder&& other) noexcept : p(other.Release()) {}
    GdipHolder& operator=(GdipHolder&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    GdipHolder(const GdipHolder&) = delete;
    GdipHolder& operator=(const GdipHolder&) = delete;
    ~GdipHolder() { Reset(); }

    T* Get() const { return p; }
    explicit operator bool() const { return p != nullptr; }
    T* Release() { return std::exchange(p, nullptr); }
    void Reset(T* object = nullptr) {
        if (p)
            Free(p);
        p = object;
    }
    // Frees what is held and gives the slot to a GDI+ creation function.
    T** Out() {
        Reset();
        return &p;
    }

private:
    T* p = nullptr;
};

namespace gdip = Gdiplus::DllExports;

using GpGraphicsHolder =
    GdipHolder<Gdiplus::GpGraphics, Gdiplus::GpGraphics, &gdip::GdipDeleteGraphics>;
using GpBitmapHolder = GdipHolder<Gdiplus::GpBitmap, Gdiplus::GpImage, &gdip::GdipDisposeImage>;
using GpFontFamilyHolder =
    GdipHolder<Gdiplus::GpFontFamily, Gdiplus::GpFontFamily, &gdip::GdipDeleteFontFamily>;
using GpFontHolder = GdipHolder<Gdiplus::GpFont, Gdiplus::GpFont, &gdip::GdipDeleteFont>;
using GpStringFormatHolder =
    GdipHolder<Gdiplus::GpStringFormat, Gdiplus::GpStringFormat, &gdip::GdipDeleteStringFormat>;
using GpSolidFillHolder =
    GdipHolder<Gdiplus::GpSolidFill, Gdiplus::GpBrush, &gdip::GdipDeleteBrush>;
using GpPenHolder = GdipHolder<Gdiplus::GpPen, Gdiplus::GpPen, &gdip::GdipDeletePen>;
using GpPathHolder = GdipHolder<Gdiplus::GpPath, Gdiplus::GpPath, &gdip::GdipDeletePath>;
using GpImageAttributesHolder = GdipHolder<Gdiplus::GpImageAttributes, Gdiplus::GpImageAttributes,
                                           &gdip::GdipDisposeImageAttributes>;

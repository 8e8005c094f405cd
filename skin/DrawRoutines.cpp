#include "DrawRoutines.h"

#include "SkinGeometry.h"
#include "framework/GdiPlusHandles.h"
#include "framework/Handles.h"

#include <io.h>

using namespace Gdiplus;

ImagePtr LoadItemImage(int fromResource, const CString& filePath, int resourceId,
                       const CString& resourceType) {
    if (fromResource == 0 && !filePath.empty() && _access(filePath.c_str(), 0) == 0) {
        // A damaged file is as good as a missing one: the resource it took the
        // place of is drawn, rather than nothing.
        ImagePtr image = LoadFileImage(filePath.c_str());
        if (!image || image->HasPixels() || resourceId == 0)
            return image;
    }
    return LoadResourceImage(static_cast<UINT>(resourceId), resourceType.c_str());
}

namespace {

// Stretches parts of a picture's opaque GDI copy (SkinPictures::Opaque) into
// the target.
class Stretcher {
public:
    Stretcher(HDC target, HBITMAP opaqueCopy) : memory(target), bitmap(opaqueCopy) {}

    void StretchTo(HDC target, const ImagePart& part) const {
        if (!bitmap || !memory || !HasArea(part.dest) || !HasArea(part.source))
            return;
        // Selected only for the length of one stretch: the copy belongs to
        // the picture cache and may be selected again by the next paint.
        SelectGuard select(memory.Get(), bitmap);
        ::StretchBlt(target, part.dest.x, part.dest.y, part.dest.width, part.dest.height,
                     memory.Get(), part.source.x, part.source.y, part.source.width,
                     part.source.height, SRCCOPY);
    }

private:
    MemoryDC memory;
    HBITMAP bitmap;
};

void DrawUnscaled(GpGraphics* graphics, const ImageObject& image, const ImagePart& part) {
    if (!graphics || !image.Bitmap() || !HasArea(part.dest) || !HasArea(part.source))
        return;
    gdip::GdipDrawImageRectRectI(graphics, image.Bitmap(), part.dest.x, part.dest.y,
                                 part.dest.width, part.dest.height, part.source.x, part.source.y,
                                 part.source.width, part.source.height, UnitPixel, nullptr, nullptr,
                                 nullptr);
}

GpGraphicsHolder SmoothGraphics(HDC hdc) {
    GpGraphicsHolder graphics;
    gdip::GdipCreateFromHDC(hdc, graphics.Out());
    if (graphics) {
        gdip::GdipSetSmoothingMode(graphics.Get(), SmoothingModeAntiAlias);
        gdip::GdipSetInterpolationMode(graphics.Get(), InterpolationModeHighQualityBicubic);
    }
    return graphics;
}

// The text's font in points; an unknown family name falls back to the
// generic sans-serif family, and so does a family that cannot make the font.
GpFontHolder CreateTextFont(const SkinText& t) {
    std::wstring name = WidenAnsi(t.fontName);
    GpFontFamilyHolder family;
    if (gdip::GdipCreateFontFamilyFromName(name.c_str(), nullptr, family.Out()) != Ok)
        gdip::GdipGetGenericFontFamilySansSerif(family.Out());
    GpFontHolder font;
    if (!family ||
        gdip::GdipCreateFont(family.Get(), t.fontSize, t.fontStyle, UnitPoint, font.Out()) != Ok) {
        GpFontFamilyHolder sans;
        gdip::GdipGetGenericFontFamilySansSerif(sans.Out());
        if (sans)
            gdip::GdipCreateFont(sans.Get(), t.fontSize, t.fontStyle, UnitPoint, font.Out());
    }
    return font;
}

GpStringFormatHolder AlignedFormat(const SkinText& t) {
    GpStringFormatHolder format;
    gdip::GdipCreateStringFormat(0, LANG_NEUTRAL, format.Out());
    if (format)
        ApplyTextAlignment(t, format.Get());
    return format;
}

} // namespace

void DrawBackdropImage(CDC* dc, const SkinBackdrop& b) {
    SkinPictures pictures;
    DrawBackdropImage(dc, b, pictures);
}

void DrawBackdropImage(CDC* dc, const SkinBackdrop& b, SkinPictures& pictures) {
    if (!dc || !dc->GetSafeHdc())
        return;
    const ImageObject* image =
        pictures.Get(b.fromResource, b.filePath, b.resourceId, b.resourceType);
    if (!image)
        return;
    HDC hdc = dc->GetSafeHdc();
    BackdropLayout layout = LayoutBackdrop(static_cast<int>(image->Width()),
                                           static_cast<int>(image->Height()), b.bandHeight, b.rect);
    {
        Stretcher opaque(hdc, pictures.Opaque(image));
        for (const ImagePart& part : layout.stretched)
            opaque.StretchTo(hdc, part);
    }
    GpGraphicsHolder graphics = SmoothGraphics(hdc);
    for (const ImagePart& part : layout.corners)
        DrawUnscaled(graphics.Get(), *image, part);
}

void DrawPlacedImage(CDC* dc, const RECT& client, const SkinImage& i) {
    SkinPictures pictures;
    DrawPlacedImage(dc, client, i, pictures);
}

void DrawPlacedImage(CDC* dc, const RECT& client, const SkinImage& i, SkinPictures& pictures) {
    if (!dc || !dc->GetSafeHdc())
        return;
    HDC hdc = dc->GetSafeHdc();
    const ImageObject* image =
        pictures.Get(i.fromResource, i.filePath, i.resourceId, i.resourceType);
    if (!image)
        return;
    PlacedLayout layout = LayoutPlacedImage(client, i, static_cast<int>(image->Width()),
                                            static_cast<int>(image->Height()));
    if (layout.unscaled)
        DrawUnscaled(SmoothGraphics(hdc).Get(), *image, layout.part);
    else
        Stretcher(hdc, pictures.Opaque(image)).StretchTo(hdc, layout.part);
}

void ApplyTextAlignment(const SkinText& t, GpStringFormat* format) {
    TextAlignment alignment = AlignmentOf(t.align);
    gdip::GdipSetStringFormatLineAlign(format, static_cast<StringAlignment>(alignment.line));
    gdip::GdipSetStringFormatAlign(format, static_cast<StringAlignment>(alignment.horizontal));
}

void DrawSkinText(HWND window, HDC hdc, const SkinText& t) {
    // GDI+ makes fonts of size 0 on some systems and refuses them on others;
    // such a text (and a negative or undefined size) is not drawn anywhere.
    if (!(t.fontSize > 0))
        return;
    RECT rect{};
    ::GetWindowRect(window, &rect);
    TextBox box = LayoutTextBox(t, rect.right - rect.left, rect.bottom - rect.top);

    if (t.outlineWidth != 0) {
        if (t.shadow) {
            SkinText shadow = t;
            shadow.textColor = 0x80000000;
            shadow.outlineColor = 0x80000000;
            DrawOutlinedText(hdc, shadow, box.x + static_cast<float>(t.shadowDx),
                             box.y + static_cast<float>(t.shadowDy), box.width, box.height);
        }
        DrawOutlinedText(hdc, t, box.x, box.y, box.width, box.height);
        return;
    }

    GpGraphicsHolder graphics;
    gdip::GdipCreateFromHDC(hdc, graphics.Out());
    GpFontHolder font = CreateTextFont(t);
    if (!graphics || !font)
        return;
    GpStringFormatHolder format = AlignedFormat(t);
    GpSolidFillHolder brush;
    gdip::GdipCreateSolidFill(t.textColor, brush.Out());
    std::wstring text = WidenAnsi(t.text);
    RectF layout(box.x, box.y, box.width, box.height);
    gdip::GdipDrawString(graphics.Get(), text.c_str(), -1, font.Get(), &layout, format.Get(),
                         brush.Get());
}

void DrawOutlinedText(HDC hdc, const SkinText& t, float x, float y, float width, float height) {
    GpGraphicsHolder graphics;
    gdip::GdipCreateFromHDC(hdc, graphics.Out());
    if (!graphics)
        return;
    gdip::GdipSetSmoothingMode(graphics.Get(), SmoothingModeAntiAlias);
    gdip::GdipSetTextRenderingHint(graphics.Get(), TextRenderingHintAntiAlias);
    gdip::GdipSetInterpolationMode(graphics.Get(), InterpolationModeHighQualityBicubic);
    gdip::GdipSetTextRenderingHint(graphics.Get(), TextRenderingHintAntiAliasGridFit);

    GpFontHolder font = CreateTextFont(t);
    if (!font)
        return;
    GpFontFamilyHolder family;
    gdip::GdipGetFamily(font.Get(), family.Out());
    INT style = FontStyleRegular;
    gdip::GdipGetFontStyle(font.Get(), &style);

    GpPathHolder path;
    gdip::GdipCreatePath(FillModeAlternate, path.Out());
    if (!path || !family)
        return;
    std::wstring text = WidenAnsi(t.text);
    const INT length = static_cast<INT>(text.size());
    // The path's em size is in world units (pixels), unlike plain text.
    if (width != 0 && height != 0) {
        GpStringFormatHolder format = AlignedFormat(t);
        RectF layout(x, y, width, height);
        gdip::GdipAddPathString(path.Get(), text.c_str(), length, family.Get(), style, t.fontSize,
                                &layout, format.Get());
    } else {
        RectF layout(x, y, 0, 0);
        gdip::GdipAddPathString(path.Get(), text.c_str(), length, family.Get(), style, t.fontSize,
                                &layout, nullptr);
    }
    if (t.outlineWidth > 0) {
        GpPenHolder pen;
        gdip::GdipCreatePen1(t.outlineColor, t.outlineWidth, UnitWorld, pen.Out());
        if (pen)
            gdip::GdipDrawPath(graphics.Get(), pen.Get(), path.Get());
    }
    // The fill covers the inner half of the stroke: the outline shows as a
    // halo of half the pen width.
    GpSolidFillHolder brush;
    gdip::GdipCreateSolidFill(t.textColor, brush.Out());
    if (brush)
        gdip::GdipFillPath(graphics.Get(), brush.Get(), path.Get());
}

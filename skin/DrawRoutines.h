// Painting one skin item into a device context. Each call draws and frees
// everything it made; the pictures come from the caller's picture cache, or,
// without one, are loaded for the call alone.
//
// Pictures drawn at their own size are blended with GDI+ and keep their
// alpha; stretched parts are copied with GDI StretchBlt and come out opaque
// (transparent pixels turn black). The choice is part of the skin's look.
#pragma once

#include "ImageLoading.h"
#include "SkinItems.h"
#include "SkinPictures.h"
#include "framework/DC.h"

// The picture of an item: its file when the item draws from a file and the
// file exists and decodes, otherwise its resource. Null when neither gives an
// image.
ImagePtr LoadItemImage(int fromResource, const CString& filePath, int resourceId,
                       const CString& resourceType);

void DrawBackdropImage(CDC* dc, const SkinBackdrop& backdrop);
// `client` is the client rectangle of the paint (left and top 0).
void DrawPlacedImage(CDC* dc, const RECT& client, const SkinImage& image);
// The same with pictures taken from (and kept in) a window's picture cache.
void DrawBackdropImage(CDC* dc, const SkinBackdrop& backdrop, SkinPictures& pictures);
void DrawPlacedImage(CDC* dc, const RECT& client, const SkinImage& image, SkinPictures& pictures);
// Places the text relative to `window`'s rectangle and draws it into `hdc`.
// A text whose size is not above 0 is not drawn.
void DrawSkinText(HWND window, HDC hdc, const SkinText& text);
// Draws the text's glyphs as a path (filled, stroked when outlineWidth > 0)
// into the layout box (x, y, width, height).
void DrawOutlinedText(HDC hdc, const SkinText& text, float x, float y, float width, float height);
void ApplyTextAlignment(const SkinText& text, Gdiplus::GpStringFormat* format);

// Skin pictures: PNG images from the program's resources or from skin files,
// decoded by GDI+, and window regions taken from an image's alpha channel.
// GDI+ must be started before any of these is used.
#pragma once

#include "framework/GdiPlus.h"

#include <memory>
#include <vector>

// A decoded picture. It may hold no pixels (the source did not decode); its
// size then reads 0 x 0 and drawing it draws nothing.
class ImageObject {
public:
    ImageObject() = default;
    ImageObject(Gdiplus::GpBitmap* bitmap, IStream* source);
    ~ImageObject();
    ImageObject(const ImageObject&) = delete;
    ImageObject& operator=(const ImageObject&) = delete;

    Gdiplus::GpBitmap* Bitmap() const { return bitmap; }
    bool HasPixels() const { return bitmap != nullptr; }
    UINT Width() const;
    UINT Height() const;

private:
    Gdiplus::GpBitmap* bitmap = nullptr;
    // The stream over the copy of the resource bytes, kept for as long as the
    // image: GDI+ may read from it again at any later paint.
    IStream* source = nullptr;
};

using ImagePtr = std::unique_ptr<ImageObject>;

// The image stored as resource `id` (only the low 16 bits count) of type
// `type` in the resource module. The type "Bitmap" (exactly so) names a
// Windows bitmap resource; any other name a resource holding the file's
// bytes. A missing or undecodable resource gives an image without pixels;
// null only when no image object can be allocated.
ImagePtr LoadResourceImage(UINT id, const char* type);

// The image in file `path` (ANSI code page), or null when nothing exists at
// that path. Only PNG files (by their 8-byte signature) are decoded: skin
// pictures are PNG images, and other formats' declared sizes go unchecked. A
// file of another kind gives an image without pixels, which the skin's users
// treat as a missing file, and so do a PNG that does not decode, one that
// declares more than kMaxFilePixels pixels (skin files are decoded again at
// every paint, and a file of 1 MB can declare a picture of 16000 x 16000, 1 GB
// of pixels), one longer than kMaxFileBytes, and a path that is no readable
// file (a folder). The file is read once; the image decodes from that copy.
ImagePtr LoadFileImage(const char* path);

constexpr unsigned long long kMaxFilePixels = 4096ull * 4096ull;
constexpr unsigned long kMaxFileBytes = 32ul << 20;

// Whether the first `size` bytes of a file begin a PNG whose header declares
// more than kMaxFilePixels pixels.
bool DeclaresTooManyPixels(const unsigned char* head, size_t size);

// The rectangles of a w x h area whose pixels are "inside": one per maximal
// run of inside pixels within a row, rows from the bottom row up, each row
// left to right. Reading pixel (x, y) is left to `inside`.
template <typename InsideFn> std::vector<RECT> AlphaRuns(int w, int h, InsideFn inside) {
    std::vector<RECT> runs;
    runs.reserve(40);
    for (int y = h - 1; y >= 0; --y) {
        int start = -1;
        for (int x = 0; x < w; ++x) {
            bool in = inside(x, y);
            if (in && start < 0)
                start = x;
            if (!in && start >= 0) {
                runs.push_back(RECT{start, y, x, y + 1});
                start = -1;
            }
        }
        if (start >= 0)
            runs.push_back(RECT{start, y, w, y + 1});
    }
    return runs;
}

// Whether pixel (x, y) of the image counts as inside the outline: its alpha
// is not 0. A pixel that cannot be read (outside the image, no pixels)
// counts as inside, as opaque black.
bool IsPixelInside(const ImageObject& image, int x, int y);

// A new region (owned by the caller) of the pixels of the w x h area that are
// inside, or null without an image. With w or h not above 0 it is empty.
HRGN CreateAlphaRegion(const ImageObject* image, int w, int h);

// Gives `window` the outline of the image's first w x h pixels. Without an
// image nothing changes; when the window refuses the region it keeps its shape.
void ApplyAlphaRegion(HWND window, const ImageObject* image, int w, int h);

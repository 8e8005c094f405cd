#include "ImageLoading.h"

#include "framework/Handles.h"
#include "framework/WinApp.h"

#include <cstring>
#include <io.h>
#include <new>

using namespace Gdiplus;
namespace gdip = Gdiplus::DllExports;

ImageObject::ImageObject(GpBitmap* b, IStream* s) : bitmap(b), source(s) {}

ImageObject::~ImageObject() {
    if (bitmap)
        gdip::GdipDisposeImage(bitmap);
    if (source)
        source->Release();
}

UINT ImageObject::Width() const {
    UINT width = 0;
    if (!bitmap || gdip::GdipGetImageWidth(bitmap, &width) != Ok)
        return 0;
    return width;
}

UINT ImageObject::Height() const {
    UINT height = 0;
    if (!bitmap || gdip::GdipGetImageHeight(bitmap, &height) != Ok)
        return 0;
    return height;
}

namespace {

ImagePtr LoadBitmapResource(HINSTANCE module, UINT id) {
    UniqueBitmap bitmap(::LoadBitmapA(module, MAKEINTRESOURCEA(id)));
    GpBitmap* image = nullptr;
    if (bitmap)
        gdip::GdipCreateBitmapFromHBITMAP(bitmap.Get(), nullptr, &image);
    // GDI+ keeps its own copy of the pixels; the GDI bitmap goes now.
    ImagePtr result(new (std::nothrow) ImageObject(image, nullptr));
    if (!result && image)
        gdip::GdipDisposeImage(image);
    return result;
}

// A stream over a private copy of the resource bytes; the stream frees the
// copy when its last reference goes.
IStream* StreamOverCopy(const void* bytes, DWORD size) {
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!block)
        return nullptr;
    if (void* p = ::GlobalLock(block)) {
        memcpy(p, bytes, size);
        ::GlobalUnlock(block);
    }
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(block, TRUE, &stream))) {
        ::GlobalFree(block);
        return nullptr;
    }
    // The stream's size is the block's, which GlobalAlloc may round up.
    ULARGE_INTEGER exact;
    exact.QuadPart = size;
    stream->SetSize(exact);
    return stream;
}

// The picture decoded from `stream` (which it takes over; null gives an empty
// image), or null when memory runs out.
ImagePtr ImageFromStream(IStream* stream) {
    GpBitmap* image = nullptr;
    if (stream)
        gdip::GdipCreateBitmapFromStream(stream, &image);
    ImagePtr result(new (std::nothrow) ImageObject(image, stream));
    if (!result) {
        if (image)
            gdip::GdipDisposeImage(image);
        if (stream)
            stream->Release();
    }
    return result;
}

} // namespace

ImagePtr LoadResourceImage(UINT id, const char* type) {
    HINSTANCE module = AfxGetResourceHandle();
    UINT resourceId = id & 0xFFFF;
    if (type && strcmp(type, "Bitmap") == 0)
        return LoadBitmapResource(module, resourceId);

    IStream* stream = nullptr;
    HRSRC found = type ? ::FindResourceA(module, MAKEINTRESOURCEA(resourceId), type) : nullptr;
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (bytes)
        stream = StreamOverCopy(bytes, ::SizeofResource(module, found));
    return ImageFromStream(stream);
}

bool DeclaresTooManyPixels(const unsigned char* head, size_t size) {
    // The signature, then the IHDR chunk: length, type, width, height (big-endian).
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 24 || memcmp(head, signature, 8) != 0 || memcmp(head + 12, "IHDR", 4) != 0)
        return false;
    auto bigEndian = [](const unsigned char* p) {
        return (static_cast<unsigned long long>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    };
    return bigEndian(head + 16) * bigEndian(head + 20) > kMaxFilePixels;
}

namespace {

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The whole file at `path` in `bytes`, read once, so that the checks and the
// decoder see the same bytes and later paints decode from this private copy
// whatever becomes of the file. False unless it is a readable file that begins
// with the PNG signature and is at most kMaxFileBytes long.
bool ReadPngFile(const char* path, std::vector<unsigned char>* bytes) {
    UniqueHandle file(CreateFileA(path, GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.Get(), &size) ||
        size.QuadPart < static_cast<LONGLONG>(sizeof kPngSignature) ||
        size.QuadPart > static_cast<LONGLONG>(kMaxFileBytes))
        return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    unsigned char* to = bytes->data();
    DWORD left = static_cast<DWORD>(bytes->size()), got = 0;
    while (left > 0 && ReadFile(file.Get(), to, left, &got, nullptr) && got > 0) {
        to += got;
        left -= got;
    }
    return left == 0 && memcmp(bytes->data(), kPngSignature, sizeof kPngSignature) == 0;
}

} // namespace

ImagePtr LoadFileImage(const char* path) {
    if (!path || _access(path, 0) != 0)
        return nullptr;
    // Skin pictures are PNG images: anything else is never decoded (no other
    // format's declared size is checked), and what is not decoded has no pixels,
    // which every user of a skin file takes for a missing file.
    std::vector<unsigned char> bytes;
    IStream* stream = nullptr;
    if (ReadPngFile(path, &bytes) && !DeclaresTooManyPixels(bytes.data(), bytes.size()))
        stream = StreamOverCopy(bytes.data(), static_cast<DWORD>(bytes.size()));
    return ImageFromStream(stream);
}

bool IsPixelInside(const ImageObject& image, int x, int y) {
    ARGB pixel = 0xFF000000;
    if (!image.Bitmap() || gdip::GdipBitmapGetPixel(image.Bitmap(), x, y, &pixel) != Ok)
        pixel = 0xFF000000;
    return (pixel >> 24) != 0;
}

HRGN CreateAlphaRegion(const ImageObject* image, int w, int h) {
    if (!image)
        return nullptr;
    std::vector<RECT> runs =
        AlphaRuns(w, h, [image](int x, int y) { return IsPixelInside(*image, x, y); });
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    for (const RECT& r : runs) {
        UniqueRegion piece(::CreateRectRgn(r.left, r.top, r.right, r.bottom));
        ::CombineRgn(region, region, piece.Get(), RGN_OR);
    }
    return region;
}

void ApplyAlphaRegion(HWND window, const ImageObject* image, int w, int h) {
    UniqueRegion region(CreateAlphaRegion(image, w, h));
    if (!region)
        return;
    // Once the window has taken the region it belongs to the system.
    if (::SetWindowRgn(window, region.Get(), TRUE))
        region.Release();
}

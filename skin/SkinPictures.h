// The decoded pictures of one window's skin items, kept for the life of the
// window: each source (a skin file or a resource) is decoded at its first
// paint and each picture converted for stretching once, instead of at every
// paint. A skin file changed while the window lives is not read again.
#pragma once

#include "ImageLoading.h"
#include "framework/Handles.h"
#include "framework/String.h"

#include <memory>
#include <vector>

class SkinPictures {
public:
    // The picture of an item by the rule of LoadItemImage (DrawRoutines.h):
    // its file when it draws from a file that exists and decodes, otherwise
    // its resource. Null when neither gives an image.
    const ImageObject* Get(int fromResource, const CString& filePath, int resourceId,
                           const CString& resourceType);
    // `image` (one Get returned) as a GDI bitmap for stretching, in which
    // transparent pixels are black; null when it cannot be made.
    HBITMAP Opaque(const ImageObject* image);
    // Forgets every picture.
    void Clear() { entries.clear(); }
    size_t Count() const { return entries.size(); }

private:
    struct Entry {
        int fromResource;
        CString filePath;
        int resourceId;
        CString resourceType;
        ImagePtr image;
        UniqueBitmap opaque;
        bool converted = false;
    };
    std::vector<std::unique_ptr<Entry>> entries;
};

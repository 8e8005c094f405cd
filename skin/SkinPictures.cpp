#include "SkinPictures.h"

#include "DrawRoutines.h"
#include "framework/GdiPlusHandles.h"

const ImageObject* SkinPictures::Get(int fromResource, const CString& filePath, int resourceId,
                                     const CString& resourceType) {
    for (const auto& e : entries)
        if (e->fromResource == fromResource && e->resourceId == resourceId &&
            e->filePath == filePath && e->resourceType == resourceType)
            return e->image.get();
    auto entry = std::make_unique<Entry>();
    entry->fromResource = fromResource;
    entry->filePath = filePath;
    entry->resourceId = resourceId;
    entry->resourceType = resourceType;
    entry->image = LoadItemImage(fromResource, filePath, resourceId, resourceType);
    entries.push_back(std::move(entry));
    return entries.back()->image.get();
}

HBITMAP SkinPictures::Opaque(const ImageObject* image) {
    if (!image)
        return nullptr;
    for (const auto& e : entries) {
        if (e->image.get() != image)
            continue;
        if (!e->converted) {
            HBITMAP converted = nullptr;
            if (image->Bitmap())
                gdip::GdipCreateHBITMAPFromBitmap(image->Bitmap(), &converted, 0);
            e->opaque.Reset(converted);
            e->converted = true;
        }
        return e->opaque.Get();
    }
    return nullptr;
}

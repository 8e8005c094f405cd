#include "FileBytes.h"

#include "framework/Handles.h"

#include <climits>

struct FileBytes::Storage {
    MappedView view;
};

FileBytes::FileBytes() = default;
FileBytes::~FileBytes() = default;

void FileBytes::Release() {
    storage.reset();
    data = nullptr;
    size = 0;
}

bool FileBytes::Load(const char* path) {
    Release();
    // Shared like a C stream opened for reading, so files in use by others still open.
    UniqueHandle file(CreateFileA(path, GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file || GetFileType(file.Get()) != FILE_TYPE_DISK)
        return false;
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file.Get(), &length) || length.QuadPart < 0 || length.QuadPart > INT_MAX)
        return false;
    if (length.QuadPart == 0)
        return true; // an empty file cannot be mapped, and has nothing to map
    UniqueHandle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping)
        return false;
    auto kept = std::make_unique<Storage>();
    kept->view = MappedView(
        MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(length.QuadPart)));
    if (!kept->view)
        return false;
    // The view keeps the mapping alive; the handles can go.
    data = static_cast<const unsigned char*>(kept->view.Get());
    size = static_cast<std::size_t>(length.QuadPart);
    storage = std::move(kept);
    return true;
}

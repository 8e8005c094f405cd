#include "FileBytes.h"

#include "framework/Handles.h"

#include <climits>

struct FileBytes::File {
    UniqueHandle handle;
};

FileBytes::FileBytes() = default;
FileBytes::~FileBytes() = default;

bool FileBytes::Open(const char* path) {
    file.reset();
    size = 0;
    UniqueHandle handle(CreateFileA(path, GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle || GetFileType(handle.Get()) != FILE_TYPE_DISK)
        return false;
    LARGE_INTEGER length;
    if (!GetFileSizeEx(handle.Get(), &length) || length.QuadPart < 0 || length.QuadPart > INT_MAX)
        return false;
    file = std::make_unique<File>();
    file->handle = std::move(handle);
    size = static_cast<std::size_t>(length.QuadPart);
    return true;
}

bool FileBytes::Read(std::size_t offset, unsigned char* buffer, std::size_t length) {
    if (!file || offset > size || length > size - offset)
        return false;
    while (length > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(offset) >> 32);
        DWORD got = 0;
        const DWORD want = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
        // A device error comes back as FALSE; the end of a file that has been
        // shortened meanwhile as 0 bytes.
        if (!ReadFile(file->handle.Get(), buffer, want, &got, &at) || got == 0)
            return false;
        buffer += got;
        offset += got;
        length -= got;
    }
    return true;
}

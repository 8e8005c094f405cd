#include "LaunchBlock.h"

#include <cstring>

bool ParseLaunchBlock(const void* view, size_t size, LaunchBlockFields* out) {
    if (!view || size < kLaunchHeaderSize)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(view);
    int32_t mode;
    uint32_t window;
    std::memcpy(&mode, bytes, 4);
    std::memcpy(&window, bytes + 4, 4);
    out->mode = mode;
    out->hostWindow = reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(window)));

    const char* url = reinterpret_cast<const char*>(bytes + kLaunchHeaderSize);
    size_t available = size - kLaunchHeaderSize;
    size_t limit = available < kBaseUrlSize - 1 ? available : kBaseUrlSize - 1;
    size_t length = 0;
    while (length < limit && url[length] != '\0')
        ++length;
    bool cut = length == limit && (length == available || url[length] != '\0');
    if (cut) {
        // Do not end on the first half of a double-byte character.
        size_t i = 0;
        while (i < length) {
            size_t step = IsDBCSLeadByte(static_cast<BYTE>(url[i])) ? 2 : 1;
            if (i + step > length)
                break;
            i += step;
        }
        length = i;
    }
    std::memcpy(out->baseUrl, url, length);
    out->baseUrl[length] = '\0';
    return true;
}

bool FormatLaunchBlock(int32_t mode, uint32_t hostWindow, const char* baseUrl, std::string* out) {
    if (!baseUrl)
        return false;
    size_t length = std::strlen(baseUrl);
    if (length > kBaseUrlSize - 1)
        return false;
    std::string block(kLaunchHeaderSize + length + 1, '\0');
    std::memcpy(block.data(), &mode, 4);
    std::memcpy(block.data() + 4, &hostWindow, 4);
    std::memcpy(block.data() + kLaunchHeaderSize, baseUrl, length);
    *out = std::move(block);
    return true;
}

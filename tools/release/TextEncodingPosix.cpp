#include "TextEncoding.h"

#include <iconv.h>

#include <cerrno>

bool Utf8ToCodePage936(const std::string& utf8, std::string& out) {
    out.clear();
    iconv_t converter = iconv_open("CP936", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return false;
    // Every character takes at most two bytes in code page 936, and at least one in UTF-8.
    std::string buffer(2 * utf8.size() + 1, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    // Ends the conversion: a truncated multi-byte sequence at the end shows as inLeft > 0.
    const std::size_t flushed = iconv(converter, nullptr, nullptr, &outPtr, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || flushed == static_cast<std::size_t>(-1) ||
        inLeft != 0)
        return false;
    buffer.resize(buffer.size() - outLeft);
    out = std::move(buffer);
    return true;
}

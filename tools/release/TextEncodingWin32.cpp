#include "TextEncoding.h"

#include <windows.h>

#include <climits>

bool Utf8ToCodePage936(const std::string& utf8, std::string& out) {
    out.clear();
    if (utf8.empty())
        return true;
    if (utf8.size() > INT_MAX)
        return false;
    const int inLength = static_cast<int>(utf8.size());
    const int wideLength =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, nullptr, 0);
    if (wideLength <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, wide.data(),
                        wideLength);
    BOOL usedDefault = FALSE;
    const int outLength = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength,
                                              nullptr, 0, nullptr, &usedDefault);
    if (outLength <= 0 || usedDefault)
        return false;
    out.assign(static_cast<std::size_t>(outLength), '\0');
    WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, out.data(), outLength,
                        nullptr, &usedDefault);
    return !usedDefault;
}

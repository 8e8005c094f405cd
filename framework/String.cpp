#include "String.h"

#include "WinApp.h"

#include <cstdarg>
#include <cstdio>

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) {
        clear();
    } else {
        resize(static_cast<size_t>(length));
        std::vsnprintf(data(), static_cast<size_t>(length) + 1, format, args);
    }
    va_end(args);
}

BOOL CString::LoadString(UINT id) {
    // A string-table entry holds at most 65535 UTF-16 units; LoadStringW with a
    // zero buffer size hands out a read-only pointer to the stored text.
    const wchar_t* text = nullptr;
    int length = LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        clear();
        return FALSE;
    }
    assign(NarrowToAnsi(std::wstring_view(text, static_cast<size_t>(length))));
    return TRUE;
}

CString LoadResString(UINT id) {
    CString s;
    s.LoadString(id);
    return s;
}

size_t WholeCharacterPrefix(std::string_view text, size_t limit) {
    if (text.size() <= limit)
        return text.size();
    size_t end = 0;
    while (end < limit) {
        size_t next = end + (IsDBCSLeadByte(static_cast<BYTE>(text[end])) ? 2 : 1);
        if (next > limit)
            break;
        end = next;
    }
    return end > 0 ? end : limit;
}

std::wstring WidenAnsi(std::string_view text) {
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string NarrowToAnsi(std::wstring_view text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n,
                        nullptr, nullptr);
    return narrow;
}

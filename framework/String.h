// Narrow strings in the process's ANSI code page, with the few conveniences the
// program needs on top of std::string: printf-style formatting and string-table
// loading.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

class CString : public std::string {
public:
    using std::string::string;
    CString() = default;
    CString(const std::string& s) : std::string(s) {}
    CString(std::string&& s) : std::string(std::move(s)) {}

    operator const char*() const { return c_str(); }

    // Replaces the contents with the printf-style formatted text.
    void Format(const char* format, ...);

    // Replaces the contents with string-table entry `id` of the resource module;
    // returns FALSE (and leaves the string empty) when there is no such entry.
    BOOL LoadString(UINT id);

    bool EndsWith(std::string_view tail) const {
        return size() >= tail.size() && compare(size() - tail.size(), tail.size(), tail) == 0;
    }
};

inline CString operator+(const CString& a, std::string_view b) {
    CString r(a);
    r.append(b);
    return r;
}
inline CString operator+(const CString& a, const CString& b) {
    return a + std::string_view(b);
}
inline CString operator+(const CString& a, const char* b) {
    return a + std::string_view(b);
}
inline CString operator+(const char* a, const CString& b) {
    CString r(a);
    r.append(b);
    return r;
}
inline CString operator+(const CString& a, char b) {
    CString r(a);
    r.push_back(b);
    return r;
}

// The string-table entry `id` as a new string, empty when missing.
CString LoadResString(UINT id);

// The length of the longest start of `text`, at most `limit` bytes, that does
// not end between the two bytes of a double-byte character of the process's
// code page. A lead byte that ends the text stands alone. When even the first
// character is longer than `limit`, `limit` itself, so that a reader handed
// pieces of this length always makes progress.
size_t WholeCharacterPrefix(std::string_view text, size_t limit);

// ANSI (code page of the process) to UTF-16 and back.
std::wstring WidenAnsi(std::string_view text);
std::string NarrowToAnsi(std::wstring_view text);

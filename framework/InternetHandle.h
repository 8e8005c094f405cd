// An owning WinINet handle (session, connection or request), closed with
// InternetCloseHandle. Kept apart from Handles.h because wininet.h cannot share
// a translation unit with winhttp.h.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <utility>

class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET h) : handle(h) {}
    InternetHandle(InternetHandle&& other) noexcept : handle(other.Release()) {}
    InternetHandle& operator=(InternetHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle() { Reset(); }

    HINTERNET Get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    HINTERNET Release() { return std::exchange(handle, nullptr); }
    void Reset(HINTERNET h = nullptr) {
        if (handle)
            InternetCloseHandle(handle);
        handle = h;
    }

private:
    HINTERNET handle = nullptr;
};

// The launch block: the record the host writes into the named file mapping
// "@_ORVAK_UPDATE_@" before it starts the updater (little-endian):
//   offset 0: mode, signed 32-bit
//   offset 4: host main window handle, 32-bit
//   offset 8: base URL, NUL-terminated narrow text (code page 936)
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

constexpr const char* kLaunchMappingName = "@_ORVAK_UPDATE_@";
constexpr size_t kBaseUrlSize = 260; // the URL with its terminating NUL
constexpr size_t kLaunchHeaderSize = 8;

struct LaunchBlockFields {
    int32_t mode = 0;
    HWND hostWindow = nullptr;
    char baseUrl[kBaseUrlSize] = {};
};

// Decodes a block from the `size` readable bytes at `view`. Fewer than 8 bytes
// is no block (false). A URL without a NUL inside the view, or longer than 259
// bytes, is cut to 259 bytes (without splitting a double-byte character). The
// 32-bit window value is widened by sign extension, as handles shared between
// 32- and 64-bit processes are.
bool ParseLaunchBlock(const void* view, size_t size, LaunchBlockFields* out);

// The block a host writes for `mode`, the 32-bit value of its window and
// `baseUrl`: the header and the URL with its NUL. False, and nothing written
// to `out`, when the URL does not fit the updater's 259 bytes: a URL is
// refused, never cut.
bool FormatLaunchBlock(int32_t mode, uint32_t hostWindow, const char* baseUrl, std::string* out);

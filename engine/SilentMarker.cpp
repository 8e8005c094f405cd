#include "SilentMarker.h"

#include "InstallJournal.h"
#include "framework/Handles.h"

#include <windows.h>

#include <cctype>

namespace {

constexpr DWORD kMaxMarkerSize = 64 * 1024;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsSha256Hex(std::string_view value) {
    if (value.size() != 64)
        return false;
    for (char c : value)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool ParseSerial(std::string_view value, uint64_t* serial) {
    if (value.empty() || value.size() > 19)
        return false;
    uint64_t n = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    *serial = n;
    return true;
}

// One "key=value" line of the section.
bool TakeEntry(std::string_view key, std::string_view value, SilentMarker* marker) {
    if (SameWord(key, "Key")) {
        marker->complete = value == "1";
        return true;
    }
    if (SameWord(key, "Serial")) {
        marker->hasSerial = ParseSerial(value, &marker->serial);
        return marker->hasSerial;
    }
    if (!IsPlainFileName(key) || !IsSha256Hex(value))
        return false;
    for (const StagedFileDigest& d : marker->digests)
        if (SameWord(d.name, key))
            return false;
    marker->digests.push_back({CString(key), CString(value)});
    return true;
}

} // namespace

bool ParseSilentMarker(std::string_view text, SilentMarker* marker) {
    *marker = {};
    bool inSection = false;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            inSection = close != std::string_view::npos &&
                        SameWord(Trim(line.substr(1, close - 1)), "SUpgrade");
            continue;
        }
        size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos)
            continue;
        if (!TakeEntry(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)), marker))
            return false;
    }
    return true;
}

MarkerRead ReadSilentMarker(const char* path, SilentMarker* marker) {
    *marker = {};
    UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? MarkerRead::Absent
                   : MarkerRead::Unreadable;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxMarkerSize)
        return MarkerRead::Unreadable;
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!text.empty() &&
        (!ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr) ||
         read != text.size()))
        return MarkerRead::Unreadable;
    return ParseSilentMarker(text, marker) ? MarkerRead::Read : MarkerRead::Unreadable;
}

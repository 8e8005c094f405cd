#include "DialogControls.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace probe {
namespace {

constexpr UINT kReadBoundMs = 2000;

struct FolderSearch {
    std::string folder;
    HWND found = nullptr;
};

bool RunsFrom(DWORD processId, const std::string& folder) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return false;
    char image[MAX_PATH] = {};
    DWORD size = MAX_PATH - 1;
    bool inside = QueryFullProcessImageNameA(process, 0, image, &size) && size > folder.size() &&
                  _strnicmp(image, folder.c_str(), folder.size()) == 0;
    CloseHandle(process);
    return inside;
}

BOOL CALLBACK CheckTitle(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<FolderSearch*>(param);
    char title[16] = {};
    GetWindowTextA(window, title, sizeof title);
    if (std::string(title) != "Updater")
        return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!search->folder.empty() && !RunsFrom(processId, search->folder))
        return TRUE;
    search->found = window;
    return FALSE;
}

struct ProcessSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK CheckProcess(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<ProcessSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (pid == search->processId && std::strcmp(className, "#32770") == 0 &&
        GetDlgItem(window, kStatus)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindInFolder() {
    FolderSearch search;
    char folder[MAX_PATH] = {};
    if (GetEnvironmentVariableA("DIALOG_PROBE_FOLDER", folder, MAX_PATH - 1))
        search.folder = folder;
    EnumWindows(&CheckTitle, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForVisibleInFolder(DWORD waitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND dialog = FindInFolder();
        if (dialog && IsWindowVisible(dialog))
            return dialog;
        if (GetTickCount() - start >= waitMs)
            return nullptr;
        Sleep(20);
    }
}

HWND FindOfProcess(DWORD processId) {
    ProcessSearch search{processId, nullptr};
    EnumWindows(&CheckProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Between processes Wine answers an ANSI WM_GETTEXTLENGTH of a rich-edit
// control with 0 once the text holds double-byte characters, while the Unicode
// length is right; the buffer is sized from that (at most two bytes per UTF-16
// unit).
std::string TextOf(HWND control, UINT boundMs) {
    DWORD_PTR ansiLength = 0, wideLength = 0;
    if (!control ||
        !SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, boundMs,
                             &ansiLength) ||
        !SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, boundMs,
                             &wideLength))
        return std::string();
    size_t room = std::max<size_t>(ansiLength, 2 * wideLength) + 1;
    std::string text(room, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, room, reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, boundMs, &copied))
        return std::string();
    text.resize(std::min<size_t>(copied, room - 1));
    return text;
}

int Position(HWND dialog) {
    DWORD_PTR position = 0;
    HWND bar = GetDlgItem(dialog, kProgress);
    if (!bar ||
        !SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kReadBoundMs, &position))
        return -1;
    return static_cast<int>(position);
}

bool Shown(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowVisible(control);
}

bool Enabled(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowEnabled(control);
}

bool PostClick(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                   reinterpret_cast<LPARAM>(control));
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out.empty() ? "-" : out;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    return std::fclose(f) == 0;
}

} // namespace probe

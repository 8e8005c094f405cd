#include "DownloadTestSupport.h"

#include "TestServerClient.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <fstream>
#include <sstream>

std::string PatternBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; i += 4) {
        x = x * 1664525u + 1013904223u;
        for (size_t k = 0; k < 4 && i + k < size; ++k)
            bytes[i + k] = static_cast<char>(x >> (8 * k));
    }
    return bytes;
}

bool ReadBytes(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    *bytes = all.str();
    return true;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info))
        return 0;
    return (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

std::string CurrentTestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

std::string FreshOutputFolder() {
    const char* binary = getenv("TEST_BINARY_DIR");
    std::string root = WinePathOf(std::string(binary ? binary : "/tmp") + "/tests/download/out");
    CreateDirectoryA(root.c_str(), nullptr);
    std::string folder = root + "\\" + CurrentTestName();
    std::string list = folder + std::string(2, '\0'); // double-NUL list for the shell
    SHFILEOPSTRUCTA remove{};
    remove.wFunc = FO_DELETE;
    remove.pFrom = list.c_str();
    remove.fFlags = FOF_NO_UI;
    if (FileExists(folder))
        SHFileOperationA(&remove);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

ProgressWindow::ProgressWindow() {
    static ATOM atom = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &ProgressWindow::Procedure;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "DownloadTests.ProgressWindow";
        return RegisterClassA(&wc);
    }();
    (void)atom;
    window = CreateWindowExA(0, "DownloadTests.ProgressWindow", "progress", WS_OVERLAPPED, 0, 0,
                             100, 100, nullptr, nullptr, GetModuleHandleA(nullptr), this);
}

ProgressWindow::~ProgressWindow() {
    if (window)
        DestroyWindow(window);
}

LRESULT CALLBACK ProgressWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && message >= WM_USER + 100 && message < WM_USER + 200) {
        const auto* record = reinterpret_cast<const DownloadProgress*>(lParam);
        self->reports[message].push_back(*record);
        if (self->onReport)
            self->onReport(message, *record);
        return 1;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool WaitDispatching(const std::vector<HANDLE>& handles, DWORD timeoutMs) {
    const double deadline = NowMs() + timeoutMs;
    for (HANDLE handle : handles) {
        for (;;) {
            double left = deadline - NowMs();
            if (left <= 0)
                return false;
            DWORD woke =
                MsgWaitForMultipleObjects(1, &handle, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
            if (woke == WAIT_OBJECT_0)
                break;
            if (woke != WAIT_OBJECT_0 + 1)
                return false;
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    return true;
}

double NowMs() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Downloads COUNT files BASE_URL + "fNN.bin" into OUT_FOLDER at once, one
// CHttpDownload per thread as the update does, with progress reports going to
// a window on the main thread, and prints the time from the first instance
// created to the last transfer ended:
//   BenchDownload.exe BASE_URL OUT_FOLDER COUNT
//   -> "ms 183.4" and exit code 0, or exit code 1 when any transfer failed.
#include "engine/HttpDownload.h"
#include "framework/Thread.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Transfer {
    std::unique_ptr<CHttpDownload> download;
    std::string url;
    std::string local;
    unsigned result = 99;
};

UINT Run(void* p) {
    auto* t = static_cast<Transfer*>(p);
    t->result = t->download->Download(t->url.c_str(), t->local.c_str(), 1);
    return 0;
}

double NowMs() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: BenchDownload BASE_URL OUT_FOLDER COUNT\n");
        return 2;
    }
    const std::string base = argv[1];
    const std::string folder = argv[2];
    const int count = atoi(argv[3]);

    // Progress goes where the dialog's would: a window on this thread, which
    // dispatches the reports while it waits.
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BenchDownload";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, "BenchDownload", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                  nullptr, wc.hInstance, nullptr);

    const double start = NowMs();
    std::vector<Transfer> transfers(static_cast<size_t>(count));
    std::vector<UniqueHandle> threads;
    for (int i = 0; i < count; ++i) {
        char name[32];
        snprintf(name, sizeof name, "f%02d.bin", i);
        Transfer& t = transfers[static_cast<size_t>(i)];
        t.download.reset(CHttpDownload::NewInstance());
        if (!t.download)
            return 1;
        t.download->SetNotifyWnd(window, WM_USER + 102 + i, -1, -1, -1, 1);
        t.url = base + name;
        t.local = folder + "\\" + name;
        threads.push_back(AfxBeginThread(&Run, &t));
    }
    for (auto& thread : threads) {
        HANDLE h = thread.Get();
        while (MsgWaitForMultipleObjects(1, &h, FALSE, INFINITE, QS_ALLINPUT) ==
               WAIT_OBJECT_0 + 1) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
        }
    }
    const double elapsed = NowMs() - start;

    int failed = 0;
    for (const Transfer& t : transfers)
        if (t.result != DownloadOk) {
            fprintf(stderr, "%s: result %u\n", t.url.c_str(), t.result);
            ++failed;
        }
    printf("ms %.1f\n", elapsed);
    return failed ? 1 : 0;
}

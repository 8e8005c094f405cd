// Paint times of the real update dialog (CUpdaterDlg in the optional mode, with
// a change log and the built-in skin), headless:
//   background: its WM_ERASEBKGND into a memory DC (the skin's pictures, texts
//               and the snapshots behind its buttons);
//   full paint: the whole window and every control repainted at once
//               (RedrawWindow with RDW_UPDATENOW over all children);
//   plain:      the same full repaint of the same template made as a plain
//               Win32 dialog of the same size: what the controls and the
//               window manager cost without any skin. The full paint's baseline.
//   fill:       the white fill of a memory bitmap of the dialog's size and its
//               one BitBlt, the part any flicker-free paint does. The
//               background's baseline.
// Prints medians in milliseconds: DialogPaintBench [RUNS]
#include "Interleaved.h"
#include "framework/GdiPlus.h"
#include "framework/Handles.h"
#include "res/resource.h"
#include "ui/UpdaterDlg.h"

#include <cstdio>
#include <cstdlib>

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

void RepaintAll(HWND window) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

CString TempFolder() {
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, path);
    return path;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
    // As the updater's start-up does: the change-log box is a "RICHEDIT".
    LoadLibraryA("riched32.dll");
    Gdiplus::GdiplusStartupInput input(nullptr, FALSE, FALSE);
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    int result = 0;
    {
        LaunchValues launch;
        launch.mode = ModeOptional;
        launch.baseUrl = "http://127.0.0.1:9/";
        launch.programDir = TempFolder(); // no "SetConfig.ini" there: the built-in skin
        CString changeLog;
        for (int i = 1; i <= 12; ++i)
            changeLog +=
                "\xD0\xDE\xB8\xB4\xC1\xCB\xD2\xBB\xD0\xA9\xCE\xCA\xCC\xE2\r\n"; // 修复了一些问题
        CUpdaterDlg dialog(launch, changeLog);
        HWND plain =
            CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_UPDATER_DIALOG),
                               nullptr, &PlainDialogProc, 0);
        if (!dialog.Create(IDD_UPDATER_DIALOG) || !plain) {
            fprintf(stderr, "cannot create the dialogs\n");
            result = 1;
        } else {
            HWND skinned = dialog.GetSafeHwnd();
            ShowWindow(skinned, SW_SHOWNA);
            SetWindowPos(plain, nullptr, 0, 0, 300, 320, SWP_NOMOVE | SWP_NOZORDER);
            ShowWindow(plain, SW_SHOWNA);

            WindowDC screen(nullptr);
            MemoryDC target(screen.Get());
            UniqueBitmap surface(CreateCompatibleBitmap(screen.Get(), 300, 320));
            SelectGuard select(target.Get(), surface.Get());
            auto background = [&] {
                SendMessageA(skinned, WM_ERASEBKGND, reinterpret_cast<WPARAM>(target.Get()), 0);
            };
            auto full = [&] { RepaintAll(skinned); };
            auto baseline = [&] { RepaintAll(plain); };
            auto fill = [&] {
                MemoryDC memory(target.Get());
                UniqueBitmap bitmap(CreateCompatibleBitmap(target.Get(), 300, 320));
                SelectGuard s(memory.Get(), bitmap.Get());
                RECT all{0, 0, 300, 320};
                FillRect(memory.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
                BitBlt(target.Get(), 0, 0, 300, 320, memory.Get(), 0, 0, SRCCOPY);
            };
            std::vector<double> m = InterleavedMediansMs(runs, {background, full, baseline, fill});
            printf("paints timed: %d (medians)\n", runs);
            printf("background:  %.3f ms   background / fill = %.1f\n", m[0], m[0] / m[3]);
            printf("full paint:  %.3f ms\n", m[1]);
            printf("plain:       %.3f ms (same template, no skin)   full / plain = %.1f\n", m[2],
                   m[1] / m[2]);
            printf("fill:        %.3f ms (fill + blit)\n", m[3]);
        }
        if (plain)
            DestroyWindow(plain);
        dialog.DestroyWindow();
    }
    Gdiplus::GdiplusShutdown(token);
    return result;
}

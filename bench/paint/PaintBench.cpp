// Time of one full background paint of a 300 x 320 skinned dialog with the
// update window's items (frame 133, strip 139, emblem 136, title and offer
// texts) and the snapshots of its five buttons, as the dialog paints it: the
// pictures were decoded at the window's first paint and are kept. Against two
// figures from the same run:
//   baseline: the part of a paint that any flicker-free paint does (white fill
//             of the memory bitmap and its one BitBlt);
//   decoding: loading the paint's three pictures alone, what every paint
//             would cost on top without the window's picture cache.
// Prints medians in milliseconds and the ratios.
#include "Interleaved.h"
#include "../../tests/skin/SkinTestIds.h"
#include "framework/GdiPlus.h"
#include "framework/Handles.h"
#include "res/resource.h"
#include "skin/ImageLoading.h"
#include "skin/SkinButtonEx.h"
#include "skin/SkinDialog.h"

#include <cstdio>

namespace {

class BenchDialog : public CSkinDialog {
public:
    BenchDialog() : CSkinDialog(IDD_SKIN_TEST) {
        SetRoundCorners(7, 7, 5, 5);
        SetSkinTextAt("\xC9\xFD\xBC\xB6\xCC\xE1\xCA\xBE", "\xCB\xCE\xCC\xE5", 0xFFFFF7EE, 28, 8, 10,
                      TRUE);
        SkinText offer;
        offer.text = "\xD2\xD1\xBC\xEC\xB2\xE2\xB5\xBD\xD0\xC2\xB0\xE6\xB1\xBE";
        offer.fontName = "\xCB\xCE\xCC\xE5";
        offer.x = 8;
        offer.y = 39;
        offer.height = 15;
        SetSkinText(offer);
        SetCaptionHeight(30);
        SetBackdropImage(IDB_DIALOG_FRAME, "PNG", 30, 1, RECT{});
        SetImage(IDB_TITLE_STRIP, "PNG", RECT{2, 30, -3, 0}, 0, 0);
        SetImageAt(IDB_EMBLEM, "PNG", 5, 0);
    }
    CSkinButtonEx buttons[5];
    void DoDataExchange(CDataExchange* dx) override {
        const int ids[5] = {IDC_CLOSE, IDC_UPGRADE, IDC_DONT_UPGRADE, IDC_EXIT, IDC_FINISH};
        for (int i = 0; i < 5; ++i)
            DDX_Control(dx, ids[i], buttons[i]);
    }
    BOOL OnInitDialog() override {
        CSkinDialog::OnInitDialog();
        SetWindowPos(nullptr, 0, 0, 300, 320, SWP_NOMOVE | SWP_NOZORDER);
        buttons[0].SetForeImage(IDB_CLOSE_CROSS, "PNG", TRUE, FALSE);
        buttons[0].SetWindowPos(nullptr, 267, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        for (int i = 1; i < 5; ++i) {
            buttons[i].SetStripImage(IDB_COMMAND_BUTTONS, "PNG", 4, TRUE, FALSE);
            buttons[i].SetWindowPos(nullptr, i == 1 ? 128 : 209, 292, 0, 0,
                                    SWP_NOSIZE | SWP_NOZORDER);
        }
        return TRUE;
    }
    void DrawOverlay(CDC* dc) override {
        for (CSkinButtonEx& b : buttons)
            b.CaptureBackground(dc, ComposedGeneration());
    }
};

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? atoi(argv[1]) : 200;
    Gdiplus::GdiplusStartupInput input(nullptr, FALSE, FALSE);
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    {
        BenchDialog dialog;
        if (!dialog.Create(IDD_SKIN_TEST))
            return 1;
        WindowDC screen(nullptr);
        MemoryDC target(screen.Get());
        UniqueBitmap surface(CreateCompatibleBitmap(screen.Get(), 300, 320));
        SelectGuard select(target.Get(), surface.Get());
        HWND window = dialog.GetSafeHwnd();

        auto paintOnce = [&] {
            SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(target.Get()), 0);
        };
        auto baselineOnce = [&] {
            MemoryDC memory(target.Get());
            UniqueBitmap bitmap(CreateCompatibleBitmap(target.Get(), 300, 320));
            SelectGuard s(memory.Get(), bitmap.Get());
            RECT all{0, 0, 300, 320};
            FillRect(memory.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            BitBlt(target.Get(), 0, 0, 300, 320, memory.Get(), 0, 0, SRCCOPY);
        };
        auto decodeOnce = [] {
            for (UINT id : {IDB_DIALOG_FRAME, IDB_TITLE_STRIP, IDB_EMBLEM})
                LoadResourceImage(id, "PNG");
        };
        std::vector<double> m = InterleavedMediansMs(runs, {paintOnce, baselineOnce, decodeOnce});
        const double paint = m[0], baseline = m[1], decoding = m[2];
        printf("paints timed: %d (medians)\n", runs);
        printf("full paint:  %.3f ms\n", paint);
        printf("baseline:    %.3f ms (fill + blit)   paint / baseline = %.1f\n", baseline,
               paint / baseline);
        printf("decoding:    %.3f ms (3 pictures)   decoding / paint = %.2f\n", decoding,
               decoding / paint);
    }
    Gdiplus::GdiplusShutdown(token);
    return 0;
}

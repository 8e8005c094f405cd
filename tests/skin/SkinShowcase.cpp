// Shows a skinned dialog with the built-in look: frame, title band, emblem,
// texts, the close button and the four command buttons, in the states normal,
// (hover, given by the real pointer), pressed and disabled. Driven over
// standard input by tests/skin/showcase_test.py:
//   "where" prints the window's and the buttons' screen rectangles,
//   "quit" (or the end of input) ends the program.
#include "SkinTestIds.h"
#include "framework/GdiPlus.h"
#include "res/resource.h"
#include "skin/Hyperlink.h"
#include "skin/SkinButtonEx.h"
#include "skin/SkinDialog.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr UINT WM_COMMAND_LINE = WM_APP + 1; // wParam: 1 where, 2 quit

class ShowcaseDialog : public CSkinDialog {
public:
    ShowcaseDialog() : CSkinDialog(IDD_SKIN_TEST) {
        SetRoundCorners(7, 7, 5, 5);
        SetSkinTextAt("\xC9\xFD\xBC\xB6\xCC\xE1\xCA\xBE", kFont, 0xFFFFF7EE, 28, 8, 10, TRUE);
        SkinText offer;
        // 已检测到新版本，点击下面的"升级"按钮开始升级。
        offer.text = "\xD2\xD1\xBC\xEC\xB2\xE2\xB5\xBD\xD0\xC2\xB0\xE6\xB1\xBE\xA3\xAC\xB5\xE3"
                     "\xBB\xF7\xCF\xC2\xC3\xE6\xB5\xC4\"\xC9\xFD\xBC\xB6\"\xB0\xB4\xC5\xA5\xBF"
                     "\xAA\xCA\xBC\xC9\xFD\xBC\xB6\xA1\xA3";
        offer.fontName = kFont;
        offer.fontSize = 9;
        offer.x = 8;
        offer.y = 39;
        offer.width = 0;
        offer.height = 15;
        SetSkinText(offer);
        SetCaptionHeight(30);
    }

    CSkinButtonEx buttons[4]; // normal, hover, pressed, disabled
    CSkinButtonEx close;
    CHyperlink link;

    void DoDataExchange(CDataExchange* dx) override {
        const int ids[4] = {IDC_UPGRADE, IDC_DONT_UPGRADE, IDC_EXIT, IDC_FINISH};
        for (int i = 0; i < 4; ++i)
            DDX_Control(dx, ids[i], buttons[i]);
        DDX_Control(dx, IDC_CLOSE, close);
        DDX_Control(dx, IDC_LINK, link);
    }

    BOOL OnInitDialog() override {
        CSkinDialog::OnInitDialog();
        SetWindowPos(nullptr, 200, 150, 300, 320, SWP_NOZORDER);
        SetBackdropImage(IDB_DIALOG_FRAME, "PNG", 30, 1, RECT{});
        SetImage(IDB_TITLE_STRIP, "PNG", RECT{2, 30, -3, 0}, 0, 0);
        SetImageAt(IDB_EMBLEM, "PNG", 5, 0);
        close.SetForeImage(IDB_CLOSE_CROSS, "PNG", TRUE, FALSE);
        close.SetHoverImage(IDB_CLOSE_HOVER, "PNG");
        close.SetPressedImage(IDB_CLOSE_PRESSED, "PNG");
        close.SetDisabledImage(IDB_CLOSE_DISABLED, "PNG");
        close.SetWindowText("");
        close.SetWindowPos(nullptr, 267, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        for (int i = 0; i < 4; ++i) {
            CSkinButtonEx& b = buttons[i];
            b.SetStripImage(IDB_COMMAND_BUTTONS, "PNG", 4, TRUE, FALSE);
            SkinText caption;
            caption.text = b.GetWindowText();
            caption.fontName = kFont;
            caption.fontSize = 9;
            caption.y = 1;
            caption.align = AlignCenter | AlignMiddle;
            b.SetTextStyles(caption, caption, caption, caption);
            b.SetWindowText("");
            b.SetWindowPos(nullptr, 14 + 70 * i, 292, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        }
        buttons[2].SetState(TRUE);
        buttons[3].EnableWindow(FALSE);
        link.SetLinkUnderline(TRUE, TRUE);
        link.SetLinkColors(RGB(0, 0, 255), RGB(0, 0, 255), RGB(0, 0, 255));
        link.SetLinkCursor(::LoadCursorA(nullptr, IDC_HAND));
        link.SetWindowPos(nullptr, 8, 262, 80, 16, SWP_NOZORDER);
        // Only the skinned controls are shown.
        for (int id : {IDC_RADIO_A, IDC_RADIO_B, IDC_RADIO_C, IDC_CHECK, IDC_CHECK_LEFT_TEXT,
                       IDC_PLAIN_RADIO, IDC_FOOTER_BEFORE, IDC_GROUP_END, IDC_NOTES})
            ::ShowWindow(GetDlgItemHwnd(id), SW_HIDE);
        return TRUE;
    }

    void DrawOverlay(CDC* dc) override {
        close.CaptureBackground(dc);
        for (CSkinButtonEx& b : buttons)
            b.CaptureBackground(dc);
    }

    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
        if (message == WM_COMMAND_LINE) {
            if (w == 1)
                PrintWhere();
            else
                EndDialog(IDOK);
            return 0;
        }
        return CSkinDialog::WindowProc(message, w, l);
    }

    void PrintWhere() {
        RECT r;
        GetWindowRect(&r);
        printf("window %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        for (int i = 0; i < 4; ++i) {
            buttons[i].GetWindowRect(&r);
            printf("button%d %ld %ld %ld %ld\n", i, r.left, r.top, r.right, r.bottom);
        }
        close.GetWindowRect(&r);
        printf("close %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        printf("end\n");
        fflush(stdout);
    }

private:
    static constexpr const char* kFont = "\xCB\xCE\xCC\xE5"; // 宋体
};

HWND dialogWindow = nullptr;

DWORD WINAPI ReadCommands(void*) {
    char line[256];
    while (fgets(line, sizeof line, stdin)) {
        WPARAM command = strncmp(line, "where", 5) == 0 ? 1 : strncmp(line, "quit", 4) == 0 ? 2 : 0;
        if (command)
            ::PostMessageA(dialogWindow, WM_COMMAND_LINE, command, 0);
        if (command == 2)
            return 0;
    }
    ::PostMessageA(dialogWindow, WM_COMMAND_LINE, 2, 0);
    return 0;
}

class ReadyDialog : public ShowcaseDialog {
public:
    BOOL OnInitDialog() override {
        ShowcaseDialog::OnInitDialog();
        dialogWindow = hwnd;
        ::CloseHandle(::CreateThread(nullptr, 0, &ReadCommands, nullptr, 0, nullptr));
        return TRUE;
    }
};

} // namespace

int main() {
    Gdiplus::GdiplusStartupInput input(nullptr, FALSE, FALSE);
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    {
        ReadyDialog dialog;
        dialog.DoModal();
    }
    Gdiplus::GdiplusShutdown(token);
    return 0;
}

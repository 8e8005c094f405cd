// The update dialog's look: which images it draws (built in, or from the skin
// folder the host's settings choose) and where its controls sit.
#include "Layout.h"
#include "UpdaterDlg.h"
#include "res/resource.h"

namespace {

constexpr int kBandHeight = 30;
constexpr RECT kWholeClient{0, 0, 0, 0};
constexpr RECT kTitleStrip{2, 30, -3, 0};

// The skin folder of index n, or empty for the built-in look. The index is
// taken as the host wrote it; only its decimal form enters the path.
CString SkinFolder(const CString& programDir) {
    int n = static_cast<int>(
        GetPrivateProfileIntA("SkinSet", "SkinIndex", 0, programDir + "SetConfig.ini"));
    if (n == 0)
        return CString();
    CString folder;
    folder.Format("%sqimtools\\Skin\\Skin%d\\", programDir.c_str(), n);
    return folder;
}

SIZE WindowSize(const CWnd& control) {
    RECT r;
    control.GetWindowRect(&r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void MoveToTop(CWnd& control, POINT at) {
    control.SetWindowPos(HWND_TOP, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

} // namespace

void CUpdaterDlg::LoadSkin() {
    CString folder = SkinFolder(launch.programDir);
    CSkinButtonEx* commands[] = {&upgradeButton, &dontUpgradeButton, &exitButton, &finishButton};

    SetBackdropImage(IDB_DIALOG_FRAME, "PNG", kBandHeight, 1, kWholeClient);
    SetImage(IDB_TITLE_STRIP, "PNG", kTitleStrip, 0, 0);
    SetImageAt(IDB_EMBLEM, "PNG", 5, 0);
    closeButton.SetForeImage(IDB_CLOSE_CROSS, "PNG", TRUE, FALSE);
    for (CSkinButtonEx* button : commands)
        button->SetStripImage(IDB_COMMAND_BUTTONS, "PNG", 4, TRUE, FALSE);
    closeButton.SetHoverImage(IDB_CLOSE_HOVER, "PNG");
    closeButton.SetPressedImage(IDB_CLOSE_PRESSED, "PNG");
    closeButton.SetDisabledImage(IDB_CLOSE_DISABLED, "PNG");

    if (folder.empty())
        return;
    SetBackdropImageFile(folder + "General\\PopupBoxBk.png", kBandHeight, 1, kWholeClient);
    SetImageFile(folder + "General\\BoxTopBk.png", kTitleStrip, 0, 0);
    closeButton.SetForeImageFile(folder + "General\\Close_Normal.png", TRUE, FALSE);
    for (CSkinButtonEx* button : commands)
        button->SetStripImageFile(folder + "General\\BoxBtn_S.png", 4, TRUE, FALSE);
}

SkinText CUpdaterDlg::PlainText(const CString& text, float x, float y, float width, float height,
                                int align) {
    SkinText t;
    t.text = text;
    t.fontName = kDialogFontName;
    t.fontSize = 9.0f;
    t.textColor = Gdiplus::Color::MakeARGB(255, 0, 0, 0);
    t.fontStyle = 0;
    t.outlineWidth = 0.0f;
    t.outlineColor = Gdiplus::Color::MakeARGB(255, 0, 0, 0);
    t.x = x;
    t.y = y;
    t.width = width;
    t.height = height;
    t.align = align;
    return t;
}

void CUpdaterDlg::SetCaption(CSkinButtonEx& button, const CString& text) {
    SkinText style = PlainText(text, 0.0f, 1.0f, 0.0f, 0.0f, AlignCenter | AlignMiddle);
    button.SetWindowText(text);
    button.SetTextStyles(style, style, style, style);
    button.Invalidate(TRUE);
}

void CUpdaterDlg::LayoutControls() {
    RECT client;
    GetClientRect(&client);
    DialogLayoutInput in;
    in.width = client.right - client.left;
    in.height = client.bottom - client.top;
    in.close = WindowSize(closeButton);
    in.upgrade = WindowSize(upgradeButton);
    in.dontUpgrade = WindowSize(dontUpgradeButton);
    in.exit = WindowSize(exitButton);
    in.finish = WindowSize(finishButton);
    DialogLayout layout = ComputeLayout(in);
    MoveToTop(closeButton, layout.close);
    MoveToTop(upgradeButton, layout.upgrade);
    MoveToTop(dontUpgradeButton, layout.dontUpgrade);
    MoveToTop(exitButton, layout.exit);
    MoveToTop(finishButton, layout.finish);

    CSkinButtonEx* commands[] = {&upgradeButton, &dontUpgradeButton, &exitButton, &finishButton};
    CString captions[4];
    for (int i = 0; i < 4; ++i)
        captions[i] = commands[i]->GetWindowText();
    closeButton.SetWindowText("");
    for (CSkinButtonEx* button : commands)
        button->SetWindowText("");
    for (int i = 0; i < 4; ++i) {
        SetCaption(*commands[i], captions[i]);
        commands[i]->SetWindowText("");
    }

    downloadLink.SetLinkUnderline(TRUE, TRUE);
    downloadLink.SetLinkColors(RGB(0, 0, 255), RGB(0, 0, 255), RGB(0, 0, 255));
    downloadLink.SetLinkCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));
    downloadLink.SetLinkUrl(LoadResString(IDS_PRODUCT_URL));

    // The status line, the bar and the footer stay at their template places.
    struct TemplatePlace {
        CWnd* control;
        int id, x, y, width, height;
    } places[] = {
        {&statusLabel, IDC_STATUS, 7, 143, 197, 8},
        {&progressBar, IDC_PROGRESS, 7, 157, 187, 14},
        {nullptr, IDC_FOOTER_BEFORE, 7, 175, 90, 8},
        {&downloadLink, IDC_DOWNLOAD_LINK, 98, 175, 33, 8},
        {nullptr, IDC_FOOTER_AFTER, 134, 175, 36, 8},
    };
    for (const TemplatePlace& p : places) {
        RECT r = SongTiDialogRect(p.x, p.y, p.width, p.height);
        ::SetWindowPos(p.control ? p.control->GetSafeHwnd() : GetDlgItemHwnd(p.id), nullptr, r.left,
                       r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    const RECT& box = layout.changeLog;
    changeLogBox.SetWindowPos(HWND_TOP, box.left, box.top, box.right - box.left,
                              box.bottom - box.top, SWP_NOACTIVATE);
}

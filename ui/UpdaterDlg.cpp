#include "UpdaterDlg.h"

#include "AboutDlg.h"
#include "CommandRules.h"
#include "engine/Install.h"
#include "engine/Messages.h"
#include "engine/Staging.h"
#include "framework/WinApp.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(CUpdaterDlg, CSkinDialog)
ON_MESSAGE(WM_SYSCOMMAND, OnSysCommand)
ON_MESSAGE(WM_PAINT, OnPaint)
ON_MESSAGE(WM_QUERYDRAGICON, OnQueryDragIcon)
ON_BN_CLICKED(IDC_UPGRADE, OnUpgrade)
ON_MESSAGE(WM_WINDOWPOSCHANGING, OnWindowPosChanging)
ON_BN_CLICKED(IDC_DONT_UPGRADE, OnDontUpgrade)
ON_BN_CLICKED(IDC_FINISH, OnFinishCommand)
ON_BN_CLICKED(IDC_EXIT_SOFTWARE, OnExitSoftware)
ON_BN_CLICKED(IDC_CLOSE_BUTTON, OnCloseButton)
ON_MESSAGE(WM_CTLCOLORBTN, OnCtlColor)
ON_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColor)
ON_MESSAGE(WM_DOWNLOAD_DONE, OnDownloadDone)
ON_MESSAGE(WM_DESTROY, OnDestroy)
ON_MESSAGE(WM_USER + 102, OnModuleProgressMessage<WM_USER + 102>)
ON_MESSAGE(WM_USER + 103, OnModuleProgressMessage<WM_USER + 103>)
ON_MESSAGE(WM_USER + 104, OnModuleProgressMessage<WM_USER + 104>)
ON_MESSAGE(WM_USER + 105, OnModuleProgressMessage<WM_USER + 105>)
ON_MESSAGE(WM_USER + 106, OnModuleProgressMessage<WM_USER + 106>)
ON_MESSAGE(WM_USER + 107, OnModuleProgressMessage<WM_USER + 107>)
ON_MESSAGE(WM_USER + 108, OnModuleProgressMessage<WM_USER + 108>)
ON_MESSAGE(WM_USER + 109, OnModuleProgressMessage<WM_USER + 109>)
ON_MESSAGE(WM_USER + 110, OnModuleProgressMessage<WM_USER + 110>)
ON_MESSAGE(WM_USER + 112, OnModuleProgressMessage<WM_USER + 112>)
ON_MESSAGE(WM_USER + 113, OnModuleProgressMessage<WM_USER + 113>)
ON_MESSAGE(WM_USER + 114, OnModuleProgressMessage<WM_USER + 114>)
ON_MESSAGE(WM_USER + 115, OnModuleProgressMessage<WM_USER + 115>)
ON_MESSAGE(WM_USER + 116, OnModuleProgressMessage<WM_USER + 116>)
ON_MESSAGE(WM_USER + 117, OnModuleProgressMessage<WM_USER + 117>)
END_MESSAGE_MAP()

CUpdaterDlg::CUpdaterDlg(const LaunchValues& launchValues, const CString& log, CWnd* parent)
    : CSkinDialog(IDD_UPDATER_DIALOG, parent), engine(launchValues), launch(launchValues),
      changeLog(log) {
    SetRoundCorners(7, 7, 5, 5);
    SetSkinTextAt(LoadResString(IDS_UPGRADE_NOTICE), kDialogFontName,
                  Gdiplus::Color::MakeARGB(255, 255, 247, 238), 28, 8, 10.0f, TRUE);
    SetSkinText(
        PlainText(LoadResString(IDS_OFFER), 8.0f, 39.0f, 0.0f, 15.0f, AlignTop | AlignLeft));
    SetCaptionHeight(30);

    progress.Reset();
    showWindow = launch.mode != ModeSilent;
}

void CUpdaterDlg::DoDataExchange(CDataExchange* dx) {
    CSkinDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_DOWNLOAD_LINK, downloadLink);
    DDX_Control(dx, IDC_STATUS, statusLabel);
    DDX_Control(dx, IDC_PROGRESS, progressBar);
    DDX_Control(dx, IDC_CLOSE_BUTTON, closeButton);
    DDX_Control(dx, IDC_UPGRADE, upgradeButton);
    DDX_Control(dx, IDC_DONT_UPGRADE, dontUpgradeButton);
    DDX_Control(dx, IDC_EXIT_SOFTWARE, exitButton);
    DDX_Control(dx, IDC_FINISH, finishButton);
    DDX_Control(dx, IDC_CHANGE_LOG, changeLogBox);
}

BOOL CUpdaterDlg::OnInitDialog() {
    CSkinDialog::OnInitDialog();

    CString about = LoadResString(IDS_ABOUTBOX);
    if (HMENU menu = GetSystemMenu(hwnd, FALSE); menu && !about.empty()) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about);
    }
    // Loaded with the window, not before: under Wine the first icon a process
    // loads brings in the theme library (about 10 ms), which a silent update's
    // first request need not wait for.
    icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    // A silent run never activates a window: the user may be typing in the host.
    SetWindowPos(HWND_TOPMOST, 0, 0, 300, 320, SWP_NOMOVE | (showWindow ? 0 : SWP_NOACTIVATE));
    ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);
    CenterWindow();
    if (showWindow)
        SetForegroundWindow(hwnd);

    // The pictures of a window that is never shown are never decoded.
    if (showWindow)
        LoadSkin();
    LayoutControls();
    ApplyLaunchMode();
    // Enter does nothing. The template's default button is Upgrade, and the
    // dialog manager would press it on Enter whichever button has the focus
    // (owner-drawn buttons never take over the default); IDOK's OnOK is empty.
    SendMessage(DM_SETDEFID, IDOK);
    if (showWindow)
        upgradeButton.SetFocus();
    // Reports reach the window once it is ready; a silent update may have
    // been under way since before the window existed.
    engine.SetWindow(hwnd);
    exitWatch.Start(hwnd);
    return FALSE;
}

void CUpdaterDlg::ApplyLaunchMode() {
    switch (launch.mode) {
    case ModeSilent:
        StartSilentUpdate();
        break;
    case ModeOptional:
    case ModeMandatory:
        statusLabel.SetWindowText("");
        finishButton.ShowWindow(SW_HIDE);
        if (launch.mode == ModeOptional)
            exitButton.ShowWindow(SW_HIDE);
        else
            dontUpgradeButton.ShowWindow(SW_HIDE);
        changeLogBox.SetPlainText(changeLog.data(), changeLog.size());
        Invalidate(TRUE);
        break;
    default:
        break;
    }
}

void CUpdaterDlg::StartSilentUpdate(DWORD headStartMs) {
    if (launch.mode != ModeSilent || engine.book.attemptCount != 0)
        return;
    StartUpdateAttempt(FALSE);
    engine.WaitForListRequest(headStartMs);
}

void CUpdaterDlg::StartUpdateAttempt(BOOL resume) {
    progress.Reset();
    engine.StartUpdateAttempt(resume);
}

bool CUpdaterDlg::MayAct(int control) const {
    return CommandAllowed(control, launch.mode, engine.book.state);
}

LRESULT CUpdaterDlg::OnUpgrade(WPARAM, LPARAM) {
    if (!MayAct(IDC_UPGRADE))
        return 0;
    ShowUpdating(launch.mode);
    StartUpdateAttempt(FALSE);
    return 0;
}

void CUpdaterDlg::ShowUpdating(int mode) {
    statusLabel.SetWindowText(LoadResString(IDS_UPDATING));
    upgradeButton.EnableWindow(FALSE);
    if (mode == ModeOptional)
        SetCaption(dontUpgradeButton, LoadResString(IDS_CANCEL));
    Invalidate(TRUE);
}

void CUpdaterDlg::ShowFailure() {
    statusLabel.SetWindowText(LoadResString(IDS_UPDATE_FAILED));
    upgradeButton.EnableWindow(TRUE);
    Invalidate(TRUE);
}

void CUpdaterDlg::ShowSuccess() {
    finishButton.ShowWindow(SW_SHOW);
    upgradeButton.ShowWindow(SW_HIDE);
    dontUpgradeButton.ShowWindow(SW_HIDE);
    exitButton.ShowWindow(SW_HIDE);
    progressBar.SetPos(100);
    statusLabel.SetWindowText(LoadResString(IDS_UPDATE_SUCCEEDED));
    Invalidate(TRUE);
}

LRESULT CUpdaterDlg::OnDownloadDone(WPARAM wParam, LPARAM lParam) {
    bool silent = launch.mode == ModeSilent;
    switch (engine.OnDownloadDone(wParam, lParam)) {
    case AttemptVerdict::Running:
        break;
    case AttemptVerdict::Succeeded:
        if (silent) {
            WriteSilentMarker(launch.programDir, engine.Pending());
            PostMessage(WM_CLOSE);
        } else {
            ShowSuccess();
        }
        break;
    case AttemptVerdict::Failed:
        if (silent)
            PostMessage(WM_CLOSE);
        else
            ShowFailure();
        break;
    case AttemptVerdict::Retry:
        StartUpdateAttempt(TRUE);
        break;
    }
    return 1;
}

void CUpdaterDlg::OnModuleProgress(UINT message, const DownloadProgress& record) {
    const AttemptBook& book = engine.book;
    ProgressStep step =
        progress.Report(ProgressSlot(message), record.total, record.received, book.successCount,
                        book.failureCount, engine.PendingCount());
    switch (step.kind) {
    case ProgressStep::Nothing:
        break;
    case ProgressStep::WarmUp:
        progressBar.SetPos(step.position);
        break;
    case ProgressStep::Display: {
        CString text;
        text.Format(LoadResString(IDS_PROGRESS_FORMAT), step.receivedKb, step.totalKb);
        statusLabel.SetWindowText(text);
        progressBar.SetPos(step.position);
        break;
    }
    }
}

bool CUpdaterDlg::ConfirmAbort() {
    if (engine.book.state != StateUpdating)
        return true;
    int answer = AskUser(LoadResString(IDS_CONFIRM_ABORT), LoadResString(IDS_UPGRADE_NOTICE));
    // The attempt runs on while the question is open. Once it has succeeded
    // there is nothing left to abort: the dialog offers Finish, whatever the answer.
    if (engine.book.state == StateSucceeded)
        return false;
    return answer != IDCANCEL;
}

int CUpdaterDlg::AskUser(const char* text, const char* caption) {
    return MessageBox(text, caption, MB_OKCANCEL);
}

LRESULT CUpdaterDlg::OnDontUpgrade(WPARAM, LPARAM) {
    if (MayAct(IDC_DONT_UPGRADE) && ConfirmAbort())
        CDialog::OnCancel();
    return 0;
}

LRESULT CUpdaterDlg::OnExitSoftware(WPARAM, LPARAM) {
    if (MayAct(IDC_EXIT_SOFTWARE) && ConfirmAbort()) {
        SignalNamedEvent(kHostExitEvent);
        CDialog::OnCancel();
    }
    return 0;
}

LRESULT CUpdaterDlg::OnFinishCommand(WPARAM, LPARAM) {
    if (MayAct(IDC_FINISH))
        OnFinish();
    return 0;
}

void CUpdaterDlg::OnFinish() {
    ShowWindow(SW_HIDE);
    InstallOutcome outcome =
        FinishUpdate(launch.hostWindow, launch.programDir, engine.Pending(), &restartedHost);
    if (outcome == InstallOutcome::Installed) {
        CDialog::OnOK();
        return;
    }
    // The old host runs again; the staged files wait for the next Upgrade.
    engine.book.state = StateFailed;
    finishButton.ShowWindow(SW_HIDE);
    upgradeButton.ShowWindow(SW_SHOW);
    if (launch.mode != ModeMandatory)
        dontUpgradeButton.ShowWindow(SW_SHOW);
    if (launch.mode != ModeOptional)
        exitButton.ShowWindow(SW_SHOW);
    ShowFailure();
    ShowWindow(SW_SHOW);
}

LRESULT CUpdaterDlg::OnCloseButton(WPARAM, LPARAM) {
    if (!MayAct(IDC_CLOSE_BUTTON))
        return 0;
    if (engine.book.state == StateSucceeded)
        OnFinish();
    else if (launch.mode == ModeOptional)
        OnDontUpgrade(0, 0);
    else if (launch.mode == ModeMandatory)
        OnExitSoftware(0, 0);
    return 0;
}

LRESULT CUpdaterDlg::OnSysCommand(WPARAM wParam, LPARAM) {
    if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.DoModal();
        return 0;
    }
    return Default();
}

LRESULT CUpdaterDlg::OnPaint(WPARAM, LPARAM) {
    if (!IsIconic(hwnd))
        return Default();
    PaintDC dc(hwnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
    int iconWidth = GetSystemMetrics(SM_CXICON);
    int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(&client);
    int x = (client.right - client.left - iconWidth + 1) / 2;
    int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc.Get(), x, y, icon);
    return 0;
}

LRESULT CUpdaterDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(icon);
}

LRESULT CUpdaterDlg::OnWindowPosChanging(WPARAM, LPARAM lParam) {
    LRESULT result = Default();
    if (!showWindow && lParam) {
        // Neither shown nor activated, whoever asks (the modal loop shows
        // the dialog as it starts).
        auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
        position->flags &= ~SWP_SHOWWINDOW;
        position->flags |= SWP_NOACTIVATE;
    }
    return result;
}

// Buttons and statics are drawn over the skinned background.
LRESULT CUpdaterDlg::OnCtlColor(WPARAM wParam, LPARAM) {
    Default();
    SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

LRESULT CUpdaterDlg::OnDestroy(WPARAM, LPARAM) {
    // The workers end while the window still receives what they send.
    exitWatch.Stop();
    engine.Shutdown();
    return Default();
}

void CUpdaterDlg::DrawOverlay(CDC* dc) {
    // The copies are taken again only when the background or a control's
    // place has changed.
    const unsigned background = ComposedGeneration();
    closeButton.CaptureBackground(dc, background);
    upgradeButton.CaptureBackground(dc, background);
    dontUpgradeButton.CaptureBackground(dc, background);
    exitButton.CaptureBackground(dc, background);
    finishButton.CaptureBackground(dc, background);
    statusLabel.CaptureBackground(dc, background);
}

// CUpdaterDlg: the updater's one window. It offers the update with the change
// log, runs update attempts on the engine, shows their overall progress, and
// turns their outcome into what the user sees and may press: Upgrade, Don't
// upgrade (Cancel while updating) or Exit software, Finish, and the close button.
// In silent mode the window is never shown and the update runs at once.
#pragma once

#include "ProgressBook.h"
#include "engine/ExitWatch.h"
#include "engine/HttpDownload.h"
#include "engine/LaunchValues.h"
#include "engine/LiveProgress.h"
#include "engine/UpdateEngine.h"
#include "framework/Controls.h"
#include "skin/Hyperlink.h"
#include "skin/SkinButtonEx.h"
#include "skin/SkinDialog.h"
#include "skin/SkinStatic.h"

// The dialog's font "宋体" in the program's code page (936). The source files
// are UTF-8, and the UTF-8 bytes of the name name no font.
constexpr const char kDialogFontName[] = "\xCB\xCE\xCC\xE5";

class CUpdaterDlg : public CSkinDialog {
public:
    CUpdaterDlg(const LaunchValues& launch, const CString& changeLog, CWnd* parent = nullptr);
    // The exit watch and the engine end their threads when they are destroyed.
    ~CUpdaterDlg() override = default;

    void StartUpdateAttempt(BOOL resume);
    // In silent mode, starts the update at once, also before the window
    // exists (its reports wait for the window), and returns once its request
    // for the digest list is on its way or `headStartMs` have passed. The
    // window starts it otherwise.
    void StartSilentUpdate(DWORD headStartMs = 0);
    void ShowFailure();
    void ShowSuccess();
    // The status line, the bar and the buttons while an attempt runs.
    void ShowUpdating(int mode);

    // Read by tests and by the commands.
    int State() const { return engine.book.state; }
    const AttemptBook& Book() const { return engine.book; }
    const ProgressBook& Progress() const { return progress; }

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    // Enter does nothing; Finish ends the dialog through CDialog::OnOK.
    void OnOK() override {}
    void DrawOverlay(CDC* dc) override;

    // Whether the command of `control` may act now (CommandRules.h): commands
    // are messages, and any program can post one whatever the buttons show.
    bool MayAct(int control) const;
    // Whether a decline or cancel may go ahead: asks only while updating, and
    // never goes ahead once the attempt has succeeded meanwhile.
    bool ConfirmAbort();
    // The question of ConfirmAbort (OK / Cancel); tests answer it themselves.
    virtual int AskUser(const char* text, const char* caption);
    // Hides the window, lets the host exit, installs and restarts the host.
    // When the set cannot be installed, the window shows the failure again.
    virtual void OnFinish();

    // Skin and layout.
    void LoadSkin();
    void LayoutControls();
    void ApplyLaunchMode();

    CHyperlink downloadLink;
    // Paints each new text over its own copy of the background.
    CSkinStatic statusLabel;
    CProgressCtrl progressBar;
    CSkinButtonEx closeButton;
    CSkinButtonEx upgradeButton;
    CSkinButtonEx dontUpgradeButton;
    CSkinButtonEx exitButton;
    CSkinButtonEx finishButton;
    CRichEditCtrl changeLogBox;
    HICON icon = nullptr;

    CUpdateEngine engine;
    ProgressBook progress;
    BOOL showWindow = TRUE;

private:
    LRESULT OnSysCommand(WPARAM, LPARAM);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnQueryDragIcon(WPARAM, LPARAM);
    LRESULT OnUpgrade(WPARAM, LPARAM);
    LRESULT OnWindowPosChanging(WPARAM, LPARAM);
    LRESULT OnDontUpgrade(WPARAM, LPARAM);
    LRESULT OnFinishCommand(WPARAM, LPARAM);
    LRESULT OnExitSoftware(WPARAM, LPARAM);
    LRESULT OnCloseButton(WPARAM, LPARAM);
    LRESULT OnCtlColor(WPARAM, LPARAM);
    LRESULT OnDownloadDone(WPARAM, LPARAM);
    LRESULT OnDestroy(WPARAM, LPARAM);
    // One handler per module progress message. Only a record that one of our
    // own transfers is sending to this window right now is read: any other
    // program can put any number in lParam.
    template <UINT message> LRESULT OnModuleProgressMessage(WPARAM, LPARAM lParam) {
        DownloadProgress record;
        if (!ReadLiveProgress(hwnd, message, lParam, &record))
            return 0;
        OnModuleProgress(message, record);
        return 1;
    }
    void OnModuleProgress(UINT message, const DownloadProgress& record);
    // Regular black "宋体" 9-point text in the given box, without outline or shadow.
    static SkinText PlainText(const CString& text, float x, float y, float width, float height,
                              int align);
    // The four caption styles of a command button showing `text`.
    void SetCaption(CSkinButtonEx& button, const CString& text);

    LaunchValues launch;
    CString changeLog;
    CExitWatch exitWatch;
    UniqueHandle restartedHost; // the old host started again after a failed install

    DECLARE_MESSAGE_MAP()
};

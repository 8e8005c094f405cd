// CDialog: a dialog made from a template of the resource module, run modally
// with DoModal (or made modeless with Create). The dialog window is subclassed
// when it receives WM_INITDIALOG, so the message map sees every message from
// then on; the platform's dialog procedure does the default processing. The
// modal loop offers every message to PreTranslateMessage before the dialog
// manager (IsDialogMessage) sees it.
#pragma once

#include "Wnd.h"

class CDataExchange {
public:
    explicit CDataExchange(CWnd* d) : dialog(d) {}
    CWnd* dialog;
};

// Binds the dialog's control `id` to `control` (subclasses it once).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Creates the dialog, shows it and runs its modal loop until EndDialog.
    // Returns the result given to EndDialog, or -1 when the dialog could not be made.
    virtual INT_PTR DoModal();
    // Creates the dialog from template `id` as a modeless window owned by
    // `parentWindow`; it shows itself when its template is visible. The window
    // lives until DestroyWindow or the object's destruction.
    BOOL Create(UINT id, CWnd* parentWindow = nullptr);
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void DoDataExchange(CDataExchange*) {}
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    UINT templateId;
    CWnd* parent;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT HandleInitDialog(WPARAM, LPARAM);
    LRESULT HandleOk(WPARAM, LPARAM);
    LRESULT HandleCancel(WPARAM, LPARAM);

    bool endRequested = false;
    INT_PTR modalResult = -1;

    DECLARE_MESSAGE_MAP()
};

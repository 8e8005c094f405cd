#include "Dialog.h"

#include "WinApp.h"

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (!control.GetSafeHwnd())
        control.SubclassDlgItem(static_cast<UINT>(id), dx->dialog);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
ON_BN_CLICKED(IDOK, HandleOk)
ON_BN_CLICKED(IDCANCEL, HandleCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT id, CWnd* parentWindow) : templateId(id), parent(parentWindow) {}

CDialog::~CDialog() {
    if (hwnd)
        ::DestroyWindow(hwnd);
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_INITDIALOG && !FromHandlePermanent(window)) {
        auto* dialog = reinterpret_cast<CDialog*>(l);
        dialog->SubclassWindow(window);
        return dialog->WindowProc(message, w, l);
    }
    // Everything else reaches the object through the subclassed procedure; what
    // arrives here is the default processing, which the dialog manager does.
    return FALSE;
}

INT_PTR CDialog::DoModal() {
    endRequested = false;
    modalResult = -1;
    HWND owner = parent ? parent->GetSafeHwnd() : nullptr;
    HWND window = ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateId), owner,
                                       &StaticDialogProc, reinterpret_cast<LPARAM>(this));
    if (!window)
        return -1;
    bool ownerDisabled = false;
    if (owner && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        ownerDisabled = true;
    }
    if (!endRequested && !::IsWindowVisible(window))
        ::ShowWindow(window, SW_SHOWNORMAL);

    MSG msg;
    bool quit = false;
    while (!endRequested && ::IsWindow(window)) {
        BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            quit = got == 0;
            break;
        }
        if (!PreTranslateMessage(&msg) && !::IsDialogMessageA(window, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    if (ownerDisabled)
        ::EnableWindow(owner, TRUE);
    if (::IsWindow(window))
        ::DestroyWindow(window);
    if (quit)
        ::PostQuitMessage(static_cast<int>(msg.wParam));
    return modalResult;
}

BOOL CDialog::Create(UINT id, CWnd* parentWindow) {
    if (hwnd)
        return FALSE;
    templateId = id;
    parent = parentWindow;
    HWND owner = parent ? parent->GetSafeHwnd() : nullptr;
    return ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateId), owner,
                                &StaticDialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::EndDialog(int result) {
    modalResult = result;
    endRequested = true;
    if (hwnd) {
        ::ShowWindow(hwnd, SW_HIDE);
        ::PostMessageA(hwnd, WM_NULL, 0, 0);
    }
}

BOOL CDialog::OnInitDialog() {
    CDataExchange dx(this);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG*) {
    return FALSE;
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) {
    return OnInitDialog();
}

LRESULT CDialog::HandleOk(WPARAM, LPARAM) {
    OnOK();
    return 0;
}

LRESULT CDialog::HandleCancel(WPARAM, LPARAM) {
    OnCancel();
    return 0;
}

#include "AboutDlg.h"

#include "res/resource.h"

CAboutDlg::CAboutDlg(CWnd* owner) : CDialog(IDD_ABOUTBOX, owner) {}

BOOL CAboutDlg::OnInitDialog() {
    BOOL result = CDialog::OnInitDialog();
    CenterWindow();
    return result;
}

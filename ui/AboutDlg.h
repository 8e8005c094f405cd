// The About box reached from the system menu: modal to the window that owns
// it, and centred on that window.
#pragma once

#include "framework/Dialog.h"

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CWnd* owner);
    BOOL OnInitDialog() override;
};

// Thin wrappers of the platform controls the dialogs bind to members. They only
// forward to the control's own messages.
#pragma once

#include "Wnd.h"

#include <commctrl.h>
#include <richedit.h>

class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
    UINT GetState() const { return static_cast<UINT>(SendMessage(BM_GETSTATE)); }
    void SetState(BOOL pushed) { SendMessage(BM_SETSTATE, static_cast<WPARAM>(pushed)); }
};

class CStatic : public CWnd {};

class CProgressCtrl : public CWnd {
public:
    int SetPos(int position) {
        return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)));
    }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};

class CRichEditCtrl : public CWnd {
public:
    // Replaces the contents with `text`, taken as plain text: the control never
    // interprets it as rich text, whatever it starts with.
    void SetPlainText(const char* text, size_t length);
};

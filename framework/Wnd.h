// CWnd: a C++ object attached to a window. Attaching subclasses the window: its
// messages go through CWnd::WindowProc, which dispatches them through the
// object's message map; whatever no entry handles goes to the window's previous
// procedure. WM_DRAWITEM sent to a parent is passed to the child's DrawItem
// when the child is attached and the parent's map has no entry for it (a
// menu's owner-draw records are not: they name no window).
#pragma once

#include "MessageMap.h"
#include "String.h"

#include <windows.h>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return hwnd; }
    operator HWND() const { return GetSafeHwnd(); }

    // The object attached to `window`, or null.
    static CWnd* FromHandlePermanent(HWND window);

    // Attaches this object to an existing window and routes its messages here.
    BOOL SubclassWindow(HWND window);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    // Gives the window back its own procedure and forgets it.
    HWND UnsubclassWindow();

    // Message handling.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The platform's processing of the message being handled now.
    LRESULT Default();
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL PreTranslateMessage(MSG* msg);

    // Called before the window is subclassed (styles may be changed here).
    virtual void PreSubclassWindow() {}
    // Owner draw, reflected from the parent's WM_DRAWITEM.
    virtual void DrawItem(DRAWITEMSTRUCT* /*drawItem*/) {}

    // Thin forwards to the platform.
    LRESULT SendMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const {
        return ::SendMessageA(hwnd, m, w, l);
    }
    BOOL PostMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const {
        return ::PostMessageA(hwnd, m, w, l);
    }
    HWND GetDlgItemHwnd(int id) const { return ::GetDlgItem(hwnd, id); }
    HWND GetParentHwnd() const { return ::GetParent(hwnd); }
    void SetWindowText(const char* text) { ::SetWindowTextA(hwnd, text); }
    CString GetWindowText() const;
    BOOL ShowWindow(int command) { return ::ShowWindow(hwnd, command); }
    BOOL DestroyWindow() { return ::DestroyWindow(hwnd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(hwnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(hwnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(hwnd); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(hwnd, nullptr, erase); }
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE) {
        ::InvalidateRect(hwnd, rect, erase);
    }
    void GetClientRect(RECT* rect) const { ::GetClientRect(hwnd, rect); }
    void GetWindowRect(RECT* rect) const { ::GetWindowRect(hwnd, rect); }
    void ScreenToClient(RECT* rect) const;
    void ScreenToClient(POINT* point) const { ::ScreenToClient(hwnd, point); }
    void ClientToScreen(POINT* point) const { ::ClientToScreen(hwnd, point); }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(hwnd, insertAfter, x, y, cx, cy, flags);
    }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongA(hwnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongA(hwnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
    // Centres the window over its owner, or over the work area without one.
    void CenterWindow();
    HWND SetFocus() { return ::SetFocus(hwnd); }
    int MessageBox(const char* text, const char* caption, UINT type) {
        return ::MessageBoxA(hwnd, text, caption, type);
    }

protected:
    // The message map of this class; DECLARE_MESSAGE_MAP overrides it.
    virtual const MessageMap* GetMessageMap() const { return GetThisMessageMap(); }

public:
    static const MessageMap* GetThisMessageMap();

protected:
    // Attach without subclassing (for windows whose procedure already calls
    // WindowProc, such as dialogs created by CDialog).
    void Attach(HWND window);
    void Detach();

    HWND hwnd = nullptr;

private:
    static LRESULT CALLBACK StandardWndProc(HWND window, UINT message, WPARAM w, LPARAM l);
    const MessageEntry* FindEntry(UINT message, WPARAM wParam) const;

    WNDPROC previousProc = nullptr;
    // The message being handled, for Default().
    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } current{};
};

// Coordinates packed in an LPARAM (mouse messages).
inline POINT PointFromLParam(LPARAM l) {
    return POINT{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
}

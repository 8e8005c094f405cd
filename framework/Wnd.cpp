#include "Wnd.h"

#include <algorithm>

namespace {
// The window property under which an attached window keeps its object.
constexpr const char* kObjectProperty = "CWnd.object";
} // namespace

CWnd::~CWnd() {
    if (hwnd)
        UnsubclassWindow();
}

const MessageMap* CWnd::GetThisMessageMap() {
    static const MessageEntry entries[] = {{0, 0, 0, nullptr, nullptr}};
    static const MessageMap map = {nullptr, entries};
    return &map;
}

CWnd* CWnd::FromHandlePermanent(HWND window) {
    return window ? static_cast<CWnd*>(GetPropA(window, kObjectProperty)) : nullptr;
}

void CWnd::Attach(HWND window) {
    hwnd = window;
    SetPropA(window, kObjectProperty, this);
}

void CWnd::Detach() {
    if (hwnd)
        RemovePropA(hwnd, kObjectProperty);
    hwnd = nullptr;
}

BOOL CWnd::SubclassWindow(HWND window) {
    if (!window || hwnd || FromHandlePermanent(window))
        return FALSE;
    hwnd = window;
    PreSubclassWindow();
    Attach(window);
    previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StandardWndProc)));
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    return SubclassWindow(::GetDlgItem(parent->GetSafeHwnd(), static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
    HWND window = hwnd;
    if (window && previousProc)
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc));
    previousProc = nullptr;
    Detach();
    return window;
}

LRESULT CALLBACK CWnd::StandardWndProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    CWnd* object = FromHandlePermanent(window);
    if (!object)
        return ::DefWindowProcA(window, message, w, l);
    LRESULT result = object->WindowProc(message, w, l);
    if (message == WM_NCDESTROY && object->hwnd == window)
        object->UnsubclassWindow();
    return result;
}

const MessageEntry* CWnd::FindEntry(UINT message, WPARAM wParam) const {
    for (const MessageMap* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
        for (const MessageEntry* e = map->entries; e->handler; ++e) {
            if (e->registered) {
                if (*e->registered != 0 && *e->registered == message)
                    return e;
            } else if (e->message == message) {
                if (message != WM_COMMAND || (e->code == HIWORD(wParam) && e->id == LOWORD(wParam)))
                    return e;
            }
        }
    }
    return nullptr;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    CurrentMessage saved = current;
    current = {message, wParam, lParam};
    LRESULT result;
    if (const MessageEntry* entry = FindEntry(message, wParam)) {
        result = (this->*entry->handler)(wParam, lParam);
    } else if (message == WM_DRAWITEM && lParam != 0 &&
               reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->CtlType != ODT_MENU) {
        // Owner-drawn controls paint themselves; for a menu item hwndItem is a
        // menu handle, not a window.
        auto* drawItem = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (CWnd* child = FromHandlePermanent(drawItem->hwndItem); child && child != this) {
            child->DrawItem(drawItem);
            result = TRUE;
        } else {
            result = Default();
        }
    } else {
        result = Default();
    }
    current = saved;
    return result;
}

LRESULT CWnd::Default() {
    return DefWindowProc(current.message, current.wParam, current.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (previousProc)
        return CallWindowProcA(previousProc, hwnd, message, wParam, lParam);
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

CString CWnd::GetWindowText() const {
    int length = ::GetWindowTextLengthA(hwnd);
    CString text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    int copied = ::GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

void CWnd::ScreenToClient(RECT* rect) const {
    ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(rect), 2);
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT flags) {
    DWORD style = GetStyle();
    DWORD changed = (style & ~remove) | add;
    if (changed == style)
        return FALSE;
    ::SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>(changed));
    if (flags)
        ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT flags) {
    DWORD style = GetExStyle();
    DWORD changed = (style & ~remove) | add;
    if (changed == style)
        return FALSE;
    ::SetWindowLongA(hwnd, GWL_EXSTYLE, static_cast<LONG>(changed));
    if (flags)
        ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    return TRUE;
}

void CWnd::CenterWindow() {
    RECT window;
    ::GetWindowRect(hwnd, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (::GetMonitorInfoA(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor))
        area = monitor.rcWork;
    // Over the owner when there is one, otherwise over the work area; kept
    // inside the work area either way.
    RECT over = area;
    if (HWND owner = ::GetWindow(hwnd, GW_OWNER))
        ::GetWindowRect(owner, &over);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int x = over.left + (over.right - over.left - width) / 2;
    int y = over.top + (over.bottom - over.top - height) / 2;
    x = std::max<int>(area.left, std::min<int>(x, area.right - width));
    y = std::max<int>(area.top, std::min<int>(y, area.bottom - height));
    ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

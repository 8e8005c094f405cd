#include "Hyperlink.h"

#include <commctrl.h>
#include <shellapi.h>

BEGIN_MESSAGE_MAP(CHyperlink, CStatic)
ON_MESSAGE(WM_PAINT, OnPaint)
ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
ON_MESSAGE(WM_LBUTTONUP, OnLButtonUp)
ON_MESSAGE(WM_SETCURSOR, OnSetCursor)
END_MESSAGE_MAP()

void CHyperlink::SetLinkColors(COLORREF normal, COLORREF hoverLook, COLORREF pressedLook) {
    normalColor = normal;
    hoverColor = hoverLook;
    pressedColor = pressedLook;
}

void CHyperlink::SetLinkUnderline(BOOL normalUnderline, BOOL hoverUnderline) {
    BuildFont(normalFont, normalUnderline);
    BuildFont(hoverFont, hoverUnderline);
    RepaintLink();
}

void CHyperlink::PreSubclassWindow() {
    CStatic::PreSubclassWindow();
    BuildFont(normalFont, FALSE);
    BuildFont(hoverFont, TRUE);
    // Mouse input needs SS_NOTIFY. The type field takes the owner-draw value
    // rather than having it OR-ed in, which would make a right-aligned text
    // (SS_RIGHT) a metafile control.
    ModifyStyle(SS_TYPEMASK, SS_NOTIFY | SS_OWNERDRAW);
}

void CHyperlink::BuildFont(UniqueFont& slot, BOOL underline) {
    slot.Reset();
    // A control that was never given a font draws in the system font.
    auto font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    if (!font)
        font = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
    LOGFONTA description{};
    if (::GetObjectA(font, sizeof description, &description) != sizeof description)
        return;
    description.lfUnderline = underline ? TRUE : FALSE;
    slot.Reset(::CreateFontIndirectA(&description));
}

void CHyperlink::DrawLink(HDC dc, RECT rect) {
    COLORREF color = normalColor;
    HFONT font = normalFont.Get();
    switch (ChooseLinkLook(pressed != 0, hover != 0)) {
    case LinkLook::Pressed:
        color = pressedColor;
        font = hoverFont.Get();
        break;
    case LinkLook::Hover:
        color = hoverColor;
        font = hoverFont.Get();
        break;
    case LinkLook::Normal:
        break;
    }
    ::SetBkMode(dc, TRANSPARENT);
    char text[512];
    int length = ::GetWindowTextA(hwnd, text, sizeof text);
    if (length < 0)
        length = 0;
    ::SetTextColor(dc, color);
    SelectGuard select(dc, font);
    ::DrawTextA(dc, text, length, &rect, DT_SINGLELINE | DT_VCENTER);
}

void CHyperlink::DrawItem(DRAWITEMSTRUCT* drawItem) {
    DrawLink(drawItem->hDC, drawItem->rcItem);
}

void CHyperlink::RepaintLink() {
    ::InvalidateRect(hwnd, nullptr, TRUE);
    HWND parent = GetParentHwnd();
    if (!parent)
        return;
    RECT rect{};
    GetWindowRect(&rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    ::InvalidateRect(parent, &rect, TRUE);
}

void CHyperlink::OpenLink(const CString& url) {
    ::ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOW);
}

LRESULT CHyperlink::OnPaint(WPARAM, LPARAM) {
    PaintDC paint(hwnd);
    RECT client{};
    GetClientRect(&client);
    DrawLink(paint.Get(), client);
    return 0;
}

LRESULT CHyperlink::OnEraseBkgnd(WPARAM, LPARAM) {
    return TRUE;
}

LRESULT CHyperlink::OnMouseMove(WPARAM, LPARAM) {
    if (pressed && ::GetCapture() == hwnd) {
        RepaintLink();
    } else if (!hover) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
        if (::_TrackMouseEvent(&track)) {
            hover = 1;
            RepaintLink();
        }
    }
    return Default();
}

LRESULT CHyperlink::OnMouseLeave(WPARAM, LPARAM) {
    hover = 0;
    RepaintLink();
    return 1;
}

LRESULT CHyperlink::OnLButtonDown(WPARAM, LPARAM) {
    pressed = 1;
    RepaintLink();
    ::SetCapture(hwnd);
    return 0;
}

LRESULT CHyperlink::OnLButtonUp(WPARAM, LPARAM l) {
    LRESULT result = Default();
    pressed = 0;
    RepaintLink();
    ::ReleaseCapture();
    POINT point = PointFromLParam(l);
    ClientToScreen(&point);
    if (::WindowFromPoint(point) == hwnd)
        OpenLink(address);
    return result;
}

LRESULT CHyperlink::OnSetCursor(WPARAM, LPARAM) {
    if (!cursor)
        return Default();
    ::SetCursor(cursor);
    return TRUE;
}

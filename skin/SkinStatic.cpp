#include "SkinStatic.h"

#include "ParentArea.h"

BEGIN_MESSAGE_MAP(CSkinStatic, CStatic)
ON_MESSAGE(WM_SETTEXT, OnSetText)
ON_MESSAGE(WM_PAINT, OnPaint)
ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
ON_MESSAGE(WM_PRINTCLIENT, OnPrintClient)
ON_MESSAGE(WM_WINDOWPOSCHANGED, OnWindowPosChanged)
END_MESSAGE_MAP()

void CSkinStatic::CaptureBackground(CDC* dc, unsigned generation) {
    background.Take(hwnd, dc ? dc->GetSafeHdc() : nullptr, generation);
}

void CSkinStatic::SnapshotFrom(HDC parentDc) {
    background.Take(hwnd, parentDc);
}

void CSkinStatic::CaptureFromParent() {
    HWND parent = GetParentHwnd();
    RECT client{};
    ::GetClientRect(parent, &client);
    WindowDC screen(parent);
    MemoryDC memory(screen.Get());
    UniqueBitmap whole(::CreateCompatibleBitmap(screen.Get(), client.right, client.bottom));
    if (!memory || !whole)
        return;
    SelectGuard select(memory.Get(), whole.Get());
    ::SendMessageA(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory.Get()), 0);
    SnapshotFrom(memory.Get());
}

LRESULT CSkinStatic::OnSetText(WPARAM wParam, LPARAM lParam) {
    // The control's own handling would draw the new text straight over the
    // old one. The text is kept by the default window handling instead and
    // the static repaints itself from its background copy, now.
    LRESULT result = ::DefWindowProcA(hwnd, WM_SETTEXT, wParam, lParam);
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    return result;
}

LRESULT CSkinStatic::OnWindowPosChanged(WPARAM, LPARAM lParam) {
    // Moved or resized: the copy no longer lies under the static.
    const auto* position = reinterpret_cast<const WINDOWPOS*>(lParam);
    if (position && (position->flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE))
        background.Reset();
    return Default();
}

LRESULT CSkinStatic::OnEraseBkgnd(WPARAM, LPARAM) {
    return TRUE; // the paint covers every pixel
}

LRESULT CSkinStatic::OnPaint(WPARAM, LPARAM) {
    PaintDC dc(hwnd);
    PaintTo(dc.Get());
    return 0;
}

LRESULT CSkinStatic::OnPrintClient(WPARAM wParam, LPARAM) {
    PaintTo(reinterpret_cast<HDC>(wParam));
    return 0;
}

void CSkinStatic::PaintTo(HDC target) {
    if (!target)
        return;
    if (!background)
        CaptureFromParent();
    RECT client{};
    GetClientRect(&client);
    MemoryDC memory(target);
    UniqueBitmap frame(::CreateCompatibleBitmap(target, client.right, client.bottom));
    if (!memory || !frame)
        return;
    SelectGuard select(memory.Get(), frame.Get());
    ::FillRect(memory.Get(), &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    if (background) {
        MemoryDC copy(target);
        SelectGuard selectCopy(copy.Get(), background.Get());
        ::BitBlt(memory.Get(), 0, 0, client.right, client.bottom, copy.Get(), 0, 0, SRCCOPY);
    }
    DrawText(memory.Get(), client);
    ::BitBlt(target, 0, 0, client.right, client.bottom, memory.Get(), 0, 0, SRCCOPY);
}

void CSkinStatic::DrawText(HDC dc, const RECT& client) {
    // The parent chooses the text colour, as for any static.
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::SendMessageA(GetParentHwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(hwnd));
    ::SetBkMode(dc, TRANSPARENT);
    if (!IsWindowEnabled())
        ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    HFONT font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    SelectGuard selectFont(dc, font);

    DWORD style = GetStyle();
    UINT format = DT_EXPANDTABS | DT_WORDBREAK;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER:
        format |= DT_CENTER;
        break;
    case SS_RIGHT:
        format |= DT_RIGHT;
        break;
    case SS_LEFTNOWORDWRAP:
        format = DT_EXPANDTABS | DT_SINGLELINE;
        break;
    default:
        break;
    }
    if (style & SS_NOPREFIX)
        format |= DT_NOPREFIX;
    CString text = GetWindowText();
    RECT box = client;
    ::DrawTextA(dc, text.c_str(), -1, &box, format);
}

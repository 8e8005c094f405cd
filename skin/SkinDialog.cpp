#include "SkinDialog.h"

#include "DrawRoutines.h"
#include "WindowShape.h"
#include "framework/Handles.h"

BEGIN_MESSAGE_MAP(CSkinDialog, CDialog)
ON_MESSAGE(WM_NCACTIVATE, OnNcActivate)
ON_MESSAGE(WM_NCCALCSIZE, OnNcCalcSize)
ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
ON_MESSAGE(WM_GETMINMAXINFO, OnGetMinMaxInfo)
ON_MESSAGE(WM_SIZE, OnSize)
ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
ON_MESSAGE(WM_LBUTTONDBLCLK, OnLButtonDblClk)
ON_MESSAGE(WM_NCDESTROY, OnNcDestroy)
END_MESSAGE_MAP()

CSkinDialog::CSkinDialog(UINT id, CWnd* parentWindow) : CDialog(id, parentWindow) {}

void CSkinDialog::SetRoundCorners(int topLeft, int topRight, int bottomLeft, int bottomRight) {
    cornerTopLeft = topLeft;
    cornerTopRight = topRight;
    cornerBottomLeft = bottomLeft;
    cornerBottomRight = bottomRight;
}

void CSkinDialog::SetSkinText(const SkinText& t) {
    composed.Reset();
    for (SkinText& existing : texts) {
        if (existing.x == t.x && existing.y == t.y) {
            existing = t;
            return;
        }
    }
    texts.push_back(t);
}

void CSkinDialog::SetSkinTextAt(const char* text, const char* fontName, Gdiplus::ARGB textColor,
                                int x, int y, float fontSize, BOOL bold) {
    SkinText t;
    t.text = text ? text : "";
    t.fontName = fontName ? fontName : "";
    t.fontSize = fontSize;
    t.textColor = textColor;
    t.fontStyle = bold ? 1 : 0;
    t.outlineWidth = 0;
    t.outlineColor = 0xFF000000;
    t.x = static_cast<float>(x);
    t.y = static_cast<float>(y);
    t.width = 300.0f;
    t.height = 30.0f;
    t.align = AlignTop | AlignLeft;
    SetSkinText(t);
}

namespace {

SkinBackdrop* FindBackdrop(std::vector<SkinBackdrop>& list, int bandHeight, int fitClient,
                           const RECT& rect) {
    for (SkinBackdrop& b : list)
        if (SameRect(b.rect, rect) && b.fitClient == fitClient && b.bandHeight == bandHeight)
            return &b;
    return nullptr;
}

SkinImage* FindImage(std::vector<SkinImage>& list, const RECT& rect, int toRightEdge,
                     int toBottomEdge) {
    for (SkinImage& i : list)
        if (SameRect(i.rect, rect) && SameRect(i.sourceRect, RECT{}) &&
            i.toRightEdge == toRightEdge && i.toBottomEdge == toBottomEdge)
            return &i;
    return nullptr;
}

} // namespace

void CSkinDialog::SetBackdropImage(int resourceId, const char* resourceType, int bandHeight,
                                   int fitClient, RECT rect) {
    composed.Reset();
    CString type = resourceType ? resourceType : "";
    if (SkinBackdrop* b = FindBackdrop(backdrops, bandHeight, fitClient, rect)) {
        b->resourceId = resourceId;
        b->resourceType = type;
        b->fromResource = 1;
        return;
    }
    backdrops.push_back({resourceId, "", type, bandHeight, rect, fitClient, 1});
}

void CSkinDialog::SetBackdropImageFile(const char* path, int bandHeight, int fitClient, RECT rect) {
    composed.Reset();
    CString file = path ? path : "";
    if (SkinBackdrop* b = FindBackdrop(backdrops, bandHeight, fitClient, rect)) {
        b->filePath = file;
        b->fromResource = 0;
        return;
    }
    backdrops.push_back({0, file, "", bandHeight, rect, fitClient, 0});
}

void CSkinDialog::SetImage(int resourceId, const char* resourceType, RECT rect, int toRightEdge,
                           int toBottomEdge) {
    composed.Reset();
    CString type = resourceType ? resourceType : "";
    if (SkinImage* i = FindImage(images, rect, toRightEdge, toBottomEdge)) {
        i->resourceId = resourceId;
        i->resourceType = type;
        i->fromResource = 1;
        return;
    }
    images.push_back({resourceId, "", type, rect, RECT{}, toRightEdge, toBottomEdge, 1});
}

void CSkinDialog::SetImageAt(int resourceId, const char* resourceType, int x, int y) {
    SetImage(resourceId, resourceType, RECT{x, y, 0, 0}, 0, 0);
}

void CSkinDialog::SetImageFile(const char* path, RECT rect, int toRightEdge, int toBottomEdge) {
    composed.Reset();
    CString file = path ? path : "";
    if (SkinImage* i = FindImage(images, rect, toRightEdge, toBottomEdge)) {
        i->filePath = file;
        i->fromResource = 0;
        return;
    }
    images.push_back({0, file, "", rect, RECT{}, toRightEdge, toBottomEdge, 0});
}

BOOL CSkinDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    ModifyStyle(WS_CAPTION, 0, SWP_FRAMECHANGED);
    resizable = (GetStyle() & WS_THICKFRAME) != 0;
    return TRUE;
}

BOOL CSkinDialog::PreTranslateMessage(MSG* msg) {
    // Esc would end the dialog through IDCANCEL, from the dialog or any control.
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE)
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

void CSkinDialog::DrawSkin(CDC* dc, RECT client) {
    DrawFrames(dc, client);
    DrawBackdrops(dc, client);
    DrawImages(dc, client);
    DrawTexts(dc, client);
}

void CSkinDialog::DrawFrames(CDC* dc, RECT client) {
    HDC hdc = dc->GetSafeHdc();
    for (SkinFrame& frame : frames) {
        if (frame.fitClient)
            frame.rect = client;
        RECT r = frame.rect;
        for (COLORREF color : frame.colors) {
            UniquePen pen(::CreatePen(PS_SOLID, 1, color));
            UniqueBrush brush(::CreateSolidBrush(color));
            SelectGuard selectPen(hdc, pen.Get());
            SelectGuard selectBrush(hdc, brush.Get());
            ::RoundRect(hdc, r.left, r.top, r.right, r.bottom, frame.ellipseWidth,
                        frame.ellipseHeight);
            ::InflateRect(&r, -1, -1);
        }
    }
}

void CSkinDialog::DrawBackdrops(CDC* dc, RECT client) {
    for (SkinBackdrop& backdrop : backdrops) {
        if (backdrop.fitClient)
            backdrop.rect = client;
        DrawBackdropImage(dc, backdrop, pictures);
    }
}

void CSkinDialog::DrawImages(CDC* dc, RECT client) {
    for (const SkinImage& image : images)
        DrawPlacedImage(dc, client, image, pictures);
}

void CSkinDialog::DrawTexts(CDC* dc, RECT) {
    // Texts are placed against the window's rectangle, not the client's.
    for (const SkinText& text : texts)
        DrawSkinText(hwnd, dc->GetSafeHdc(), text);
}

void CSkinDialog::DrawOverlay(CDC*) {}

LRESULT CSkinDialog::OnNcDestroy(WPARAM, LPARAM) {
    pictures.Clear(); // the pictures live as long as the window
    composed.Reset();
    work.Reset();
    return Default();
}

LRESULT CSkinDialog::OnNcActivate(WPARAM, LPARAM) {
    return TRUE;
}

LRESULT CSkinDialog::OnNcCalcSize(WPARAM, LPARAM) {
    // The proposed rectangle stays as it is: the whole window is client area.
    return 0;
}

LRESULT CSkinDialog::OnLButtonDown(WPARAM, LPARAM l) {
    Default();
    POINT point = PointFromLParam(l);
    if (resizable)
        BeginEdgeResize(point);
    if (InDragBand(point.y, captionHeight))
        PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
    return 0;
}

LRESULT CSkinDialog::OnLButtonDblClk(WPARAM, LPARAM l) {
    POINT point = PointFromLParam(l);
    if ((GetStyle() & WS_MAXIMIZEBOX) && InDragBand(point.y, captionHeight))
        ShowWindow(::IsZoomed(hwnd) ? SW_RESTORE : SW_MAXIMIZE);
    return Default();
}

LRESULT CSkinDialog::OnGetMinMaxInfo(WPARAM, LPARAM l) {
    if (auto* info = reinterpret_cast<MINMAXINFO*>(l)) {
        info->ptMaxSize.x = ::GetSystemMetrics(SM_CXFRAME) + ::GetSystemMetrics(SM_CXFULLSCREEN);
        info->ptMaxSize.y = ::GetSystemMetrics(SM_CYFRAME) + ::GetSystemMetrics(SM_CYFULLSCREEN) +
                            ::GetSystemMetrics(SM_CYCAPTION);
    }
    return Default();
}

LRESULT CSkinDialog::OnSize(WPARAM, LPARAM) {
    LRESULT result = Default();
    composed.Reset();
    UpdateWindowRegion();
    ::InvalidateRect(hwnd, nullptr, TRUE);
    return result;
}

LRESULT CSkinDialog::OnMouseMove(WPARAM w, LPARAM l) {
    if (w == 0 && resizable) {
        ShowEdgeCursor(PointFromLParam(l));
        return 0;
    }
    return Default();
}

// The items are drawn once into `composed`; later paints copy it. The overlay
// is drawn at every paint, on a copy, so that nothing it draws is kept.
LRESULT CSkinDialog::OnEraseBkgnd(WPARAM w, LPARAM) {
    HDC dc = reinterpret_cast<HDC>(w);
    if (!dc)
        return TRUE;
    RECT client{};
    GetClientRect(&client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    MemoryDC memory(dc);
    MemoryDC source(dc);
    if (!memory || !source || !Compose(dc, client))
        return TRUE;
    SelectGuard select(memory.Get(), work.Get());
    {
        SelectGuard selectComposed(source.Get(), composed.Get());
        ::BitBlt(memory.Get(), 0, 0, width, height, source.Get(), 0, 0, SRCCOPY);
    }
    CDC memoryDC(memory.Get());
    DrawOverlay(&memoryDC);
    ::BitBlt(dc, 0, 0, width, height, memory.Get(), 0, 0, SRCCOPY);
    return TRUE;
}

bool CSkinDialog::Compose(HDC dc, RECT client) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (composed && composedSize.cx == width && composedSize.cy == height)
        return true;
    composed.Reset(::CreateCompatibleBitmap(dc, width, height));
    work.Reset(::CreateCompatibleBitmap(dc, width, height));
    MemoryDC memory(dc);
    if (!composed || !work || !memory) {
        composed.Reset();
        return false;
    }
    SelectGuard select(memory.Get(), composed.Get());
    RECT all{0, 0, width, height};
    ::FillRect(memory.Get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    CDC memoryDC(memory.Get());
    DrawSkin(&memoryDC, client);
    composedSize = SIZE{width, height};
    generation = generation == ~0u ? 1 : generation + 1;
    return true;
}

void CSkinDialog::UpdateWindowRegion() {
    RECT window{};
    GetWindowRect(&window);
    UniqueRegion region(CreateRoundedRegion(window.right - window.left, window.bottom - window.top,
                                            cornerTopLeft, cornerTopRight, cornerBottomLeft,
                                            cornerBottomRight));
    if (::SetWindowRgn(hwnd, region.Get(), TRUE))
        region.Release();
}

void CSkinDialog::BeginEdgeResize(POINT point) {
    RECT client{};
    GetClientRect(&client);
    EdgeHit hit = EdgeHitTest(point.x, point.y, client.right, client.bottom);
    if (!hit.hitCode)
        return;
    ::SetCursor(::LoadCursorA(nullptr, hit.cursor));
    // The system's sizing loop runs before this returns.
    SendMessage(WM_NCLBUTTONDOWN, static_cast<WPARAM>(hit.hitCode), MAKELPARAM(point.x, point.y));
}

void CSkinDialog::ShowEdgeCursor(POINT point) {
    RECT client{};
    GetClientRect(&client);
    EdgeHit hit = EdgeHitTest(point.x, point.y, client.right, client.bottom);
    if (hit.hitCode)
        ::SetCursor(::LoadCursorA(nullptr, hit.cursor));
}

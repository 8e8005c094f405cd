#include "SkinButtonEx.h"

#include "DrawRoutines.h"
#include "ParentArea.h"
#include "framework/GdiPlusHandles.h"

#include <commctrl.h>

using namespace Gdiplus;

const UINT WM_CANCELCHECKEDRADIO = ::RegisterWindowMessageA("CancelCheckedRadio");

BEGIN_MESSAGE_MAP(CSkinButtonEx, CButton)
ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
ON_MESSAGE(WM_LBUTTONUP, OnLButtonUp)
ON_MESSAGE(WM_LBUTTONDBLCLK, OnLButtonDblClk)
ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
ON_MESSAGE(WM_KILLFOCUS, OnKillFocus)
ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
ON_MESSAGE(BM_GETCHECK, OnGetCheck)
ON_MESSAGE(BM_SETCHECK, OnSetCheck)
ON_REGISTERED_MESSAGE(WM_CANCELCHECKEDRADIO, OnCancelCheckedRadio)
END_MESSAGE_MAP()

// ---- set-up

void CSkinButtonEx::SetStripImage(UINT resourceId, const char* type, int frames, BOOL sizeToImage,
                                  BOOL region) {
    stripImage.reset();
    TakeStripImage(LoadResourceImage(resourceId, type), frames, sizeToImage, region);
}

void CSkinButtonEx::SetStripImageFile(const char* path, int frames, BOOL sizeToImage, BOOL region) {
    ImagePtr image = LoadFileImage(path);
    if (!image || image->Height() == 0 ||
        FrameWidth(image->Width(), EffectiveFrameCount(frames)) == 0)
        return;
    TakeStripImage(std::move(image), frames, sizeToImage, region);
}

void CSkinButtonEx::TakeStripImage(ImagePtr image, int frames, BOOL sizeToImage, BOOL region) {
    stripImage = std::move(image);
    frameCount = EffectiveFrameCount(frames);
    frameWidth = stripImage ? FrameWidth(stripImage->Width(), frameCount) : 0;
    frameHeight = stripImage ? static_cast<int>(stripImage->Height()) : 0;
    FitToFrame(stripImage.get(), sizeToImage, region);
}

void CSkinButtonEx::SetForeImage(UINT resourceId, const char* type, BOOL sizeToImage, BOOL region) {
    foreImage.reset();
    TakeForeImage(LoadResourceImage(resourceId, type), sizeToImage, region);
}

void CSkinButtonEx::SetForeImageFile(const char* path, BOOL sizeToImage, BOOL region) {
    ImagePtr image = LoadFileImage(path);
    if (!image || image->Width() == 0 || image->Height() == 0)
        return;
    TakeForeImage(std::move(image), sizeToImage, region);
}

void CSkinButtonEx::TakeForeImage(ImagePtr image, BOOL sizeToImage, BOOL region) {
    foreImage = std::move(image);
    frameWidth = foreImage ? static_cast<int>(foreImage->Width()) : 0;
    frameHeight = foreImage ? static_cast<int>(foreImage->Height()) : 0;
    FitToFrame(foreImage.get(), sizeToImage, region);
    stripMode = 0;
}

void CSkinButtonEx::FitToFrame(const ImageObject* outline, BOOL sizeToImage, BOOL region) {
    if (sizeToImage)
        SetWindowPos(nullptr, 0, 0, frameWidth, frameHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (region)
        ApplyAlphaRegion(hwnd, outline, frameWidth, frameHeight);
}

void CSkinButtonEx::SetHoverImage(UINT resourceId, const char* type) {
    hoverImage.reset();
    hoverImage = LoadResourceImage(resourceId, type);
}

void CSkinButtonEx::SetPressedImage(UINT resourceId, const char* type) {
    pressedImage.reset();
    pressedImage = LoadResourceImage(resourceId, type);
}

void CSkinButtonEx::SetDisabledImage(UINT resourceId, const char* type) {
    disabledImage.reset();
    disabledImage = LoadResourceImage(resourceId, type);
}

void CSkinButtonEx::SetTextStyles(const SkinText& normal, const SkinText& hoverStyle,
                                  const SkinText& pressed, const SkinText& disabled) {
    textStyles = {normal, hoverStyle, pressed, disabled};
}

void CSkinButtonEx::CaptureBackground(CDC* dc, unsigned generation) {
    background.Take(hwnd, dc ? dc->GetSafeHdc() : nullptr, generation);
}

void CSkinButtonEx::SnapshotFrom(HDC dc) {
    background.Take(hwnd, dc);
}

// ---- platform overrides

void CSkinButtonEx::PreSubclassWindow() {
    CButton::PreSubclassWindow();
    kind = static_cast<int>(::GetWindowLongA(hwnd, GWL_STYLE) & 0xFF);
    // The type field takes the owner-draw value. (OR-ing it in would be the
    // same for push buttons, check boxes and radio buttons, but would turn
    // types such as BS_RADIOBUTTON or BS_GROUPBOX into command links.)
    ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
}

bool CSkinButtonEx::IsOverThis(POINT screenPoint) const {
    return ::WindowFromPoint(screenPoint) == hwnd;
}

void CSkinButtonEx::DrawItem(DRAWITEMSTRUCT* drawItem) {
    // While the mouse is held, keep the pushed look in step with the pointer;
    // the state change asks for a new paint, so nothing is drawn now.
    POINT cursor;
    if (mouseDown && ::GetCapture() == hwnd && ::GetCursorPos(&cursor)) {
        const bool over = IsOverThis(cursor);
        const bool pushed = (SendMessage(BM_GETSTATE) & BST_PUSHED) != 0;
        if (over != pushed) {
            SendMessage(BM_SETSTATE, over ? 1 : 0);
            return;
        }
    }
    Paint(drawItem->hDC, ComputeDrawState(drawItem->itemState, checkState, hover != 0));
}

void CSkinButtonEx::Paint(HDC target, ButtonDrawState state) {
    if (stripMode && !stripImage)
        return;
    RECT client{};
    GetClientRect(&client);
    const int w = client.right, h = client.bottom;
    MemoryDC memory(target);
    UniqueBitmap bitmap(::CreateCompatibleBitmap(target, w, h));
    if (!memory || !bitmap)
        return;
    SelectGuard select(memory.Get(), bitmap.Get());

    if (!background) {
        WindowDC parentDC(GetParentHwnd());
        if (parentDC)
            SnapshotFrom(parentDC.Get());
    }
    {
        GpGraphicsHolder graphics;
        gdip::GdipCreateFromHDC(memory.Get(), graphics.Out());
        if (graphics && background) {
            GpBitmapHolder copy;
            gdip::GdipCreateBitmapFromHBITMAP(background.Get(), nullptr, copy.Out());
            if (copy)
                gdip::GdipDrawImageRectI(graphics.Get(), copy.Get(), 0, 0, w, h);
        }
        if (graphics)
            DrawPictures(graphics.Get(), state, w, h);
        // Deleting the graphics object finishes its drawing before the caption
        // and the blit.
    }
    DrawCaption(memory.Get(), state, client);
    ::BitBlt(target, 0, 0, w, h, memory.Get(), 0, 0, SRCCOPY);
}

void CSkinButtonEx::DrawPictures(GpGraphics* graphics, ButtonDrawState state, int w, int h) {
    auto draw = [&](const ImageObject* image, int sourceX, const GpImageAttributes* attributes) {
        if (!image || !image->Bitmap())
            return;
        gdip::GdipDrawImageRectRectI(graphics, image->Bitmap(), 0, 0, w, h, sourceX, 0, frameWidth,
                                     frameHeight, UnitPixel, attributes, nullptr, nullptr);
    };
    if (stripMode) {
        if (frameCount > 1) {
            draw(stripImage.get(), StripFrameIndex(state, frameCount) * frameWidth, nullptr);
            return;
        }
        GpImageAttributesHolder attributes;
        if (const ColorMatrix* matrix = SingleFrameMatrix(state)) {
            gdip::GdipCreateImageAttributes(attributes.Out());
            if (attributes)
                gdip::GdipSetImageAttributesColorMatrix(attributes.Get(), ColorAdjustTypeDefault,
                                                        TRUE, matrix, nullptr,
                                                        ColorMatrixFlagsDefault);
        }
        draw(stripImage.get(), 0, attributes.Get());
        return;
    }
    LayerSet present{hoverImage != nullptr, pressedImage != nullptr, disabledImage != nullptr,
                     foreImage != nullptr};
    for (Layer layer : LayersFor(state, present)) {
        switch (layer) {
        case Layer::HoverBackdrop:
            draw(hoverImage.get(), 0, nullptr);
            break;
        case Layer::PressedBackdrop:
            draw(pressedImage.get(), 0, nullptr);
            break;
        case Layer::Disabled:
            draw(disabledImage.get(), 0, nullptr);
            break;
        case Layer::Foreground:
            draw(foreImage.get(), 0, nullptr);
            break;
        }
    }
}

void CSkinButtonEx::DrawCaption(HDC dc, ButtonDrawState state, const RECT& client) {
    if (!textStyles.empty()) {
        DrawSkinText(hwnd, dc, textStyles[CaptionStyleIndex(state, textStyles.size())]);
        return;
    }
    ::SetBkMode(dc, TRANSPARENT);
    CString text = GetWindowText();
    RECT r = client;
    if (state == DrawPressed)
        ::OffsetRect(&r, 1, 1);
    ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// ---- messages

LRESULT CSkinButtonEx::OnLButtonDown(WPARAM, LPARAM) {
    if (hover) {
        TRACKMOUSEEVENT track{sizeof track, TME_CANCEL | TME_LEAVE, hwnd, 0};
        if (::_TrackMouseEvent(&track))
            hover = 0;
    }
    LRESULT result = Default();
    mouseDown = 1;
    return result;
}

void CSkinButtonEx::RequestCheck(CheckRequest request) {
    if (request.send)
        SendMessage(BM_SETCHECK, static_cast<WPARAM>(request.value));
}

LRESULT CSkinButtonEx::OnLButtonUp(WPARAM, LPARAM l) {
    POINT point = PointFromLParam(l);
    ClientToScreen(&point);
    // The check changes before the platform's click reaches the parent.
    if (IsOverThis(point))
        RequestCheck(ToggleRequest(kind, checkState));
    mouseDown = 0;
    return Default();
}

LRESULT CSkinButtonEx::OnLButtonDblClk(WPARAM w, LPARAM l) {
    // A double click counts as a second press.
    SendMessage(WM_LBUTTONDOWN, w, l);
    return 0;
}

LRESULT CSkinButtonEx::OnMouseMove(WPARAM, LPARAM l) {
    if (mouseDown && ::GetCapture() == hwnd) {
        POINT point = PointFromLParam(l);
        ClientToScreen(&point);
        const bool over = IsOverThis(point);
        const bool pushed = (SendMessage(BM_GETSTATE) & BST_PUSHED) != 0;
        if (over != pushed) {
            SendMessage(BM_SETSTATE, over ? 1 : 0);
            InvalidateAll();
        }
    } else if (!hover) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
        if (::_TrackMouseEvent(&track)) {
            hover = 1;
            InvalidateAll();
        }
    }
    return Default();
}

LRESULT CSkinButtonEx::OnMouseLeave(WPARAM, LPARAM) {
    hover = 0;
    InvalidateAll();
    return 1;
}

LRESULT CSkinButtonEx::OnKeyDown(WPARAM w, LPARAM) {
    if (w == VK_SPACE && kind != KindPushButton)
        RequestCheck(ToggleRequest(kind, checkState));
    return Default();
}

LRESULT CSkinButtonEx::OnKillFocus(WPARAM, LPARAM) {
    LRESULT result = Default();
    if (::GetCapture() == hwnd) {
        ::ReleaseCapture();
        mouseDown = 0;
    }
    return result;
}

LRESULT CSkinButtonEx::OnEraseBkgnd(WPARAM, LPARAM) {
    return TRUE;
}

LRESULT CSkinButtonEx::OnGetCheck(WPARAM, LPARAM) {
    return checkState;
}

LRESULT CSkinButtonEx::OnSetCheck(WPARAM w, LPARAM) {
    const int value = static_cast<int>(w);
    checkState = value;
    HWND parent = GetParentHwnd();
    if (kind == KindAutoRadioButton && value != 0 && parent) {
        auto next = [parent](HWND current) {
            return ::GetNextDlgGroupItem(parent, current, FALSE);
        };
        for (HWND peer : GroupPeers(hwnd, next))
            ::PostMessageA(peer, WM_CANCELCHECKEDRADIO, 0, 0);
    }
    checkState = CheckAfterSet(kind, value);
    InvalidateAll();
    return 1;
}

LRESULT CSkinButtonEx::OnCancelCheckedRadio(WPARAM, LPARAM) {
    if (kind == KindAutoRadioButton && checkState != 0) {
        checkState = 0;
        InvalidateAll();
    }
    return 1;
}

// CSkinButtonEx: an owner-drawn dialog button painted from PNG pictures over a
// copy of the dialog background beneath it, with a skin caption.
//
// Strip mode: one picture holds the state frames side by side (normal,
// hover, pressed, disabled); a single-frame picture is brightened under the
// pointer and greyed when disabled. Layered mode: a foreground picture over a
// backdrop chosen by state. Auto check boxes and auto radio buttons keep
// their check state themselves; radio buttons of one group clear each other
// with the registered message "CancelCheckedRadio".
#pragma once

#include "ButtonLogic.h"
#include "ImageLoading.h"
#include "ParentArea.h"
#include "SkinItems.h"
#include "framework/Controls.h"
#include "framework/DC.h"
#include "framework/Handles.h"

#include <vector>

// Posted to the other buttons of a radio group when one of them is set.
extern const UINT WM_CANCELCHECKEDRADIO;

class CSkinButtonEx : public CButton {
public:
    CSkinButtonEx() = default;
    ~CSkinButtonEx() override = default;

    // Strip of `frames` state frames (at least 1). With sizeToImage the button
    // takes the size of one frame; with region its outline follows the first
    // frame's alpha. The drawing mode is not changed.
    void SetStripImage(UINT resourceId, const char* type, int frames, BOOL sizeToImage,
                       BOOL region);
    // As SetStripImage from a file. A file that does not exist changes
    // nothing, and so does one that cannot show a frame (it does not decode,
    // or it is narrower than its frame count): a damaged skin file never
    // leaves the button without a size.
    void SetStripImageFile(const char* path, int frames, BOOL sizeToImage, BOOL region);
    // The foreground of layered mode, which these switch to. From a file, as
    // for the strip: a missing or undecodable file changes nothing.
    void SetForeImage(UINT resourceId, const char* type, BOOL sizeToImage, BOOL region);
    void SetForeImageFile(const char* path, BOOL sizeToImage, BOOL region);
    // Layered-mode backdrops under the pointer and while pressed, and the
    // picture drawn alone when disabled.
    void SetHoverImage(UINT resourceId, const char* type);
    void SetPressedImage(UINT resourceId, const char* type);
    void SetDisabledImage(UINT resourceId, const char* type);
    // Caption styles for the normal, hover, pressed and disabled looks.
    void SetTextStyles(const SkinText& normal, const SkinText& hover, const SkinText& pressed,
                       const SkinText& disabled);
    // Copies the part of the parent's freshly painted client area in `dc`
    // that lies under the button; it is painted under the pictures. With the
    // parent's number for its drawn background (see ParentAreaCopy) the copy
    // is kept when neither that nor the button's place has changed.
    void CaptureBackground(CDC* dc, unsigned generation = 0);

    void PreSubclassWindow() override;
    void DrawItem(DRAWITEMSTRUCT* drawItem) override;

    int GetButtonKind() const { return kind; }
    bool IsStripMode() const { return stripMode != 0; }
    int GetFrameCount() const { return frameCount; }
    int GetFrameWidth() const { return frameWidth; }
    int GetFrameHeight() const { return frameHeight; }
    const std::vector<SkinText>& GetTextStyles() const { return textStyles; }

private:
    LRESULT OnLButtonDown(WPARAM, LPARAM);
    LRESULT OnLButtonUp(WPARAM, LPARAM);
    LRESULT OnLButtonDblClk(WPARAM, LPARAM);
    LRESULT OnMouseMove(WPARAM, LPARAM);
    LRESULT OnMouseLeave(WPARAM, LPARAM);
    LRESULT OnKeyDown(WPARAM, LPARAM);
    LRESULT OnKillFocus(WPARAM, LPARAM);
    LRESULT OnEraseBkgnd(WPARAM, LPARAM);
    LRESULT OnGetCheck(WPARAM, LPARAM);
    LRESULT OnSetCheck(WPARAM, LPARAM);
    LRESULT OnCancelCheckedRadio(WPARAM, LPARAM);

    void TakeStripImage(ImagePtr image, int frames, BOOL sizeToImage, BOOL region);
    void TakeForeImage(ImagePtr image, BOOL sizeToImage, BOOL region);
    void FitToFrame(const ImageObject* outline, BOOL sizeToImage, BOOL region);
    bool IsOverThis(POINT screenPoint) const;
    void RequestCheck(CheckRequest request);
    void SnapshotFrom(HDC dc);
    void Paint(HDC target, ButtonDrawState state);
    void DrawPictures(Gdiplus::GpGraphics* graphics, ButtonDrawState state, int w, int h);
    void DrawCaption(HDC dc, ButtonDrawState state, const RECT& client);
    void InvalidateAll() { ::InvalidateRect(hwnd, nullptr, TRUE); }

    ParentAreaCopy background;
    ImagePtr stripImage;
    int mouseDown = 0;
    int hover = 0;
    int checkState = 0;
    int frameCount = 0;
    int frameWidth = 0;
    int frameHeight = 0;
    int kind = 0;
    std::vector<SkinText> textStyles;
    int stripMode = 1;
    ImagePtr foreImage;
    ImagePtr hoverImage;
    ImagePtr pressedImage;
    ImagePtr disabledImage;

    DECLARE_MESSAGE_MAP()
};

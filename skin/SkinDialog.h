// CSkinDialog: the base of dialogs that draw their own frame. The system
// caption and border go, so the whole window is client area; a band at the top
// moves the window; the outline has rounded corners; the background is painted
// from lists of backdrops, placed images and texts into one memory bitmap and
// shown with one BitBlt, so nothing flickers. With a sizing border in its
// template the dialog resizes from 7-pixel edges, and with a maximize box a
// double click in the band maximizes it. Esc does not close it.
#pragma once

#include "SkinItems.h"
#include "SkinPictures.h"
#include "framework/DC.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"

#include <vector>

// Nested rounded rectangles, one per colour from the outside in, each a
// pixel smaller on every side than the one before.
struct SkinFrame {
    std::vector<COLORREF> colors;
    int ellipseWidth = 0;
    int ellipseHeight = 0;
    RECT rect{};
    int fitClient = 0;
};

class CSkinDialog : public CDialog {
public:
    CSkinDialog(UINT templateId, CWnd* parent = nullptr);

    // Height of the drag band in client pixels; 0 turns the band off.
    void SetCaptionHeight(int height) { captionHeight = height; }
    // Corner ellipse diameters (0: square). Takes effect at the next WM_SIZE.
    void SetRoundCorners(int topLeft, int topRight, int bottomLeft, int bottomRight);

    // The setters below replace the item with the same placement, or append a
    // new one. None repaints: callers invalidate when they want it shown.

    // Same x and y (exactly): the whole text is replaced.
    void SetSkinText(const SkinText& text);
    // A text in a 300 x 30 box, top-left aligned, regular or bold.
    void SetSkinTextAt(const char* text, const char* fontName, Gdiplus::ARGB textColor, int x,
                       int y, float fontSize, BOOL bold);
    // Same rect, fitClient and bandHeight: the resource is replaced and drawn.
    void SetBackdropImage(int resourceId, const char* resourceType, int bandHeight, int fitClient,
                          RECT rect);
    // Same key: the file is replaced and drawn; the resource stays as the
    // picture used while the file is missing.
    void SetBackdropImageFile(const char* path, int bandHeight, int fitClient, RECT rect);
    // Same rect, whole picture and edge flags: the resource is replaced.
    void SetImage(int resourceId, const char* resourceType, RECT rect, int toRightEdge,
                  int toBottomEdge);
    // The picture at its own size with its top-left corner at (x, y).
    void SetImageAt(int resourceId, const char* resourceType, int x, int y);
    void SetImageFile(const char* path, RECT rect, int toRightEdge, int toBottomEdge);

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void DoDataExchange(CDataExchange*) override {}

    // The drawing passes of one paint, bottom layer first: frames, backdrops,
    // images, texts. Derived dialogs may extend them.
    virtual void DrawSkin(CDC* dc, RECT client);
    virtual void DrawFrames(CDC* dc, RECT client);
    virtual void DrawBackdrops(CDC* dc, RECT client);
    virtual void DrawImages(CDC* dc, RECT client);
    virtual void DrawTexts(CDC* dc, RECT client);
    // Called at every paint with a memory device context holding the finished
    // background, before it is shown. What it draws there is not kept.
    virtual void DrawOverlay(CDC* dc);
    // The background is drawn from the item lists once and kept until a setter
    // above changes an item or the size changes; this number changes whenever
    // it is drawn anew (never 0).
    unsigned ComposedGeneration() const { return generation; }

protected:
    BOOL resizable = FALSE;
    int captionHeight = 0;
    int cornerTopLeft = 0;
    int cornerTopRight = 0;
    int cornerBottomLeft = 0;
    int cornerBottomRight = 0;
    // The items. Changed directly only before the first paint; afterwards
    // through the setters, which make the next paint draw them again.
    std::vector<SkinBackdrop> backdrops;
    std::vector<SkinFrame> frames;
    std::vector<SkinImage> images;
    std::vector<SkinText> texts;
    // The items' pictures, decoded at the first paint and kept until the
    // window is destroyed.
    SkinPictures pictures;

private:
    // Draws the items into `composed` unless it already holds them at this size.
    bool Compose(HDC dc, RECT client);

    UniqueBitmap composed;
    UniqueBitmap work; // the same size: the copy the overlay is drawn on
    SIZE composedSize{};
    unsigned generation = 1;
    LRESULT OnNcActivate(WPARAM, LPARAM);
    LRESULT OnNcCalcSize(WPARAM, LPARAM);
    LRESULT OnLButtonDown(WPARAM, LPARAM);
    LRESULT OnGetMinMaxInfo(WPARAM, LPARAM);
    LRESULT OnSize(WPARAM, LPARAM);
    LRESULT OnMouseMove(WPARAM, LPARAM);
    LRESULT OnEraseBkgnd(WPARAM, LPARAM);
    LRESULT OnLButtonDblClk(WPARAM, LPARAM);
    LRESULT OnNcDestroy(WPARAM, LPARAM);

    void UpdateWindowRegion();
    void BeginEdgeResize(POINT point);
    void ShowEdgeCursor(POINT point);

    DECLARE_MESSAGE_MAP()
};

#include "ButtonLogic.h"

ButtonDrawState ComputeDrawState(UINT itemState, int checkState, bool hover) {
    if (itemState & ODS_DISABLED)
        return DrawDisabled;
    if ((itemState & ODS_SELECTED) || checkState != 0)
        return DrawPressed;
    if (hover)
        return DrawHover;
    if (itemState & ODS_FOCUS)
        return DrawFocused;
    return DrawNormal;
}

CheckRequest ToggleRequest(int kind, int checkState) {
    if (kind == KindAutoCheckBox)
        return {true, checkState ? 0 : 1};
    if (kind == KindAutoRadioButton)
        return {true, 1};
    return {};
}

std::vector<Layer> LayersFor(int state, const LayerSet& present) {
    std::vector<Layer> layers;
    if (state == DrawHover && present.hover)
        layers.push_back(Layer::HoverBackdrop);
    if (state == DrawPressed && present.pressed)
        layers.push_back(Layer::PressedBackdrop);
    if (state == DrawDisabled && present.disabled) {
        layers.push_back(Layer::Disabled);
        return layers;
    }
    if (present.foreground)
        layers.push_back(Layer::Foreground);
    return layers;
}

const Gdiplus::ColorMatrix& BrighteningMatrix() {
    static const Gdiplus::ColorMatrix m = {{{1.05f, 0, 0, 0, 0},
                                            {0, 1.05f, 0, 0, 0},
                                            {0, 0, 1.05f, 0, 0},
                                            {0, 0, 0, 1.0f, 0},
                                            {0.05f, 0.05f, 0.05f, 0, 1.0f}}};
    return m;
}

const Gdiplus::ColorMatrix& GreyMatrix() {
    static const Gdiplus::ColorMatrix m = {{{0.3f, 0.3f, 0.3f, 0, 0},
                                            {0.59f, 0.59f, 0.59f, 0, 0},
                                            {0.11f, 0.11f, 0.11f, 0, 0},
                                            {0, 0, 0, 1.0f, 0},
                                            {0, 0, 0, 0, 1.0f}}};
    return m;
}

const Gdiplus::ColorMatrix* SingleFrameMatrix(int state) {
    if (state == DrawHover)
        return &BrighteningMatrix();
    if (state == DrawDisabled)
        return &GreyMatrix();
    return nullptr;
}

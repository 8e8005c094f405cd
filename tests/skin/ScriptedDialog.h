// A dialog for tests that runs a script: `onInit` at WM_INITDIALOG, `onApp` for
// every WM_APP posted to it (wParam passed on). It records the keys its modal
// loop offers to PreTranslateMessage and ends itself with -2 after ten
// seconds, so that a test that goes wrong cannot hang the run.
#pragma once

#include "framework/Dialog.h"

#include <functional>
#include <vector>

template <class Base> class Scripted : public Base {
public:
    using Base::Base;

    std::function<void(Scripted&)> onInit;
    std::function<void(Scripted&, WPARAM)> onApp;
    std::vector<WPARAM> keysOffered;

    BOOL OnInitDialog() override {
        BOOL result = Base::OnInitDialog();
        ::SetTimer(this->GetSafeHwnd(), kSafetyTimer, 10000, nullptr);
        if (onInit)
            onInit(*this);
        return result;
    }

    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_KEYDOWN)
            keysOffered.push_back(msg->wParam);
        return Base::PreTranslateMessage(msg);
    }

    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
        if (message == WM_APP) {
            if (onApp)
                onApp(*this, w);
            return 0;
        }
        if (message == WM_TIMER && w == kSafetyTimer) {
            this->EndDialog(-2);
            return 0;
        }
        return Base::WindowProc(message, w, l);
    }

    void Post(WPARAM step) { ::PostMessageA(this->GetSafeHwnd(), WM_APP, step, 0); }

private:
    static constexpr UINT_PTR kSafetyTimer = 0x5AFE;
};

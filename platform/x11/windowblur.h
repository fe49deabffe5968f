// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

class QRect;

// The window-system half of the backdrop.
namespace windowblur {

struct Support {
    // Translucent windows show what is behind them.
    bool compositing = false;
    // The compositor blurs behind a window that asks: KWin on X11, which
    // announces `_KDE_NET_WM_BLUR_BEHIND_REGION`.
    bool blurBehind = false;
};

// What the display the application runs on offers now.
Support probe();

// Asks the compositor to blur behind `region` (window coordinates) of the
// top-level native window `window`.
void requestBlurBehind(quintptr window, const QRect &region);

} // namespace windowblur

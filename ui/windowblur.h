// SPDX-License-Identifier: MIT
#pragma once

class QRect;
class QWidget;

// The window-system half of the translucent backdrop. Only X11 with a
// compositor can blur what lies behind a window; everywhere else these say
// no and do nothing.
namespace windowblur {

// A compositor is running, so translucent windows show what is behind them.
bool compositorRunning();

// Asks the compositor to blur behind `region` (window coordinates) of the
// top-level `window`. KWin honours it; other compositors ignore it, and the
// tint alone remains.
void requestBlurBehind(QWidget *window, const QRect &region);

} // namespace windowblur

// SPDX-License-Identifier: MIT
#pragma once

class QWindow;

namespace tasklisthints {

// Asks an X11 window manager to leave the top-level `window` out of the task
// bar, the pager and (KWin) the window switcher, as it does a tray's panel.
// For a window about to be mapped: the window manager reads the states when
// it maps one. Elsewhere it does nothing.
void skipTaskLists(QWindow *window);

} // namespace tasklisthints

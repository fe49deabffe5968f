// SPDX-License-Identifier: MIT
#pragma once

#include "surfacerole.h"

#include <QPoint>

// What a tray's panel is on X11, asked of KWin's Wayland session through
// org_kde_plasma_shell: opened where the program says, kept above other
// windows, out of the task bar and the switcher. Elsewhere nothing is asked.
class PlasmaShellPanel final : public SurfaceRole {
    Q_OBJECT

public:
    using SurfaceRole::SurfaceRole;

    // Whether the compositor the application runs on offers the interface.
    static bool offered();
    // `window` opens with its top-left at `topLeft` (global coordinates):
    // moved there now if it is shown, and on every surface Qt makes for it.
    void place(QWindow *window, const QPoint &topLeft);

protected:
    void attach() override;

private:
    QPoint m_topLeft;
};

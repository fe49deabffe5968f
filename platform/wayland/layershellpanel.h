// SPDX-License-Identifier: MIT
#pragma once

#include "surfacerole.h"

#include <QRect>

class QScreen;

// A tray's panel on wlroots compositors (sway, Hyprland, labwc, river), which
// place no window where a client asks: a layer surface anchored to the
// screen's edges where the program chose, and so in no task list. It needs a
// wl_surface without a role, which Qt leaves to a window with windowFlag()
// while QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT is set (see main.cpp).
class LayerShellPanel final : public SurfaceRole {
    Q_OBJECT

public:
    using SurfaceRole::SurfaceRole;

    // Whether the compositor offers a layer shell that gives the keyboard on
    // a click, and the environment lets Qt leave a window without a role.
    static bool offered();
    static constexpr Qt::WindowType windowFlag() { return Qt::BypassWindowManagerHint; }
    // `window` shows at `where` (global coordinates) on `screen`: moved there
    // now if shown, and made a layer surface on each wl_surface Qt makes.
    void place(QWindow *window, const QRect &where, QScreen *screen);
    // sway 1.7 keeps the keyboard on a layer surface that asks for it, even
    // over a click elsewhere: the panel asks only while the user works in it.
    void setKeyboardWanted(bool wanted);

protected:
    void attach() override;

private:
    // Applies the placement and the keyboard's wish to the shown surface.
    void update();

    QPointer<QScreen> m_screen;
    QRect m_where;
    bool m_keyboardWanted = false;
};

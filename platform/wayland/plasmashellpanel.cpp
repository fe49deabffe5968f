// SPDX-License-Identifier: MIT
#include "plasmashellpanel.h"

#ifdef STASHLET_HAVE_PLASMA_SHELL

#include "plasma-shell-client-protocol.h"
#include "waylandglobal.h"
// After its header, as in layershellpanel.cpp.
#include "plasma-shell-protocol.c"

namespace {

// 8 brings the applet popup role; skipping the task bar came in 2, the
// switcher in 5.
constexpr uint32_t kNewestVersion = 8;

// Nothing the shell or its surfaces send matters to a panel: its queue is
// never read again.
const waylandglobal::Bound &shell()
{
    static const waylandglobal::Bound bound =
        waylandglobal::bind(org_kde_plasma_shell_interface, 1, kNewestVersion);
    return bound;
}

} // namespace

bool PlasmaShellPanel::offered()
{
    return shell().proxy != nullptr;
}

void PlasmaShellPanel::attach()
{
    const waylandglobal::Bound &bound = shell();
    auto *panel = org_kde_plasma_shell_get_surface(static_cast<org_kde_plasma_shell *>(bound.proxy),
                                                   static_cast<wl_surface *>(surface()));
    setRole(panel, [](void *role) {
        org_kde_plasma_surface_destroy(static_cast<org_kde_plasma_surface *>(role));
    });
    // What plasmashell's own tray popups are: above other windows and on every
    // desktop, yet taking the keyboard and drops like any window. Older KWins
    // know it as a plain window, which still goes where it is asked.
    if (bound.version >= ORG_KDE_PLASMA_SURFACE_ROLE_APPLETPOPUP_SINCE_VERSION)
        org_kde_plasma_surface_set_role(panel, ORG_KDE_PLASMA_SURFACE_ROLE_APPLETPOPUP);
    if (bound.version >= ORG_KDE_PLASMA_SURFACE_SET_SKIP_TASKBAR_SINCE_VERSION)
        org_kde_plasma_surface_set_skip_taskbar(panel, 1);
    if (bound.version >= ORG_KDE_PLASMA_SURFACE_SET_SKIP_SWITCHER_SINCE_VERSION)
        org_kde_plasma_surface_set_skip_switcher(panel, 1);
    org_kde_plasma_surface_set_position(panel, m_topLeft.x(), m_topLeft.y());
}

void PlasmaShellPanel::place(QWindow *window, const QPoint &topLeft)
{
    m_topLeft = topLeft;
    if (window == nullptr || !offered())
        return;
    follow(window);
    if (auto *panel = static_cast<org_kde_plasma_surface *>(role()))
        org_kde_plasma_surface_set_position(panel, topLeft.x(), topLeft.y());
}

#else

bool PlasmaShellPanel::offered()
{
    return false;
}

void PlasmaShellPanel::attach() {}

void PlasmaShellPanel::place(QWindow *, const QPoint &) {}

#endif

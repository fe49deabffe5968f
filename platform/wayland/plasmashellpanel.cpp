// SPDX-License-Identifier: MIT
#include "plasmashellpanel.h"

#include <QEvent>
#include <QPlatformSurfaceEvent>
#include <QWindow>

#ifdef STASHLET_HAVE_PLASMA_SHELL

#include "plasma-shell-client-protocol.h"

#include <QGuiApplication>
#include <qpa/qplatformnativeinterface.h>
#include <qpa/qplatformwindow.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace {

// 8 brings the applet popup role; skipping the task bar came in 2, the
// switcher in 5.
constexpr uint32_t kNewestVersion = 8;

struct Shell {
    org_kde_plasma_shell *shell = nullptr;
    uint32_t version = 0;
};

struct Global {
    uint32_t name = 0; // the registry numbers its globals from 1
    uint32_t version = 0;
};

void onGlobal(void *data, wl_registry *, uint32_t name, const char *interface, uint32_t version)
{
    if (std::strcmp(interface, org_kde_plasma_shell_interface.name) == 0)
        *static_cast<Global *>(data) = {name, version};
}

void onGlobalRemove(void *, wl_registry *, uint32_t) {}

const wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

QPlatformNativeInterface *native()
{
    return qGuiApp ? QGuiApplication::platformNativeInterface() : nullptr;
}

// Once per process, on an event queue of our own: a roundtrip on Qt's queue
// would run Qt's Wayland events from inside this call. Nothing the shell or
// its surfaces send matters to a panel, so the queue is never read again.
Shell bindShell()
{
    auto *display =
        native() ? static_cast<wl_display *>(native()->nativeResourceForIntegration("wl_display"))
                 : nullptr;
    if (display == nullptr)
        return {};
    wl_event_queue *queue = wl_display_create_queue(display);
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), queue);
    wl_registry *registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    Global global;
    wl_registry_add_listener(registry, &kRegistryListener, &global);
    wl_display_roundtrip_queue(display, queue);
    Shell shell;
    if (global.name != 0) {
        shell.version = std::min(global.version, kNewestVersion);
        shell.shell = static_cast<org_kde_plasma_shell *>(wl_registry_bind(
            registry, global.name, &org_kde_plasma_shell_interface, shell.version));
    }
    wl_registry_destroy(registry);
    return shell;
}

const Shell &shell()
{
    static const Shell bound = bindShell();
    return bound;
}

} // namespace

bool PlasmaShellPanel::offered()
{
    return shell().shell != nullptr;
}

void PlasmaShellPanel::attachSurface()
{
    if (m_surface != nullptr || m_window == nullptr || !offered())
        return;
    auto *surface =
        static_cast<wl_surface *>(native()->nativeResourceForWindow("surface", m_window));
    if (surface == nullptr)
        return;
    const Shell &bound = shell();
    m_surface = org_kde_plasma_shell_get_surface(bound.shell, surface);
    // An applet popup is what plasmashell's own tray popups are: kept above
    // other windows and on every desktop, yet it takes the keyboard and
    // drops like any window. Older KWins know it as a plain window, which
    // still goes where it is asked.
    if (bound.version >= ORG_KDE_PLASMA_SURFACE_ROLE_APPLETPOPUP_SINCE_VERSION)
        org_kde_plasma_surface_set_role(m_surface, ORG_KDE_PLASMA_SURFACE_ROLE_APPLETPOPUP);
    if (bound.version >= ORG_KDE_PLASMA_SURFACE_SET_SKIP_TASKBAR_SINCE_VERSION)
        org_kde_plasma_surface_set_skip_taskbar(m_surface, 1);
    if (bound.version >= ORG_KDE_PLASMA_SURFACE_SET_SKIP_SWITCHER_SINCE_VERSION)
        org_kde_plasma_surface_set_skip_switcher(m_surface, 1);
    org_kde_plasma_surface_set_position(m_surface, m_topLeft.x(), m_topLeft.y());
}

void PlasmaShellPanel::detachSurface()
{
    if (m_surface != nullptr) {
        org_kde_plasma_surface_destroy(m_surface);
        m_surface = nullptr;
    }
}

void PlasmaShellPanel::place(QWindow *window, const QPoint &topLeft)
{
    m_topLeft = topLeft;
    if (window == nullptr || !offered())
        return;
    follow(window);
    if (m_surface != nullptr)
        org_kde_plasma_surface_set_position(m_surface, topLeft.x(), topLeft.y());
    else
        attachSurface(); // the surface Qt made with the window, before it first maps
}

void PlasmaShellPanel::follow(QWindow *window)
{
    if (window != m_window) {
        release();
        m_window = window;
        // Qt's platform window goes, surface and all, when the window is
        // destroyed or its flags change.
        window->installEventFilter(this);
    }
    // Qt's Wayland window is a QObject that says when it makes and drops its
    // wl_surface; its class is private, its signals are not.
    auto *platformWindow = dynamic_cast<QObject *>(window->handle());
    if (platformWindow == m_platformWindow)
        return;
    if (m_platformWindow != nullptr)
        disconnect(m_platformWindow, nullptr, this, nullptr);
    detachSurface();
    m_platformWindow = platformWindow;
    if (platformWindow != nullptr) {
        connect(platformWindow, SIGNAL(wlSurfaceCreated()), this, SLOT(attachSurface()));
        connect(platformWindow, SIGNAL(wlSurfaceDestroyed()), this, SLOT(detachSurface()));
    }
}

#else

bool PlasmaShellPanel::offered()
{
    return false;
}

void PlasmaShellPanel::place(QWindow *, const QPoint &topLeft)
{
    m_topLeft = topLeft;
}

void PlasmaShellPanel::attachSurface() {}

void PlasmaShellPanel::detachSurface() {}

void PlasmaShellPanel::follow(QWindow *) {}

#endif

PlasmaShellPanel::PlasmaShellPanel(QObject *parent)
    : QObject(parent)
{
}

PlasmaShellPanel::~PlasmaShellPanel()
{
    release();
}

void PlasmaShellPanel::release()
{
    if (m_platformWindow != nullptr)
        disconnect(m_platformWindow, nullptr, this, nullptr);
    if (m_window != nullptr)
        m_window->removeEventFilter(this);
    detachSurface();
    m_window = nullptr;
    m_platformWindow = nullptr;
}

bool PlasmaShellPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::PlatformSurface &&
        static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
        // Before the wl_surface goes: a request on a plasma surface whose
        // surface is gone ends the connection.
        detachSurface();
        if (m_platformWindow != nullptr)
            disconnect(m_platformWindow, nullptr, this, nullptr);
        m_platformWindow = nullptr;
    }
    return QObject::eventFilter(watched, event);
}

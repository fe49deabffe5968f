// SPDX-License-Identifier: MIT
#include "layershellpanel.h"

#include <QEvent>
#include <QPlatformSurfaceEvent>
#include <QWindow>

#ifdef STASHLET_HAVE_LAYER_SHELL

#include <wayland-client.h>
// The protocol names a parameter `namespace`, a word C++ keeps for itself.
#define namespace name_space
#include "wlr-layer-shell-client-protocol.h"
#undef namespace

#include <QGuiApplication>
#include <QScreen>
#include <qpa/qplatformnativeinterface.h>
#include <qpa/qplatformwindow.h>

#include <cstring>

namespace {

// 4 brings the keyboard given on a click, not taken for good.
constexpr uint32_t kNeededVersion = 4;

struct Shell {
    wl_display *display = nullptr;
    wl_event_queue *queue = nullptr;
    zwlr_layer_shell_v1 *shell = nullptr;
};

struct Global {
    uint32_t name = 0; // the registry numbers its globals from 1
    uint32_t version = 0;
};

void onGlobal(void *data, wl_registry *, uint32_t name, const char *interface, uint32_t version)
{
    if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0)
        *static_cast<Global *>(data) = {name, version};
}

void onGlobalRemove(void *, wl_registry *, uint32_t) {}

const wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

void onConfigure(void *, zwlr_layer_surface_v1 *surface, uint32_t serial, uint32_t, uint32_t)
{
    // The size is the window's own (never zero), so only the ack is owed.
    zwlr_layer_surface_v1_ack_configure(surface, serial);
}

// The compositor drops the surface with its output; the next show makes one.
void onClosed(void *, zwlr_layer_surface_v1 *) {}

const zwlr_layer_surface_v1_listener kSurfaceListener{onConfigure, onClosed};

QPlatformNativeInterface *native()
{
    return qGuiApp ? QGuiApplication::platformNativeInterface() : nullptr;
}

// Once per process, on an event queue of our own: a roundtrip on Qt's queue
// would run Qt's Wayland events from inside this call, and the surfaces'
// configure events are read there too, when the program waits for them.
Shell bindShell()
{
    Shell shell;
    shell.display =
        native() ? static_cast<wl_display *>(native()->nativeResourceForIntegration("wl_display"))
                 : nullptr;
    if (shell.display == nullptr ||
        !qEnvironmentVariableIsSet("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT"))
        return {};
    shell.queue = wl_display_create_queue(shell.display);
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(shell.display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), shell.queue);
    wl_registry *registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    Global global;
    wl_registry_add_listener(registry, &kRegistryListener, &global);
    wl_display_roundtrip_queue(shell.display, shell.queue);
    if (global.version >= kNeededVersion)
        shell.shell = static_cast<zwlr_layer_shell_v1 *>(wl_registry_bind(
            registry, global.name, &zwlr_layer_shell_v1_interface, kNeededVersion));
    wl_registry_destroy(registry);
    return shell;
}

const Shell &shell()
{
    static const Shell bound = bindShell();
    return bound;
}

} // namespace

bool LayerShellPanel::offered()
{
    return shell().shell != nullptr;
}

void LayerShellPanel::attachSurface()
{
    if (m_surface != nullptr || m_window == nullptr || !offered())
        return;
    auto *surface =
        static_cast<wl_surface *>(native()->nativeResourceForWindow("surface", m_window));
    if (surface == nullptr)
        return;
    auto *output =
        m_screen != nullptr
            ? static_cast<wl_output *>(native()->nativeResourceForScreen("output", m_screen))
            : nullptr;
    const Shell &bound = shell();
    // The top layer is the bar's: above every window, so a drag from a file
    // manager finds the panel it is meant for.
    m_surface = zwlr_layer_shell_v1_get_layer_surface(
        bound.shell, surface, output, ZWLR_LAYER_SHELL_V1_LAYER_TOP, "qel-stashlet");
    zwlr_layer_surface_v1_add_listener(m_surface, &kSurfaceListener, nullptr);
    // Margins count from the screen's edges, as the placement does, not from
    // the bar's reserved zone.
    zwlr_layer_surface_v1_set_exclusive_zone(m_surface, -1);
    applyPlacement();
    // A layer surface must be configured before its first buffer: Qt draws
    // into this surface as soon as this slot returns.
    wl_surface_commit(surface);
    wl_display_roundtrip_queue(bound.display, bound.queue);
}

void LayerShellPanel::applyPlacement()
{
    const QRect screen = m_screen != nullptr ? m_screen->geometry() : m_where;
    // Anchored to the nearer edges, which keeps the panel by the bar it was
    // opened from whatever the screen's size does later.
    const bool top = m_where.center().y() < screen.center().y();
    const bool left = m_where.center().x() < screen.center().x();
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        m_surface, m_keyboardWanted ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_ON_DEMAND
                                    : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    zwlr_layer_surface_v1_set_size(m_surface, m_where.width(), m_where.height());
    zwlr_layer_surface_v1_set_anchor(
        m_surface,
        (top ? ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP : ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM) |
            (left ? ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT : ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT));
    zwlr_layer_surface_v1_set_margin(
        m_surface, m_where.top() - screen.top(), screen.right() - m_where.right(),
        screen.bottom() - m_where.bottom(), m_where.left() - screen.left());
}

void LayerShellPanel::detachSurface()
{
    if (m_surface != nullptr) {
        zwlr_layer_surface_v1_destroy(m_surface);
        m_surface = nullptr;
    }
}

void LayerShellPanel::place(QWindow *window, const QRect &where, QScreen *screen)
{
    m_where = where;
    m_screen = screen;
    // Each opening starts without the keyboard, as the file manager a drag
    // comes from keeps it.
    m_keyboardWanted = false;
    if (window == nullptr || !offered())
        return;
    follow(window);
    if (m_surface == nullptr) {
        attachSurface(); // the surface Qt made with the window, before it first maps
        return;
    }
    update();
}

void LayerShellPanel::setKeyboardWanted(bool wanted)
{
    if (wanted == m_keyboardWanted)
        return;
    m_keyboardWanted = wanted;
    if (m_surface != nullptr)
        update();
}

void LayerShellPanel::update()
{
    applyPlacement();
    auto *surface =
        static_cast<wl_surface *>(native()->nativeResourceForWindow("surface", m_window));
    if (surface != nullptr)
        wl_surface_commit(surface);
    wl_display_roundtrip_queue(shell().display, shell().queue);
}

void LayerShellPanel::follow(QWindow *window)
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

bool LayerShellPanel::offered()
{
    return false;
}

void LayerShellPanel::place(QWindow *, const QRect &where, QScreen *screen)
{
    m_where = where;
    m_screen = screen;
}

void LayerShellPanel::attachSurface() {}

void LayerShellPanel::detachSurface() {}

void LayerShellPanel::follow(QWindow *) {}

void LayerShellPanel::applyPlacement() {}

void LayerShellPanel::update() {}

void LayerShellPanel::setKeyboardWanted(bool wanted)
{
    m_keyboardWanted = wanted;
}

#endif

LayerShellPanel::LayerShellPanel(QObject *parent)
    : QObject(parent)
{
}

LayerShellPanel::~LayerShellPanel()
{
    release();
}

void LayerShellPanel::release()
{
    if (m_platformWindow != nullptr)
        disconnect(m_platformWindow, nullptr, this, nullptr);
    if (m_window != nullptr)
        m_window->removeEventFilter(this);
    detachSurface();
    m_window = nullptr;
    m_platformWindow = nullptr;
}

bool LayerShellPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::PlatformSurface &&
        static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
        // Before the wl_surface goes: a request on a layer surface whose
        // surface is gone ends the connection.
        detachSurface();
        if (m_platformWindow != nullptr)
            disconnect(m_platformWindow, nullptr, this, nullptr);
        m_platformWindow = nullptr;
    }
    return QObject::eventFilter(watched, event);
}

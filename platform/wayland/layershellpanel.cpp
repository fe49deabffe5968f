// SPDX-License-Identifier: MIT
#include "layershellpanel.h"

#include <QScreen>

#ifdef STASHLET_HAVE_LAYER_SHELL

#include "waylandglobal.h"
// The protocol names a parameter `namespace`, a word C++ keeps for itself.
#define namespace name_space
#include "wlr-layer-shell-client-protocol.h"
#undef namespace
// After its header, whose extern declarations give the interface tables the
// external linkage C gives them and C++ would not (const at namespace scope).
#include "wlr-layer-shell-protocol.c"

// The layer shell names xdg-shell's popup for a request the program never
// sends (a popup of the panel); Qt keeps its own table private, so the name
// is all this one carries.
const wl_interface xdg_popup_interface = {"xdg_popup", 6, 0, nullptr, 0, nullptr};

namespace {

// 4 brings the keyboard given on a click, not taken for good.
constexpr uint32_t kNeededVersion = 4;

// The size is the window's own (never zero), so only the ack is owed. The
// compositor drops the surface with its output; the next show makes one.
const zwlr_layer_surface_v1_listener kSurfaceListener{
    [](void *, zwlr_layer_surface_v1 *surface, uint32_t serial, uint32_t, uint32_t) {
        zwlr_layer_surface_v1_ack_configure(surface, serial);
    },
    [](void *, zwlr_layer_surface_v1 *) {}};

// The surfaces' configure events are read on the shell's own queue, when the
// program waits for them.
const waylandglobal::Bound &shell()
{
    static const waylandglobal::Bound bound =
        qEnvironmentVariableIsSet("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT")
            ? waylandglobal::bind(zwlr_layer_shell_v1_interface, kNeededVersion, kNeededVersion)
            : waylandglobal::Bound{};
    return bound;
}

} // namespace

bool LayerShellPanel::offered()
{
    return shell().proxy != nullptr;
}

void LayerShellPanel::attach()
{
    auto *output = m_screen != nullptr
                       ? static_cast<wl_output *>(
                             waylandglobal::native()->nativeResourceForScreen("output", m_screen))
                       : nullptr;
    // The top layer is the bar's: above every window, so a drag from a file
    // manager finds the panel it is meant for.
    auto *panel = zwlr_layer_shell_v1_get_layer_surface(
        static_cast<zwlr_layer_shell_v1 *>(shell().proxy), static_cast<wl_surface *>(surface()),
        output, ZWLR_LAYER_SHELL_V1_LAYER_TOP, "qel-stashlet");
    setRole(panel, [](void *role) {
        zwlr_layer_surface_v1_destroy(static_cast<zwlr_layer_surface_v1 *>(role));
    });
    zwlr_layer_surface_v1_add_listener(panel, &kSurfaceListener, nullptr);
    // Margins count from the screen's edges, as the placement does, not from
    // the bar's reserved zone.
    zwlr_layer_surface_v1_set_exclusive_zone(panel, -1);
    // A layer surface must be configured before its first buffer: Qt draws
    // into this surface as soon as this returns.
    update();
}

void LayerShellPanel::update()
{
    auto *panel = static_cast<zwlr_layer_surface_v1 *>(role());
    const QRect screen = m_screen != nullptr ? m_screen->geometry() : m_where;
    // Anchored to the nearer edges, which keeps the panel by the bar it was
    // opened from whatever the screen's size does later.
    const bool top = m_where.center().y() < screen.center().y();
    const bool left = m_where.center().x() < screen.center().x();
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        panel, m_keyboardWanted ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_ON_DEMAND
                                : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    zwlr_layer_surface_v1_set_size(panel, m_where.width(), m_where.height());
    zwlr_layer_surface_v1_set_anchor(
        panel, (top ? ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP : ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM) |
                   (left ? ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT : ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT));
    zwlr_layer_surface_v1_set_margin(
        panel, m_where.top() - screen.top(), screen.right() - m_where.right(),
        screen.bottom() - m_where.bottom(), m_where.left() - screen.left());
    if (auto *wlSurface = static_cast<wl_surface *>(surface()))
        wl_surface_commit(wlSurface);
    wl_display_roundtrip_queue(shell().display, shell().queue);
}

#else

bool LayerShellPanel::offered()
{
    return false;
}

void LayerShellPanel::attach() {}

void LayerShellPanel::update() {}

#endif

void LayerShellPanel::place(QWindow *window, const QRect &where, QScreen *screen)
{
    m_where = where;
    m_screen = screen;
    // Each opening starts without the keyboard, as the file manager a drag
    // comes from keeps it.
    m_keyboardWanted = false;
    if (window == nullptr || !offered())
        return;
    const bool shown = role() != nullptr;
    follow(window); // makes the role, placed, on a surface that has none
    if (shown && role() != nullptr)
        update();
}

void LayerShellPanel::setKeyboardWanted(bool wanted)
{
    if (wanted == m_keyboardWanted)
        return;
    m_keyboardWanted = wanted;
    if (role() != nullptr)
        update();
}

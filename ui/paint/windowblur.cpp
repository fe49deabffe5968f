// SPDX-License-Identifier: MIT
#include "windowblur.h"

#include <QGuiApplication>
#include <QRect>
#include <QWidget>

namespace {
// A Wayland compositor always composites. KWin blurs there only for a
// window that asks on its own wl_surface, which Qt 6.4 hands out through
// its private interface alone: the request cannot be made, so no blur is
// claimed and the material stays opaque.
windowblur::Support waylandOrNothing()
{
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    return {wayland, false};
}
} // namespace

#ifdef STASHLET_HAVE_XCB
#include <xcb/xcb.h>

#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_connection_t *x11Connection()
{
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name, bool onlyIfExists = false)
{
    const auto cookie = xcb_intern_atom(connection, onlyIfExists ? 1 : 0,
                                        static_cast<uint16_t>(std::strlen(name)), name);
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The screen Qt opened: DISPLAY is host:display.screen, the screen 0 when
// left out.
int screenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon + 1);
    return dot < 0 ? 0 : display.mid(dot + 1).toInt();
}

xcb_window_t rootWindow(xcb_connection_t *connection, int screen)
{
    auto it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; it.rem > 0 && screen > 0; --screen)
        xcb_screen_next(&it);
    return it.rem > 0 ? it.data->root : xcb_window_t(XCB_WINDOW_NONE);
}

bool selectionOwned(xcb_connection_t *connection, const QByteArray &name)
{
    const xcb_atom_t selection = atom(connection, name.constData());
    if (selection == XCB_ATOM_NONE)
        return false;
    const Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr));
    return reply && reply->owner != XCB_WINDOW_NONE;
}

// KWin's blur effect names its property in _NET_SUPPORTED and keeps it on
// the root window while it is loaded; either counts.
bool blurAnnounced(xcb_connection_t *connection, xcb_window_t root)
{
    const xcb_atom_t blur = atom(connection, "_KDE_NET_WM_BLUR_BEHIND_REGION", true);
    if (blur == XCB_ATOM_NONE || root == XCB_WINDOW_NONE)
        return false;
    const auto contains = [blur](const xcb_atom_t *atoms, int count) {
        return std::find(atoms, atoms + count, blur) != atoms + count;
    };
    const Reply<xcb_get_property_reply_t> supported(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, root, atom(connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 0,
                         4096),
        nullptr));
    if (supported && supported->format == 32 &&
        contains(static_cast<const xcb_atom_t *>(xcb_get_property_value(supported.get())),
                 xcb_get_property_value_length(supported.get()) / 4))
        return true;
    const Reply<xcb_list_properties_reply_t> listed(
        xcb_list_properties_reply(connection, xcb_list_properties(connection, root), nullptr));
    return listed && contains(xcb_list_properties_atoms(listed.get()),
                              xcb_list_properties_atoms_length(listed.get()));
}

} // namespace

windowblur::Support windowblur::probe()
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return waylandOrNothing();
    const int screen = screenNumber();
    // The EWMH way: a compositing manager owns this selection for its screen.
    const bool compositing =
        selectionOwned(connection, "_NET_WM_CM_S" + QByteArray::number(screen));
    return {compositing, compositing && blurAnnounced(connection, rootWindow(connection, screen))};
}

void windowblur::requestBlurBehind(QWidget *window, const QRect &region)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection || !window)
        return;
    const xcb_atom_t property = atom(connection, "_KDE_NET_WM_BLUR_BEHIND_REGION");
    if (property == XCB_ATOM_NONE)
        return;
    const std::array<uint32_t, 4> rect{uint32_t(region.x()), uint32_t(region.y()),
                                       uint32_t(region.width()), uint32_t(region.height())};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window->winId()), property, XCB_ATOM_CARDINAL, 32,
                        rect.size(), rect.data());
    xcb_flush(connection);
}

#else

windowblur::Support windowblur::probe()
{
    return waylandOrNothing();
}

void windowblur::requestBlurBehind(QWidget *, const QRect &) {}

#endif

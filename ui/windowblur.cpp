// SPDX-License-Identifier: MIT
#include "windowblur.h"

#include <QGuiApplication>
#include <QRect>
#include <QWidget>

#ifdef STASHLET_HAVE_XCB
#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <cstring>

namespace {

xcb_connection_t *x11Connection()
{
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const auto cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

} // namespace

bool windowblur::compositorRunning()
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return QGuiApplication::platformName() == QLatin1String("wayland");
    // The EWMH way: a compositing manager owns this selection for its screen.
    const xcb_atom_t selection = atom(connection, "_NET_WM_CM_S0");
    if (selection == XCB_ATOM_NONE)
        return false;
    const auto cookie = xcb_get_selection_owner(connection, selection);
    xcb_get_selection_owner_reply_t *reply =
        xcb_get_selection_owner_reply(connection, cookie, nullptr);
    const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
    std::free(reply);
    return owned;
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

bool windowblur::compositorRunning()
{
    return QGuiApplication::platformName() == QLatin1String("wayland");
}

void windowblur::requestBlurBehind(QWidget *, const QRect &) {}

#endif

// SPDX-License-Identifier: MIT
#pragma once

// Only where xcb was found (STASHLET_HAVE_XCB).
#include <xcb/xcb.h>

#include <QByteArray>
#include <QGuiApplication>
#include <QScopedPointer>

#include <cstring>

namespace xcbreply {

// xcb hands its replies over to be released with free().
template <typename T> using Reply = QScopedPointer<T, QScopedPointerPodDeleter>;

// The connection Qt's windows are on and its event loop reads; none off X11.
inline xcb_connection_t *connection()
{
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// `create`: make the atom if no client has yet, for a name whose owner may
// only come later.
inline xcb_atom_t atom(xcb_connection_t *connection, const char *name, bool create = false)
{
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, create ? 0 : 1, uint16_t(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The screen Qt opened: DISPLAY is host:display.screen, 0 when left out.
inline int screenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon + 1);
    return dot < 0 ? 0 : display.mid(dot + 1).toInt();
}

inline xcb_window_t rootWindow(xcb_connection_t *connection)
{
    auto it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int screen = screenNumber(); it.rem > 0 && screen > 0; --screen) {
        xcb_screen_next(&it);
    }
    return it.rem > 0 ? it.data->root : xcb_window_t(XCB_WINDOW_NONE);
}

inline xcb_window_t ownerOf(xcb_connection_t *connection, xcb_atom_t selection)
{
    if (selection == XCB_ATOM_NONE) {
        return XCB_WINDOW_NONE;
    }
    const Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr));
    return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

} // namespace xcbreply

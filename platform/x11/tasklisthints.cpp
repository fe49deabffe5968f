// SPDX-License-Identifier: MIT
#include "tasklisthints.h"

#ifdef STASHLET_HAVE_XCB

#include "xcbreply.h"

#include <QWindow>

#include <algorithm>
#include <vector>

void tasklisthints::skipTaskLists(QWindow *window)
{
    // Qt's offscreen platform answers as X11 too, without a connection.
    xcb_connection_t *connection = xcbreply::connection();
    if (connection == nullptr || window == nullptr)
        return;
    const auto id = xcb_window_t(window->winId());
    const xcb_atom_t state = xcbreply::atom(connection, "_NET_WM_STATE", true);
    // Qt has no window flag for these. It writes its own states (above, stays
    // on top) when it maps the window, merged into what it finds, so ours are
    // merged into Qt's here the same way and both survive.
    std::vector<xcb_atom_t> states;
    const xcbreply::Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr));
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
        states.assign(atoms, atoms + xcb_get_property_value_length(reply.get()) / 4);
    }
    for (const char *name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                             "_KDE_NET_WM_STATE_SKIP_SWITCHER"}) {
        const xcb_atom_t skip = xcbreply::atom(connection, name, true);
        if (std::find(states.begin(), states.end(), skip) == states.end())
            states.push_back(skip);
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        uint32_t(states.size()), states.data());
    xcb_flush(connection);
}

#else

void tasklisthints::skipTaskLists(QWindow *) {}

#endif

// SPDX-License-Identifier: MIT
#include "windowblur.h"

#include "displayserver.h"

#include <QRect>

#ifdef STASHLET_HAVE_XCB
#include "xcbreply.h"

#include <algorithm>
#include <array>

using xcbreply::atom;
using xcbreply::Reply;

namespace {

// KWin's blur effect names its property in _NET_SUPPORTED and keeps it on
// the root window while it is loaded; either counts.
bool blurAnnounced(xcb_connection_t *connection, xcb_window_t root)
{
    const xcb_atom_t blur = atom(connection, "_KDE_NET_WM_BLUR_BEHIND_REGION");
    if (blur == XCB_ATOM_NONE || root == XCB_WINDOW_NONE)
        return false;
    const auto contains = [blur](const xcb_atom_t *atoms, int count) {
        return std::find(atoms, atoms + count, blur) != atoms + count;
    };
    const Reply<xcb_get_property_reply_t> supported(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, root, atom(connection, "_NET_SUPPORTED", true),
                         XCB_ATOM_ATOM, 0, 4096),
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
#endif

windowblur::Support windowblur::probe()
{
#ifdef STASHLET_HAVE_XCB
    if (xcb_connection_t *connection = xcbreply::connection()) {
        // The EWMH way: a compositing manager owns this selection for its screen.
        const QByteArray selection = "_NET_WM_CM_S" + QByteArray::number(xcbreply::screenNumber());
        const bool compositing =
            xcbreply::ownerOf(connection, atom(connection, selection.constData())) !=
            XCB_WINDOW_NONE;
        return {compositing,
                compositing && blurAnnounced(connection, xcbreply::rootWindow(connection))};
    }
#endif
    // A Wayland compositor always composites. KWin blurs there only for a
    // window that asks on its own wl_surface, which Qt 6.4 hands out through
    // its private interface alone: the request cannot be made, so no blur is
    // claimed and the material stays opaque.
    return {displayserver::isWayland(), false};
}

void windowblur::requestBlurBehind([[maybe_unused]] quintptr window,
                                   [[maybe_unused]] const QRect &region)
{
#ifdef STASHLET_HAVE_XCB
    xcb_connection_t *connection = xcbreply::connection();
    if (!connection || !window)
        return;
    const xcb_atom_t property = atom(connection, "_KDE_NET_WM_BLUR_BEHIND_REGION", true);
    if (property == XCB_ATOM_NONE)
        return;
    const std::array<uint32_t, 4> rect{uint32_t(region.x()), uint32_t(region.y()),
                                       uint32_t(region.width()), uint32_t(region.height())};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window),
                        property, XCB_ATOM_CARDINAL, 32, rect.size(), rect.data());
    xcb_flush(connection);
#endif
}

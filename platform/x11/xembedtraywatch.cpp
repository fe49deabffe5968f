// SPDX-License-Identifier: MIT
#include "xembedtraywatch.h"

#include <QCoreApplication>

#ifdef STASHLET_HAVE_XCB
#include "xcbreply.h"

using xcbreply::Reply;
#endif

XembedTrayWatch::XembedTrayWatch(QObject *parent)
    : QObject(parent)
{
#ifdef STASHLET_HAVE_XCB
    m_connection = xcbreply::connection();
    if (m_connection == nullptr) {
        return;
    }
    m_root = xcbreply::rootWindow(m_connection);
    m_selection = xcbreply::atom(m_connection, "_NET_SYSTEM_TRAY_S0", true);
    m_managerMessage = xcbreply::atom(m_connection, "MANAGER", true);
    // A tray announces itself with a MANAGER message to the root window's
    // structure listeners; Qt may not listen there until it looks for a tray.
    const Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, m_root), nullptr));
    if (attributes) {
        const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    }
    locateManager();
    QCoreApplication::instance()->installNativeEventFilter(this);
#endif
}

XembedTrayWatch::~XembedTrayWatch()
{
    if (m_connection != nullptr && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void XembedTrayWatch::locateManager()
{
#ifdef STASHLET_HAVE_XCB
    m_manager = xcbreply::ownerOf(m_connection, m_selection);
    if (m_manager != 0) {
        // Its end comes as a DestroyNotify, to those listening on it.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_manager, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
    }
#endif
}

std::optional<QColor> XembedTrayWatch::announcedForeground()
{
#ifdef STASHLET_HAVE_XCB
    xcb_connection_t *connection = xcbreply::connection();
    if (connection == nullptr) {
        return std::nullopt;
    }
    const xcb_window_t manager =
        xcbreply::ownerOf(connection, xcbreply::atom(connection, "_NET_SYSTEM_TRAY_S0"));
    const xcb_atom_t colours = xcbreply::atom(connection, "_NET_SYSTEM_TRAY_COLORS");
    if (manager == XCB_WINDOW_NONE || colours == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    const Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, manager, colours, XCB_ATOM_CARDINAL, 0, 12),
        nullptr));
    // Foreground, error, warning, success: three 16-bit channels each.
    if (!property || property->format != 32 || property->value_len < 12) {
        return std::nullopt;
    }
    const auto *rgb = static_cast<const uint32_t *>(xcb_get_property_value(property.get()));
    return QColor::fromRgba64(quint16(rgb[0]), quint16(rgb[1]), quint16(rgb[2]));
#else
    return std::nullopt;
#endif
}

bool XembedTrayWatch::nativeEventFilter([[maybe_unused]] const QByteArray &eventType,
                                        [[maybe_unused]] void *message, qintptr *)
{
#ifdef STASHLET_HAVE_XCB
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const std::uint32_t before = m_manager;
    switch (event->response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
        const auto *client = reinterpret_cast<const xcb_client_message_event_t *>(event);
        if (client->window == m_root && client->type == m_managerMessage && client->format == 32 &&
            client->data.data32[1] == m_selection) {
            locateManager();
        }
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto *destroyed = reinterpret_cast<const xcb_destroy_notify_event_t *>(event);
        if (m_manager != 0 && destroyed->window == m_manager) {
            // A replacement may already hold the selection.
            locateManager();
        }
        break;
    }
    default:
        return false;
    }
    if (m_manager != before) {
        Q_EMIT trayChanged(trayPresent());
    }
#endif
    return false;
}

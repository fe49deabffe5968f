// SPDX-License-Identifier: MIT
#include "xembedtraywatch.h"

#include <QCoreApplication>
#include <QGuiApplication>

#ifdef STASHLET_HAVE_XCB
#include "xcbreply.h"

using xcbreply::Reply;
#endif

XembedTrayWatch::XembedTrayWatch(QObject *parent)
    : QObject(parent)
{
#ifdef STASHLET_HAVE_XCB
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    auto *connection = x11 ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return;
    }
    m_connection = connection;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    m_root = screen->root;
    m_selection = xcbreply::atom(connection, "_NET_SYSTEM_TRAY_S0", true);
    m_managerMessage = xcbreply::atom(connection, "MANAGER", true);
    // A tray announces itself with a MANAGER message to the root window's
    // structure listeners; Qt may not listen there until it looks for a tray.
    const Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, m_root), nullptr));
    if (attributes) {
        const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection, m_root, XCB_CW_EVENT_MASK, &mask);
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
    auto *connection = static_cast<xcb_connection_t *>(m_connection);
    const Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, m_selection), nullptr));
    m_manager = owner ? owner->owner : 0;
    if (m_manager != 0) {
        // Its end comes as a DestroyNotify, to those listening on it.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection, m_manager, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection);
    }
#endif
}

bool XembedTrayWatch::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
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
#else
    Q_UNUSED(eventType)
    Q_UNUSED(message)
#endif
    return false;
}

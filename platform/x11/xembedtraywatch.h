// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractNativeEventFilter>
#include <QColor>
#include <QObject>

#include <cstdint>
#include <optional>

struct xcb_connection_t;

// Whether an XEmbed tray (the X11 system tray manager) is on the screen, and
// when one comes or goes. Qt's tray icon, once shown, docks by itself into a
// tray that starts or restarts later, but tells nobody; the window that stands
// in for a missing tray has to know. Never present off X11.
class XembedTrayWatch final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit XembedTrayWatch(QObject *parent = nullptr);
    ~XembedTrayWatch() override;

    bool onX11() const { return m_connection != nullptr; }
    bool trayPresent() const { return m_manager != 0; }

    // The foreground the tray manager announces in _NET_SYSTEM_TRAY_COLORS,
    // when it does.
    static std::optional<QColor> announcedForeground();

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

Q_SIGNALS:
    // A tray came, went, or was replaced by another.
    void trayChanged(bool present);

private:
    void locateManager();

    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_selection = 0;
    std::uint32_t m_managerMessage = 0;
    std::uint32_t m_manager = 0;
};

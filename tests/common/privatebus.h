// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

// A session bus of the test's own, so watchers can come and go.
class PrivateBus final {
public:
    PrivateBus()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (m_daemon.waitForReadyRead(10000)) {
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        }
    }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool isUp() const { return !m_address.isEmpty(); }
    // For DBUS_SESSION_BUS_ADDRESS, as a session hands it to its programs.
    const QString &address() const { return m_address; }
    QDBusConnection connect(const QString &name) const
    {
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QProcess m_daemon;
    QString m_address;
};

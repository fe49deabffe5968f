// SPDX-License-Identifier: MIT
#include "dbustypes.h"
#include "popover.h"
#include "statusbarcontroller.h"
#include "statusnotifieritem.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QProcess>
#include <QtTest>

// Stands in for a panel's StatusNotifierWatcher: it records what registers.
class FakeWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")

public:
    QStringList registered;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service) { registered.append(service); }
};

// The item against a private session bus, a fake watcher on it, and calls
// made the way a tray host makes them.
class TestStatusNotifierItem final : public QObject {
    Q_OBJECT

    QProcess m_daemon;
    QString m_address;

    QDBusMessage callItem(const QString &service, const QString &path, const QString &interface,
                          const QString &method, const QVariantList &arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
        call.setArguments(arguments);
        return host().call(call, QDBus::BlockWithGui);
    }
    QDBusConnection host() const { return QDBusConnection(QStringLiteral("host")); }
    QDBusConnection app() const { return QDBusConnection(QStringLiteral("app")); }

    void startWatcher(FakeWatcher &watcher)
    {
        QVERIFY(host().registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                      QDBusConnection::ExportAllSlots));
        QVERIFY(host().registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    }
    void stopWatcher()
    {
        host().unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        host().unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address")});
        QVERIFY(m_daemon.waitForReadyRead(10000));
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QVERIFY(QDBusConnection::connectToBus(m_address, QStringLiteral("host")).isConnected());
        QVERIFY(QDBusConnection::connectToBus(m_address, QStringLiteral("app")).isConnected());
        registerDBusTypes();
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("host"));
        QDBusConnection::disconnectFromBus(QStringLiteral("app"));
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    void activateOpensThePanelAtTheHostsPoint()
    {
        FakeWatcher watcher;
        startWatcher(watcher);
        Popover popover;
        popover.setContentSize(QSize(320, 420));
        StatusBarController controller(popover, app());
        QVERIFY(controller.xembedItem() == nullptr);
        const QString service = controller.notifierItem()->serviceName();
        QTRY_COMPARE(watcher.registered, QStringList{service});

        // A bottom bar's left end: the panel opens above, pulled in from the
        // edge of the offscreen screen (800 x 600).
        QDBusMessage reply = callItem(service, QStringLiteral("/StatusNotifierItem"),
                                      QStringLiteral("org.kde.StatusNotifierItem"),
                                      QStringLiteral("Activate"), {5, 590});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY(popover.isShown());
        QCOMPARE(popover.geometry(), QRect(0, 166, 320, 420));

        // The host's menu says what a click would do now, and does it.
        reply =
            callItem(service, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
                     QStringLiteral("GetLayout"), {0, -1, QStringList()});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        DBusMenuLayoutItem layout;
        reply.arguments().value(1).value<QDBusArgument>() >> layout;
        QStringList labels;
        for (const DBusMenuLayoutItem &child : layout.children) {
            labels.append(child.properties.value(QStringLiteral("label")).toString());
        }
        QCOMPARE(labels, (QStringList{QStringLiteral("Nascondi pannello"), QString(),
                                      QStringLiteral("Esci")}));
        // As libdbusmenu (waybar) sends it: a group of one.
        const DBusMenuEventList clicks{{1, QStringLiteral("clicked"), QDBusVariant(0), 0u}};
        reply =
            callItem(service, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
                     QStringLiteral("EventGroup"), {QVariant::fromValue(clicks)});
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        QTRY_VERIFY(!popover.isShown());

        // A watcher that restarts has forgotten the item: it registers again.
        stopWatcher();
        startWatcher(watcher);
        QTRY_COMPARE(watcher.registered, (QStringList{service, service}));
        stopWatcher();
    }
};

QTEST_MAIN(TestStatusNotifierItem)
#include "tst_statusnotifieritem.moc"

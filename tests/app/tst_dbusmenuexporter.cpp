// SPDX-License-Identifier: MIT
#include "dbusmenuexporter.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusServer>
#include <QMenu>
#include <QtTest>

#include <climits>

class TestDBusMenuExporter final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A host asks for any property of any item, set or not: every call gets
    // an answer, the dbusmenu default for a property left unset, an error for
    // an item or a property that does not exist. A call left unanswered keeps
    // the host waiting its whole timeout.
    void everyPropertyCallIsAnswered_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("expected"); // invalid: an error

        QTest::newRow("label") << 1 << QStringLiteral("label") << QVariant(QStringLiteral("Show"));
        QTest::newRow("enabled, unset") << 1 << QStringLiteral("enabled") << QVariant(true);
        QTest::newRow("enabled, set") << 2 << QStringLiteral("enabled") << QVariant(false);
        QTest::newRow("visible, unset") << 1 << QStringLiteral("visible") << QVariant(true);
        QTest::newRow("icon-name") << 1 << QStringLiteral("icon-name") << QVariant(QString());
        QTest::newRow("type") << 1 << QStringLiteral("type")
                              << QVariant(QStringLiteral("standard"));
        QTest::newRow("toggle-state") << 1 << QStringLiteral("toggle-state") << QVariant(-1);
        QTest::newRow("root's label") << 0 << QStringLiteral("label") << QVariant(QString());
        QTest::newRow("unknown property") << 1 << QStringLiteral("no-such") << QVariant();
        QTest::newRow("empty name") << 1 << QString() << QVariant();
        QTest::newRow("unknown item") << 99 << QStringLiteral("label") << QVariant();
        QTest::newRow("negative item") << INT_MIN << QStringLiteral("enabled") << QVariant();
    }
    void everyPropertyCallIsAnswered()
    {
        QFETCH(int, id);
        QFETCH(QString, name);
        QFETCH(QVariant, expected);

        QMenu menu;
        menu.addAction(QStringLiteral("Show"));
        menu.addAction(QStringLiteral("Quit"))->setEnabled(false);
        DBusMenuExporter exporter(menu);
        // A connection between two peers, no bus daemon needed.
        QDBusServer server;
        QVERIFY(server.isConnected());
        connect(&server, &QDBusServer::newConnection, this,
                [&exporter](QDBusConnection connection) {
                    connection.registerObject(QStringLiteral("/MenuBar"), &exporter,
                                              QDBusConnection::ExportAllContents);
                });
        const QString name0 = QStringLiteral("host");
        QDBusConnection host = QDBusConnection::connectToPeer(server.address(), name0);
        QVERIFY(host.isConnected());

        QDBusMessage call = QDBusMessage::createMethodCall(QString(), QStringLiteral("/MenuBar"),
                                                           QStringLiteral("com.canonical.dbusmenu"),
                                                           QStringLiteral("GetProperty"));
        call << id << name;
        QDBusPendingReply<QDBusVariant> reply = host.asyncCall(call, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(reply.isFinished(), 5000);
        QDBusConnection::disconnectFromPeer(name0);
        if (!expected.isValid()) {
            QVERIFY(reply.isError());
            QCOMPARE(reply.error().type(), QDBusError::InvalidArgs);
            return;
        }
        QVERIFY2(!reply.isError(), qPrintable(reply.error().message()));
        QCOMPARE(reply.value().variant(), expected);
    }
};

QTEST_MAIN(TestDBusMenuExporter)
#include "tst_dbusmenuexporter.moc"

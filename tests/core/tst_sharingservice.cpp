// SPDX-License-Identifier: MIT
#include "privatebus.h"
#include "shelftestenv.h"
#include "skiporfail.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QtTest>

namespace fs = std::filesystem;

namespace {

const QString kGsConnect = QStringLiteral("org.gnome.Shell.Extensions.GSConnect");

// Stands in for GSConnect's service on the session bus: a GApplication whose
// Open shows its device chooser for the URIs given, or one that fails.
class FakeGsConnect final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    FakeGsConnect(const PrivateBus &bus, bool opens)
        : m_bus(bus.connect(QStringLiteral("gsconnect")))
        , m_opens(opens)
    {
        m_bus.registerObject(QStringLiteral("/org/gnome/Shell/Extensions/GSConnect"), this,
                             QDBusConnection::ExportAllSlots);
        m_bus.registerService(kGsConnect);
    }
    ~FakeGsConnect() override
    {
        m_bus.unregisterService(kGsConnect);
        QDBusConnection::disconnectFromBus(QStringLiteral("gsconnect"));
    }

    QStringList opened;

public Q_SLOTS:
    void Open(const QStringList &uris, const QString &, const QVariantMap &)
    {
        if (!m_opens) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("no devices"));
            return;
        }
        opened += uris;
    }

private:
    QDBusConnection m_bus;
    bool m_opens;
};

} // namespace

class TestSharingService final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Looked up at each share, so a service installed while the program runs
    // is found; one that refuses is as good as none; KDE Connect comes first
    // where both are there. The name is not UTF-8 and holds a percent sign.
    void eachShareGoesToTheServiceThereNow()
    {
        PrivateBus bus;
        if (!bus.isUp()) {
            STASHLET_SKIP_UNLESS_CI("dbus-daemon did not start");
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
        TestShelf shelf;
        qputenv("PATH", QByteArray::fromStdString((shelf.env.root() / "nobin").native()));
        const TempFile file = shelf.stage("caf\xe9 100%.txt");
        const QString notAvailable = QStringLiteral("AirDrop sharing service is not available.");
        {
            FakeGsConnect failing(bus, false);
            shelf.manager->shareViaAirDrop(file);
            settle(shelf.pool);
            QTRY_COMPARE(shelf.env.lines(), QStringList{notAvailable});
        }
        shelf.manager->shareViaAirDrop(file);
        settle(shelf.pool);
        QCOMPARE(shelf.env.lines(), QStringList(2, notAvailable));

        FakeGsConnect gsconnect(bus, true);
        shelf.manager->shareViaAirDrop(file);
        settle(shelf.pool);
        QTRY_COMPARE(gsconnect.opened.size(), 1);
        // Decoded to bytes, as GIO decodes it.
        QCOMPARE(QByteArray::fromPercentEncoding(gsconnect.opened.at(0).toLatin1()),
                 "file://" + QByteArray::fromStdString(file.path().native()));

        const fs::path received = shelf.env.fakeShareHandler();
        shelf.manager->shareViaAirDrop(file);
        settle(shelf.pool);
        QTRY_VERIFY_WITH_TIMEOUT(fs::exists(received), 10'000);
        QCOMPARE(readAll(received), file.path().native());
        QTest::qWait(200); // a stray Open would have arrived by now
        QCOMPARE(gsconnect.opened.size(), 1);
        QCOMPARE(shelf.env.lines().size(), 2);
        QCOMPARE(shelf.manager->tempFiles().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSharingService)
#include "tst_sharingservice.moc"

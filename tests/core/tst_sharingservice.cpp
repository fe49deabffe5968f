// SPDX-License-Identifier: MIT
#include "privatebus.h"
#include "shelftestenv.h"
#include "skiporfail.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QtTest>

#include <memory>

namespace fs = std::filesystem;

namespace {

const QString kGsConnect = QStringLiteral("org.gnome.Shell.Extensions.GSConnect");

// Stands in for GSConnect's service on the session bus: a GApplication whose
// Open shows its device chooser for the URIs given, or one that fails.
class FakeGsConnect final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    enum class Answer { Opens, Fails };

    FakeGsConnect(const PrivateBus &bus, Answer answer)
        : m_bus(bus.connect(QStringLiteral("gsconnect")))
        , m_answer(answer)
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
        if (m_answer == Answer::Fails) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("no devices"));
            return;
        }
        opened += uris;
    }

private:
    QDBusConnection m_bus;
    Answer m_answer;
};

} // namespace

class TestSharingService final : public QObject {
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_bus;

private Q_SLOTS:
    void initTestCase()
    {
        m_bus = std::make_unique<PrivateBus>();
        if (!m_bus->isUp()) {
            STASHLET_SKIP_UNLESS_CI("dbus-daemon did not start");
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toUtf8());
    }

    // Looked up at each share, so a service installed while the program
    // runs is found; one that refuses is as good as none. The name is not
    // UTF-8 and holds a percent sign.
    void withoutKdeConnectGsConnectsChooserGetsTheStagedFileOnceItIsThere()
    {
        TestShelf shelf;
        qputenv("PATH", QByteArray::fromStdString((shelf.env.root() / "nobin").native()));
        const TempFile file = shelf.stage("caf\xe9 100%.txt");
        const QString notAvailable = QStringLiteral("AirDrop sharing service is not available.");
        {
            FakeGsConnect failing(*m_bus, FakeGsConnect::Answer::Fails);
            shelf.manager->shareViaAirDrop(file);
            settle(shelf.pool);
            QTRY_COMPARE(shelf.env.lines(), QStringList{notAvailable});
        }
        shelf.manager->shareViaAirDrop(file);
        settle(shelf.pool);
        QCOMPARE(shelf.env.lines(), QStringList(2, notAvailable));

        FakeGsConnect gsconnect(*m_bus, FakeGsConnect::Answer::Opens);
        shelf.manager->shareViaAirDrop(file);
        settle(shelf.pool);
        QTRY_COMPARE(gsconnect.opened.size(), 1);
        // Decoded to bytes, as GIO decodes it.
        QCOMPARE(QByteArray::fromPercentEncoding(gsconnect.opened.at(0).toLatin1()),
                 "file://" + QByteArray::fromStdString(file.path().native()));
        QCOMPARE(shelf.env.lines().size(), 2);
        QCOMPARE(shelf.manager->tempFiles().size(), 1);
    }

    void kdeConnectComesFirstWhereBothAreThere()
    {
        TestShelf shelf;
        const fs::path received = shelf.env.fakeShareHandler();
        const TempFile file = shelf.stage("a.txt");
        FakeGsConnect gsconnect(*m_bus, FakeGsConnect::Answer::Opens);
        shelf.manager->shareViaAirDrop(file);
        settle(shelf.pool);
        QTRY_VERIFY_WITH_TIMEOUT(fs::exists(received), 10'000);
        QCOMPARE(readAll(received), file.path().native());
        QTest::qWait(200); // a stray Open would have arrived by now
        QVERIFY(gsconnect.opened.isEmpty());
        QVERIFY(shelf.env.lines().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSharingService)
#include "tst_sharingservice.moc"

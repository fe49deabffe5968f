// SPDX-License-Identifier: MIT
#include "autostartentry.h"
#include "dbusmenuexporter.h"
#include "fakewatcher.h"
#include "popover.h"
#include "shelftestenv.h"
#include "skiporfail.h"
#include "statusbarcontroller.h"
#include "statusnotifieritem.h"
#include "texts.h"
#include "trayglyph.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <algorithm>
#include <climits>
#include <memory>

class TestStatusBarController final : public QObject {
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_bus;

    QDBusConnection programBus() const { return m_bus->connect(QStringLiteral("program")); }

    // A fresh config home that does not exist yet, for the entry to make.
    static void pointConfigHomeInto(const ShelfTestEnv &env)
    {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((env.root() / "config").native()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bus = std::make_unique<PrivateBus>();
        if (!m_bus->isUp()) {
            STASHLET_SKIP_UNLESS_CI("dbus-daemon did not start");
        }
    }

    // A login starts the program before the desktop's panel: the window
    // stands in only once the grace period is over, and gives way to the icon
    // when a tray comes, however late; a tray gone for good brings it back.
    // Clicks, the menu and the panel's close requests follow the state, and
    // the panel is made once, when first shown.
    void theWindowStandsInForAMissingTrayAndTheIconTogglesThePanel()
    {
        Popover popover;
        int made = 0;
        popover.setContent([&made]() -> QWidget * {
            ++made;
            return new QWidget;
        });
        StatusBarController controller(popover, programBus(), 300);
        QVERIFY(controller.notifierItem() == nullptr);
        controller.closePopoverIfShown(); // hidden: nothing
        QTest::qWait(150);
        QVERIFY(!popover.isShown());
        QCOMPARE(made, 0);
        QTRY_VERIFY(popover.isShown());
        QVERIFY(controller.standsInForTray());

        auto watcher = std::make_unique<FakeWatcher>(*m_bus, FakeWatcher::Host::Keeps);
        QTRY_COMPARE(watcher->items().size(), 1);
        QTRY_VERIFY(!popover.isShown());
        QVERIFY(!controller.standsInForTray());
        QVERIFY(!controller.notifierItem()->iconPixmap().isEmpty());
        // Opened from the icon it is a popover again.
        controller.togglePopover();
        QVERIFY(popover.isShown());
        QVERIFY(popover.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(popover.content()->parentWidget(), &popover);
        controller.closePopoverIfShown(); // shown: hidden
        QVERIFY(!popover.isShown());
        // The menu's first item says and does what a click would.
        QAction *toggle = controller.menu().actions().first();
        toggle->trigger();
        QVERIFY(popover.isShown());
        QCOMPARE(toggle->text(), Texts::hidePanel());
        toggle->trigger();
        QVERIFY(!popover.isShown());
        QCOMPARE(toggle->text(), Texts::showPanel());
        QCOMPARE(made, 1);

        // A panel restarting: the new watcher gets the item.
        watcher.reset();
        watcher = std::make_unique<FakeWatcher>(*m_bus, FakeWatcher::Host::Keeps);
        QTRY_COMPARE(watcher->items().size(), 1);
        QVERIFY(!popover.isShown());

        watcher.reset();
        QTRY_VERIFY(popover.isShown());
        QVERIFY(controller.standsInForTray());
    }

    // GNOME's host may take the item and give it up a moment later; the item
    // offers itself again, by name where the host will not take a path. A host
    // that never keeps it costs a few tries, one line on standard output, and
    // the window.
    void aDroppedItemIsOfferedAgainAndARefusedOneLeavesTheWindow()
    {
        ShelfTestEnv env; // for the diagnostic lines
        using Host = FakeWatcher::Host;
        // A few small hosts know only the older way, by a name of the item's.
        for (const Host host : {Host::Keeps, Host::TakesNamesOnly, Host::Refuses}) {
            FakeWatcher watcher(*m_bus, host);
            Popover popover;
            popover.setContent(new QWidget);
            StatusBarController controller(popover, programBus(), 300);
            if (host == Host::Refuses) {
                QTRY_VERIFY_WITH_TIMEOUT(popover.isShown(), 15000);
                QVERIFY(controller.standsInForTray());
                const int offered = watcher.registrations();
                QVERIFY2(offered > 1 && offered <= 6, qPrintable(QString::number(offered)));
                QTest::qWait(1000);
                QCOMPARE(watcher.registrations(), offered);
                continue;
            }
            QTRY_COMPARE(watcher.items().size(), 1);
            if (host == Host::Keeps) {
                // Past the item's own look at the list: only the host's word tells it now.
                QTest::qWait(3000);
                watcher.drop();
                QTRY_COMPARE(watcher.items().size(), 1);
                QCOMPARE(watcher.registrations(), 2);
            } else {
                QVERIFY(watcher.items().first().startsWith(u"org.kde.StatusNotifierItem-"));
            }
            QVERIFY(!popover.isShown());
        }
        QCOMPARE(env.lines(),
                 QStringList{QStringLiteral("The tray did not take the icon: not today")});
    }

    // The glyph drawn on a tray of each colour, read back the way the program
    // reads the tray: the corners of the icon's square give the background,
    // and each row's glyph colour stands out on it at least 3:1.
    void glyphColourReadsOnTheTraysBackground_data()
    {
        QTest::addColumn<QColor>("tray");
        QTest::addColumn<QColor>("glyph");
        QTest::newRow("GNOME's black top bar") << QColor(0, 0, 0) << QColor(Qt::white);
        QTest::newRow("white panel") << QColor(255, 255, 255) << QColor(Qt::black);
        QTest::newRow("mid grey") << QColor(128, 128, 128) << QColor(Qt::black);
        QTest::newRow("saturated blue") << QColor(0, 60, 200) << QColor(Qt::white);
    }
    void glyphColourReadsOnTheTraysBackground()
    {
        QFETCH(QColor, tray);
        QFETCH(QColor, glyph);
        // What the tray shows of the icon: its glyph, in whatever colour it
        // had before, over the tray's background.
        QImage shown(22, 22, QImage::Format_RGB32);
        shown.fill(tray);
        QPainter painter(&shown);
        painter.drawPixmap(0, 0, trayglyph::icon(Qt::red).pixmap(22, 22));
        painter.end();

        const QColor background = trayglyph::backgroundOf(shown);
        QCOMPARE(background, tray);
        const QColor chosen = trayglyph::glyphColourOn(background);
        QCOMPARE(chosen, glyph);
        // The icon made for it is drawn in that colour.
        const QImage image = trayglyph::icon(chosen).pixmap(22, 22).toImage();
        int painted = 0;
        for (int i = 0; i < 22 * 22; ++i) {
            const QColor pixel = image.pixelColor(i % 22, i / 22);
            painted += pixel.alpha() == 255;
            QVERIFY(pixel.alpha() < 255 || pixel.rgb() == chosen.rgb());
        }
        QVERIFY(painted > 20);
    }

    // The menu item, the file it stands for, and the mark in the menu drawn
    // by the program and in the one a host draws from the D-Bus layout.
    void startAtLoginWritesAnEntryForThisProgramAndTheMarkFollowsTheFile()
    {
        ShelfTestEnv env;
        pointConfigHomeInto(env);
        Popover popover;
        // No bus at all: a menu with no tray to show it yet.
        StatusBarController controller(popover, QDBusConnection(QStringLiteral("none")));
        DBusMenuExporter exporter(controller.menu());
        const QList<QAction *> actions = controller.menu().actions();
        const int index = int(
            std::find_if(actions.begin(), actions.end(),
                         [](QAction *action) { return action->text() == Texts::startAtLogin(); }) -
            actions.begin());
        QVERIFY(index > 0 && index < actions.size() - 1 && actions.at(index)->isCheckable());
        QAction *item = actions.at(index);
        const QString path = AutostartEntry::path();
        QCOMPARE(path, QString::fromStdString(
                           (env.root() / "config/autostart/org.qel.Stashlet.desktop").native()));
        const QString neighbour = QFileInfo(path).path() + QStringLiteral("/other.desktop");
        const auto toggleState = [&exporter, index] {
            DBusMenuLayoutItem layout;
            exporter.GetLayout(0, -1, {}, layout);
            const QVariantMap properties = layout.children.at(index).properties;
            return properties.value(QStringLiteral("toggle-type")).toString() +
                   properties.value(QStringLiteral("toggle-state")).toString();
        };
        QCOMPARE(toggleState(), QStringLiteral("checkmark0"));

        item->trigger();
        QVERIFY(item->isChecked());
        QCOMPARE(QSettings(path, QSettings::IniFormat).value("Desktop Entry/Exec").toString(),
                 QCoreApplication::applicationFilePath());
        QCOMPARE(toggleState(), QStringLiteral("checkmark1"));
        QFile(neighbour).open(QIODevice::WriteOnly);

        item->trigger();
        QVERIFY(!item->isChecked());
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(QFileInfo::exists(neighbour));

        // The user's own hand, with the menu closed.
        item->trigger();
        QVERIFY(QFile::remove(path));
        QCOMPARE(toggleState(), QStringLiteral("checkmark0"));
        item->setChecked(true);
        Q_EMIT controller.menu().aboutToShow();
        QVERIFY(!item->isChecked());
        QVERIFY(env.lines().isEmpty());

        // A folder that cannot be made: a line says so, no mark, nothing written.
        std::filesystem::remove_all(env.root() / "config");
        env.file("config", "not a folder");
        item->trigger();
        QVERIFY(!item->isChecked());
        QCOMPARE(env.lines().size(), 1);
        QVERIFY2(env.lines().first().startsWith(QLatin1String("Failed to ")),
                 qPrintable(env.lines().first()));
        QCOMPARE(readAll(env.root() / "config"), "not a folder");
    }

    // Programs under paths that need the Exec quoting, each started from its
    // entry by GLib's launcher (what GNOME and Xfce run autostart entries
    // with), and the entry passed by the validator. (GLib looks for the
    // program before it undoes "%%", so a path with "%" cannot start there.)
    void autostartEntryStartsTheProgramWhereverItLies_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << QStringLiteral("bin");
        QTest::newRow("space") << QStringLiteral("My Apps");
        QTest::newRow("escaped in quotes") << QStringLiteral("a \"b\" `c` $HOME \\d");
        QTest::newRow("backslash without space") << QStringLiteral("a\\b");
        QTest::newRow("shell characters") << QStringLiteral("it's;a|b&c<d>e*f?g#h(i)~j");
        QTest::newRow("tab and line feed") << QStringLiteral("a\tb\nc");
    }
    void autostartEntryStartsTheProgramWhereverItLies()
    {
        QFETCH(QString, folder);
        ShelfTestEnv env;
        pointConfigHomeInto(env);
        const QString ran = QString::fromStdString((env.root() / "ran").native());
        const QString program = QString::fromStdString(
            env.file(folder.toStdString() + "/qel-stashlet",
                     "#!/bin/sh\nprintf '%s\\n' \"$0\" > '" + ran.toStdString() + "'\n")
                .native());
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
        QVERIFY(AutostartEntry(program).setEnabled(true));
        if (QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty()) {
            STASHLET_SKIP_UNLESS_CI("desktop-file-validate is missing");
        }
        QProcess validator; // a clean entry gets neither hints nor warnings
        validator.start(QStringLiteral("desktop-file-validate"), {AutostartEntry::path()});
        QVERIFY(validator.waitForFinished(30'000));
        QCOMPARE(validator.readAll().trimmed(), QByteArray());
        QCOMPARE(validator.exitCode(), 0);
        QCOMPARE(QProcess::execute(QStringLiteral("gio"),
                                   {QStringLiteral("launch"), AutostartEntry::path()}),
                 0);
        QTRY_COMPARE(readAll(env.root() / "ran"), program.toStdString() + "\n");
    }

    // A host asks for any property of any item, set or not: every call gets
    // an answer, the dbusmenu default for a property left unset, an error for
    // an item or a property that does not exist. A call left unanswered keeps
    // the host waiting its whole timeout.
    void everyMenuPropertyCallIsAnswered_data()
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
    void everyMenuPropertyCallIsAnswered()
    {
        QFETCH(int, id);
        QFETCH(QString, name);
        QFETCH(QVariant, expected);
        QMenu menu;
        menu.addAction(QStringLiteral("Show"));
        menu.addAction(QStringLiteral("Quit"))->setEnabled(false);
        DBusMenuExporter exporter(menu);
        QDBusConnection program = programBus();
        QVERIFY(program.registerObject(QStringLiteral("/Menu"), &exporter,
                                       QDBusConnection::ExportAllContents));
        QDBusMessage call = QDBusMessage::createMethodCall(
            program.baseService(), QStringLiteral("/Menu"),
            QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetProperty"));
        call << id << name;
        const QDBusMessage reply =
            m_bus->connect(QStringLiteral("host")).call(call, QDBus::BlockWithGui, 2000);
        program.unregisterObject(QStringLiteral("/Menu"));
        if (!expected.isValid()) {
            QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
            return;
        }
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        QCOMPARE(qvariant_cast<QDBusVariant>(reply.arguments().at(0)).variant(), expected);
    }

    void placementKeepsThePanelByTheIconAndOnScreen_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QPoint>("click");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("above an icon at the bottom")
            << QRect(600, 776, 24, 24) << QPoint() << QRect(451, 352, 320, 420);
        QTest::newRow("pulled in from the right edge")
            << QRect(1260, 0, 20, 24) << QPoint() << QRect(960, 28, 320, 420);
        // Wayland tells no work area: a click inside the free area is on a
        // bar along its edge, as thick again past the click.
        QTest::newRow("no geometry: under the bar the click is in")
            << QRect() << QPoint(700, 10) << QRect(540, 25, 320, 420);
        QTest::newRow("no geometry, bottom: above the bar the click is in")
            << QRect() << QPoint(1072, 778) << QRect(912, 333, 320, 420);
        QTest::newRow("no geometry, far from any edge: at the click")
            << QRect() << QPoint(600, 300) << QRect(440, 305, 320, 420);
        // Activate(x, y) comes over D-Bus from anyone: the ends of int must
        // not overflow the arithmetic.
        QTest::newRow("click at the largest int")
            << QRect() << QPoint(INT_MAX, INT_MAX) << QRect(960, 380, 320, 420);
        QTest::newRow("click at the smallest int")
            << QRect() << QPoint(INT_MIN, INT_MIN) << QRect(0, 0, 320, 420);
        QTest::newRow("icon at the smallest int")
            << QRect(QPoint(INT_MIN, INT_MIN), QPoint(INT_MIN + 23, INT_MIN + 23)) << QPoint()
            << QRect(0, 0, 320, 420);
        QTest::newRow("icon as wide as int")
            << QRect(QPoint(INT_MIN, INT_MAX - 23), QPoint(INT_MAX, INT_MAX)) << QPoint()
            << QRect(0, 380, 320, 420);
    }
    void placementKeepsThePanelByTheIconAndOnScreen()
    {
        QFETCH(QRect, anchor);
        QFETCH(QPoint, click);
        QFETCH(QRect, expected);
        QCOMPARE(Popover::placement(anchor, click, QSize(320, 420), QRect(0, 0, 1280, 800)),
                 expected);
    }
};

QTEST_MAIN(TestStatusBarController)
#include "tst_statusbarcontroller.moc"

// SPDX-License-Identifier: MIT
#include "appidentity.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QSettings>
#include <QTest>

// The program, its desktop entry and its icon theme entry must all use one
// name, or docks and menus show the running program as a second, iconless
// application.
class TestAppIdentity : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The build tree's icons, laid out as installed.
        QIcon::setThemeSearchPaths({QStringLiteral(STASHLET_ICONS_DIR)});
        QIcon::setThemeName(QStringLiteral("hicolor"));
        applyApplicationIdentity();
        applyApplicationWindowIcon();
    }

    void desktopEntryMatchesTheProgram()
    {
        const QString name = QGuiApplication::desktopFileName();
        QVERIFY(!name.isEmpty());
        const QString path =
            QStringLiteral(STASHLET_DIST_DIR "/") + name + QStringLiteral(".desktop");
        QVERIFY2(QFile::exists(path), qPrintable(path + QStringLiteral(" does not exist")));

        QSettings entry(path, QSettings::IniFormat);
        entry.beginGroup(QStringLiteral("Desktop Entry"));
        QCOMPARE(entry.value(QStringLiteral("Name")).toString(),
                 QApplication::applicationDisplayName());
        QCOMPARE(entry.value(QStringLiteral("Icon")).toString(), QApplication::windowIcon().name());
        // Qt's X11 windows carry the program's name as their class.
        QCOMPARE(entry.value(QStringLiteral("StartupWMClass")).toString(),
                 QApplication::applicationName());
    }

    void windowIconComesFromTheTheme()
    {
        const QIcon icon = QApplication::windowIcon();
        QVERIFY(!icon.isNull());
        // What the icons look like is the package test's.
        for (const int size : {16, 32, 48, 256}) {
            QCOMPARE(icon.actualSize(QSize(size, size)), QSize(size, size));
        }
    }
};

QTEST_MAIN(TestAppIdentity)
#include "tst_appidentity.moc"

// SPDX-License-Identifier: MIT
#include "appdelegate.h"
#include "notificationcenter.h"
#include "popover.h"
#include "shelftestenv.h"
#include "singleinstance.h"
#include "stashletmanager.h"
#include "stashletpopupview.h"

#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

namespace fs = std::filesystem;

class TestAppDelegate final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startEmptiesTheFolderAndOpensNoWindow()
    {
        ShelfTestEnv env;
        env.file("tmp/QELStashlet/left-over.iso", "old run");
        AppDelegate delegate;
        QVERIFY(fs::is_empty(env.staging()));
        QVERIFY(delegate.statusBarController() == nullptr);
        for (QWidget *window : QApplication::topLevelWidgets()) {
            QVERIFY(!window->isVisible());
        }
    }

    void launchPutsThePanelInA320By420Popover()
    {
        ShelfTestEnv env;
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        QCOMPARE(delegate.popover().size(), QSize(320, 420));
        QCOMPARE(delegate.popover().content(), static_cast<QWidget *>(delegate.panel()));
        // No tray on this platform: the panel must not stay out of sight.
        QVERIFY(delegate.statusBarController() == nullptr);
        QVERIFY(delegate.popover().isVisible());
    }

    void withoutATrayThePanelNeverDisappears()
    {
        ShelfTestEnv env;
        {
            AppDelegate delegate;
            delegate.applicationDidFinishLaunching();
            Popover &window = delegate.popover();
            QTest::keyClick(&window, Qt::Key_Escape);
            QVERIFY(window.isVisible());
            QVERIFY(window.windowState() & Qt::WindowMinimized);
            window.setWindowState(Qt::WindowNoState);
            NotificationCenter::defaultCenter().post(QStringLiteral("closePopover"));
            QVERIFY(window.isVisible());
        }
        // The delegate is gone: nothing of it may still listen.
        NotificationCenter::defaultCenter().post(QStringLiteral("closePopover"));
    }

    void terminationDeletesListedCopiesAndStopsCopiesInFlight()
    {
        ShelfTestEnv env;
        AppDelegate delegate;
        for (const char *name : {"a", "b", "c"}) {
            delegate.manager().addFile(env.file(fs::path("in") / name));
        }
        QTRY_COMPARE(delegate.manager().tempFiles().size(), 3);
        const fs::path big = env.file("in/big.img", std::string(256 << 20, 'b'));
        delegate.manager().addFile(big);
        // In flight, the copy is a file open in the staging folder without a name.
        while (unnamedFilesOpenIn(::getpid(), env.staging()).empty()) {
            QThread::yieldCurrentThread();
        }

        delegate.applicationWillTerminate();
        QVERIFY(!fs::exists(env.staging() / "a"));
        QVERIFY(!fs::exists(env.staging() / "b"));
        QVERIFY(!fs::exists(env.staging() / "c"));
        QVERIFY(delegate.waitForBackgroundWork(60'000));
        QVERIFY(!fs::exists(env.staging() / "big.img"));
        QVERIFY(unnamedFilesOpenIn(::getpid(), env.staging()).empty());
        QVERIFY(fs::exists(env.root() / "in" / "a"));
    }

    void secondStartOnlyAsksTheFirstToToggle()
    {
        QTemporaryDir runtime;
        SingleInstance first(runtime.path());
        QCOMPARE(first.claim(), SingleInstance::Claim::First);
        QSignalSpy toggles(&first, &SingleInstance::toggleRequested);
        SingleInstance second(runtime.path());
        QCOMPARE(second.claim(), SingleInstance::Claim::Later);
        QVERIFY(second.askFirstToToggle());
        QVERIFY(toggles.wait(5000));
        QCOMPARE(toggles.count(), 1);
    }

    void lockLeftByACrashIsTakenOver()
    {
        QTemporaryDir runtime;
        QFile stale(runtime.filePath(QStringLiteral("QELStashlet.lock")));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        // No process has this id; the file is what a killed run leaves.
        stale.write("2147483646\nqel-stashlet\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        stale.close();
        SingleInstance instance(runtime.path());
        QCOMPARE(instance.claim(), SingleInstance::Claim::First);
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"

// SPDX-License-Identifier: MIT
#include "appdelegate.h"
#include "appidentity.h"
#include "panelheader.h"
#include "popover.h"
#include "shelftestenv.h"
#include "singleinstance.h"
#include "skiporfail.h"
#include "snappybutton.h"
#include "stashletpopupview.h"
#include "statusbarcontroller.h"

#include <QApplication>
#include <QIcon>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <future>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace fs = std::filesystem;

namespace {

bool hungUp(const UniqueFd &fd)
{
    char byte;
    const ssize_t n = ::recv(fd.get(), &byte, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN);
}

// Asks as a later start does, from a thread of its own, while this thread's
// loop serves as the first.
bool askAsLaterStart(const QString &directory)
{
    auto answer = std::async(std::launch::async,
                             [directory] { return SingleInstance(directory).askFirstToToggle(); });
    while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        QTest::qWait(5);
    }
    return answer.get();
}

QByteArray socketPath(const QString &directory)
{
    return QFile::encodeName(directory + QStringLiteral("/QELStashlet.socket"));
}

} // namespace

class TestAppDelegate final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void withoutATrayThePanelHasAnIconAndNeitherEscapeNorCloseHidesIt()
    {
        ShelfTestEnv env;
        // The build tree's icons, laid out as installed.
        QIcon::setThemeSearchPaths({QStringLiteral(STASHLET_ICONS_DIR)});
        QIcon::setThemeName(QStringLiteral("hicolor"));
        applyApplicationIdentity();
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        Popover &window = delegate.popover();
        // Only once a tray has had its chance to come.
        QVERIFY(!window.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(window.isVisible(), StatusBarController::kTrayGraceMs + 2000);
        QVERIFY(!QApplication::windowIcon().isNull());
        // Docks match the running program to its entry by these names; a
        // mismatch shows it as a second, iconless application.
        QSettings entry(
            QStringLiteral(STASHLET_DIST_DIR "/%1.desktop").arg(QGuiApplication::desktopFileName()),
            QSettings::IniFormat);
        entry.beginGroup(QStringLiteral("Desktop Entry"));
        QCOMPARE(entry.value(QStringLiteral("Name")).toString(),
                 QApplication::applicationDisplayName());
        QCOMPARE(entry.value(QStringLiteral("Icon")).toString(), QApplication::windowIcon().name());
        QCOMPARE(entry.value(QStringLiteral("StartupWMClass")).toString(),
                 QApplication::applicationName());
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible() && window.windowState() & Qt::WindowMinimized);
        window.setWindowState(Qt::WindowNoState);
        delegate.panel()->header()->closeButton()->click();
        QVERIFY(window.isVisible() && window.windowState() & Qt::WindowMinimized);
    }

    // At quit a copy may be stuck in a read of a dead mount: the process then
    // lingers after _exit with every descriptor open. The claim is given up
    // before that, so the next start gets in all the same.
    void terminationDeletesListedCopiesStopsCopiesInFlightAndGivesUpTheClaim()
    {
        ShelfTestEnv env;
        SingleInstance first;
        QCOMPARE(first.claim(), SingleInstance::Claim::First);
        QVERIFY(first.listening());
        AppDelegate delegate;
        for (const char *name : {"a", "b", "c"}) {
            delegate.manager().addFile(env.file(fs::path("in") / name));
        }
        QTRY_COMPARE(delegate.manager().tempFiles().size(), 3);
        const fs::path big = env.file("in/big.img", std::string(256 << 20, 'b'));
        delegate.manager().addFile(big);
        // Under way: without the event loop, it cannot be listed meanwhile.
        QDeadlineTimer deadline(30'000);
        while (delegate.manager().pendingCopies().value(0).bytesDone == 0 &&
               !deadline.hasExpired()) {
            QThread::yieldCurrentThread();
        }
        QVERIFY(!deadline.hasExpired());

        delegate.applicationWillTerminate();
        first.release();
        for (const char *name : {"a", "b", "c"}) {
            QVERIFY(!fs::exists(env.staging() / name));
        }
        // The process is still here, as a stuck one would be.
        SingleInstance next;
        QCOMPARE(next.claim(), SingleInstance::Claim::First);
        QVERIFY2(next.listening(), qPrintable(next.errorString()));
        QVERIFY(askAsLaterStart(QFile::decodeName(env.tmp().c_str())));
        QVERIFY(delegate.waitForBackgroundWork(60'000));
        QVERIFY(fs::is_empty(env.staging()));
        QVERIFY(fs::exists(env.root() / "in" / "a"));
        QVERIFY2(env.lines().isEmpty(), qPrintable(env.lines().join(QLatin1Char('\n'))));
    }

    // What may lie at the socket's path when the shelf starts: only a crashed
    // run's socket is taken over; later starts still reach the first, or learn
    // at once that it cannot answer.
    void firstTakesOverOnlyWhatACrashLeft_data()
    {
        QTest::addColumn<QString>("left");
        QTest::newRow("a crashed run's lock and socket") << QStringLiteral("crash");
        QTest::newRow("a file of the user's") << QStringLiteral("file");
        // Cut to what sun_path holds, a long socket path would end in "QELSta".
        QTest::newRow("another program's socket at the cut path") << QStringLiteral("cut");
    }
    void firstTakesOverOnlyWhatACrashLeft()
    {
        QFETCH(QString, left);
        QTemporaryDir runtime;
        QString dir = runtime.path();
        QByteArray kept = socketPath(dir);
        UniqueFd other;
        if (left == u"crash") {
            QFile stale(runtime.filePath(QStringLiteral("QELStashlet.lock")));
            QVERIFY(stale.open(QIODevice::WriteOnly));
            // No process has this id; the file is what a killed run leaves.
            stale.write("2147483646\nqel-stashlet\n" + QSysInfo::machineHostName().toUtf8() + "\n");
            stale.close();
            // Closed at once: the file stays, and no one listens at it.
            QVERIFY(rawSocket(kept, true).valid());
        } else if (left == u"file") {
            QVERIFY(QFile(QFile::decodeName(kept)).open(QIODevice::WriteOnly));
        } else {
            const qsizetype base = QFile::encodeName(dir).size();
            if (base > 90) {
                STASHLET_SKIP_UNLESS_CI(
                    "the temporary folder's path leaves no room to place the cut");
            }
            dir = runtime.filePath(QString(100 - base - 1, QLatin1Char('d')));
            QVERIFY(QDir().mkpath(dir));
            kept = socketPath(dir).left(sizeof(sockaddr_un::sun_path) - 1);
            QVERIFY(kept.endsWith("/QELSta"));
            other = rawSocket(kept, true);
            QVERIFY(other.valid());
        }
        struct stat st {};
        ::lstat(kept.constData(), &st);
        const ino_t keptInode = left == u"crash" ? 0 : st.st_ino;

        SingleInstance first(dir);
        // An open umask must not open the socket to other users.
        const mode_t umask = ::umask(0);
        const SingleInstance::Claim claim = first.claim();
        ::umask(umask);
        QCOMPARE(claim, SingleInstance::Claim::First);
        const bool listening = left != u"file";
        QVERIFY2(first.listening() == listening, qPrintable(first.errorString()));
        QVERIFY(listening || first.errorString().contains(QFile::decodeName(kept)));
        QSignalSpy toggles(&first, &SingleInstance::toggleRequested);
        // "toggles" holds "toggle"; what follows a wrong line, or a line without
        // end, is not heard, and a silent client keeps no later start waiting.
        for (const QByteArray &words :
             {QByteArray("toggles\n\xff\0toggle\n", 17), QByteArray(4096, 't')}) {
            if (left == u"crash") {
                const UniqueFd peer = rawSocket(socketPath(dir), false);
                QCOMPARE(::send(peer.get(), words.constData(), words.size(), MSG_NOSIGNAL),
                         words.size());
                QTRY_VERIFY(hungUp(peer));
                other = rawSocket(socketPath(dir), false);
                QVERIFY(other.valid());
            }
        }
        QCOMPARE(askAsLaterStart(dir), listening);
        QCOMPARE(toggles.count(), int(listening));
        if (listening) {
            QCOMPARE(::stat(socketPath(dir).constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, 0600u);
        }
        if (keptInode != 0) {
            QCOMPARE(::lstat(kept.constData(), &st), 0);
            QCOMPARE(st.st_ino, keptInode);
        }
    }

    // A cleaner of the temporary folder (systemd-tmpfiles) may delete the lock
    // file, and the socket too, under a running shelf; or the first may be
    // stopped. A later start still finds the first, or says it does not
    // answer, and never takes its socket or empties its folder.
    void laterStartLeavesTheFirstsShelf_data()
    {
        QTest::addColumn<QString>("first");
        QTest::newRow("lock file deleted: the first is asked") << QStringLiteral("lock");
        QTest::newRow("lock file and socket deleted: no answer") << QStringLiteral("socket");
        QTest::newRow("first stopped: no answer") << QStringLiteral("stopped");
    }
    void laterStartLeavesTheFirstsShelf()
    {
        QFETCH(QString, first);
        QTemporaryDir home;
        const QString socket = home.filePath(QStringLiteral("QELStashlet.socket"));
        QProcess running, toggle, later;
        for (QProcess *process : {&running, &toggle, &later}) {
            process->setProcessEnvironment(privateEnvironment(home));
        }
        running.start(QStringLiteral(STASHLET_BINARY));
        QVERIFY(running.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket), 20'000);
        // Once the first answers, its start-up emptying of the folder is behind it.
        toggle.start(QStringLiteral(STASHLET_BINARY));
        QVERIFY(toggle.waitForFinished(20'000));
        QCOMPARE(toggle.exitCode(), 0);
        QTest::qWait(700);
        const QString staged = home.filePath(QStringLiteral("QELStashlet/staged.txt"));
        QVERIFY(QDir().mkpath(QFileInfo(staged).path()));
        QVERIFY(QFile(staged).open(QIODevice::WriteOnly));
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(socket).constData(), &before), 0);
        if (first == u"stopped") {
            ::kill(pid_t(running.processId()), SIGSTOP);
        } else {
            QVERIFY(QFile::remove(home.filePath(QStringLiteral("QELStashlet.lock"))));
        }
        if (first == u"socket") {
            QVERIFY(QFile::remove(socket));
        }

        later.start(QStringLiteral(STASHLET_BINARY));
        const bool finished = later.waitForFinished(10'000);
        if (!finished) {
            later.kill();
            later.waitForFinished();
        }
        ::kill(pid_t(running.processId()), SIGCONT);
        const bool firstRuns = running.state() == QProcess::Running;
        const bool kept = QFileInfo::exists(staged);
        struct stat after {};
        const bool sameSocket = ::stat(QFile::encodeName(socket).constData(), &after) == 0 &&
                                after.st_ino == before.st_ino;
        running.terminate();
        QVERIFY(running.waitForFinished(20'000));
        QVERIFY2(finished, "the later start runs as a second shelf");
        QCOMPARE(later.exitStatus(), QProcess::NormalExit);
        QCOMPARE(later.exitCode(), first == u"lock" ? 0 : 1);
        if (first == u"stopped") {
            const QByteArray said = later.readAllStandardError();
            QVERIFY2(said.contains("does not answer"), said.constData());
        }
        QVERIFY(firstRuns);
        QVERIFY(kept);
        QCOMPARE(sameSocket, first != u"socket");
    }

    void withoutADisplayItSaysWhatIsMissingAndOnlyOptionsAnswer_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<bool>("unread"); // to a pipe whose reader went before the first line
        const QStringList version{QStringLiteral("--version")};
        QTest::newRow("start") << QStringList() << 1 << QByteArray() << false;
        QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0
                                << QByteArray("Usage: qel-stashlet") << false;
        QTest::newRow("--version")
            << version << 0 << QByteArray("qel-stashlet " STASHLET_VERSION) << false;
        QTest::newRow("--version, unread") << version << 0 << QByteArray() << true;
    }
    void withoutADisplayItSaysWhatIsMissingAndOnlyOptionsAnswer()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(bool, unread);
        QTemporaryDir home;
        // As an ssh shell or a text console: no display, no platform chosen.
        QProcessEnvironment bare;
        bare.insert(QStringLiteral("HOME"), home.path());
        bare.insert(QStringLiteral("TMPDIR"), home.path());
        QProcess program;
        program.setProcessEnvironment(bare);
        if (unread) {
            program.setChildProcessModifier([] {
                int fds[2];
                if (::pipe(fds) == 0) {
                    ::close(fds[0]);
                    ::dup2(fds[1], STDOUT_FILENO);
                }
            });
        }
        program.start(QStringLiteral(STASHLET_BINARY), arguments);
        QVERIFY(program.waitForFinished(20'000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        QVERIFY(program.readAllStandardOutput().startsWith(out));
        const QByteArray said = program.readAllStandardError();
        if (status == 0) {
            QCOMPARE(said, QByteArray());
        } else {
            QVERIFY2(said.count('\n') == 1 && said.endsWith('\n') && said.contains("DISPLAY") &&
                         said.contains("desktop session"),
                     said.constData());
            // Stopped before anything was set up.
            QVERIFY(QDir(home.path()).isEmpty());
        }
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"

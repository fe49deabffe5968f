// SPDX-License-Identifier: MIT
#include "appdelegate.h"
#include "appidentity.h"
#include "notificationcenter.h"
#include "popover.h"
#include "shelftestenv.h"
#include "singleinstance.h"
#include "stashletmanager.h"
#include "stashletpopupview.h"
#include "uniquefd.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <cstring>
#include <ctime>
#include <future>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace fs = std::filesystem;

namespace {

// A socket as another process would make it at `path`: listening there, or
// connected to whoever listens there.
UniqueFd rawSocket(const QByteArray &path, bool listening)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path)) {
        return UniqueFd();
    }
    std::memcpy(address.sun_path, path.constData(), path.size());
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const auto *where = reinterpret_cast<const sockaddr *>(&address);
    const bool made =
        listening ? ::bind(fd.get(), where, sizeof address) == 0 && ::listen(fd.get(), 4) == 0
                  : ::connect(fd.get(), where, sizeof address) == 0;
    return made ? std::move(fd) : UniqueFd();
}

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
        {
            AppDelegate delegate;
            delegate.applicationDidFinishLaunching();
            Popover &window = delegate.popover();
            QVERIFY(window.isVisible());
            QVERIFY(!QApplication::windowIcon().isNull());
            // Docks match the running program to its entry by these names; a
            // mismatch shows it as a second, iconless application.
            QSettings entry(QStringLiteral(STASHLET_DIST_DIR "/%1.desktop")
                                .arg(QGuiApplication::desktopFileName()),
                            QSettings::IniFormat);
            entry.beginGroup(QStringLiteral("Desktop Entry"));
            QCOMPARE(entry.value(QStringLiteral("Name")).toString(),
                     QApplication::applicationDisplayName());
            QCOMPARE(entry.value(QStringLiteral("Icon")).toString(),
                     QApplication::windowIcon().name());
            QCOMPARE(entry.value(QStringLiteral("StartupWMClass")).toString(),
                     QApplication::applicationName());
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
        // Under way: without the event loop, it cannot be listed meanwhile.
        QDeadlineTimer deadline(30'000);
        while (delegate.manager().pendingCopies().value(0).bytesDone == 0 &&
               !deadline.hasExpired()) {
            QThread::yieldCurrentThread();
        }
        QVERIFY(!deadline.hasExpired());

        delegate.applicationWillTerminate();
        QVERIFY(!fs::exists(env.staging() / "a"));
        QVERIFY(!fs::exists(env.staging() / "b"));
        QVERIFY(!fs::exists(env.staging() / "c"));
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
            QFile mine(QFile::decodeName(kept));
            QVERIFY(mine.open(QIODevice::WriteOnly));
        } else {
            const qsizetype base = QFile::encodeName(dir).size();
            if (base > 90) {
                QSKIP("the temporary folder's path leaves no room to place the cut");
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

    void onlyToggleMessagesToggleAndNoClientHoldsTheFirstUp()
    {
        QTemporaryDir runtime;
        SingleInstance first(runtime.path());
        QCOMPARE(first.claim(), SingleInstance::Claim::First);
        QSignalSpy toggles(&first, &SingleInstance::toggleRequested);
        const QByteArray path = socketPath(runtime.path());
        const UniqueFd silent = rawSocket(path, false);
        const UniqueFd nonsense = rawSocket(path, false);
        const UniqueFd endless = rawSocket(path, false);
        QVERIFY(silent.valid() && nonsense.valid() && endless.valid());
        // "toggles" holds "toggle"; what follows the first wrong line is not
        // heard any more.
        const QByteArray words("toggles\n\xff\0toggle\n", 17);
        QCOMPARE(::send(nonsense.get(), words.constData(), words.size(), MSG_NOSIGNAL),
                 words.size());
        const QByteArray noEnd(4096, 't');
        QCOMPARE(::send(endless.get(), noEnd.constData(), noEnd.size(), MSG_NOSIGNAL),
                 noEnd.size());
        QTRY_VERIFY(hungUp(nonsense) && hungUp(endless));
        QCOMPARE(toggles.count(), 0);

        // The silent one is still connected. One at a time, so that two
        // signals for one message would show.
        SingleInstance later(runtime.path());
        QCOMPARE(later.claim(), SingleInstance::Claim::Later);
        QVERIFY(askAsLaterStart(runtime.path()));
        QCOMPARE(toggles.count(), 1);
        QVERIFY(askAsLaterStart(runtime.path()));
        QCOMPARE(toggles.count(), 2);
    }

    void outOfDescriptorsTheFirstRestsRatherThanSpins()
    {
        QTemporaryDir runtime;
        SingleInstance first(runtime.path());
        QCOMPARE(first.claim(), SingleInstance::Claim::First);
        QSignalSpy toggles(&first, &SingleInstance::toggleRequested);
        // Waits in the backlog until there is a descriptor to accept it with.
        const UniqueFd later = rawSocket(socketPath(runtime.path()), false);
        QVERIFY(later.valid());
        QCOMPARE(::send(later.get(), "toggle\n", 7, MSG_NOSIGNAL), 7);

        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit low = saved;
        low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &low), 0);
        std::vector<UniqueFd> filler;
        for (UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC)); fd.valid();
             fd = UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC))) {
            filler.push_back(std::move(fd));
        }
        const auto cpu = [] {
            timespec now{};
            ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
            return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
        };
        const double before = cpu();
        QTest::qWait(300);
        const double spent = cpu() - before;
        filler.clear();
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);

        // A loop woken at once every time would have used the whole 300 ms.
        QVERIFY2(spent < 100, qPrintable(QStringLiteral("%1 ms of CPU").arg(spent)));
        QVERIFY(toggles.isEmpty());
        QVERIFY(toggles.wait(5000));
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"

// SPDX-License-Identifier: MIT
#include "appdelegate.h"
#include "notificationcenter.h"
#include "popover.h"
#include "shelftestenv.h"
#include "singleinstance.h"
#include "stashletmanager.h"
#include "stashletpopupview.h"
#include "uniquefd.h"

#include <QApplication>
#include <QIcon>
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
        {
            AppDelegate delegate;
            delegate.applicationDidFinishLaunching();
            Popover &window = delegate.popover();
            QVERIFY(window.isVisible());
            QVERIFY(!QApplication::windowIcon().isNull());
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
        QDeadlineTimer deadline(30'000);
        while (unnamedFilesOpenIn(::getpid(), env.staging()).empty() && !deadline.hasExpired()) {
            QThread::yieldCurrentThread();
        }
        QVERIFY(!deadline.hasExpired());

        delegate.applicationWillTerminate();
        QVERIFY(!fs::exists(env.staging() / "a"));
        QVERIFY(!fs::exists(env.staging() / "b"));
        QVERIFY(!fs::exists(env.staging() / "c"));
        QVERIFY(delegate.waitForBackgroundWork(60'000));
        QVERIFY(!fs::exists(env.staging() / "big.img"));
        QVERIFY(unnamedFilesOpenIn(::getpid(), env.staging()).empty());
        QVERIFY(fs::exists(env.root() / "in" / "a"));
        QVERIFY2(env.lines().isEmpty(), qPrintable(env.lines().join(QLatin1Char('\n'))));
    }

    void lockAndSocketLeftByACrashAreTakenOver()
    {
        QTemporaryDir runtime;
        QFile stale(runtime.filePath(QStringLiteral("QELStashlet.lock")));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        // No process has this id; the file is what a killed run leaves.
        stale.write("2147483646\nqel-stashlet\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        stale.close();
        // Closed at once: the file stays, and no one listens at it.
        QVERIFY(rawSocket(socketPath(runtime.path()), true).valid());
        SingleInstance first(runtime.path());
        QCOMPARE(first.claim(), SingleInstance::Claim::First);
        QSignalSpy toggles(&first, &SingleInstance::toggleRequested);
        QVERIFY(askAsLaterStart(runtime.path()));
        QCOMPARE(toggles.count(), 1);
    }

    void socketIsTheUsersOnlyWhateverTheUmask()
    {
        QTemporaryDir runtime;
        SingleInstance first(runtime.path());
        // An open umask must not open the socket to other users.
        const mode_t umask = ::umask(0);
        const SingleInstance::Claim claim = first.claim();
        ::umask(umask);
        QCOMPARE(claim, SingleInstance::Claim::First);
        struct stat st {};
        QCOMPARE(::stat(socketPath(runtime.path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
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

    void longSocketPathIsNeitherCutNorFatal()
    {
        QTemporaryDir runtime;
        // Cut to what sun_path holds, the socket's path would end in
        // "QELSta", where another program listens.
        const qsizetype base = QFile::encodeName(runtime.path()).size();
        if (base > 90) {
            QSKIP("the temporary folder's path leaves no room to place the cut");
        }
        const QString dir = runtime.filePath(QString(100 - base - 1, QLatin1Char('d')));
        QVERIFY(QDir().mkpath(dir));
        const QByteArray cut = socketPath(dir).left(sizeof(sockaddr_un::sun_path) - 1);
        QVERIFY(cut.endsWith("/QELSta"));
        const UniqueFd other = rawSocket(cut, true);
        QVERIFY(other.valid());

        SingleInstance first(dir);
        QCOMPARE(first.claim(), SingleInstance::Claim::First);
        QVERIFY2(first.listening(), qPrintable(first.errorString()));
        QSignalSpy toggles(&first, &SingleInstance::toggleRequested);
        QVERIFY(askAsLaterStart(dir));
        QCOMPARE(toggles.count(), 1);
        // Not taken for a socket left by a crash.
        QVERIFY(QFileInfo::exists(QFile::decodeName(cut)));
    }

    void laterStartGivesUpOnAFirstThatDoesNotAnswer()
    {
        QTemporaryDir runtime;
        SingleInstance first(runtime.path());
        QCOMPARE(first.claim(), SingleInstance::Claim::First);
        QSignalSpy toggles(&first, &SingleInstance::toggleRequested);
        // The first listens, but its loop does not run, as in a process
        // stopped with SIGSTOP: the kernel still takes the connection.
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!SingleInstance(runtime.path()).askFirstToToggle());
        QVERIFY2(waited.elapsed() < 10'000, qPrintable(QString::number(waited.elapsed())));
        QVERIFY(toggles.isEmpty());
    }

    void somethingElseAtTheSocketPathIsLeftAndTheShelfStillStarts()
    {
        QTemporaryDir runtime;
        QFile mine(QFile::decodeName(socketPath(runtime.path())));
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.write("a file of the user's");
        mine.close();

        SingleInstance first(runtime.path());
        QCOMPARE(first.claim(), SingleInstance::Claim::First);
        QVERIFY(!first.listening());
        QVERIFY2(first.errorString().contains(mine.fileName()), qPrintable(first.errorString()));
        // A later start learns that no one answers rather than waiting.
        QVERIFY(!SingleInstance(runtime.path()).askFirstToToggle());
        QVERIFY(mine.open(QIODevice::ReadOnly));
        QCOMPARE(mine.readAll(), QByteArray("a file of the user's"));
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"

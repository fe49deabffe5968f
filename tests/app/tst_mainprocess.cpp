// SPDX-License-Identifier: MIT
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// The program's environment for one test: a private shelf and no display.
QProcessEnvironment privateEnvironment(const QTemporaryDir &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), home.path());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

} // namespace

// The real program, as a user starts it.
class TestMainProcess final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void outputToAPipeWithoutReaderNeverEndsTheProgram()
    {
        int pipeFds[2];
        QCOMPARE(::pipe(pipeFds), 0);
        ::close(pipeFds[0]); // the reader is gone before the first line
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        char *argv[] = {const_cast<char *>(STASHLET_BINARY), const_cast<char *>("--version"),
                        nullptr};
        pid_t pid = 0;
        QCOMPARE(::posix_spawn(&pid, STASHLET_BINARY, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY2(!WIFSIGNALED(status),
                 qPrintable(QStringLiteral("ended by signal %1").arg(WTERMSIG(status))));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    void laterStartAgainstAStoppedFirstSaysSoAndFails()
    {
        QTemporaryDir home;
        QFile::setPermissions(home.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner);
        QProcess first;
        first.setProcessEnvironment(privateEnvironment(home));
        first.start(QStringLiteral(STASHLET_BINARY));
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            QFileInfo::exists(home.filePath(QStringLiteral("QELStashlet.socket"))), 20'000);
        ::kill(pid_t(first.processId()), SIGSTOP);

        QProcess later;
        later.setProcessEnvironment(privateEnvironment(home));
        later.start(QStringLiteral(STASHLET_BINARY));
        const bool finished = later.waitForFinished(30'000);
        ::kill(pid_t(first.processId()), SIGCONT);
        first.terminate();
        QVERIFY(first.waitForFinished(20'000));
        QVERIFY(finished);
        QCOMPARE(later.exitStatus(), QProcess::NormalExit);
        QCOMPARE(later.exitCode(), 1);
        const QByteArray said = later.readAllStandardError();
        QVERIFY2(said.contains("does not answer"), said.constData());
    }
};

QTEST_GUILESS_MAIN(TestMainProcess)
#include "tst_mainprocess.moc"

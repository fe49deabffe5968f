// SPDX-License-Identifier: MIT
#pragma once

#include "backgroundpool.h"
#include "diagnostics.h"
#include "filetree.h"
#include "stashletmanager.h"
#include "uniquefd.h"

#include <QtTest>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// A private playground for one test: a temporary folder that $TMPDIR and
// $XDG_CACHE_HOME point into, so the staging folder lands inside it, and a
// capture of the diagnostic lines.
class ShelfTestEnv final {
public:
    ShelfTestEnv()
        : m_root(m_dir.path().toStdString())
    {
        std::filesystem::create_directories(tmp());
        std::filesystem::create_directories(m_root / "cache");
        std::filesystem::permissions(tmp(), std::filesystem::perms::owner_all);
        qputenv("TMPDIR", QByteArray::fromStdString(tmp().native()));
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((m_root / "cache").native()));
        m_logFd = ::open((m_root / "log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        Diagnostics::setOutput(m_logFd);
    }
    ~ShelfTestEnv()
    {
        Diagnostics::setOutput(STDOUT_FILENO);
        ::close(m_logFd);
        // QTemporaryDir cannot delete names that are not UTF-8; the shelf's own removal can.
        FileTree::removeItem(m_root);
        for (const auto &[name, value] : m_saved) {
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
        }
    }
    ShelfTestEnv(const ShelfTestEnv &) = delete;
    ShelfTestEnv &operator=(const ShelfTestEnv &) = delete;

    const std::filesystem::path &root() const { return m_root; }
    std::filesystem::path tmp() const { return m_root / "tmp"; }
    std::filesystem::path staging() const { return tmp() / "QELStashlet"; }

    // A file named `relative` below the root holding `content`; folders made as needed.
    std::filesystem::path file(const std::filesystem::path &relative,
                               const std::string &content = "x")
    {
        const auto path = m_root / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    // Puts first on $PATH a kdeconnect-handler that writes its arguments to
    // the file returned, all at once.
    std::filesystem::path fakeShareHandler()
    {
        const std::string received = (m_root / "received").native();
        const auto handler = file("bin/kdeconnect-handler",
                                  "#!/bin/sh\nprintf '%s' \"$*\" > '" + received + ".part'\nmv '" +
                                      received + ".part' '" + received + "'\n");
        std::filesystem::permissions(handler, std::filesystem::perms::owner_all);
        qputenv("PATH", QByteArray::fromStdString(handler.parent_path().native()) + ':' +
                            m_saved[2].second);
        return received;
    }

    QStringList lines() const
    {
        // Lines are written by a thread of their own.
        Diagnostics::flush();
        QFile log(QString::fromStdString((m_root / "log").native()));
        const QString text =
            log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        return text.isEmpty() ? QStringList() : text.chopped(1).split(QLatin1Char('\n'));
    }

private:
    std::pair<const char *, QByteArray> m_saved[3] = {{"TMPDIR", qgetenv("TMPDIR")},
                                                      {"XDG_CACHE_HOME", qgetenv("XDG_CACHE_HOME")},
                                                      {"PATH", qgetenv("PATH")}};
    QTemporaryDir m_dir;
    std::filesystem::path m_root;
    int m_logFd = -1;
};

// A socket as another process would make it at `path`: listening there, or
// connected to whoever listens there.
inline UniqueFd rawSocket(const QByteArray &path, bool listening)
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

// The program's environment for one test: a private shelf (QTemporaryDir
// makes it 0700) and no display.
inline QProcessEnvironment privateEnvironment(const QTemporaryDir &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), home.path());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// Runs the pool dry and delivers every block it queued to the main queue,
// and the blocks those queued in turn.
inline void settle(BackgroundPool &pool)
{
    for (int round = 0; round < 3; ++round) {
        QVERIFY(pool.waitForDone(60'000));
        QCoreApplication::sendPostedEvents();
    }
}

inline std::string readAll(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline qsizetype entriesIn(const std::filesystem::path &folder)
{
    return std::distance(std::filesystem::directory_iterator(folder),
                         std::filesystem::directory_iterator());
}

// A store over a ShelfTestEnv, whose additions are waited for.
struct TestShelf {
    ShelfTestEnv env;
    BackgroundPool pool;
    std::shared_ptr<StashletManager> manager = StashletManager::create(pool);

    void add(const std::filesystem::path &source)
    {
        manager->addFile(source);
        settle(pool);
    }
    // Stages a new file `in/name` that should be accepted, and returns its entry.
    const TempFile &stage(const std::string &name, const std::string &content = "x")
    {
        add(env.file(std::filesystem::path("in") / name, content));
        if (manager->tempFiles().isEmpty()) {
            qFatal("%s was not staged", name.c_str());
        }
        return manager->tempFiles().constLast();
    }
    QStringList names() const { return namesOf(*manager); }
    static QStringList namesOf(const StashletManager &manager)
    {
        QStringList names;
        for (const TempFile &f : manager.tempFiles()) {
            names << f.displayName();
        }
        return names;
    }
};

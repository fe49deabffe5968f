// SPDX-License-Identifier: MIT
#include "singleinstance.h"

#include "stagingfolder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace {

QString folder(const QString &directory)
{
    const std::filesystem::path base =
        directory.isEmpty() ? StagingFolder().location().parent_path()
                            : std::filesystem::path(QFile::encodeName(directory).toStdString());
    // Made private, as the staging folder's base would be.
    StagingFolder::makeFolders(base);
    return QFile::decodeName(base.native().c_str());
}

constexpr char kToggle[] = "toggle\n";
constexpr qsizetype kToggleSize = sizeof kToggle - 1;
// Sent back once the panel was toggled: a stopped (SIGSTOP) or hung first
// still accepts connections into the kernel's backlog; only an answer tells.
constexpr char kDone[] = "done\n";
constexpr qsizetype kDoneSize = sizeof kDone - 1;
constexpr std::chrono::milliseconds kAnswerWait{3000};
// How long to stop accepting when the process is out of descriptors.
constexpr std::chrono::milliseconds kAcceptPause{500};
// Longer than any message a later start sends: a peer past it is not one of ours.
constexpr qsizetype kLongestLine = 64;

// Where a socket is bound or reached. sun_path holds 107 bytes; a longer path
// (a deep $TMPDIR) goes through the folder's descriptor in /proc rather than
// being cut to name another file.
struct SocketAddress {
    UniqueFd folder; // open while the address is in use
    sockaddr_un address{};

    const sockaddr *get() const { return reinterpret_cast<const sockaddr *>(&address); }
};

std::optional<SocketAddress> socketAddress(const QString &path)
{
    SocketAddress result;
    result.address.sun_family = AF_UNIX;
    constexpr qsizetype room = sizeof result.address.sun_path;
    QByteArray name = QFile::encodeName(path);
    const qsizetype slash = name.lastIndexOf('/');
    if (name.contains('\0') || slash < 0) {
        return std::nullopt;
    }
    if (name.size() >= room) {
        result.folder =
            UniqueFd(::open(name.left(slash).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!result.folder.valid()) {
            return std::nullopt;
        }
        name = "/proc/self/fd/" + QByteArray::number(result.folder.get()) + name.mid(slash);
        if (name.size() >= room) {
            return std::nullopt;
        }
    }
    std::memcpy(result.address.sun_path, name.constData(), name.size());
    return result;
}

// True once the first has answered `kDone`; false when it said something else,
// hung up, or let kAnswerWait pass.
bool awaitAnswer(int fd)
{
    QByteArray answer;
    const QDeadlineTimer deadline(kAnswerWait);
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        if (deadline.hasExpired() || ::poll(&waiting, 1, int(deadline.remainingTime())) == 0) {
            return false;
        }
        char buffer[16];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        answer.append(buffer, n);
        if (answer.size() >= kDoneSize) {
            return answer.startsWith(kDone);
        }
    }
}

QString errnoString()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

// A later start's connection, and what it has sent of a line so far.
struct SingleInstance::Peer {
    UniqueFd fd;
    QByteArray line;
};

SingleInstance::SingleInstance(const QString &directory, QObject *parent)
    : QObject(parent)
{
    const QString base = folder(directory);
    m_socketPath = base + QStringLiteral("/QELStashlet.socket");
    m_lockPath = base + QStringLiteral("/QELStashlet.lock");
    m_stagingPath = base + u'/' + QLatin1String(StagingFolder::kName);
}

SingleInstance::~SingleInstance()
{
    release();
}

void SingleInstance::release()
{
    m_accepting.reset();
    // Ours alone while the lock is held; the next first would only replace it.
    if (m_listener.valid()) {
        QFile::remove(m_socketPath);
        m_listener = UniqueFd();
    }
    m_stagingLock = UniqueFd();
    m_lock = UniqueFd();
}

SingleInstance::Claim SingleInstance::claim()
{
    // The kernel's lock decides who is first, atomically, and goes with its
    // process however that ends. Taking it writes nothing, so a start never
    // waits on a busy disk (as an owner's id synced to a file would). The
    // file stays after quit: removing it would let two starts lock two files.
    const QByteArray path = QFile::encodeName(m_lockPath);
    for (int attempt = 0; attempt < 3; ++attempt) {
        UniqueFd fd(::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            m_lockError =
                QStringLiteral("cannot open the lock file %1: %2").arg(m_lockPath, errnoString());
            return Claim::Failed;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                return Claim::Later;
            }
            m_lockError = QStringLiteral("cannot lock %1: %2").arg(m_lockPath, errnoString());
            return Claim::Failed;
        }
        // A file deleted or replaced since it was opened (a cleaner of the
        // temporary folder) is a lock no later start can see: take the new one.
        struct stat held {};
        struct stat named {};
        if (::fstat(fd.get(), &held) == 0 && ::stat(path.constData(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            // The file alone proves nothing: a cleaner may have deleted it
            // under a first that still holds its lock. That first also holds
            // the staging folder, and answers at its socket.
            if (!lockStagingFolder() || firstAnswers()) {
                m_stagingLock = UniqueFd();
                return Claim::Later;
            }
            m_lock = std::move(fd);
            // Without the socket only later starts lose out, and say so.
            listen();
            return Claim::First;
        }
    }
    m_lockError = QStringLiteral("cannot lock %1: it keeps being replaced").arg(m_lockPath);
    return Claim::Failed;
}

// False when another process holds the staging folder. One that cannot be
// locked here (not ours, no flock) is left to the store, which refuses it.
bool SingleInstance::lockStagingFolder()
{
    const QByteArray path = QFile::encodeName(m_stagingPath);
    StagingFolder::makeFolders(path.toStdString());
    UniqueFd fd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || st.st_uid != ::geteuid()) {
        return true;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return errno != EWOULDBLOCK;
    }
    m_stagingLock = std::move(fd);
    return true;
}

// True when a process listens at the socket, even one too busy or stopped to
// accept: the kernel takes the connection into its backlog, or says it is full.
bool SingleInstance::firstAnswers() const
{
    const std::optional<SocketAddress> address = socketAddress(m_socketPath);
    if (!address) {
        return false;
    }
    const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    return fd.valid() && (::connect(fd.get(), address->get(), sizeof address->address) == 0 ||
                          errno == EAGAIN || errno == EINPROGRESS);
}

void SingleInstance::listen()
{
    const std::optional<SocketAddress> address = socketAddress(m_socketPath);
    if (!address) {
        m_listenError = QStringLiteral("cannot reach the folder of %1").arg(m_socketPath);
        return;
    }
    // A socket file left by a crash; anything else there is not ours to remove.
    struct stat st {};
    if (::lstat(address->address.sun_path, &st) == 0 && S_ISSOCK(st.st_mode)) {
        ::unlink(address->address.sun_path);
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    // The socket file takes the socket's mode: narrowed before bind, no one
    // else can connect even for a moment, whatever the umask.
    if (!fd.valid() || ::fchmod(fd.get(), S_IRUSR | S_IWUSR) != 0 ||
        ::bind(fd.get(), address->get(), sizeof address->address) != 0) {
        m_listenError =
            QStringLiteral("cannot make the socket %1: %2").arg(m_socketPath, errnoString());
        return;
    }
    if (::listen(fd.get(), SOMAXCONN) != 0) {
        m_listenError = QStringLiteral("cannot listen at %1: %2").arg(m_socketPath, errnoString());
        ::unlink(address->address.sun_path);
        return;
    }
    m_listener = std::move(fd);
    m_accepting = std::make_unique<QSocketNotifier>(m_listener.get(), QSocketNotifier::Read);
    connect(m_accepting.get(), &QSocketNotifier::activated, this, &SingleInstance::acceptPeer);
}

// One a wake-up: the notifier fires again while more are waiting.
void SingleInstance::acceptPeer()
{
    UniqueFd fd(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd.valid()) {
        // Out of descriptors or memory, the waiting start would wake the loop
        // again at once: rest a while rather than spin.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            m_accepting->setEnabled(false);
            QTimer::singleShot(kAcceptPause, m_accepting.get(),
                               [notifier = m_accepting.get()] { notifier->setEnabled(true); });
        }
        return;
    }
    auto *notifier = new QSocketNotifier(fd.get(), QSocketNotifier::Read, this);
    // The connection owns the peer, so the descriptor is closed with the notifier.
    auto peer = std::make_shared<Peer>(Peer{std::move(fd), {}});
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier, peer] {
        if (!serve(*peer)) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    });
}

// False once the peer is done with: it hung up, or said something other than
// "toggle". One read a wake-up, so that no peer keeps the event loop to itself.
bool SingleInstance::serve(Peer &peer)
{
    char buffer[256];
    const ssize_t n = ::recv(peer.fd.get(), buffer, sizeof buffer, 0);
    if (n < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    if (n == 0) {
        return false;
    }
    peer.line.append(buffer, n);
    while (peer.line.contains('\n')) {
        if (!peer.line.startsWith(kToggle)) {
            return false;
        }
        peer.line.remove(0, kToggleSize);
        Q_EMIT toggleRequested();
        // A later start that does not read its answer cannot hold this one up.
        ::send(peer.fd.get(), kDone, kDoneSize, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    return peer.line.size() <= kLongestLine;
}

QString SingleInstance::errorString() const
{
    return m_listenError.isEmpty() ? m_lockError : m_listenError;
}

bool SingleInstance::askFirstToToggle()
{
    const std::optional<SocketAddress> address = socketAddress(m_socketPath);
    if (!address) {
        return false;
    }
    // The first may hold the lock a moment before it listens: try a while.
    // Non-blocking, so a first that no longer accepts cannot hold this start.
    for (int attempt = 0; attempt < 20; ++attempt) {
        const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (fd.valid() && ::connect(fd.get(), address->get(), sizeof address->address) == 0) {
            return ::send(fd.get(), kToggle, kToggleSize, MSG_NOSIGNAL) == kToggleSize &&
                   awaitAnswer(fd.get());
        }
        QThread::msleep(100);
    }
    return false;
}

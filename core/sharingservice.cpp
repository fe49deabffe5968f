// SPDX-License-Identifier: MIT
#include "sharingservice.h"

#include "diagnostics.h"
#include "tempfile.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStandardPaths>
#include <QStringList>
#include <QVariantMap>

#include <string>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

const QString kGsConnectService = QStringLiteral("org.gnome.Shell.Extensions.GSConnect");

void reportMissing()
{
    Diagnostics::writeLine("AirDrop sharing service is not available.");
}

void runKdeConnect(std::string program, const std::vector<std::filesystem::path> &items)
{
    // Arguments go as bytes through posix_spawn, so a name that is not UTF-8
    // reaches the handler unchanged.
    std::vector<std::string> args;
    for (const auto &item : items) {
        args.push_back(item.native());
    }
    std::vector<char *> argv{program.data()};
    for (auto &arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        // Found on PATH but unable to start: for the user that is no service.
        reportMissing();
        return;
    }
    // The picker stays open as long as the user likes; reap it aside so it
    // leaves no zombie behind.
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
}

// GNOME's KDE Connect has no handler program: its GApplication opens file URIs
// in its device chooser, through the call behind g_application_open().
void openInGsConnect(const QDBusConnection &bus, const std::vector<std::filesystem::path> &items)
{
    QStringList uris;
    for (const auto &item : items) {
        uris.append(QString::fromLatin1(fileUri(item)));
    }
    QDBusMessage open = QDBusMessage::createMethodCall(
        kGsConnectService, QStringLiteral("/org/gnome/Shell/Extensions/GSConnect"),
        QStringLiteral("org.freedesktop.Application"), QStringLiteral("Open"));
    open << uris << QString() << QVariantMap();
    // Never waited for: a service the bus must start takes seconds. The
    // application owns the watcher, so a quit before the answer leaks nothing.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(open), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [](QDBusPendingCallWatcher *call) {
                         if (call->isError()) {
                             reportMissing();
                         }
                         call->deleteLater();
                     });
}

// Running, or installed for the bus to start on the first call.
bool offeredOn(const QDBusConnection &bus, const QString &service)
{
    if (!bus.isConnected()) {
        return false;
    }
    QDBusConnectionInterface *names = bus.interface();
    return names->isServiceRegistered(service).value() ||
           names->activatableServiceNames().value().contains(service);
}

} // namespace

void SharingService::sendToNearbyDevice(const std::vector<std::filesystem::path> &items)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("kdeconnect-handler"));
    if (!program.isEmpty()) {
        runKdeConnect(program.toStdString(), items);
        return;
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (offeredOn(bus, kGsConnectService)) {
        openInGsConnect(bus, items);
        return;
    }
    reportMissing();
}

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

class KdeConnectService final : public SharingService {
public:
    explicit KdeConnectService(std::string program)
        : m_program(std::move(program))
    {
    }

    void perform(const std::vector<std::filesystem::path> &items) override
    {
        // Arguments go as bytes through posix_spawn, so a name that is not
        // UTF-8 reaches the handler unchanged.
        std::vector<char *> argv{m_program.data()};
        std::vector<std::string> args;
        args.reserve(items.size());
        for (const auto &item : items) {
            args.push_back(item.native());
        }
        for (auto &arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);

        pid_t pid = 0;
        const int error =
            ::posix_spawn(&pid, m_program.c_str(), nullptr, nullptr, argv.data(), environ);
        if (error != 0) {
            // Found on PATH but unable to start: for the user that is no service.
            Diagnostics::writeLine("AirDrop sharing service is not available.");
            return;
        }
        // The picker stays open as long as the user likes; reap it aside so
        // it leaves no zombie behind.
        std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    }

private:
    std::string m_program;
};

const QString kGsConnectService = QStringLiteral("org.gnome.Shell.Extensions.GSConnect");

// GNOME's KDE Connect, which has no handler program. Its service is a
// GApplication that opens file URIs in its own device chooser, as its file
// manager extensions' "Send To Mobile Device" leads to; Open is the
// org.freedesktop.Application call behind g_application_open().
class GsConnectService final : public SharingService {
public:
    explicit GsConnectService(QDBusConnection bus)
        : m_bus(std::move(bus))
    {
    }

    void perform(const std::vector<std::filesystem::path> &items) override
    {
        QStringList uris;
        for (const auto &item : items) {
            uris.append(QString::fromLatin1(fileUri(item)));
        }
        QDBusMessage open = QDBusMessage::createMethodCall(
            kGsConnectService, QStringLiteral("/org/gnome/Shell/Extensions/GSConnect"),
            QStringLiteral("org.freedesktop.Application"), QStringLiteral("Open"));
        open << uris << QString() << QVariantMap();
        // Never waited for: a service the bus must first start takes seconds.
        // The application holds the watcher, so a quit before the answer
        // leaves nothing behind.
        auto *watcher =
            new QDBusPendingCallWatcher(m_bus.asyncCall(open), QCoreApplication::instance());
        QObject::connect(
            watcher, &QDBusPendingCallWatcher::finished, [](QDBusPendingCallWatcher *call) {
                if (call->isError()) {
                    Diagnostics::writeLine("AirDrop sharing service is not available.");
                }
                call->deleteLater();
            });
    }

private:
    QDBusConnection m_bus;
};

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

std::unique_ptr<SharingService> SharingService::named(Name name)
{
    switch (name) {
    case Name::SendToNearbyDevice: {
        const QString program =
            QStandardPaths::findExecutable(QStringLiteral("kdeconnect-handler"));
        if (!program.isEmpty()) {
            return std::make_unique<KdeConnectService>(program.toStdString());
        }
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (offeredOn(bus, kGsConnectService)) {
            return std::make_unique<GsConnectService>(bus);
        }
        return nullptr;
    }
    }
    return nullptr;
}

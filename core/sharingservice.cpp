// SPDX-License-Identifier: MIT
#include "sharingservice.h"

#include "diagnostics.h"

#include <QStandardPaths>

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

} // namespace

std::unique_ptr<SharingService> SharingService::named(Name name)
{
    switch (name) {
    case Name::SendToNearbyDevice: {
        const QString program =
            QStandardPaths::findExecutable(QStringLiteral("kdeconnect-handler"));
        if (program.isEmpty()) {
            return nullptr;
        }
        return std::make_unique<KdeConnectService>(program.toStdString());
    }
    }
    return nullptr;
}

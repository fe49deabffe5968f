// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// The names posted through the centre.
namespace notification {
// The panel asks whoever shows it to hide it.
inline const QString kClosePopover = QStringLiteral("closePopover");
} // namespace notification

// Named notifications without an object, as the panel and the tray controller
// exchange them.
class NotificationCenter final {
public:
    using Token = std::uint64_t;

    static NotificationCenter &defaultCenter();

    // `handler` runs on the posting thread for every post of `name` until the
    // returned token is unregistered.
    Token observe(const QString &name, std::function<void()> handler);
    void unregister(Token token);
    // Calls the observers of `name` in the order they registered. An observer
    // may register or unregister others, itself included, while it runs.
    void post(const QString &name);

private:
    struct Observer {
        Token token;
        QString name;
        std::function<void()> handler;
    };

    std::mutex m_mutex;
    std::vector<Observer> m_observers;
    Token m_nextToken = 1;
};

// SPDX-License-Identifier: MIT
#include "notificationcenter.h"

#include <algorithm>

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::observe(const QString &name,
                                                      std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    const Token token = m_nextToken++;
    m_observers.push_back({token, name, std::move(handler)});
    return token;
}

void NotificationCenter::unregister(Token token)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_observers, [token](const Observer &o) { return o.token == token; });
}

void NotificationCenter::post(const QString &name)
{
    // Handlers run without the lock so they can change the registrations.
    // One unregistered by an earlier handler of the same post is skipped.
    std::vector<Token> tokens;
    {
        std::lock_guard lock(m_mutex);
        for (const Observer &o : m_observers) {
            if (o.name == name) {
                tokens.push_back(o.token);
            }
        }
    }
    for (Token token : tokens) {
        std::function<void()> handler;
        {
            std::lock_guard lock(m_mutex);
            auto it = std::find_if(m_observers.begin(), m_observers.end(),
                                   [token](const Observer &o) { return o.token == token; });
            if (it == m_observers.end()) {
                continue;
            }
            handler = it->handler;
        }
        handler();
    }
}

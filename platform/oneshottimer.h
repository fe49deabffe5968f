// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

// A timer that runs its block once on the thread that made it, unless it is
// invalidated first. Nothing is scheduled once it has fired or been invalidated.
class OneShotTimer final : public QObject {
    Q_OBJECT

public:
    OneShotTimer(std::chrono::milliseconds interval, std::function<void()> block,
                 QObject *parent = nullptr);

    // Stops the timer for good; after it has fired this does nothing.
    void invalidate();
    bool isValid() const { return m_valid; }

private:
    void fire();

    QTimer m_timer;
    std::function<void()> m_block;
    bool m_valid = true;
};

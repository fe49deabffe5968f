// SPDX-License-Identifier: MIT
#include "oneshottimer.h"

OneShotTimer::OneShotTimer(std::chrono::milliseconds interval, std::function<void()> block,
                           QObject *parent)
    : QObject(parent)
    , m_block(std::move(block))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &OneShotTimer::fire);
    m_timer.start(interval);
}

void OneShotTimer::invalidate()
{
    m_valid = false;
    m_timer.stop();
    m_block = nullptr;
}

void OneShotTimer::fire()
{
    if (!m_valid) {
        return;
    }
    m_valid = false;
    // The block may delete this timer (a new message replaces the old timer),
    // so it runs from a local.
    auto block = std::move(m_block);
    m_block = nullptr;
    block();
}

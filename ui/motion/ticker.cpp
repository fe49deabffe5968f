// SPDX-License-Identifier: MIT
#include "ticker.h"

#include "animatedvalue.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {
// A frame that arrives this late (a stalled event loop) is not replayed in
// full: a spring jumping half a second would look like a glitch.
constexpr double kLongestFrame = 0.1;
constexpr double kFallbackRefreshHz = 60.0;
} // namespace

Ticker::Ticker(QObject *parent)
    : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Ticker::onFrame);
}

Ticker::~Ticker()
{
    for (AnimatedValue *value : m_running) {
        if (value)
            value->m_ticker = nullptr;
    }
}

Ticker &Ticker::shared()
{
    static QPointer<Ticker> instance;
    if (!instance)
        instance = new Ticker(QCoreApplication::instance());
    return *instance;
}

int Ticker::frameIntervalMs() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    double hz = screen ? screen->refreshRate() : kFallbackRefreshHz;
    if (!(hz >= 1.0))
        hz = kFallbackRefreshHz;
    return std::max(1, static_cast<int>(std::lround(1000.0 / hz)));
}

void Ticker::setPanelVisible(bool visible)
{
    if (visible == m_panelVisible)
        return;
    m_panelVisible = visible;
    if (!visible) {
        m_timer.stop();
        m_advancing = true;
        for (std::size_t i = 0; i < m_running.size(); ++i) {
            if (AnimatedValue *value = m_running[i]; value && !value->isEndless())
                value->settle();
        }
        m_advancing = false;
        std::erase(m_running, nullptr);
        return;
    }
    startIfNeeded();
}

void Ticker::advance(double seconds)
{
    m_advancing = true;
    // Index loop: values may attach (appended) or detach (nulled) meanwhile.
    for (std::size_t i = 0; i < m_running.size(); ++i) {
        if (AnimatedValue *value = m_running[i])
            value->step(seconds);
    }
    m_advancing = false;
    std::erase(m_running, nullptr);
    if (m_running.empty())
        m_timer.stop();
    else if (m_timer.isActive())
        m_timer.start(nextIntervalMs());
}

int Ticker::nextIntervalMs() const
{
    const int frameMs = frameIntervalMs();
    double wait = 1.0;
    for (const AnimatedValue *value : m_running) {
        if (value)
            wait = std::min(wait, value->secondsToVisibleChange(frameMs / 1000.0));
    }
    return std::max(frameMs, static_cast<int>(std::lround(wait * 1000.0)));
}

void Ticker::attach(AnimatedValue *value)
{
    if (std::find(m_running.begin(), m_running.end(), value) == m_running.end())
        m_running.push_back(value);
    // A motion that needs every frame must not wait for a slow one's tick.
    if (m_timer.isActive() && m_timer.remainingTime() > frameIntervalMs())
        m_timer.start(frameIntervalMs());
    startIfNeeded();
}

void Ticker::detach(AnimatedValue *value)
{
    auto it = std::find(m_running.begin(), m_running.end(), value);
    if (it == m_running.end())
        return;
    if (m_advancing) {
        *it = nullptr;
        return;
    }
    m_running.erase(it);
    if (m_running.empty())
        m_timer.stop();
}

void Ticker::startIfNeeded()
{
    if (!m_panelVisible || m_running.empty() || m_timer.isActive())
        return;
    m_timer.start(nextIntervalMs());
    m_clock.start();
}

void Ticker::onFrame()
{
    const double elapsed = static_cast<double>(m_clock.nsecsElapsed()) / 1e9;
    m_clock.start();
    advance(std::min(elapsed, kLongestFrame));
}

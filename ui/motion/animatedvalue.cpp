// SPDX-License-Identifier: MIT
#include "animatedvalue.h"

#include "ticker.h"

#include <algorithm>
#include <cmath>

namespace {
// Below these a spring is at rest: far below a pixel or a colour step for
// every quantity the panel animates.
constexpr double kRestDistance = 1e-4;
constexpr double kRestSpeed = 1e-3;
// How finely the wait for a visible change is searched, and its longest wait.
constexpr double kSearchStep = 0.004;
constexpr double kLongestWait = 0.5;
} // namespace

AnimatedValue::AnimatedValue(double initial, QObject *parent, Ticker *ticker)
    : QObject(parent)
    , m_ticker(ticker ? ticker : &Ticker::shared())
    , m_state{initial, 0.0}
    , m_target(initial)
{
}

AnimatedValue::~AnimatedValue()
{
    if (m_ticker)
        m_ticker->detach(this);
}

void AnimatedValue::animateTo(double target, const Animation &animation)
{
    const bool interruptsSpring = m_animating && m_animation.kind() == Animation::Kind::Spring;
    const double previousTarget = interruptsSpring ? springTargetNow() : m_state.value;
    m_animation = animation;
    m_target = target;
    m_animating = true;
    if (animation.kind() == Animation::Kind::Spring) {
        m_blendFrom = previousTarget;
        m_blendElapsed = 0.0;
        m_blendDuration = interruptsSpring ? animation.blendDuration() : 0.0;
    } else {
        m_timedFrom = m_state.value;
        m_timedElapsed = 0.0;
    }
    if (m_ticker && !m_ticker->isPanelVisible() && !animation.repeats()) {
        settle();
        return;
    }
    if (m_ticker)
        m_ticker->attach(this);
}

void AnimatedValue::setValue(double value)
{
    stop();
    m_target = value;
    if (m_state.value == value && m_state.velocity == 0.0)
        return;
    m_state = {value, 0.0};
    Q_EMIT changed();
}

double AnimatedValue::springTargetNow() const
{
    if (m_blendDuration <= 0.0 || m_blendElapsed >= m_blendDuration)
        return m_target;
    return m_blendFrom + (m_target - m_blendFrom) * (m_blendElapsed / m_blendDuration);
}

double AnimatedValue::timedValueAt(double elapsed) const
{
    return m_timedFrom + (m_target - m_timedFrom) * m_animation.timedProgress(elapsed);
}

double AnimatedValue::secondsToVisibleChange(double frame) const
{
    if (!m_animating || m_resolution <= 0.0 || m_animation.kind() == Animation::Kind::Spring)
        return frame;
    double wait = frame;
    for (; wait < kLongestWait; wait += kSearchStep) {
        const double elapsed = m_timedElapsed + wait;
        if (std::abs(timedValueAt(elapsed) - m_state.value) >= m_resolution ||
            m_animation.timedFinished(elapsed))
            break;
    }
    return std::min(wait, kLongestWait);
}

void AnimatedValue::step(double seconds)
{
    if (!m_animating || seconds <= 0.0)
        return;
    if (m_animation.kind() == Animation::Kind::Spring) {
        const double from = springTargetNow();
        m_blendElapsed += seconds;
        const double to = springTargetNow();
        m_state = m_animation.advance(m_state, seconds, from, to);
        const bool blended = m_blendElapsed >= m_blendDuration;
        if (blended && std::abs(m_state.value - m_target) < kRestDistance &&
            std::abs(m_state.velocity) < kRestSpeed) {
            settle();
            return;
        }
    } else {
        const double before = m_state.value;
        m_timedElapsed += seconds;
        m_state.value = timedValueAt(m_timedElapsed);
        m_state.velocity = (m_state.value - before) / seconds;
        if (m_animation.timedFinished(m_timedElapsed)) {
            settle();
            return;
        }
    }
    Q_EMIT changed();
}

void AnimatedValue::settle()
{
    if (m_animation.repeats() && m_animating)
        return;
    stop();
    m_state = {m_target, 0.0};
    Q_EMIT changed();
}

void AnimatedValue::stop()
{
    m_animating = false;
    if (m_ticker)
        m_ticker->detach(this);
}

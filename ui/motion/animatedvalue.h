// SPDX-License-Identifier: MIT
#pragma once

#include "animation.h"

#include <QObject>

class Ticker;

// A number that moves towards its target with an animation, driven by a
// ticker. Widgets read `value()` when they paint and repaint on `changed`.
class AnimatedValue final : public QObject {
    Q_OBJECT

public:
    explicit AnimatedValue(double initial = 0.0, QObject *parent = nullptr,
                           Ticker *ticker = nullptr);
    ~AnimatedValue() override;

    double value() const { return m_state.value; }
    double velocity() const { return m_state.velocity; }
    double target() const { return m_target; }
    bool isAnimating() const { return m_animating; }
    bool isEndless() const { return m_animating && m_animation.repeats(); }

    // Moves on from the current value and velocity, so an interrupted motion
    // never jumps. With the panel hidden a finite motion ends at once.
    void animateTo(double target, const Animation &animation);
    // Jumps there and stops.
    void setValue(double value);

    // The smallest change that shows. A timed curve that has one is ticked
    // only when it has moved that far, not on every frame.
    void setResolution(double resolution) { m_resolution = resolution; }
    // Seconds until the value has moved by its resolution, at least `frame`;
    // `frame` itself where every frame may show a change.
    double secondsToVisibleChange(double frame) const;

    // One tick of `seconds`; normally called by the ticker.
    void step(double seconds);
    // Ends a finite motion at its target.
    void settle();

Q_SIGNALS:
    void changed();

private:
    friend class Ticker;
    void stop();
    double springTargetNow() const;
    double timedValueAt(double elapsed) const;

    Ticker *m_ticker;
    Animation m_animation = Animation::spring();
    SpringState m_state;
    double m_target;
    // A spring that interrupts another moves its target over from the old one during its blend
    // duration, so the old motion's momentum is taken over gradually, not cut off.
    double m_blendFrom = 0.0;
    double m_blendElapsed = 0.0;
    double m_blendDuration = 0.0;
    // A timed curve runs from where the value was when it started.
    double m_timedFrom = 0.0;
    double m_timedElapsed = 0.0;
    double m_resolution = 0.0;
    bool m_animating = false;
};

// SPDX-License-Identifier: MIT
#pragma once

#include "spring.h"

// How a value moves to a new target: a spring (response, damping fraction,
// blend duration) or a timed ease-in-out curve, which may repeat forever.
class Animation final {
public:
    enum class Kind { Spring, EaseInOut };

    static constexpr Animation spring(double response = 0.55, double dampingFraction = 0.825,
                                      double blendDuration = 0.0)
    {
        return Animation(Kind::Spring, response, dampingFraction, blendDuration);
    }
    // Same model as `spring`; only the defaults differ, tuned for direct
    // manipulation.
    static constexpr Animation interactiveSpring(double response = 0.15,
                                                 double dampingFraction = 0.86,
                                                 double blendDuration = 0.25)
    {
        return Animation(Kind::Spring, response, dampingFraction, blendDuration);
    }
    static constexpr Animation easeInOut(double duration = 0.35)
    {
        return Animation(Kind::EaseInOut, duration, 1.0, 0.0);
    }

    // Timed curves only: after each leg the curve starts again, running
    // backwards every other leg when `autoreverses`.
    constexpr Animation repeatForever(bool autoreverses = true) const
    {
        Animation copy = *this;
        copy.m_repeats = true;
        copy.m_autoreverses = autoreverses;
        return copy;
    }

    Kind kind() const { return m_kind; }
    Spring springModel() const { return Spring(m_response, m_dampingFraction); }
    double blendDuration() const { return m_blendDuration; }
    double duration() const { return m_response; }
    bool repeats() const { return m_repeats; }
    bool autoreverses() const { return m_autoreverses; }

    // Fraction of the way from start to target after `elapsed` seconds of a
    // timed curve, eased; for a repeating curve it never ends.
    double timedProgress(double elapsed) const;
    bool timedFinished(double elapsed) const { return !m_repeats && elapsed >= m_response; }

private:
    constexpr Animation(Kind kind, double response, double dampingFraction, double blendDuration)
        : m_kind(kind)
        , m_response(response)
        , m_dampingFraction(dampingFraction)
        , m_blendDuration(blendDuration)
    {
    }

    Kind m_kind;
    double m_response; // the duration of a timed curve
    double m_dampingFraction;
    double m_blendDuration;
    bool m_repeats = false;
    bool m_autoreverses = false;
};

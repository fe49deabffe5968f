// SPDX-License-Identifier: MIT
#pragma once

// Position and velocity of one animated scalar.
struct SpringState {
    double value = 0.0;
    double velocity = 0.0;
};

// How a value moves to a new target: a spring, or a timed ease-in-out curve
// that may repeat forever.
//
// The spring, the one every animation of the panel uses, is a unit mass on a
// spring of stiffness k = (2 pi / response)^2 with viscous damping
// c = 4 pi * dampingFraction / response, pulled towards a target:
//     x'' = k (target - x) - c x'
// so `response` is the period of the undamped oscillation and a damping
// fraction of 1 is critical damping (no overshoot).
class Animation final {
public:
    enum class Kind { Spring, EaseInOut };

    static constexpr Animation spring(double response = 0.55, double dampingFraction = 0.825,
                                      double blendDuration = 0.0)
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
    double blendDuration() const { return m_blendDuration; }
    bool repeats() const { return m_repeats; }

    // Integrates the spring over `dt` seconds while the target moves linearly
    // from `targetFrom` to `targetTo` (a still target when the two are equal).
    // Fixed small RK4 substeps keep the result independent of the frame rate.
    SpringState advance(SpringState state, double dt, double targetFrom, double targetTo) const;

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

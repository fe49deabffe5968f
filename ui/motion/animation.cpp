// SPDX-License-Identifier: MIT
#include "animation.h"

#include <QEasingCurve>
#include <QPointF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
// Small enough that RK4 stays far inside its stability limit for the stiffest
// spring we use (response 0.08 s, omega about 79 rad/s) and exact to well
// under a thousandth of the travel.
constexpr double kMaxSubstep = 1.0 / 1000.0;

// The usual ease-in-out timing curve, a cubic Bezier through (0,0),
// (0.42,0), (0.58,1), (1,1).
double easeInOutCurve(double p)
{
    static const QEasingCurve curve = [] {
        QEasingCurve bezier(QEasingCurve::BezierSpline);
        bezier.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
        return bezier;
    }();
    return curve.valueForProgress(p);
}
} // namespace

SpringState Animation::advance(SpringState state, double dt, double targetFrom,
                               double targetTo) const
{
    if (dt <= 0.0)
        return state;
    const double omega = 2.0 * std::numbers::pi / m_response;
    const double k = omega * omega;
    const double c = 4.0 * std::numbers::pi * m_dampingFraction / m_response;
    const int steps = std::max(1, static_cast<int>(std::ceil(dt / kMaxSubstep)));
    const double h = dt / steps;
    auto targetAt = [&](double t) { return targetFrom + (targetTo - targetFrom) * (t / dt); };
    auto accel = [&](double x, double v, double t) { return k * (targetAt(t) - x) - c * v; };

    double x = state.value;
    double v = state.velocity;
    for (int i = 0; i < steps; ++i) {
        const double t = i * h;
        const double k1x = v;
        const double k1v = accel(x, v, t);
        const double k2x = v + 0.5 * h * k1v;
        const double k2v = accel(x + 0.5 * h * k1x, k2x, t + 0.5 * h);
        const double k3x = v + 0.5 * h * k2v;
        const double k3v = accel(x + 0.5 * h * k2x, k3x, t + 0.5 * h);
        const double k4x = v + h * k3v;
        const double k4v = accel(x + h * k3x, k4x, t + h);
        x += h / 6.0 * (k1x + 2.0 * k2x + 2.0 * k3x + k4x);
        v += h / 6.0 * (k1v + 2.0 * k2v + 2.0 * k3v + k4v);
    }
    return {x, v};
}

double Animation::timedProgress(double elapsed) const
{
    if (m_response <= 0.0)
        return 1.0;
    const double legs = std::max(0.0, elapsed) / m_response;
    if (!m_repeats)
        return easeInOutCurve(std::min(1.0, legs));
    const double leg = std::floor(legs);
    double p = legs - leg;
    if (m_autoreverses && static_cast<long long>(leg) % 2 == 1)
        p = 1.0 - p;
    return easeInOutCurve(p);
}

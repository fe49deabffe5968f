// SPDX-License-Identifier: MIT
#include "animation.h"

#include <QEasingCurve>
#include <QPointF>

#include <algorithm>
#include <cmath>

namespace {
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

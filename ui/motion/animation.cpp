// SPDX-License-Identifier: MIT
#include "animation.h"

#include <algorithm>
#include <cmath>

namespace {
// The usual ease-in-out timing curve, a cubic Bezier through (0,0),
// (0.42,0), (0.58,1), (1,1): solve x(s) = p for s, return y(s).
double easeInOutCurve(double p)
{
    constexpr double x1 = 0.42;
    constexpr double x2 = 0.58;
    auto bez = [](double s, double a, double b) {
        const double r = 1.0 - s;
        return 3.0 * r * r * s * a + 3.0 * r * s * s * b + s * s * s;
    };
    double lo = 0.0;
    double hi = 1.0;
    double s = p;
    for (int i = 0; i < 40; ++i) {
        const double x = bez(s, x1, x2);
        if (std::abs(x - p) < 1e-9)
            break;
        (x < p ? lo : hi) = s;
        s = 0.5 * (lo + hi);
    }
    return bez(s, 0.0, 1.0);
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

// SPDX-License-Identifier: MIT
#pragma once

// Position and velocity of one animated scalar.
struct SpringState {
    double value = 0.0;
    double velocity = 0.0;
};

// The one spring every animation of the panel uses. Model: a unit mass on a
// spring of stiffness k = (2 pi / response)^2 with viscous damping
// c = 4 pi * dampingFraction / response, pulled towards a target:
//     x'' = k (target - x) - c x'
// so `response` is the period of the undamped oscillation and a damping
// fraction of 1 is critical damping (no overshoot).
class Spring final {
public:
    constexpr Spring(double response, double dampingFraction)
        : m_response(response)
        , m_dampingFraction(dampingFraction)
    {
    }

    double stiffness() const;
    double damping() const;
    double response() const { return m_response; }
    double dampingFraction() const { return m_dampingFraction; }

    // Integrates over `dt` seconds while the target moves linearly from
    // `targetFrom` to `targetTo` (a still target when the two are equal).
    // Fixed small RK4 substeps keep the result independent of the frame rate.
    SpringState advance(SpringState state, double dt, double targetFrom, double targetTo) const;

private:
    double m_response;
    double m_dampingFraction;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// Radial-basis interpolants over scattered samples: an implicit field in space
// (pulls vertices onto a surface) and a map from the plane into space (lifts a
// flat hole patch back onto the surrounding surface).
#pragma once

#include <vector>

#include "core/geometry/QvPoint.h"

struct QvTpsSample
{
    QvPoint m_position;
    double m_value = 0.0;
};

// f(p) = sum c_i |p - p_i|^3 + c_n + c_(n+1) x + c_(n+2) y + c_(n+3) z. The system carries one
// more unknown, c_(n+4), bordering it with ones; it takes no part in f.
class QvThinPlateSpline
{
public:
    QvThinPlateSpline() = default;

    // Copies the samples; the next use solves again.
    void SetSamples(const std::vector<QvTpsSample>& samples);

    // True at once when solved; otherwise builds and solves. False without samples or when
    // the system is singular; the coefficients then keep their old values.
    [[nodiscard]] bool Solve();

    // f(p); solves first when needed; the largest double when that fails.
    double Evaluate(const QvPoint& p);
    // grad f(p); solves first when needed; (0, 0, 0) when that fails.
    QvVector Gradient(const QvPoint& p);
    // Minus the normalised gradient; (-1, 0, 0) where the gradient vanishes.
    QvVector Normal(const QvPoint& p);

    // Newton steps along the gradient onto the zero level set: at most 10, ending once a step
    // is no longer than 1e-4. Where the gradient vanishes (or nothing can be solved) the step
    // is undefined and the point reached so far is returned.
    QvPoint ProjectToSurface(const QvPoint& p);

    [[nodiscard]] bool BuildSystem();

    static double Kernel(double r);

    bool m_bSolved = false;
    std::vector<QvTpsSample> m_samples;
    // n + 5 after solving: kernel weights, constant, x, y, z terms, border unknown.
    std::vector<double> m_coefficients;
};

// F(x, y) = w_n + sum w_i sqrt(c^2 + (y - y_i)^2 + (x - x_i)^2), one weight triple per sample.
// The sample count n is the number of values; x and y must hold at least as many entries.
class QvMultiquadricInterpolator
{
public:
    QvMultiquadricInterpolator() = default;
    QvMultiquadricInterpolator(const std::vector<QvPoint>& values, const std::vector<double>& x,
                               const std::vector<double>& y, const double& c);

    void SetSamples(const std::vector<double>& x, const std::vector<double>& y, double c);
    void SetValues(const std::vector<QvPoint>& values);

    // Factors with partial pivoting; false for a numerically singular system (two samples
    // at one point), no samples, or x or y shorter than the values. On false no weights
    // are kept.
    [[nodiscard]] bool Solve();

    // (0, 0, 0) until a Solve succeeds, or when the sample lists have since become shorter
    // than the weights.
    QvPoint Evaluate(double x, double y) const;

    std::vector<double> m_x;
    std::vector<double> m_y;
    double m_c = 0.0;
    std::vector<QvPoint> m_weights;
    std::vector<QvPoint> m_values;
};

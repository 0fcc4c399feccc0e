// SPDX-License-Identifier: GPL-3.0-or-later
// Knot vectors: the span search and the knot-placement rules under every B-spline.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

// Non-decreasing knots U[0..m]. A B-spline of degree p with n+1 control points has
// n+p+2 knots and the domain [U[p], U[n+1]]. The operations trust the caller to keep
// the values sorted; none of them ever reads outside the vector.
class QvKnotVector
{
public:
    QvKnotVector() = default;
    ~QvKnotVector() = default;

    // Clears, then holds n knots of 0.0 (none for n <= 0).
    void Resize(std::int32_t n);
    void PushBack(double x) { m_values.push_back(x); }

    std::int32_t Size() const { return static_cast<std::int32_t>(m_values.size()); }
    double operator[](std::int32_t i) const { return m_values[static_cast<std::size_t>(i)]; }
    double& operator[](std::int32_t i) { return m_values[static_cast<std::size_t>(i)]; }

    // The k in [p, n] with U[k] <= x < U[k+1]; the domain end U[n+1] belongs to span n.
    // A parameter outside the domain is clamped to it, and NaN answers p, so the search
    // always ends. Needs at least 2p+2 knots; answers p for a shorter vector.
    std::int32_t FindSpan(std::int32_t p, double x) const;

    // Open: m+p+1 knots, inner knots averaging p consecutive parameters.
    // Closed: m+2p knots, the inner parameters themselves. Ends take u's first and last value.
    // An empty list or a negative degree leaves the vector empty.
    void SetForInterpolation(const std::vector<double>& u, std::int32_t p, bool closed);
    // m+k+p+1 knots for k = 1 or 2 tangent conditions (index 0 is the start, any other index
    // the end); no condition gives the open interpolation knots; more than two leaves the vector empty.
    void SetForTangentInterpolation(const std::vector<double>& u, std::int32_t p,
                                    const std::vector<std::int32_t>& indices);
    // n+p+1 knots on [0, 1] for a least-squares fit with n control points: the parameters are cut
    // into n groups, and the inner knots average p consecutive group means. Needs m >= n >= p+1;
    // otherwise the vector is left empty.
    void SetForApproximation(const std::vector<double>& u, std::int32_t n, std::int32_t p);

    // Inserts x at position i+1 (i clamped to [-1, size-1]).
    void InsertAfter(std::int32_t i, double x);
    // Inserts every knot of other that this vector lacks (1e-7 apart; multiplicities count).
    void Merge(const QvKnotVector& other, std::int32_t p);
    // Maps the knots onto [0, 1]; left alone when empty or when first and last are equal.
    void Normalize();

    std::vector<double> m_values;
};

inline std::int32_t QvKnotVector::FindSpan(std::int32_t p, double x) const
{
    const std::int32_t n = Size() - p - 2;
    if (p < 0 || n < p)
        return p;
    const double* U = m_values.data();
    if (std::isnan(x))
        return p;
    // The end of the domain (and anything beyond it, which rounding produces) is in the last span.
    if (x >= U[n + 1])
        return n;
    if (x < U[p])
        x = U[p];
    // Invariant U[low] <= x < U[high]: the bisection ends whatever the knots hold.
    std::int32_t low = p;
    std::int32_t high = n + 1;
    while (high - low > 1)
    {
        const std::int32_t mid = (low + high) / 2;
        if (x < U[mid])
            high = mid;
        else
            low = mid;
    }
    return low;
}

namespace qvknots {

// The knots of `other` that `mine` lacks, in ascending order: both lists are walked from the front,
// a knot of `mine` matches at most one knot of `other` within 1e-7.
std::vector<double> MissingKnots(const std::vector<double>& mine, const std::vector<double>& other);

} // namespace qvknots

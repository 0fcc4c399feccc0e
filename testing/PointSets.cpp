// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/PointSets.h"

#include <cmath>

namespace qvtest {

double Uniform(Rng& rng, double lo, double hi)
{
    // Not std::uniform_real_distribution: its output differs between library versions.
    const double u = static_cast<double>(rng() >> 11) * 0x1.0p-53;
    return lo + (hi - lo) * u;
}

std::vector<QvPoint> RandomPointsInCube(std::size_t n, std::uint64_t seed, double lo, double hi)
{
    Rng rng(seed);
    std::vector<QvPoint> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
    {
        const double x = Uniform(rng, lo, hi);
        const double y = Uniform(rng, lo, hi);
        const double z = Uniform(rng, lo, hi);
        out.emplace_back(x, y, z);
    }
    return out;
}

std::vector<QvVector> RandomUnitVectors(std::size_t n, std::uint64_t seed)
{
    Rng rng(seed);
    std::vector<QvVector> out;
    out.reserve(n);
    while (out.size() < n)
    {
        const double x = Uniform(rng, -1.0, 1.0);
        const double y = Uniform(rng, -1.0, 1.0);
        const double z = Uniform(rng, -1.0, 1.0);
        const double len2 = x * x + y * y + z * z;
        if (len2 < 1e-6 || len2 > 1.0)
            continue;
        const double len = std::sqrt(len2);
        out.emplace_back(x / len, y / len, z / len);
    }
    return out;
}

std::vector<QvPoint> RandomPointsOnSphere(std::size_t n, std::uint64_t seed, const QvPoint& centre, double radius)
{
    std::vector<QvPoint> out;
    out.reserve(n);
    for (const QvVector& v : RandomUnitVectors(n, seed))
        out.push_back(centre + v * radius);
    return out;
}

std::vector<QvPoint> GridPoints(int nx, int ny, int nz, double h, const QvPoint& origin)
{
    std::vector<QvPoint> out;
    out.reserve(static_cast<std::size_t>(nx) * ny * nz);
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                out.push_back(origin + QvVector(i * h, j * h, k * h));
    return out;
}

std::vector<QvPoint> BoxCorners(double sx, double sy, double sz)
{
    std::vector<QvPoint> out;
    for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i)
                out.emplace_back(i * sx, j * sy, k * sz);
    return out;
}

std::vector<QvPoint> CirclePoints(int n, double radius)
{
    std::vector<QvPoint> out;
    out.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
    {
        const double a = 2.0 * M_PI * i / n;
        out.emplace_back(radius * std::cos(a), radius * std::sin(a), 0.0);
    }
    return out;
}

std::vector<QvPoint> CollinearPoints(int n, const QvPoint& a, const QvPoint& b)
{
    std::vector<QvPoint> out;
    out.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        out.push_back(a + (b - a) * (static_cast<double>(i) / (n - 1)));
    return out;
}

std::vector<QvPoint> Scaled(std::vector<QvPoint> points, double factor)
{
    for (QvPoint& p : points)
        p *= factor;
    return points;
}

} // namespace qvtest

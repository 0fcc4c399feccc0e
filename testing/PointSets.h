// SPDX-License-Identifier: GPL-3.0-or-later
// Reproducible point sets for tests and benchmarks.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "core/geometry/QvPoint.h"

namespace qvtest {

// The project's one random engine for fixtures: fixed seeds give the same data on every machine.
using Rng = std::mt19937_64;

double Uniform(Rng& rng, double lo, double hi);

// Uniform in the box [lo, hi]^3.
std::vector<QvPoint> RandomPointsInCube(std::size_t n, std::uint64_t seed, double lo = -1.0, double hi = 1.0);
// Uniform on a sphere's surface.
std::vector<QvPoint> RandomPointsOnSphere(std::size_t n, std::uint64_t seed, const QvPoint& centre, double radius);
// Random unit vectors.
std::vector<QvVector> RandomUnitVectors(std::size_t n, std::uint64_t seed);

// nx x ny x nz lattice of spacing h starting at origin, x fastest.
std::vector<QvPoint> GridPoints(int nx, int ny, int nz, double h, const QvPoint& origin = QvPoint());
// The eight corners of [0, sx] x [0, sy] x [0, sz].
std::vector<QvPoint> BoxCorners(double sx, double sy, double sz);
// n points evenly on a circle of the given radius in the plane z = 0, centred at the origin.
std::vector<QvPoint> CirclePoints(int n, double radius);
// n points evenly on the segment from a to b, both ends included (n >= 2).
std::vector<QvPoint> CollinearPoints(int n, const QvPoint& a, const QvPoint& b);

// Every point scaled about the origin: the unit fixtures at 1e-3 and 1e3 scale too.
std::vector<QvPoint> Scaled(std::vector<QvPoint> points, double factor);

} // namespace qvtest

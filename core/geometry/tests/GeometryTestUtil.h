// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers shared by the geometry tests: coordinate-wise comparisons and random
// points and directions.
#pragma once

#include <gtest/gtest.h>

#include "core/geometry/QvPoint.h"
#include "testing/PointSets.h"

namespace qvtest {

inline void ExpectNear(const QvPoint& a, const QvPoint& b, double tol, const char* what = "")
{
    EXPECT_NEAR(a[0], b[0], tol) << what;
    EXPECT_NEAR(a[1], b[1], tol) << what;
    EXPECT_NEAR(a[2], b[2], tol) << what;
}

inline void ExpectNear(const QvVector& a, const QvVector& b, double tol, const char* what = "")
{
    EXPECT_NEAR(a[0], b[0], tol) << what;
    EXPECT_NEAR(a[1], b[1], tol) << what;
    EXPECT_NEAR(a[2], b[2], tol) << what;
}

inline QvPoint RandomPoint(Rng& rng, double lo, double hi)
{
    return QvPoint(Uniform(rng, lo, hi), Uniform(rng, lo, hi), Uniform(rng, lo, hi));
}

// Uniform on the sphere: rejection from the cube, skipping the near-zero core.
inline QvVector RandomUnit(Rng& rng)
{
    for (;;)
    {
        QvVector v(Uniform(rng, -1, 1), Uniform(rng, -1, 1), Uniform(rng, -1, 1));
        const double len = v.Length();
        if (len > 0.1 && len <= 1.0)
            return v / len;
    }
}

} // namespace qvtest

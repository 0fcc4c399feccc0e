// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a 4 x 4 placement moves a mesh rigidly (its 3 x 3 part a rotation up to
// rounding, its translation finite): only then do a tree's boxes and triangles, placed
// by it, keep their shapes, so that the shortcuts taken on placed trees are exact.
#pragma once

#include <cmath>

#include "core/geometry/QvMatrix.h"

inline bool QvIsRigidPlacement(const QvMatrix& m)
{
    if (m.Rows() != 4 || m.Cols() != 4)
        return false;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            const double dot = m[0][i] * m[0][j] + m[1][i] * m[1][j] + m[2][i] * m[2][j];
            if (!(std::fabs(dot - (i == j ? 1.0 : 0.0)) < 1e-9))
                return false;
        }
    return std::isfinite(m[0][3]) && std::isfinite(m[1][3]) && std::isfinite(m[2][3]);
}

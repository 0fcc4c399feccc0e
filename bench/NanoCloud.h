// SPDX-License-Identifier: GPL-3.0-or-later
// Points as nanoflann reads them, and the tree the benchmarks build over them.
#pragma once

#include <cstddef>
#include <vector>

#include <nanoflann.hpp>

#include "core/geometry/QvPoint.h"

struct NanoCloud
{
    const std::vector<QvPoint>& points;
    std::size_t kdtree_get_point_count() const { return points.size(); }
    double kdtree_get_pt(std::size_t i, std::size_t dim) const { return points[i][static_cast<int>(dim)]; }
    template <class Box>
    bool kdtree_get_bbox(Box&) const
    {
        return false;
    }
};

using NanoTree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, NanoCloud>, NanoCloud, 3>;

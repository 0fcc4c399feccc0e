// SPDX-License-Identifier: GPL-3.0-or-later
// The control-point-count search behind QvBSplineCurve::Fit and FitWithTangents, with the counts it
// tries made visible to tests. Not for other callers.
#pragma once

#include <cstdint>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"

namespace qvbspline_detail {

// tangents may be null (Fit). tried, when given, receives each count solved, in order.
QvBSplineCurve* FitSearch(const std::vector<QvPoint>& points, const std::vector<std::int32_t>& fixed,
                          const std::vector<QvBSplineCurve::TangentCondition>* tangents, bool closed, double tol,
                          std::vector<std::int32_t>* tried);

} // namespace qvbspline_detail

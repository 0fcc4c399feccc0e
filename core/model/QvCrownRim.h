// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

class QvMesh;

// The rim of a tooth's crown: the first longest boundary loop of its faces that are
// not virtual-root faces, as LongestBoundaryLoop finds it on a copy of those faces
// alone (in the copy's edge and incidence order), in the tooth's own vertex indices.
// Found on the tooth's own edges (a rim edge has exactly one crown face), without
// the copy; empty when the crown has no boundary.
std::vector<int> CrownRim(const QvMesh& mesh);

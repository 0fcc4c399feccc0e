// SPDX-License-Identifier: GPL-3.0-or-later
// Whether faces a builder just added cross each other or the surface around them:
// the guard the hole fills run before they keep a patch.
// Triangles meeting in a shared corner or along a shared side do not cross; two that
// share a corner cross when they meet anywhere else, two that share a side when they
// fold flat onto each other.
#pragma once

#include <vector>

#include "core/geometry/QvPoint.h"

class QvMesh;

// True when the triangles (a0, a1, a2) and (b0, b1, b2), which share no corner, have a
// point in common. Orientation tests in double precision, with a tolerance relative to
// the triangles' size: touching counts as crossing.
bool QvTrianglesCross(const QvPoint a[3], const QvPoint b[3]);

// True when some face of `faces` crosses another face of `faces` or a face of `others`
// (faces of the mesh by index; corners shared by index are shared). Indices outside the
// mesh are ignored.
bool QvFacesCross(const QvMesh& mesh, const std::vector<int>& faces, const std::vector<int>& others);

// The faces within `rings` edge steps of the given vertices (ring 1: the faces around
// them), ascending.
std::vector<int> QvFacesNearVertices(const QvMesh& mesh, const std::vector<int>& vertices, int rings);

// True when a face from firstFace on (a patch just added) crosses another patch face or
// one of the older faces near the patch (those whose boxes meet the patch's box).
bool QvPatchCrosses(const QvMesh& mesh, int firstFace);

// SPDX-License-Identifier: GPL-3.0-or-later
// Whether faces a builder just added cross each other or the surface around them:
// the guard the hole fills run before they keep a patch.
// Triangles meeting in a shared corner or along a shared side do not cross; two that
// share a corner cross when they meet anywhere else, two that share a side when they
// fold flat onto each other.
#pragma once

#include <vector>

class QvMesh;

// True when some face of `faces` crosses another face of `faces` or a face of `others`
// (faces of the mesh by index; corners shared by index are shared). Indices outside the
// mesh are ignored. A listed face without area counts as crossing; such a face among
// `others` is passed over.
bool QvFacesCross(const QvMesh& mesh, const std::vector<int>& faces, const std::vector<int>& others);

// The faces below `below` whose boxes meet the box of `faces`, ascending.
std::vector<int> QvFacesInBox(const QvMesh& mesh, const std::vector<int>& faces, int below);

// The faces below `below` whose boxes meet the box of the listed vertices, ascending.
std::vector<int> QvFacesNearVertices(const QvMesh& mesh, const std::vector<int>& vertices, int below);

// True when the mesh's last face crosses a face of `near` or a face from firstFace on
// before it, each pair judged as QvPatchCrosses judges it: the corner-cutting fills test
// each triangle as they add it.
bool QvLastFaceCrosses(const QvMesh& mesh, const std::vector<int>& near, int firstFace);

// True when a face from firstFace on (a patch just added) crosses another patch face or
// one of the older faces near the patch (those whose boxes meet the patch's box).
bool QvPatchCrosses(const QvMesh& mesh, int firstFace);

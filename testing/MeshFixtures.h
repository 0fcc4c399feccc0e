// SPDX-License-Identifier: GPL-3.0-or-later
// Procedural meshes for the mesh tests: closed and open, small and large. Every
// fixture is built through face insertion and has its face normals computed.
#pragma once

#include <cstdint>

#include "core/mesh/QvMesh.h"

namespace qvtest {

// (0,0,0), (1,0,0), (0,1,0), (1,1,0); faces (0, 1, 2) and (2, 1, 3), normals +z.
QvMesh MakeTwoTriangleStrip();

// Closed cube [0, size]^3: 8 vertices, 12 faces wound outwards; vertex x + 2y + 4z
// sits at (x, y, z) * size.
QvMesh MakeCube(double size = 1.0);

// Closed sphere: an octahedron split `levels` times (8 * 4^levels faces) and pushed
// onto the sphere; faces wound outwards.
QvMesh MakeSphere(int levels, double radius = 1.0);

// Open planar grid of nx by ny vertices (vertex j * nx + i at (i, j, 0) * spacing),
// two faces per cell, normals +z.
QvMesh MakeGrid(int nx, int ny, double spacing = 1.0);

// The same grid followed by `isolated` vertices without edges, so that vertex and
// face counts can be chosen independently (stream forms switch widths at 65536).
QvMesh MakeGridWithIsolated(int nx, int ny, int isolated);

// Closed crown-like shape: a sphere of 8 * 4^levels faces pushed out radially into
// four cusps around a central fissure, then scaled to a molar's size (about 10 x 9 x 8
// mm). Star-shaped about the origin, so it never intersects itself; planes off the
// centre can cut it in several loops.
QvMesh MakeCrown(int levels);

// Open crown-like cap: the crown's shape (four cusps, about 10 x 9 mm) from the top down
// to a little past its widest part, where it ends in one elliptical boundary ring in a
// plane (so the border projects convex). Vertex 0 is the apex, then ring k (1 to rings)
// of `around` vertices from index 1 + (k - 1) * around; 1 + rings * around vertices in
// all. Faces wound outwards.
QvMesh MakeCrownCap(int rings, int around);

// Open planar disc in z = 0: vertex 0 at the centre, then ring k (1 to rings) of 6k
// vertices at radius k * spacing, starting at index 1 + 3k(k - 1), angles 2 pi m / 6k.
// Neighbouring rings are stitched by angle, so rings are not all alike. Normals +z.
QvMesh MakeDisc(int rings, double spacing = 1.0);

// Open cylinder band around the z axis: ring r (0 to rings - 1) of `around` vertices
// at height r * (2 pi radius / around), vertex r * around + i at angle 2 pi i / around;
// two faces per cell, wound outwards. Both end rings are borders.
QvMesh MakeBand(int around, int rings, double radius = 1.0);

// Open crown with a scalloped cervical rim, of about faceCount faces (at least a few
// hundred): the cap's cusped dome (about 10 x 9 mm, cusps towards +z, so the root side
// is -z), its rim rising and falling around the tooth like a gum line (about 1.5 mm)
// and its vertices unevenly spaced around the tooth. Vertex 0 is the top, then rings of
// equal size down to the rim, which is the last ring and the only border. Faces wound
// outwards. variant (0 up) changes size, scallop phase and spacing.
QvMesh MakeOpenCrown(int faceCount, int variant = 0);

} // namespace qvtest

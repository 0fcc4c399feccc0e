// SPDX-License-Identifier: GPL-3.0-or-later
// Small geometries and library set-ups shared by the attachment tests.
#pragma once

#include <memory>
#include <string>

#include "core/design/QvAttachGeo.h"

class QvTooth;

namespace qvdesigntest {

// A cube of side 1 at the origin and, with twoParts, a second one moved to (3, 0, 0).
QvMesh MakeCubes(bool twoParts);

// Fills the fields every stream form carries with recognisable values and gives the
// geometry a cube mesh (two cubes for a Power geometry).
void Populate(QvAttachGeo& geo, const std::string& name);

// A tooth with the given FDI number whose mesh is an open crown cap (rim = last ring).
std::unique_ptr<QvTooth> MakeCapTooth(int fdi, int rings = 10, int around = 32);

// Vertex k of ring r (1-based) of such a cap.
inline int CapVertex(int ring, int k, int around = 32) { return 1 + (ring - 1) * around + k; }

} // namespace qvdesigntest

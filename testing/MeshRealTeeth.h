// SPDX-License-Identifier: GPL-3.0-or-later
// The real tooth meshes of the shared test data (binary STL, crown and root of each):
// geometry no generator makes, for the tests that read meshes.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/mesh/QvMesh.h"

namespace qvtest {

// Paths of the STL files of the real-teeth folder, sorted; empty when the folder is not
// on this machine (the tests that need them then skip).
std::vector<std::string> RealToothFiles();

// Reads a binary STL into mesh: corners welded where their coordinates are equal, faces
// added in file order (those insertion refuses dropped), normals computed. False when
// the file cannot be read or runs short.
[[nodiscard]] bool ReadBinaryStl(const std::string& path, QvMesh& mesh);

// Universal numbers of the stored teeth; 3 to 10 are upper teeth (crowns towards -z),
// 29 and 30 lower ones (crowns towards +z).
const std::vector<int>& RealToothNumbers();

// Tooth N of the real-teeth folder; false when it cannot be read.
[[nodiscard]] bool LoadRealTooth(int number, QvMesh& mesh);

// A hole cut into a real tooth: `mesh` is a band of the tooth next to the cut (kept
// small for fast tests), `loop` the boundary along the cut, `removed` the faces of the
// tooth that the cut took away (the surface a fill should come close to).
struct QvRealHole
{
    std::string name;
    QvMesh mesh;
    std::vector<int> loop;
    QvMesh removed;
};

// How a tooth is cut.
enum class QvRealCut
{
    GumLine,   // plane across the tooth's long axis near the crown-root junction; crown kept
    Cusps,     // plane across the cusps below the crown tip; the root side kept
    Scalloped, // gum-line height, rim rising and falling twice around the tooth, noise 0.02 mm
               // added before the cut (so the cut's slivers stay on the noisy surface)
    NoisyCusps, // the cusp cut of a noisy surface, its rim rising and falling 0.2 mm
};

// The piece of tooth N cut as asked, with the band below `band` mm from the cut kept; a
// cut across the cusps lies `cuspDepth` mm below the crown tip. Every boundary loop along
// the cut is one entry (a cut across cusps may meet several cusps); loops of fewer than 3
// vertices are left out. Empty when the tooth cannot be read.
std::vector<QvRealHole> CutRealTooth(int number, QvRealCut cut, double band = 2.5, double cuspDepth = 0.8);

// Removes a compact disc of faces around the face farthest along `up`, so that the hole
// it leaves has exactly `boundary` vertices; the disc keeps away from existing holes and
// the triangles taken out are appended to removed. False, the mesh unchanged, when no
// such disc exists.
bool PunchHole(QvMesh& mesh, const QvVector& up, int boundary, std::vector<std::array<QvPoint, 3>>& removed);

// A hole of `boundary` vertices punched around the crown tip of tooth N, in the crown's
// top 3 mm: a small, curved hole on real geometry. Empty loop when it cannot be made.
QvRealHole PunchRealTooth(int number, int boundary);

// The crown of tooth N cut at the gum line (plain or scalloped and noisy), open along
// its rim, as a scan delivers it: for the virtual-root tests. The crown points towards
// -axis, so a root grows along +axis. Empty when the tooth cannot be read.
struct QvRealCrown
{
    std::string name;
    QvMesh mesh;
    QvVector axis;
};
std::vector<QvRealCrown> RealCrowns(int number);

} // namespace qvtest

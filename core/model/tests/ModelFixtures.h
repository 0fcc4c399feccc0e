// SPDX-License-Identifier: GPL-3.0-or-later
// Small dental fixtures for the model tests: a crown with a grown root, and teeth
// and jaws made in one call.
#pragma once

#include <vector>

#include "core/model/QvJaw.h"
#include "core/model/QvTooth.h"
#include "testing/MeshFixtures.h"

namespace qvmodeltest {

// An open 4 x 4 grid as crown (its rim: the 12 border vertices) closed by a fan of
// virtual-root faces (tag 4) to an apex below it, so that the whole mesh is closed.
inline void MakeCrownWithRoot(QvMesh& mesh)
{
    mesh.CopyMeshData(qvtest::MakeGrid(4, 4));
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    const int apex = mesh.AddVertex(QvPoint(1.5, 1.5, -3.0));
    const std::vector<int>& rim = loops.at(0);
    for (std::size_t i = 0; i < rim.size(); ++i)
        (void)mesh.AddFace(rim[(i + 1) % rim.size()], rim[i], apex, kQvFaceTagVirtualRoot);
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
}

// The crown's rim as a sorted list (walking order and start depend on the walk).
inline std::vector<int> SortedRim(const QvMesh& crown)
{
    std::vector<std::vector<int>> loops;
    crown.GetBoundaryLoops(loops);
    std::vector<int> rim = loops.empty() ? std::vector<int>() : loops[0];
    std::sort(rim.begin(), rim.end());
    return rim;
}

inline QvTooth* NewTooth(int fdi, int state = kQvToothOrdinary, QvJaw* jaw = nullptr)
{
    auto* tooth = new QvTooth();
    tooth->SetFdi(fdi);
    tooth->SetState(state);
    tooth->SetJaw(jaw);
    return tooth;
}

inline QvJaw* NewJaw(bool upper)
{
    auto* jaw = new QvJaw();
    jaw->SetUpper(upper);
    return jaw;
}

} // namespace qvmodeltest

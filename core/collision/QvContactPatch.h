// SPDX-License-Identifier: GPL-3.0-or-later
// The surface of one mesh that lies inside the other where two placed meshes
// penetrate: the faces a flood fill reached from a seed wholly inside the other mesh,
// bounded by the intersecting faces of the contact regions it met.
#pragma once

#include <vector>

class QvMesh;
struct QvOBBFace;

struct QvContactPatch
{
    QvMesh* m_pMesh = nullptr;
    // Non-intersecting faces in the order the flood reached them.
    std::vector<QvOBBFace*> m_faces;
    // Every face, on this mesh, of the regions the patch touches, ascending by face index.
    std::vector<QvOBBFace*> m_boundaryFaces;
    // Ids of the regions whose intersecting faces the flood met, ascending.
    std::vector<int> m_regions;
};

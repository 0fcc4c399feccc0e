// SPDX-License-Identifier: GPL-3.0-or-later
// A penetration patch on the first mesh with the patch on the second mesh that shares
// a contact region with it; the depth of a collision is measured between the two.
#pragma once

#include "core/geometry/QvPoint.h"

class QvVertex;
struct QvContactPatch;

// Neither patch is owned: the detecter's patch list owns them.
struct QvPatchPair
{
    QvContactPatch* m_pA = nullptr;
    QvContactPatch* m_pB = nullptr;
};

// A distinct vertex of a patch, at its tree's placement.
struct QvPatchVertex
{
    QvPoint m_point;
    QvVertex* m_pVertex = nullptr;
};

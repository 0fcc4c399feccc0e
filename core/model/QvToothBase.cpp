// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvToothBase.h"

#include "core/model/QvJaw.h"

int FdiQuadrant(int fdi)
{
    const int folded = fdi < 51 ? fdi : fdi - 40;
    return folded / 10;
}

bool FdiIsUpper(int fdi)
{
    // Compared unsigned, so that quadrants 0 and below count as lower.
    return static_cast<unsigned>(FdiQuadrant(fdi) - 1) < 2u;
}

std::vector<int> LongestBoundaryLoop(const QvMesh& mesh)
{
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    const std::vector<int>* best = nullptr;
    for (const std::vector<int>& loop : loops)
        if (!best || loop.size() > best->size())
            best = &loop;
    return best ? *best : std::vector<int>();
}

QvTypeCode QvToothBase::GetType() const { return kQvTypeToothBase; }

bool QvToothBase::IsKindOf(QvTypeCode code) const { return code == kQvTypeToothBase || QvMesh::IsKindOf(code); }

std::ostream& QvToothBase::Write(std::ostream& os, int version) const { return QvMesh::Write(os, version); }

bool QvToothBase::Read(std::istream& is, int version, QvModel* model) { return QvMesh::Read(is, version, model); }

bool QvToothBase::IsUpper() const
{
    if (const QvJaw* jaw = m_jaw.Get())
        return jaw->IsUpper();
    return FdiIsUpper(GetPositionFdi());
}

void QvToothBase::UpdateBoundaryLoop() { m_boundaryLoop = LongestBoundaryLoop(*this); }

bool QvToothBase::HasRootFaces() const
{
    for (const QvFace& face : m_faces)
        if (face.m_tag == kQvFaceTagVirtualRoot)
            return true;
    return false;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the case model kept for older conversions; nothing in the system calls them.
#include <memory>

#include "core/geometry/QvMatrix.h"
#include "core/model/QvCutLine.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"

namespace {

QvJawBone* FindOrAddJawBone(QvModel& model, bool upper)
{
    if (QvJawBone* bone = model.GetJawBone(upper))
        return bone;
    auto bone = std::make_unique<QvJawBone>();
    bone->SetUpper(upper);
    bone->SetVisible(false);
    QvJawBone* added = bone.get();
    model.AddEntity(bone.release());
    return added;
}

// The position of the FACC's first vertex on its own tooth; false when there is none.
bool FirstFaccPoint(const QvToothRef& ref, QvPoint& out)
{
    if (ref.m_facc.m_vertices.empty() || !ref.IsToothVertex(ref.m_facc.m_vertices.front()))
        return false;
    out = ref.GetVertex(ref.m_facc.m_vertices.front());
    return true;
}

} // namespace

QvMatrix QvModel::GetJawBoneMatrix(bool upper) { return FindOrAddJawBone(*this, upper)->m_matrix; }

void QvModel::SetJawBoneMatrix(bool upper, const QvMatrix& m, bool compose)
{
    QvJawBone* bone = FindOrAddJawBone(*this, upper);
    bone->m_matrix = compose ? m * bone->m_matrix : m;
}

QvTooth* QvModel::FindToothByCutLineOwner(const std::vector<QvTooth*>& teeth, const QvMesh* owner, int& count)
{
    count = static_cast<int>(teeth.size());
    for (QvTooth* tooth : teeth)
        if (tooth && tooth->GetCutLine() && tooth->GetCutLine()->GetMesh() == owner)
            return tooth;
    return nullptr;
}

void QvModel::ClearReferenceData()
{
    for (QvEntity* entity : m_teeth)
        static_cast<QvTooth*>(entity)->SetToothRef(nullptr);
    if (m_pJawRef)
        m_pJawRef->Clear();
}

bool QvModel::GetNeighbourDirection(const std::vector<QvTooth*>& teeth, const QvToothRef* ref, QvVector& out)
{
    if (!ref || !ref->GetTooth())
        return false;
    const bool upper = ref->GetTooth()->IsUpper();
    std::vector<const QvToothRef*> jaw;
    for (const QvTooth* tooth : teeth)
        if (tooth && tooth->GetToothRef() && tooth->IsUpper() == upper)
            jaw.push_back(tooth->GetToothRef());
    std::size_t at = 0;
    while (at < jaw.size() && jaw[at] != ref)
        ++at;
    if (at == jaw.size() || jaw.size() < 2)
        return false;
    const QvToothRef* neighbour = at == 0 ? jaw[1] : jaw[at - 1];
    QvPoint here, there;
    if (!FirstFaccPoint(*ref, here) || !FirstFaccPoint(*neighbour, there))
        return false;
    QvVector direction = there - here;
    const int fdi = ref->GetTooth()->GetFdi();
    const int other = neighbour->GetTooth()->GetFdi();
    if (FdiQuadrant(fdi) == FdiQuadrant(other) && fdi < other)
        direction = direction * -1.0;
    out = direction;
    return true;
}

void QvModel::OrientToothRefs(const std::vector<QvTooth*>& teeth)
{
    for (QvTooth* tooth : teeth)
        if (tooth && tooth->GetToothRef())
            tooth->GetToothRef()->OrientFacc();
    for (QvTooth* tooth : teeth)
    {
        if (!tooth || !tooth->GetToothRef())
            continue;
        QvVector direction;
        if (GetNeighbourDirection(teeth, tooth->GetToothRef(), direction))
            static_cast<void>(tooth->GetToothRef()->AssignFeatureKeys(direction));
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvGum.h"

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModelDetail.h"

namespace {

constexpr int kLastGumListVersion = 259;
constexpr int kLastEmptyGumMeshVersion = 2053;

std::int32_t JawId(const QvJaw* jaw) { return jaw ? jaw->GetID() : -1; }

} // namespace

QvTypeCode QvGum::GetType() const { return kQvTypeGum; }

bool QvGum::IsKindOf(QvTypeCode code) const { return code == kQvTypeGum || QvMesh::IsKindOf(code); }

bool QvGum::IsUpper() const { return m_jaw.Get() && m_jaw.Get()->IsUpper(); }

std::ostream& QvGum::Write(std::ostream& os, int version) const
{
    QvMesh::Write(os, version);
    qvio::WriteI32(os, JawId(GetJaw()));
    qvio::WriteU8(os, m_bFlag ? 1 : 0);
    if (version <= kLastGumListVersion)
        qvmodel::WriteIntList(os, m_vertexList);
    return os;
}

bool QvGum::Read(std::istream& is, int version, QvModel* model)
{
    if (version > kLastGumListVersion)
        return false;
    qvmodel::Scratch<QvMesh> mesh;
    std::int32_t jawId = -1;
    bool flag = false;
    std::vector<int> list;
    bool hasList = false;
    if (!mesh->Read(is, version, model) || !qvio::ReadI32(is, jawId) || !qvmodel::ReadFlagByte(is, flag) ||
        !qvmodel::ReadIntList(is, list, hasList))
        return false;

    qvmodel::SwapMeshData(*this, *mesh, true);
    SetJaw(qvmodel::FindJawById(model, jawId));
    m_bFlag = flag;
    if (hasList)
        m_vertexList = std::move(list);
    return true;
}

std::ostream& QvGum::WriteRecord(std::ostream& os, int) const
{
    qvio::WriteI32(os, m_id);
    qvio::WriteI32(os, JawId(GetJaw()));
    return os;
}

bool QvGum::ReadRecord(std::istream& is, int, QvModel* model)
{
    std::int32_t id = 0;
    std::int32_t jawId = -1;
    if (!qvio::ReadI32(is, id) || !qvio::ReadI32(is, jawId))
        return false;
    m_id = id;
    SetJaw(qvmodel::FindJawById(model, jawId));
    return true;
}

std::ostream& QvGum::WriteModel(std::ostream& os, int version) const
{
    if (version <= kLastEmptyGumMeshVersion)
    {
        qvmodel::Scratch<QvMesh> empty;
        empty->Write(os, version);
    }
    else
    {
        QvMesh::Write(os, version);
    }
    qvio::WriteI32(os, m_id);
    qvio::WriteI32(os, JawId(GetJaw()));
    return os;
}

bool QvGum::ReadModel(std::istream& is, int version, QvModel* model, std::vector<QvPendingFaces>* pending)
{
    qvmodel::Scratch<QvMesh> mesh;
    std::vector<QvReadFace> faces;
    // The oldest form only lends its geometry, which is copied whole.
    const bool later = pending && version > kLastEmptyGumMeshVersion;
    std::int32_t id = 0;
    std::int32_t jawId = -1;
    if (!(later ? mesh->Read(is, version, model, faces) : mesh->Read(is, version, model)) ||
        !qvio::ReadI32(is, id) || !qvio::ReadI32(is, jawId))
        return false;

    if (version <= kLastEmptyGumMeshVersion)
    {
        // Only the geometry: the gum keeps its own state word.
        CopyMeshData(*mesh);
    }
    else
    {
        qvmodel::SwapMeshData(*this, *mesh, true);
    }
    m_id = id;
    SetJaw(qvmodel::FindJawById(model, jawId));
    if (later)
        pending->push_back({this, std::move(faces)});
    return true;
}

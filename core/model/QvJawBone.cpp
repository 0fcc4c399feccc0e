// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvJawBone.h"

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModelDetail.h"

QvJawBone::QvJawBone() : m_matrix(4, 4) { m_matrix.SetIdentity(); }

QvTypeCode QvJawBone::GetType() const { return kQvTypeJawBone; }

bool QvJawBone::IsKindOf(QvTypeCode code) const { return code == kQvTypeJawBone || QvMesh::IsKindOf(code); }

std::ostream& QvJawBone::Write(std::ostream& os, int version) const
{
    WriteCompact(os, version);
    qvio::WriteU8(os, m_bUpper ? 1 : 0);
    m_matrix.Write(os);
    return os;
}

bool QvJawBone::Read(std::istream& is, int version, QvModel* model) { return Read(is, version, model, nullptr); }

bool QvJawBone::Read(std::istream& is, int version, QvModel* model, std::vector<QvPendingFaces>* pending)
{
    qvmodel::Scratch<QvMesh> mesh;
    std::vector<QvReadFace> faces;
    bool upper = true;
    QvMatrix matrix;
    if (!(pending ? mesh->ReadCompact(is, version, model, faces) : mesh->ReadCompact(is, version, model)) ||
        !qvmodel::ReadFlagByte(is, upper) || !matrix.Read(is))
        return false;
    qvmodel::SwapMeshData(*this, *mesh, true);
    m_bUpper = upper;
    m_matrix = matrix;
    if (pending)
        pending->push_back({this, std::move(faces)});
    return true;
}

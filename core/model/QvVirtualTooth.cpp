// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvVirtualTooth.h"

#include <memory>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModelDetail.h"

namespace {

// Family bits in writing order, each with the first version that stores the FDI
// number and start step after the body.
struct Family
{
    int bit;
    int firstWithPosition;
};
constexpr Family kFamilies[] = {{0x2000, 8199}, {0x200, 530}, {0x400, 1043}};
constexpr int kAnyFamily = 0x2000 | 0x200 | 0x400;

// One stored body, read completely before anything is committed.
struct Body
{
    qvmodel::Scratch<QvMesh> mesh;
    QvFrame frame;
    std::int32_t jawId = -1;
    std::vector<int> loop;
    bool hasLoop = false;
    std::int32_t kind = 0;
    bool reference = false;
    QvMatrix matrix;
    double factors[3] = {1.0, 1.0, 1.0};
};

[[nodiscard]] bool ReadBody(std::istream& is, int version, QvModel* model, Body& body)
{
    std::int32_t reference = 0;
    if (!body.mesh->Read(is, version, model) || !body.frame.Read(is) || !qvio::ReadI32(is, body.jawId) ||
        !qvmodel::ReadIntList(is, body.loop, body.hasLoop) || !qvio::ReadI32(is, body.kind) ||
        !qvio::ReadI32(is, reference) || !body.matrix.Read(is))
        return false;
    for (double& f : body.factors)
        if (!qvio::ReadF64(is, f))
            return false;
    body.reference = reference != 0;
    return true;
}

void WriteBody(const QvVirtualTooth& tooth, std::ostream& os, int version)
{
    tooth.QvMesh::Write(os, version);
    tooth.m_frame.Write(os);
    qvio::WriteI32(os, tooth.GetJaw() ? tooth.GetJaw()->GetID() : -1);
    qvmodel::WriteIntList(os, tooth.m_boundaryLoop);
    qvio::WriteI32(os, tooth.m_nKind);
    qvio::WriteI32(os, tooth.m_bReference ? 1 : 0);
    tooth.m_matrix.Write(os);
    for (const double f : tooth.m_factors)
        qvio::WriteF64(os, f);
}

void CommitBody(QvVirtualTooth& tooth, Body& body, QvModel* model, std::int32_t fdi, std::int32_t startStep)
{
    qvmodel::SwapMeshData(tooth, *body.mesh, true);
    tooth.m_frame = body.frame;
    tooth.SetJaw(qvmodel::FindJawById(model, body.jawId));
    if (body.hasLoop)
        tooth.m_boundaryLoop = std::move(body.loop);
    // A loop that names vertices the mesh lacks is worthless to every reader of it.
    if (!qvmodel::IndicesInRange(tooth.m_boundaryLoop, tooth.m_vertices.size()))
        tooth.m_boundaryLoop.clear();
    tooth.m_nKind = body.kind;
    tooth.m_bReference = body.reference;
    tooth.m_matrix = body.matrix;
    for (int i = 0; i < 3; ++i)
        tooth.m_factors[i] = body.factors[i];
    tooth.m_nFdi = fdi;
    tooth.m_nStartStep = startStep;
}

} // namespace

QvVirtualTooth& QvVirtualTooth::operator=(const QvVirtualTooth& other)
{
    if (this == &other)
        return *this;
    const std::int32_t ownId = m_id;
    QvToothBase::operator=(other);
    m_bReference = other.m_bReference;
    m_matrix = other.m_matrix;
    for (int i = 0; i < 3; ++i)
        m_factors[i] = other.m_factors[i];
    m_nKind = other.m_nKind;
    m_nFdi = other.m_nFdi;
    m_nStartStep = other.m_nStartStep;
    m_id = ownId == other.m_id ? QvEntity::NextId() : ownId;
    return *this;
}

QvTypeCode QvVirtualTooth::GetType() const { return kQvTypeVirtualTooth; }

bool QvVirtualTooth::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeVirtualTooth || QvToothBase::IsKindOf(code);
}

std::ostream& QvVirtualTooth::Write(std::ostream& os, int version) const
{
    for (const Family& family : kFamilies)
    {
        if ((version & family.bit) == 0)
            continue;
        WriteBody(*this, os, version);
        if (version >= family.firstWithPosition)
        {
            qvio::WriteI32(os, m_nFdi);
            qvio::WriteI32(os, m_nStartStep);
        }
    }
    return os;
}

bool QvVirtualTooth::Read(std::istream& is, int version, QvModel* model)
{
    if ((version & kAnyFamily) == 0)
        return false;
    std::unique_ptr<Body> body;
    std::int32_t fdi = m_nFdi;
    std::int32_t startStep = m_nStartStep;
    for (const Family& family : kFamilies)
    {
        if ((version & family.bit) == 0)
            continue;
        body = std::make_unique<Body>();
        if (!ReadBody(is, version, model, *body))
            return false;
        if (version >= family.firstWithPosition && (!qvio::ReadI32(is, fdi) || !qvio::ReadI32(is, startStep)))
            return false;
    }
    CommitBody(*this, *body, model, fdi, startStep);
    return true;
}

std::ostream& QvVirtualTooth::WriteWithPosition(std::ostream& os, int version) const
{
    WriteBody(*this, os, version);
    qvio::WriteI32(os, m_nFdi);
    qvio::WriteI32(os, m_nStartStep);
    return os;
}

bool QvVirtualTooth::ReadWithPosition(std::istream& is, int version, QvModel* model)
{
    Body body;
    std::int32_t fdi = 0;
    std::int32_t startStep = 0;
    if (!ReadBody(is, version, model, body) || !qvio::ReadI32(is, fdi) || !qvio::ReadI32(is, startStep))
        return false;
    CommitBody(*this, body, model, fdi, startStep);
    return true;
}

QvMatrix QvVirtualTooth::GetPlacementTransform() const
{
    QvMatrix result(4, 4);
    result.SetIdentity();
    const int n = m_matrix.Rows();
    if ((n != 3 && n != 4) || m_matrix.Cols() != n)
        return result;
    QvFrame moved(m_frame);
    moved.Transform(m_matrix);
    std::unique_ptr<QvMatrix> motion(m_frame.GetTransformTo(moved));
    return motion ? *motion : result;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvAttachment.h"

#include <cmath>
#include <istream>
#include <limits>
#include <memory>
#include <ostream>

#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachGeoCutInstruction.h"
#include "core/design/QvAttachGeoMgr.h"
#include "core/design/QvAttachGeoPressureZone.h"
#include "core/design/QvAttachGeoStdPower.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvToothBase.h"

namespace {

constexpr int kFamily512 = 0x200;
constexpr int kFamily1024 = 0x400;
constexpr int kFamily8192 = 0x2000;

QvMatrix Identity4()
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    return m;
}

} // namespace

QvAttachment::QvAttachment() : m_matrix(Identity4()) {}

QvAttachment::QvAttachment(QvAttachGeo* geo) : QvAttachment()
{
    m_pGeo = geo;
    if (!geo)
        return;
    switch (geo->GetKindCode())
    {
    case kQvAttachKindPressureSpot:
        m_params[0] = m_params[1] = m_params[2] = 1.0;
        break;
    case kQvAttachKindPressureZone:
        m_params[0] = 1.8;
        m_params[1] = 0.2;
        m_params[2] = 0.25;
        break;
    case kQvAttachKindPower:
        if (const auto* power = dynamic_cast<const QvAttachGeoStdPower*>(geo))
            m_dPowerOffset = power->m_dOffsetValue;
        m_dPowerAngle = 0.0;
        break;
    default: break;
    }
}

QvAttachment::~QvAttachment() { ReleaseGeometry(); }

void QvAttachment::ReleaseGeometry()
{
    if (m_pGeo && m_pGeo->IsOwnedByAttachment())
        delete m_pGeo;
    m_pGeo = nullptr;
}

QvTypeCode QvAttachment::GetType() const { return kQvTypeAttachment; }

bool QvAttachment::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeAttachment || code == kQvTypeObject || code == kQvTypeEntity;
}

int QvAttachment::GetRecordForm(int version)
{
    if (version & kFamily512)
        return version <= 515 ? kQvAttachRecordForm1 : kQvAttachRecordForm2;
    if (version & kFamily1024)
    {
        if (version <= 1027)
            return kQvAttachRecordForm1;
        return version <= 1032 ? kQvAttachRecordForm2 : kQvAttachRecordForm3;
    }
    if (version & kFamily8192)
    {
        if (version <= 8193)
            return kQvAttachRecordForm2;
        return version <= 8199 ? kQvAttachRecordForm3 : kQvAttachRecordNone;
    }
    return kQvAttachRecordNone;
}

bool QvAttachment::Read(std::istream& is, int version, QvModel* /*model*/)
{
    const int form = GetRecordForm(version);
    if (form == kQvAttachRecordNone)
        return false;

    std::string name;
    QvMatrix placement(m_matrix);
    std::int32_t firstStep = 0;
    std::int32_t lastStep = 0;
    double params[3] = {0.0, 0.0, 0.0};
    if (!qvattach::ReadName(is, name) || !placement.Read(is) || !qvio::ReadI32(is, firstStep) ||
        !qvio::ReadI32(is, lastStep) || !qvio::ReadF64(is, params[0]) || !qvio::ReadF64(is, params[1]) ||
        !qvio::ReadF64(is, params[2]))
        return false;

    std::vector<std::int32_t> vertices;
    if (form >= kQvAttachRecordForm2)
    {
        std::int32_t count = 0;
        if (!qvio::ReadI32(is, count) || !qvio::CountFits(is, count, 4))
            return false;
        vertices.resize(static_cast<std::size_t>(count));
        for (std::int32_t& v : vertices)
            if (!qvio::ReadI32(is, v))
                return false;
    }
    double powerOffset = m_dPowerOffset;
    double powerAngle = m_dPowerAngle;
    if (form == kQvAttachRecordForm3 && (!qvio::ReadF64(is, powerOffset) || !qvio::ReadF64(is, powerAngle)))
        return false;

    ReleaseGeometry();
    m_matrix = placement;
    m_nFirstStep = firstStep;
    m_nLastStep = lastStep;
    for (int i = 0; i < 3; ++i)
        m_params[i] = params[i];
    m_vertices = std::move(vertices);
    m_dPowerOffset = powerOffset;
    m_dPowerAngle = powerAngle;
    m_pGeo = QvAttachGeoMgr::FindByName(QvAttachGeoMgr::Instance(), name);
    m_unresolvedName = m_pGeo ? std::string() : name;
    // Shared kinds build nothing; owned ones are built once, here. A failed build keeps
    // the template's mesh, which is what the attachment shows then.
    if (m_pGeo && form >= kQvAttachRecordForm2)
        (void)m_pGeo->BuildGeometry(m_pTooth, m_vertices, m_params);
    return true;
}

std::string QvAttachment::GetGeometryName() const { return m_pGeo ? m_pGeo->m_name : m_unresolvedName; }

void QvAttachment::WriteRecord(std::ostream& os, int version) const
{
    const int form = GetRecordForm(version);
    if (form == kQvAttachRecordNone)
        return;
    qvattach::WriteName(os, GetGeometryName());
    m_matrix.Write(os);
    qvio::WriteI32(os, m_nFirstStep);
    qvio::WriteI32(os, m_nLastStep);
    for (double p : m_params)
        qvio::WriteF64(os, p);
    if (form >= kQvAttachRecordForm2)
    {
        qvio::WriteI32(os, static_cast<std::int32_t>(m_vertices.size()));
        for (std::int32_t v : m_vertices)
            qvio::WriteI32(os, v);
    }
    if (form == kQvAttachRecordForm3)
    {
        qvio::WriteF64(os, m_dPowerOffset);
        qvio::WriteF64(os, m_dPowerAngle);
    }
}

void QvAttachment::CopyFrom(const QvAttachment& other)
{
    if (&other == this)
        return;
    m_bbox = other.m_bbox;
    m_state = other.m_state;
    ReleaseGeometry();
    m_matrix = other.m_matrix;
    m_nFirstStep = other.m_nFirstStep;
    m_nLastStep = other.m_nLastStep;
    m_pTooth = other.m_pTooth;
    for (int i = 0; i < 3; ++i)
        m_params[i] = other.m_params[i];
    m_vertices = other.m_vertices;
    m_nReserved = other.m_nReserved;
    m_dPowerOffset = other.m_dPowerOffset;
    m_dPowerAngle = other.m_dPowerAngle;
    m_unresolvedName = other.m_unresolvedName;
    if (!other.m_pGeo)
        return;
    m_pGeo = QvAttachGeoMgr::FindByName(QvAttachGeoMgr::Instance(), other.m_pGeo->m_name);
    if (!m_pGeo)
    {
        m_unresolvedName = other.m_pGeo->m_name;
        return;
    }
    if (m_pGeo->IsOwnedByAttachment())
    {
        m_pGeo->CopyMeshData(*other.m_pGeo);
        m_pGeo->m_bModified = true;
        m_pGeo->UpdateBBox();
    }
}

QvFrame QvAttachment::GetWorldFrame() const
{
    if (!m_pGeo)
        return QvFrame();
    QvFrame frame = m_pGeo->GetFrame();
    frame.Transform(m_matrix);
    return frame;
}

void QvAttachment::GetDrawMatrix(QvMatrix& out) const
{
    QvMatrix translation = Identity4();
    QvMatrix rotation = Identity4();
    const auto* power = dynamic_cast<const QvAttachGeoStdPower*>(m_pGeo);
    if (!power)
    {
        out = translation;
        return;
    }
    QvFrame frame = power->m_secondFrame;
    frame.Transform(m_matrix);

    // A geometry angle whose sine vanishes gives no move rather than an infinite one.
    const double sine = std::sin(power->m_dAngle * kQvPi / 180.0);
    const double t = IsZero(sine) ? 0.0 : m_dPowerOffset / sine;
    if (!IsZero(t))
    {
        QvVector y = frame.m_dirY;
        y.Normalize();
        for (int i = 0; i < 3; ++i)
            translation[i][3] = t * y[i];
    }

    const double angle = m_dPowerAngle * kQvPi / 180.0;
    if (!IsZero(angle))
    {
        const QvFrame world(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
        std::unique_ptr<QvMatrix> toWorld(frame.GetTransformTo(world));
        QvMatrix fromWorld(*toWorld);
        if (fromWorld.Invert())
        {
            const QvMatrix turn(QvVector(0.0, 0.0, 1.0), angle);
            QvMatrix turn4 = Identity4();
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    turn4[r][c] = turn[r][c];
            rotation = fromWorld * turn4 * (*toWorld);
        }
    }
    out = translation * rotation;
}

void QvAttachment::UpdateBBox()
{
    if (!m_pGeo)
        return;
    m_pGeo->UpdateBBox();
    m_bbox = m_pGeo->m_bbox;
}

void QvAttachment::SetGeometry(QvAttachGeo* geo)
{
    if (geo == m_pGeo)
        return;
    ReleaseGeometry();
    m_pGeo = geo;
    m_unresolvedName.clear();
    UpdateBBox();
}

bool QvAttachment::CanAddVertex() const
{
    if (!m_pGeo)
        return false;
    const std::size_t count = m_vertices.size();
    switch (m_pGeo->GetKindCode())
    {
    case kQvAttachKindPressureZone:
        return static_cast<std::int64_t>(count) <
               static_cast<const QvAttachGeoPressureZone*>(m_pGeo)->m_nMaxVertexCount;
    case kQvAttachKindCutInstruction:
        return static_cast<std::int64_t>(count) <
               static_cast<const QvAttachGeoCutInstruction*>(m_pGeo)->m_nMaxVertexCount;
    case kQvAttachKindPressureSpot: return count == 0;
    default: return false;
    }
}

bool QvAttachment::AddVertex(int vertex)
{
    if (!CanAddVertex())
        return false;
    for (std::int32_t v : m_vertices)
        if (v == vertex)
            return false;
    m_vertices.push_back(vertex);
    return true;
}

double QvAttachment::GetParameter(int index) const
{
    return (index >= 0 && index < 3) ? m_params[index] : 0.0;
}

QvMatrix QvAttachment::GetScaleMatrix() const
{
    QvMatrix scale = Identity4();
    if (m_matrix.Rows() < 3 || m_matrix.Cols() < 3)
        return scale;
    for (int c = 0; c < 3; ++c)
    {
        const QvVector column(m_matrix[0][c], m_matrix[1][c], m_matrix[2][c]);
        scale[c][c] = column.Length();
    }
    return scale;
}

void QvAttachment::GetPlacementColumns(double out[16]) const
{
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            out[c * 4 + r] = (r < m_matrix.Rows() && c < m_matrix.Cols()) ? m_matrix[r][c] : (r == c ? 1.0 : 0.0);
}

std::vector<std::int32_t> QvAttachment::GetValueList() const
{
    return m_pGeo ? m_pGeo->m_values : std::vector<std::int32_t>();
}

std::int32_t QvAttachment::GetSecondValue() const { return m_pGeo ? m_pGeo->m_nValue2 : 0; }

void QvAttachment::AlignBottomToFrame() { ShiftAlongFrameZ(true); }

void QvAttachment::AlignTopToFrame() { ShiftAlongFrameZ(false); }

void QvAttachment::ShiftAlongFrameZ(bool bottom)
{
    if (!m_pGeo || m_pGeo->m_vertices.empty() || m_matrix.Rows() != 4 || m_matrix.Cols() != 4)
        return;
    const QvFrame frame = m_pGeo->GetFrame();
    if (frame.m_dirZ.IsZero())
        return;
    QvVector z = frame.m_dirZ;
    z.Normalize();
    double lo = std::numeric_limits<double>::max();
    double hi = -std::numeric_limits<double>::max();
    for (const QvVertex& v : m_pGeo->m_vertices)
    {
        const double h = (v.m_point - frame.m_centre).Dot(z);
        lo = std::min(lo, h);
        hi = std::max(hi, h);
    }
    const double shift = bottom ? -lo : -hi;
    QvMatrix move = Identity4();
    for (int i = 0; i < 3; ++i)
        move[i][3] = shift * z[i];
    m_matrix = m_matrix * move;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvJawRef.h"

#include <cmath>
#include <istream>
#include <memory>
#include <ostream>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvModel.h"
#include "core/model/QvModelLinks.h"

namespace {

enum class Form
{
    None,
    ThreePlane,
    TwoPlane,
    Porion,
    Legacy
};

Form ReadForm(int version)
{
    if (version & kQvVersionOS)
    {
        if (version <= 1026)
            return Form::ThreePlane;
        if (version == 1027 || version == 1028)
            return Form::TwoPlane;
        if (version == 1029)
            return Form::Porion;
        return version <= 1043 ? Form::TwoPlane : Form::None;
    }
    if (version & kQvVersionDM)
        return version <= 2049 ? Form::ThreePlane : Form::TwoPlane;
    if (version & kQvVersionOSD)
    {
        if (version <= 513)
            return Form::Legacy;
        if (version == 514 || version == 515)
            return Form::ThreePlane;
        return version == 517 ? Form::Porion : Form::None;
    }
    return Form::None;
}

Form WriteForm(int version)
{
    if (version & kQvVersionOS)
    {
        if (version <= 1026)
            return Form::ThreePlane;
        return version <= 1029 ? Form::Porion : Form::TwoPlane;
    }
    if (version & kQvVersionDM)
        return version <= 2054 ? Form::TwoPlane : Form::None;
    if (version & kQvVersionOSD)
        return version <= 515 ? Form::ThreePlane : Form::None;
    return Form::None;
}

// One slot: the plane read into `out` when its flag is 1, nothing otherwise.
template <typename Plane>
bool ReadSlot(std::istream& is, int version, std::unique_ptr<Plane>& out)
{
    std::int32_t flag = 0;
    if (!qvio::ReadI32(is, flag))
        return false;
    if (flag != 1)
        return true;
    auto plane = std::make_unique<Plane>();
    if (!plane->Read(is, version))
        return false;
    out = std::move(plane);
    return true;
}

template <typename Plane>
void WriteSlot(std::ostream& os, int version, const Plane* plane)
{
    qvio::WriteI32(os, plane ? 1 : 0);
    if (plane)
        plane->Write(os, version);
}

// Records of the scheme's arch data that old case files kept with the planes; only
// their length matters here.
bool SkipOcclusalPlane(std::istream& is)
{
    QvFrame frame;
    double value = 0.0;
    std::int32_t count = 0;
    if (!frame.Read(is, true) || !qvio::ReadF64(is, value) || !qvio::ReadI32(is, count) ||
        !qvio::CountFits(is, count, 28))
        return false;
    for (std::int32_t k = 0; k < count; ++k)
    {
        QvPoint point;
        std::int32_t key = 0;
        if (!point.Read(is, true) || !qvio::ReadI32(is, key))
            return false;
    }
    return true;
}

bool SkipArchForm(std::istream& is)
{
    std::uint8_t upper = 0;
    QvBSplineCurve curve;
    std::int32_t count = 0;
    if (!qvio::ReadU8(is, upper) || !curve.Read(is, true) || !qvio::ReadI32(is, count) ||
        !qvio::CountFits(is, count, 24))
        return false;
    for (std::int32_t k = 0; k < count; ++k)
    {
        QvPoint point;
        if (!point.Read(is, true))
            return false;
    }
    return true;
}

bool SkipSlot(std::istream& is, bool (*skip)(std::istream&))
{
    std::int32_t flag = 0;
    if (!qvio::ReadI32(is, flag))
        return false;
    return flag != 1 || skip(is);
}

template <typename Plane>
void Replace(Plane*& field, std::unique_ptr<Plane>& read)
{
    if (!read)
        return;
    delete field;
    field = read.release();
}

} // namespace

QvJawRef::~QvJawRef()
{
    Clear();
}

void QvJawRef::Clear()
{
    DeleteBeautyPlane();
    DeleteBackBoundaryPlane();
    DeleteMiddlePlane();
    DeleteOpPlane();
}

bool QvJawRef::GetMiddlePlane(QvFrame& frame, double& size) const
{
    if (!m_pMiddlePlane)
        return false;
    frame = m_pMiddlePlane->m_frame;
    size = m_pMiddlePlane->m_dSize;
    return true;
}

bool QvJawRef::GetBackBoundaryPlane(QvFrame& frame, double& size) const
{
    if (!m_pBackBoundaryPlane)
        return false;
    frame = m_pBackBoundaryPlane->m_frame;
    size = m_pBackBoundaryPlane->m_dSize;
    return true;
}

bool QvJawRef::GetBackBoundaryPoints(std::vector<QvPoint>& out) const
{
    if (!m_pBackBoundaryPlane)
        return false;
    out = m_pBackBoundaryPlane->m_points;
    return true;
}

bool QvJawRef::GetMiddlePoints(std::vector<QvPoint>& out) const
{
    if (!m_pMiddlePlane)
        return false;
    out = m_pMiddlePlane->m_points;
    return true;
}

bool QvJawRef::GetViewFrame(const QvModel* model, QvPlane& out) const
{
    if (!model || !m_pMiddlePlane || !m_pBeautyPlane || m_pBeautyPlane->m_points.size() != 4)
        return false;
    const QvImageMeasure* tracing = model->FindImageMeasure(kQvCepMeasureType, false);
    const QvImageMeasureOps& ops = QvGetImageMeasureOps();
    if (!tracing || !ops.findKeyPoint)
        return false;
    QvPoint orbitale;
    QvPoint porion;
    if (!ops.findKeyPoint(tracing, kQvLandmarkOrbitale, orbitale) || !ops.findKeyPoint(tracing, kQvLandmarkPorion, porion))
        return false;

    QvVector normal;
    QvVector direction;
    QvPoint point;
    if (!QvTransferLandmarkLine(orbitale, porion, m_pBeautyPlane->m_points, m_pMiddlePlane->m_frame, true, normal,
                                direction, point))
        return false;
    const QvPlane plane(point, normal);
    for (const double c : plane.m_coef)
    {
        if (!std::isfinite(c))
            return false;
    }
    out = plane;
    return true;
}

bool QvJawRef::Read(std::istream& is, int version, QvModel*)
{
    const Form form = ReadForm(version);
    if (form == Form::None)
        return false;
    std::unique_ptr<QvMiddlePlane> middle;
    std::unique_ptr<QvBackBoundaryPlane> back;
    std::unique_ptr<QvBeautyPlane> beauty;
    std::unique_ptr<QvOpPlane> op;
    if (!ReadSlot(is, version, middle))
        return false;
    if ((form == Form::ThreePlane || form == Form::Legacy) && !ReadSlot(is, version, back))
        return false;
    if (!ReadSlot(is, version, beauty))
        return false;
    if (form == Form::Porion && !ReadSlot(is, version, op))
        return false;
    if (form == Form::Legacy &&
        (!SkipSlot(is, SkipOcclusalPlane) || !SkipSlot(is, SkipOcclusalPlane) || !SkipSlot(is, SkipArchForm) ||
         !SkipSlot(is, SkipArchForm)))
        return false;

    Replace(m_pMiddlePlane, middle);
    Replace(m_pBackBoundaryPlane, back);
    Replace(m_pBeautyPlane, beauty);
    Replace(m_pOpPlane, op);
    return true;
}

void QvJawRef::Write(std::ostream& os, int version) const
{
    const Form form = WriteForm(version);
    if (form == Form::None)
        return;
    WriteSlot(os, version, m_pMiddlePlane);
    if (form == Form::ThreePlane)
        WriteSlot(os, version, m_pBackBoundaryPlane);
    WriteSlot(os, version, m_pBeautyPlane);
    if (form == Form::Porion)
        WriteSlot(os, version, m_pOpPlane);
}

bool QvJawRef::ReadRVM(std::istream& is, int version, QvModel*)
{
    std::unique_ptr<QvMiddlePlane> middle;
    std::unique_ptr<QvBeautyPlane> beauty;
    if (!ReadSlot(is, version, middle) || !ReadSlot(is, version, beauty))
        return false;
    Replace(m_pMiddlePlane, middle);
    Replace(m_pBeautyPlane, beauty);
    return true;
}

void QvJawRef::WriteRVM(std::ostream& os, int version) const
{
    WriteSlot(os, version, m_pMiddlePlane);
    WriteSlot(os, version, m_pBeautyPlane);
}

void QvJawRef::SetBeautyPlane(const QvFrame& frame, const std::vector<QvPoint>& points,
                              const std::vector<QvPoint>& lipPoints, double size)
{
    if (!m_pBeautyPlane)
        m_pBeautyPlane = new QvBeautyPlane();
    m_pBeautyPlane->Set(frame, points, lipPoints, size);
}

void QvJawRef::SetMiddlePlane(const QvFrame& frame, const std::vector<QvPoint>& points, double size)
{
    if (!m_pMiddlePlane)
        m_pMiddlePlane = new QvMiddlePlane();
    m_pMiddlePlane->Set(frame, points, size);
}

void QvJawRef::SetBackBoundaryPlane(const QvFrame& frame, const std::vector<QvPoint>& points, double size)
{
    if (!m_pBackBoundaryPlane)
        m_pBackBoundaryPlane = new QvBackBoundaryPlane();
    m_pBackBoundaryPlane->Set(frame, points, size);
}

void QvJawRef::DeleteBeautyPlane()
{
    delete m_pBeautyPlane;
    m_pBeautyPlane = nullptr;
}

void QvJawRef::DeleteBackBoundaryPlane()
{
    delete m_pBackBoundaryPlane;
    m_pBackBoundaryPlane = nullptr;
}

void QvJawRef::DeleteMiddlePlane()
{
    delete m_pMiddlePlane;
    m_pMiddlePlane = nullptr;
}

void QvJawRef::DeleteOpPlane()
{
    delete m_pOpPlane;
    m_pOpPlane = nullptr;
}

bool QvJawRef::IsMiddlePlaneEqual(const QvMiddlePlane& plane) const
{
    return m_pMiddlePlane && *m_pMiddlePlane == plane;
}

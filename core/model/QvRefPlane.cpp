// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvRefPlane.h"

#include <cmath>
#include <istream>
#include <ostream>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvModelLinks.h"

namespace {

bool ReadPointList(std::istream& is, std::vector<QvPoint>& out)
{
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count) || !qvio::CountFits(is, count, 24))
        return false;
    std::vector<QvPoint> points(static_cast<std::size_t>(count));
    for (QvPoint& p : points)
    {
        if (!p.Read(is, true))
            return false;
    }
    out.swap(points);
    return true;
}

void WritePointList(std::ostream& os, const std::vector<QvPoint>& points)
{
    qvio::WriteI32(os, static_cast<std::int32_t>(points.size()));
    for (const QvPoint& p : points)
        p.Write(os, true);
}

QvPoint Flat(const QvPoint& p)
{
    return QvPoint(p[0], p[1], 0.0);
}

bool IsFinite(const QvPoint& p)
{
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

bool IsFinite(const QvVector& v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// The tracing when it is there and complete for that analysis kind.
const QvImageMeasure* CompleteTracing(const QvModel* model, int analysisKind)
{
    if (!model)
        return nullptr;
    const QvImageMeasureOps& ops = QvGetImageMeasureOps();
    const QvImageMeasure* tracing = model->FindImageMeasure(kQvCepMeasureType, false);
    if (!tracing || !ops.isLandmarksComplete || !ops.isLandmarksComplete(tracing, true, analysisKind))
        return nullptr;
    return tracing;
}

// A landmark that is missing counts as the origin.
QvPoint Landmark(const QvImageMeasure* tracing, int key)
{
    QvPoint p;
    const QvImageMeasureOps& ops = QvGetImageMeasureOps();
    if (ops.findKeyPoint && !ops.findKeyPoint(tracing, key, p))
        p = QvPoint();
    return p;
}

// The common placement: landmarks first and second, the stored points in the order
// the plane uses them, the orientation vector t.
bool Place(QvRefPlane& plane, QvModel* model, int first, int second, int analysisKind, bool verticalHandled,
           const std::vector<QvPoint>& points)
{
    if (plane.m_points.size() != 4)
        return false;
    const QvImageMeasure* tracing = CompleteTracing(model, analysisKind);
    if (!tracing)
        return false;
    const QvJawRef* jawRef = model->GetJawRef();
    QvFrame midFrame;
    double midSize = 0.0;
    if (!jawRef || !jawRef->GetMiddlePlane(midFrame, midSize))
        return false;

    QvVector normal;
    QvVector l;
    QvPoint q;
    if (!QvTransferLandmarkLine(Landmark(tracing, first), Landmark(tracing, second), points, midFrame,
                                verticalHandled, normal, l, q))
        return false;

    const QvPlane placed(q, normal);
    QvVector x = normal.Cross(l);
    x.Normalize();
    QvVector t = points[2] - points[3];
    t.Normalize();
    if (x.Dot(t) < 0.0)
        x.Negate();

    const QvPoint centre = placed.ProjectPoint(model->m_bbox.GetCentre());
    const double diagonal = model->m_bbox.GetDiagonal();
    const QvPoint origin = centre - x * (diagonal / 2.0) - l * (diagonal / 2.0);
    const QvFrame frame(origin, x, l);
    if (!IsFinite(frame.m_centre) || !IsFinite(frame.m_dirX) || !IsFinite(frame.m_dirY) || !IsFinite(frame.m_dirZ))
        return false;
    plane.m_frame = frame;
    plane.m_dSize = diagonal;
    return true;
}

} // namespace

bool QvTransferLandmarkLine(const QvPoint& first, const QvPoint& second, const std::vector<QvPoint>& p,
                            const QvFrame& midFrame, bool verticalHandled, QvVector& normal, QvVector& lineDirection,
                            QvPoint& point)
{
    if (p.size() != 4)
        return false;
    const QvPoint f0 = Flat(first);
    const QvPoint p0 = Flat(p[0]);
    const QvPoint p1 = Flat(p[1]);
    const QvVector e = f0 - Flat(second);
    const double angle = (p0 - p1).Angle(e);

    // The landmark line as f(q) = 0: by the slope, or by x offsets when it is vertical.
    const bool vertical = IsZero(e[0]);
    if (vertical && !verticalHandled)
        return false;
    const double k = vertical ? 0.0 : e[1] / e[0];
    auto f = [&](const QvPoint& q) {
        return vertical ? q[0] - f0[0] : k * q[0] - q[1] + f0[1] - k * f0[0];
    };
    const double f0Value = f(p0);
    if (IsZero(f0Value))
        return false;
    const double r = f(p1) / f0Value;
    if (IsZero(1.0 - r))
        return false;
    const QvPoint& p2 = p[2];
    const QvPoint& p3 = p[3];
    const QvPoint q((p3[0] - r * p2[0]) / (1.0 - r), (p3[1] - r * p2[1]) / (1.0 - r), (p3[2] - r * p2[2]) / (1.0 - r));

    const QvPlane sagittal(midFrame.m_centre, midFrame.m_dirZ);
    const QvVector n = sagittal.GetNormal();
    QvVector m = sagittal.ProjectPoint(p2) - sagittal.ProjectPoint(p3);
    m.Normalize();
    QvVector l = QvMatrix(midFrame.m_dirZ, -angle) * m;
    l.Normalize();
    QvVector u = l.Cross(n);
    u.Normalize();
    if (!IsFinite(q) || !IsFinite(u) || !IsFinite(l))
        return false;
    normal = u;
    lineDirection = l;
    point = q;
    return true;
}

// ---------------------------------------------------------------- record

void QvRefPlane::Write(std::ostream& os, int) const
{
    m_frame.Write(os, true);
    qvio::WriteF64(os, m_dSize);
    WritePointList(os, m_points);
}

bool QvRefPlane::ReadBase(std::istream& is, QvFrame& frame, double& size, std::vector<QvPoint>& points) const
{
    return frame.Read(is, true) && qvio::ReadF64(is, size) && ReadPointList(is, points);
}

bool QvRefPlane::Read(std::istream& is, int)
{
    QvFrame frame;
    double size = 0.0;
    std::vector<QvPoint> points;
    if (!ReadBase(is, frame, size, points))
        return false;
    m_frame = frame;
    m_dSize = size;
    m_points.swap(points);
    return true;
}

void QvRefPlane::Set(const QvFrame& frame, const std::vector<QvPoint>& points, double size)
{
    m_frame = frame;
    m_points = points;
    m_dSize = size;
}

bool QvMiddlePlane::operator==(const QvMiddlePlane& other) const
{
    if (this == &other)
        return true;
    if (m_points.size() != other.m_points.size())
        return false;
    for (std::size_t i = 0; i < m_points.size(); ++i)
    {
        if (!(m_points[i] == other.m_points[i]))
            return false;
    }
    return IsZero(m_dSize - other.m_dSize) && m_frame == other.m_frame;
}

// ---------------------------------------------------------------- aesthetic plane

void QvBeautyPlane::Write(std::ostream& os, int version) const
{
    QvRefPlane::Write(os, version);
    WritePointList(os, m_lipPoints);
}

bool QvBeautyPlane::Read(std::istream& is, int)
{
    QvFrame frame;
    double size = 0.0;
    std::vector<QvPoint> points;
    std::vector<QvPoint> lips;
    if (!ReadBase(is, frame, size, points) || !ReadPointList(is, lips))
        return false;
    m_frame = frame;
    m_dSize = size;
    m_points.swap(points);
    m_lipPoints.swap(lips);
    return true;
}

void QvBeautyPlane::Set(const QvFrame& frame, const std::vector<QvPoint>& points,
                        const std::vector<QvPoint>& lipPoints, double size)
{
    QvRefPlane::Set(frame, points, size);
    m_lipPoints = lipPoints;
}

bool QvBeautyPlane::Update(QvModel* model)
{
    const bool placed = UpdatePlane(model);
    (void)UpdateLipPoints(model);
    return placed;
}

bool QvBeautyPlane::UpdatePlane(QvModel* model)
{
    return Place(*this, model, kQvLandmarkPronasale, kQvLandmarkSoftPogonion, 1, true, m_points);
}

bool QvBeautyPlane::UpdateLipPoints(QvModel* model)
{
    if (m_points.size() != 4 || m_lipPoints.size() != 2)
        return false;
    const QvImageMeasure* tracing = CompleteTracing(model, 1);
    if (!tracing)
        return false;
    QvFrame midFrame;
    double midSize = 0.0;
    const QvJawRef* jawRef = model->GetJawRef();
    if (!jawRef || !jawRef->GetMiddlePlane(midFrame, midSize))
        return false;

    // The image E-line s, from the soft-tissue chin towards the nose tip.
    const QvPoint chin = Flat(Landmark(tracing, kQvLandmarkSoftPogonion));
    QvVector along = Flat(Landmark(tracing, kQvLandmarkPronasale)) - chin;
    along.Normalize();
    const QvLine eLine(chin, along);
    const QvPoint p1 = Flat(m_points[1]);
    const QvPoint foot1 = eLine.ClosestPoint(p1);
    const double h1 = eLine.Distance(p1);
    if (IsZero(h1))
        return false;

    // The model line where the mid-sagittal and the aesthetic planes meet.
    const QvPlane sagittal(midFrame.m_centre, midFrame.m_dirZ);
    const QvPlane aesthetic(m_frame.m_centre, m_frame.m_dirZ);
    QvLine modelLine;
    if (!sagittal.IntersectPlane(aesthetic, modelLine))
        return false;
    QvVector direction = modelLine.GetDirection();
    if (direction.Dot(along) < 0.0)
        direction.Negate();
    const QvPoint g = sagittal.ProjectPoint(m_points[3]);
    const QvPoint footG = modelLine.ClosestPoint(g);
    const double h3 = modelLine.Distance(g);
    QvVector w = sagittal.GetNormal().Cross(direction);
    w.Normalize();
    if ((g - footG).Dot(w) < 0.0)
        w.Negate();

    bool mapped = true;
    const int lips[2] = {kQvLandmarkUpperLip, kQvLandmarkLowerLip};
    for (int i = 0; i < 2; ++i)
    {
        const QvPoint lip = Flat(Landmark(tracing, lips[i]));
        const QvPoint footLip = eLine.ClosestPoint(lip);
        double offset = footLip.Distance(foot1);
        if ((footLip - foot1).Dot(along) < 0.0)
            offset = -offset;
        double side = eLine.Distance(lip);
        if ((p1 - foot1).Dot(lip - footLip) < 0.0)
            side = -side;
        const QvPoint point = footG + direction * (offset * h3 / h1) + w * (side * h3 / h1);
        if (!IsFinite(point))
        {
            mapped = false;
            continue;
        }
        m_lipPoints[static_cast<std::size_t>(i)] = point;
    }
    return mapped;
}

// ---------------------------------------------------------------- back boundary and porion-orbitale

bool QvBackBoundaryPlane::Update(QvModel* model)
{
    if (m_points.size() != 4)
        return false;
    // The back boundary measures its segment the other way round: the common steps on
    // the points swapped pairwise.
    const std::vector<QvPoint> swapped = {m_points[1], m_points[0], m_points[3], m_points[2]};
    return Place(*this, model, kQvLandmarkPNS, kQvLandmarkBackBoundary, 0, false, swapped);
}

bool QvOpPlane::Update(QvModel* model)
{
    return Place(*this, model, kQvLandmarkOrbitale, kQvLandmarkPorion, 1, true, m_points);
}

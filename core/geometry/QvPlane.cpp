// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvPlane.h"

#include <cmath>
#include <memory>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvStreamIO.h"

namespace {

constexpr double kParallelDistance = 1e-7;

QvVector AsVector(const QvPoint& p) { return QvVector(p[0], p[1], p[2]); }

} // namespace

QvPlane::QvPlane(const QvPoint& p1, const QvPoint& p2, const QvPoint& p3)
{
    QvVector n = (p2 - p1).Cross(p3 - p2);
    n.Normalize();
    m_coef[0] = n[0];
    m_coef[1] = n[1];
    m_coef[2] = n[2];
    m_coef[3] = -n.Dot(AsVector(p1));
}

QvPlane::QvPlane(const QvPoint& point, const QvVector& normal)
{
    QvVector n = normal;
    n.Normalize();
    m_coef[0] = n[0];
    m_coef[1] = n[1];
    m_coef[2] = n[2];
    m_coef[3] = -n.Dot(AsVector(point));
}

QvPlane* QvPlane::FitPoints(const std::vector<QvPoint>& points)
{
    const std::unique_ptr<QvFrame> frame(QvFrame::FitPoints(points, true));
    if (!frame)
        return nullptr;
    // The X axis of the sorted principal frame is the direction of least spread.
    return new QvPlane(frame->m_centre, frame->m_dirX);
}

void QvPlane::Copy(const QvPlane& other)
{
    for (int i = 0; i < 4; ++i)
        m_coef[i] = other.m_coef[i];
}

double QvPlane::Distance(const QvPoint& p, bool isSigned) const
{
    const double s = GetNormal().Dot(AsVector(p)) + m_coef[3];
    return isSigned ? s : std::fabs(s);
}

QvPoint QvPlane::ProjectPoint(const QvPoint& p) const
{
    const QvVector n = GetNormal();
    return p - n * (n.Dot(AsVector(p)) + m_coef[3]);
}

QvVector QvPlane::ProjectVector(const QvVector& v) const
{
    const QvVector n = GetNormal();
    return v - n * v.Dot(n);
}

QvPoint QvPlane::GetPoint() const
{
    for (int axis = 0; axis < 3; ++axis)
    {
        if (!IsZero(m_coef[axis]))
        {
            QvPoint p(0.0, 0.0, 0.0);
            p[axis] = -m_coef[3] / m_coef[axis];
            return p;
        }
    }
    // No usable normal (unset coefficients or damaged data): the origin, the one point
    // that needs no division and keeps every caller's arithmetic finite.
    return QvPoint(0.0, 0.0, 0.0);
}

bool QvPlane::IntersectLine(const QvLine& line, QvPoint& out) const
{
    const QvVector n = GetNormal();
    const QvVector& dir = line.m_direction;
    const double dn = n.Dot(dir);
    if (IsZero(dn))
        return false;
    const double t = -(n.Dot(AsVector(line.m_point)) + m_coef[3]) / dn;
    out = line.m_point + dir * t;
    return true;
}

bool QvPlane::IntersectSegment(const QvLineSeg& seg, QvPoint& out) const
{
    const QvPoint& s = seg.m_start;
    const QvPoint& e = seg.m_end;
    const QvVector n = GetNormal();
    QvVector u = e - s;
    u.Normalize();
    const double dn = u.Dot(n);
    const double sd = n.Dot(AsVector(s)) + m_coef[3];

    if (IsZero(dn))
    {
        // A segment lying in the plane meets it at its start.
        if (std::fabs(sd) < kParallelDistance)
        {
            out = s;
            return true;
        }
        return false;
    }

    QvPoint q = s + u * (-sd / dn);
    if (!seg.Contains(q))
        return false;
    // A crossing at an end point is reported as exactly that end point.
    if (q.Distance(s) < 1e-7)
        q = s;
    else if (q.Distance(e) < 1e-7)
        q = e;
    out = q;
    return true;
}

bool QvPlane::IntersectPlane(const QvPlane& other, QvLine& out) const
{
    const QvVector nA = GetNormal();
    const QvVector nB = other.GetNormal();
    const QvVector u = nA.Cross(nB);
    if (u.IsZero())
        return false;
    const double dA = m_coef[3];
    const double dB = other.m_coef[3];
    const double b = nA.Dot(nB);
    const double cA = (dA - dB * b) / (b * b - 1.0);
    const double cB = (dB - dA * b) / (b * b - 1.0);
    const QvVector p = nA * cA + nB * cB;
    out.Set(QvPoint(p[0], p[1], p[2]), u);
    return true;
}

void QvPlane::Reverse()
{
    for (int i = 0; i < 4; ++i)
        m_coef[i] = -m_coef[i];
}

void QvPlane::Offset(double value) { m_coef[3] += value; }

void QvPlane::Transform(const QvMatrix& m)
{
    QvVector n = m * GetNormal();
    const QvPoint q = m * GetPoint();
    n.Normalize();
    m_coef[0] = n[0];
    m_coef[1] = n[1];
    m_coef[2] = n[2];
    m_coef[3] = -n.Dot(AsVector(q));
}

std::ostream& QvPlane::Write(std::ostream& os) const
{
    for (int i = 0; i < 4; ++i)
        qvio::WriteF64(os, m_coef[i]);
    return os;
}

bool QvPlane::Read(std::istream& is)
{
    double c[4] = {0.0, 0.0, 0.0, 0.0};
    for (int i = 0; i < 4; ++i)
        if (!qvio::ReadF64(is, c[i]))
            return false;
    for (int i = 0; i < 4; ++i)
        m_coef[i] = c[i];
    return true;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvOBB.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"

QvOBB::QvOBB() : m_halfSize{0.0, 0.0, 0.0} {}

QvOBB::QvOBB(const QvFrame& frame, double hx, double hy, double hz) : m_frame(frame), m_halfSize{hx, hy, hz} {}

QvOBB::QvOBB(const QvOBB& other, const QvMatrix& m) : QvOBB(other)
{
    m_frame.Transform(m);
}

QvOBB::QvOBB(const QvOBBParts& parts)
    : m_halfSize{parts.m_halfSize[0], parts.m_halfSize[1], parts.m_halfSize[2]}
{
    m_frame.m_centre = parts.m_centre;
    m_frame.m_dirX = parts.m_axes[0];
    m_frame.m_dirY = parts.m_axes[1];
    m_frame.m_dirZ = parts.m_axes[2];
}

QvOBB* QvOBB::FromPoints(const std::vector<QvPoint>& points)
{
    QvOBBParts parts;
    return FitPoints(points.data(), points.size(), parts) ? new QvOBB(parts) : nullptr;
}

bool QvOBB::FitPoints(const QvPoint* points, std::size_t count, QvOBBParts& out)
{
    QvFrame frame;
    if (!QvFrame::FitPoints(points, count, false, frame))
        return false;

    const QvPoint& c = frame.m_centre;
    const QvVector* axes[3] = {&frame.m_dirX, &frame.m_dirY, &frame.m_dirZ};
    double lo[3] = {1e10, 1e10, 1e10};
    double hi[3] = {-1e10, -1e10, -1e10};
    for (std::size_t k = 0; k < count; ++k)
    {
        const QvVector d = points[k] - c;
        for (int i = 0; i < 3; ++i)
        {
            const double t = d.Dot(*axes[i]);
            lo[i] = std::min(lo[i], t);
            hi[i] = std::max(hi[i], t);
        }
    }

    const QvPoint loCorner = c + frame.m_dirX * lo[0] + frame.m_dirY * lo[1] + frame.m_dirZ * lo[2];
    const QvPoint hiCorner = c + frame.m_dirX * hi[0] + frame.m_dirY * hi[1] + frame.m_dirZ * hi[2];
    out.m_centre = loCorner + (hiCorner - loCorner) / 2.0;
    for (int i = 0; i < 3; ++i)
    {
        out.m_axes[i] = *axes[i];
        out.m_halfSize[i] = (hi[i] - lo[i]) * 0.5;
    }
    return true;
}

void QvOBB::Transform(const QvMatrix& m)
{
    m_frame.Transform(m);
}

QvVector QvOBB::GetAxisByExtent(int rank) const
{
    const double hx = m_halfSize[0];
    const double hy = m_halfSize[1];
    const double hz = m_halfSize[2];
    const QvVector& X = m_frame.m_dirX;
    const QvVector& Y = m_frame.m_dirY;
    const QvVector& Z = m_frame.m_dirZ;

    // Comparisons exactly as tabled, so ties resolve to the later axis of each row.
    const QvVector* order[3];
    if (hx > hy && hx > hz)
    {
        order[0] = &X;
        order[1] = hy > hz ? &Y : &Z;
        order[2] = hy < hz ? &Y : &Z;
    }
    else if (hx > hy)
    {
        order[0] = &Z;
        order[1] = &X;
        order[2] = &Y;
    }
    else if (hx > hz)
    {
        order[0] = &Y;
        order[1] = &X;
        order[2] = &Z;
    }
    else
    {
        order[0] = hy > hz ? &Y : &Z;
        order[1] = hy < hz ? &Y : &Z;
        order[2] = &X;
    }
    if (rank < 1 || rank > 3)
        return QvVector(0.0, 0.0, 0.0);
    return *order[rank - 1];
}

namespace {

// |Ai x Bj| >= 1e-6, from the two other entries of column j of R (unit axes).
inline bool Skew(double r1, double r2)
{
    return r1 * r1 + r2 * r2 >= 1e-12;
}

} // namespace

namespace {

// The separating-axis test on boxes given by their parts: A and B are the unit axes, a and
// b the half sizes.
bool Separated(const QvPoint& centreA, const QvVector* const A[3], const double* a,
               const QvPoint& centreB, const QvVector* const B[3], const double* b)
{
    const double a0 = a[0], a1 = a[1], a2 = a[2];
    const double b0 = b[0], b1 = b[1], b2 = b[2];

    // The nine dot products and their magnitudes once; no epsilon is added.
    double R[3][3];
    double Q[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            R[i][j] = A[i]->Dot(*B[j]);
            Q[i][j] = std::fabs(R[i][j]);
        }

    const QvVector T = centreB - centreA;
    const double t0 = T.Dot(*A[0]);
    const double t1 = T.Dot(*A[1]);
    const double t2 = T.Dot(*A[2]);

    // Face axes of A, face axes of B, then the nine edge pairs Ai x Bj; the first that
    // strictly separates decides. An edge pair whose axes are parallel has no axis of its own
    // (|Ai x Bj| is the length of the two R entries of its row): exactly, its row reads 0 > sum
    // and never separates, but rounded dot products leave both sides near 1e-16 and the left
    // may win, calling overlapping boxes separated. Such rows are skipped; the face axes decide.
    if (std::fabs(t0) > a0 + b0 * Q[0][0] + b1 * Q[0][1] + b2 * Q[0][2])
        return true;
    if (std::fabs(t1) > a1 + b0 * Q[1][0] + b1 * Q[1][1] + b2 * Q[1][2])
        return true;
    if (std::fabs(t2) > a2 + b0 * Q[2][0] + b1 * Q[2][1] + b2 * Q[2][2])
        return true;

    if (std::fabs(t0 * R[0][0] + t1 * R[1][0] + t2 * R[2][0]) > a0 * Q[0][0] + a1 * Q[1][0] + a2 * Q[2][0] + b0)
        return true;
    if (std::fabs(t0 * R[0][1] + t1 * R[1][1] + t2 * R[2][1]) > a0 * Q[0][1] + a1 * Q[1][1] + a2 * Q[2][1] + b1)
        return true;
    if (std::fabs(t0 * R[0][2] + t1 * R[1][2] + t2 * R[2][2]) > a0 * Q[0][2] + a1 * Q[1][2] + a2 * Q[2][2] + b2)
        return true;

    if (Skew(R[1][0], R[2][0]) &&
        std::fabs(t2 * R[1][0] - t1 * R[2][0]) > a1 * Q[2][0] + a2 * Q[1][0] + b1 * Q[0][2] + b2 * Q[0][1])
        return true;
    if (Skew(R[1][1], R[2][1]) &&
        std::fabs(t2 * R[1][1] - t1 * R[2][1]) > a1 * Q[2][1] + a2 * Q[1][1] + b0 * Q[0][2] + b2 * Q[0][0])
        return true;
    if (Skew(R[1][2], R[2][2]) &&
        std::fabs(t2 * R[1][2] - t1 * R[2][2]) > a1 * Q[2][2] + a2 * Q[1][2] + b0 * Q[0][1] + b1 * Q[0][0])
        return true;

    if (Skew(R[0][0], R[2][0]) &&
        std::fabs(t0 * R[2][0] - t2 * R[0][0]) > a0 * Q[2][0] + a2 * Q[0][0] + b1 * Q[1][2] + b2 * Q[1][1])
        return true;
    if (Skew(R[0][1], R[2][1]) &&
        std::fabs(t0 * R[2][1] - t2 * R[0][1]) > a0 * Q[2][1] + a2 * Q[0][1] + b0 * Q[1][2] + b2 * Q[1][0])
        return true;
    if (Skew(R[0][2], R[2][2]) &&
        std::fabs(t0 * R[2][2] - t2 * R[0][2]) > a0 * Q[2][2] + a2 * Q[0][2] + b0 * Q[1][1] + b1 * Q[1][0])
        return true;

    if (Skew(R[0][0], R[1][0]) &&
        std::fabs(t1 * R[0][0] - t0 * R[1][0]) > a0 * Q[1][0] + a1 * Q[0][0] + b1 * Q[2][2] + b2 * Q[2][1])
        return true;
    if (Skew(R[0][1], R[1][1]) &&
        std::fabs(t1 * R[0][1] - t0 * R[1][1]) > a0 * Q[1][1] + a1 * Q[0][1] + b0 * Q[2][2] + b2 * Q[2][0])
        return true;
    if (Skew(R[0][2], R[1][2]) &&
        std::fabs(t1 * R[0][2] - t0 * R[1][2]) > a0 * Q[1][2] + a1 * Q[0][2] + b0 * Q[2][1] + b1 * Q[2][0])
        return true;

    return false;
}

} // namespace

bool QvOBB::IsOutside(const QvOBB& other) const
{
    const QvVector* A[3] = {&m_frame.m_dirX, &m_frame.m_dirY, &m_frame.m_dirZ};
    const QvVector* B[3] = {&other.m_frame.m_dirX, &other.m_frame.m_dirY, &other.m_frame.m_dirZ};
    return Separated(m_frame.m_centre, A, m_halfSize, other.m_frame.m_centre, B, other.m_halfSize);
}

bool QvOBB::IsOutside(const QvOBBParts& other) const
{
    const QvVector* A[3] = {&m_frame.m_dirX, &m_frame.m_dirY, &m_frame.m_dirZ};
    const QvVector* B[3] = {&other.m_axes[0], &other.m_axes[1], &other.m_axes[2]};
    return Separated(m_frame.m_centre, A, m_halfSize, other.m_centre, B, other.m_halfSize);
}

bool QvOBB::IsOutside(const QvOBBParts& a, const QvOBBParts& b)
{
    const QvVector* A[3] = {&a.m_axes[0], &a.m_axes[1], &a.m_axes[2]};
    const QvVector* B[3] = {&b.m_axes[0], &b.m_axes[1], &b.m_axes[2]};
    return Separated(a.m_centre, A, a.m_halfSize, b.m_centre, B, b.m_halfSize);
}

namespace {

bool LineMisses(const QvPoint& centre, const QvVector* const axes[3], const double* halfSize, const QvLine& line)
{
    const QvVector offset = line.m_point - centre;
    double p[3];
    QvVector d;
    for (int i = 0; i < 3; ++i)
    {
        p[i] = offset.Dot(*axes[i]);
        d[i] = line.m_direction.Dot(*axes[i]);
    }
    d.Normalize();

    double tmin = -1e10;
    double tmax = 1e10;
    for (int i = 0; i < 3; ++i)
    {
        const double h = halfSize[i];
        // Tighter than the zero test: the direction is unit length here, the raw one elsewhere.
        if (std::fabs(d[i]) < 1e-8)
        {
            if (std::fabs(p[i]) > h)
                return true;
            continue;
        }
        const double s1 = (-h - p[i]) / d[i];
        const double s2 = (h - p[i]) / d[i];
        tmin = std::max(tmin, std::min(s1, s2));
        tmax = std::min(tmax, std::max(s1, s2));
        if (tmin > tmax)
            return true;
    }
    return false;
}

} // namespace

bool QvOBB::IsLineOutside(const QvLine& line) const
{
    const QvVector* axes[3] = {&m_frame.m_dirX, &m_frame.m_dirY, &m_frame.m_dirZ};
    return LineMisses(m_frame.m_centre, axes, m_halfSize, line);
}

bool QvOBB::IsLineOutside(const QvOBBParts& box, const QvLine& line)
{
    const QvVector* axes[3] = {&box.m_axes[0], &box.m_axes[1], &box.m_axes[2]};
    return LineMisses(box.m_centre, axes, box.m_halfSize, line);
}

void QvOBB::GetCorners(QvPoint corners[8]) const
{
    static constexpr double kSigns[8][3] = {
        {-1, -1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1},
    };
    for (int k = 0; k < 8; ++k)
        corners[k] = m_frame.m_centre + m_frame.m_dirX * (kSigns[k][0] * m_halfSize[0]) +
                     m_frame.m_dirY * (kSigns[k][1] * m_halfSize[1]) +
                     m_frame.m_dirZ * (kSigns[k][2] * m_halfSize[2]);
}

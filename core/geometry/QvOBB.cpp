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

QvOBB* QvOBB::FromPoints(const std::vector<QvPoint>& points)
{
    const std::unique_ptr<QvFrame> frame(QvFrame::FitPoints(points, false));
    if (!frame)
        return nullptr;

    const QvPoint& c = frame->m_centre;
    const QvVector* axes[3] = {&frame->m_dirX, &frame->m_dirY, &frame->m_dirZ};
    double lo[3] = {1e10, 1e10, 1e10};
    double hi[3] = {-1e10, -1e10, -1e10};
    for (const QvPoint& p : points)
    {
        const QvVector d = p - c;
        for (int i = 0; i < 3; ++i)
        {
            const double t = d.Dot(*axes[i]);
            lo[i] = std::min(lo[i], t);
            hi[i] = std::max(hi[i], t);
        }
    }

    const QvPoint loCorner = c + frame->m_dirX * lo[0] + frame->m_dirY * lo[1] + frame->m_dirZ * lo[2];
    const QvPoint hiCorner = c + frame->m_dirX * hi[0] + frame->m_dirY * hi[1] + frame->m_dirZ * hi[2];

    QvOBB* box = new QvOBB(*frame, (hi[0] - lo[0]) * 0.5, (hi[1] - lo[1]) * 0.5, (hi[2] - lo[2]) * 0.5);
    box->m_frame.m_centre = loCorner + (hiCorner - loCorner) / 2.0;
    return box;
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

bool QvOBB::IsOutside(const QvOBB& other) const
{
    const QvVector* A[3] = {&m_frame.m_dirX, &m_frame.m_dirY, &m_frame.m_dirZ};
    const QvVector* B[3] = {&other.m_frame.m_dirX, &other.m_frame.m_dirY, &other.m_frame.m_dirZ};
    const double a0 = m_halfSize[0], a1 = m_halfSize[1], a2 = m_halfSize[2];
    const double b0 = other.m_halfSize[0], b1 = other.m_halfSize[1], b2 = other.m_halfSize[2];

    // The nine dot products and their magnitudes once; no epsilon is added.
    double R[3][3];
    double Q[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            R[i][j] = A[i]->Dot(*B[j]);
            Q[i][j] = std::fabs(R[i][j]);
        }

    const QvVector T = other.m_frame.m_centre - m_frame.m_centre;
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

bool QvOBB::IsLineOutside(const QvLine& line) const
{
    const QvVector* axes[3] = {&m_frame.m_dirX, &m_frame.m_dirY, &m_frame.m_dirZ};
    const QvVector offset = line.m_point - m_frame.m_centre;
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
        const double h = m_halfSize[i];
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

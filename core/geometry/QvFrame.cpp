// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvFrame.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/geometry/QvStreamIO.h"

namespace {

// Columns are the three axes.
QvMatrix AxesMatrix(const QvFrame& f)
{
    QvMatrix m(3, 3);
    for (int r = 0; r < 3; ++r)
    {
        m[r][0] = f.m_dirX[r];
        m[r][1] = f.m_dirY[r];
        m[r][2] = f.m_dirZ[r];
    }
    return m;
}

// Rotation and translation carrying `from` onto `to`.
void RigidMotion(const QvFrame& from, const QvFrame& to, QvMatrix& rotation, QvVector& translation)
{
    QvMatrix a = AxesMatrix(from);
    // Axes that span nothing cannot be inverted: such a frame is taken to lie
    // along the world axes, which keeps the answer a rigid motion.
    if (!a.Invert())
        a.SetIdentity();
    rotation = AxesMatrix(to) * a;
    const QvVector moved = rotation * (from.m_centre - QvPoint());
    translation = (to.m_centre - QvPoint()) - moved;
}

} // namespace

QvFrame::QvFrame() = default;

QvFrame::QvFrame(const QvPoint& origin, const QvVector& x, const QvVector& y) : m_centre(origin) { SetAxes(x, y); }

QvFrame& QvFrame::operator=(const QvFrame& other)
{
    if (this != &other)
    {
        m_centre = other.m_centre;
        m_dirX = other.m_dirX;
        m_dirY = other.m_dirY;
        m_dirZ = other.m_dirZ;
    }
    return *this;
}

void QvFrame::SetAxes(const QvVector& x, const QvVector& y)
{
    m_dirX = x;
    m_dirX.Normalize();
    m_dirY = y;
    m_dirY.Normalize();
    m_dirZ = m_dirX.Cross(m_dirY);
    m_dirZ.Normalize();
}

bool QvFrame::operator==(const QvFrame& other) const
{
    if (this == &other)
        return true;
    return m_centre == other.m_centre && m_dirX == other.m_dirX && m_dirY == other.m_dirY &&
           m_dirZ == other.m_dirZ;
}

bool QvFrame::IsValid() const { return !m_dirZ.IsZero(); }

void QvFrame::Transform(const QvMatrix& m)
{
    m_centre = m * m_centre;
    m_dirX = m * m_dirX;
    m_dirX.Normalize();
    m_dirY = m * m_dirY;
    m_dirY.Normalize();
    m_dirZ = m * m_dirZ;
    m_dirZ.Normalize();
}

QvMatrix* QvFrame::GetTransformTo(const QvFrame& other) const
{
    QvMatrix rotation;
    QvVector translation;
    RigidMotion(*this, other, rotation, translation);
    QvMatrix* m = new QvMatrix(4, 4);
    for (int r = 0; r < 3; ++r)
    {
        for (int c = 0; c < 3; ++c)
            (*m)[r][c] = rotation[r][c];
        (*m)[r][3] = translation[r];
    }
    (*m)[3][3] = 1.0;
    return m;
}

QvTransform QvFrame::GetRigidTransformTo(const QvFrame& other) const
{
    QvTransform t;
    RigidMotion(*this, other, t.m_rotation, t.m_translation);
    t.m_scale = 1.0;
    return t;
}

QvFrame* QvFrame::FitPoints(const std::vector<QvPoint>& points, bool sort)
{
    QvFrame frame;
    return FitPoints(points.data(), points.size(), sort, frame) ? new QvFrame(frame) : nullptr;
}

bool QvFrame::FitPoints(const QvPoint* points, std::size_t count, bool sort, QvFrame& out)
{
    if (count < 3)
        return false;
    const double n = static_cast<double>(count);
    QvPoint c;
    for (std::size_t k = 0; k < count; ++k)
        c += points[k];
    c = c / n;

    double cov[3][3] = {};
    for (std::size_t k = 0; k < count; ++k)
    {
        const QvVector d = points[k] - c;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                cov[i][j] += d[i] * d[j];
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            cov[i][j] /= n;
    return FromCovariance(c, cov, sort, out);
}

QvFrame* QvFrame::FromCovariance(const QvPoint& centre, const QvMatrix& covariance, bool sort)
{
    if (covariance.Rows() != 3 || covariance.Cols() != 3)
        return nullptr;
    double cov[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            cov[i][j] = covariance[i][j];
    QvFrame frame;
    return FromCovariance(centre, cov, sort, frame) ? new QvFrame(frame) : nullptr;
}

bool QvFrame::FromCovariance(const QvPoint& centre, const double covariance[3][3], bool sort, QvFrame& out)
{
    double cov[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            cov[i][j] = covariance[i][j];
    double values[3];
    double vectors[3][3];
    if (!QvMatrix::JacobiEigen3(cov, values, vectors))
        return false;
    QvVector axes[3];
    for (int k = 0; k < 3; ++k)
        axes[k] = QvVector(vectors[0][k], vectors[1][k], vectors[2][k]);

    if (sort)
    {
        // Exactly these three exchanges, strictly greater only: equal spreads keep their order.
        auto order = [&](int i, int j) {
            if (std::fabs(values[i]) > std::fabs(values[j]))
            {
                std::swap(values[i], values[j]);
                std::swap(axes[i], axes[j]);
            }
        };
        order(0, 1);
        order(0, 2);
        order(1, 2);
    }
    out = QvFrame(centre, axes[0], axes[1]);
    return true;
}

std::ostream& QvFrame::Write(std::ostream& os, bool binary) const
{
    m_centre.Write(os, binary);
    m_dirX.Write(os, binary);
    m_dirY.Write(os, binary);
    m_dirZ.Write(os, binary);
    return os;
}

bool QvFrame::Read(std::istream& is, bool binary)
{
    QvFrame f;
    if (!f.m_centre.Read(is, binary) || !f.m_dirX.Read(is, binary) || !f.m_dirY.Read(is, binary) ||
        !f.m_dirZ.Read(is, binary))
        return false;
    *this = f;
    return true;
}

QvTransform::QvTransform() : m_rotation(3, 3), m_translation(0.0, 0.0, 0.0), m_scale(1.0)
{
    m_rotation.SetIdentity();
}

std::ostream& QvTransform::Write(std::ostream& os, bool binary) const
{
    m_translation.Write(os, binary);
    m_rotation.Write(os);
    qvio::WriteF64(os, m_scale);
    return os;
}

bool QvTransform::Read(std::istream& is, bool binary)
{
    QvVector translation;
    QvMatrix rotation;
    double scale = 0.0;
    if (!translation.Read(is, binary) || !rotation.Read(is))
        return false;
    // Every user reads the upper-left 3 x 3 block.
    if (rotation.m_row < 3 || rotation.m_col < 3)
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    if (!qvio::ReadF64(is, scale))
        return false;
    m_translation = translation;
    m_rotation = rotation;
    m_scale = scale;
    return true;
}

QvQuaternion::QvQuaternion(const QvMatrix& m) : QvQuaternion() { SetFromMatrix(m); }

void QvQuaternion::SetFromMatrix(const QvMatrix& m)
{
    if (m.m_row < 3 || m.m_col < 3)
        return;
    const double a[9] = {m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], m[2][0], m[2][1], m[2][2]};
    SetFromArray(a);
}

void QvQuaternion::SetFromArray(const double a[9])
{
    auto m = [a](int r, int c) { return a[3 * r + c]; };
    double q[4]; // w, x, y, z
    const double tr = m(0, 0) + m(1, 1) + m(2, 2);
    if (tr > 0.0)
    {
        const double s = std::sqrt(tr + 1.0);
        q[0] = 0.5 * s;
        q[1] = (m(2, 1) - m(1, 2)) * 0.5 / s;
        q[2] = (m(0, 2) - m(2, 0)) * 0.5 / s;
        q[3] = (m(1, 0) - m(0, 1)) * 0.5 / s;
    }
    else
    {
        int i = m(1, 1) > m(0, 0) ? 1 : 0;
        if (m(2, 2) > m(i, i))
            i = 2;
        const int j = (i + 1) % 3;
        const int k = (j + 1) % 3;
        const double s = std::sqrt(m(i, i) - m(j, j) - m(k, k) + 1.0);
        q[1 + i] = 0.5 * s;
        q[0] = (m(k, j) - m(j, k)) * 0.5 / s;
        q[1 + j] = (m(j, i) + m(i, j)) * 0.5 / s;
        q[1 + k] = (m(k, i) + m(i, k)) * 0.5 / s;
    }
    const double len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    m_w = q[0] / len;
    m_x = q[1] / len;
    m_y = q[2] / len;
    m_z = q[3] / len;
}

QvQuaternion QvQuaternion::FromAxes(const QvVector& x, const QvVector& y, const QvVector& z)
{
    const double a[9] = {x[0], y[0], z[0], x[1], y[1], z[1], x[2], y[2], z[2]};
    QvQuaternion q;
    q.SetFromArray(a);
    return q;
}

QvQuaternion QvQuaternion::FromTwoVectors(const QvVector& from, const QvVector& to)
{
    QvVector u = from;
    u.Normalize();
    QvVector v = to;
    v.Normalize();
    QvVector a = u.Cross(v);
    const double d = u.Dot(v);
    if (!a.IsZero())
    {
        a.Normalize();
        // Deliberately single precision: interpolated placements must not shift against stored ones.
        const float df = static_cast<float>(std::clamp(d, -1.0, 1.0));
        const double h = 0.5 * static_cast<double>(std::acos(df));
        const double sh = std::sin(h);
        return QvQuaternion(std::cos(h), a[0] * sh, a[1] * sh, a[2] * sh);
    }
    if (d > 0.0)
        return QvQuaternion(1.0, 0.0, 0.0, 0.0);
    // Opposite: turn half way about any axis across u.
    int e = 0;
    if (u[1] * u[1] < u[e] * u[e])
        e = 1;
    if (u[2] * u[2] < u[e] * u[e])
        e = 2;
    QvVector axis(0.0, 0.0, 0.0);
    axis[e] = 1.0;
    const QvVector xyz = u.Cross(axis);
    return QvQuaternion(std::cos(kQvPi / 2), xyz[0], xyz[1], xyz[2]);
}

void QvQuaternion::ToMatrix(QvMatrix& m) const
{
    if (m.m_row < 3 || m.m_col < 3)
        m.Create(3, 3);
    const double w = m_w, x = m_x, y = m_y, z = m_z;
    m[0][0] = 1.0 - 2.0 * y * y - 2.0 * z * z;
    m[0][1] = 2.0 * x * y - 2.0 * w * z;
    m[0][2] = 2.0 * x * z + 2.0 * w * y;
    m[1][0] = 2.0 * x * y + 2.0 * w * z;
    m[1][1] = 1.0 - 2.0 * x * x - 2.0 * z * z;
    m[1][2] = 2.0 * y * z - 2.0 * w * x;
    m[2][0] = 2.0 * x * z - 2.0 * w * y;
    m[2][1] = 2.0 * y * z + 2.0 * w * x;
    m[2][2] = 1.0 - 2.0 * x * x - 2.0 * y * y;
}

void QvQuaternion::Invert() { *this = Inverse(); }

QvQuaternion QvQuaternion::Inverse() const
{
    const double q = m_w * m_w + m_x * m_x + m_y * m_y + m_z * m_z;
    if (q > 0.0)
        return QvQuaternion(m_w / q, -m_x / q, -m_y / q, -m_z / q);
    return QvQuaternion(0.0, 0.0, 0.0, 0.0);
}

std::ostream& QvQuaternion::Write(std::ostream& os) const
{
    qvio::WriteF64(os, m_w);
    qvio::WriteF64(os, m_x);
    qvio::WriteF64(os, m_y);
    qvio::WriteF64(os, m_z);
    return os;
}

bool QvQuaternion::Read(std::istream& is)
{
    double w = 0.0, x = 0.0, y = 0.0, z = 0.0;
    if (!qvio::ReadF64(is, w) || !qvio::ReadF64(is, x) || !qvio::ReadF64(is, y) || !qvio::ReadF64(is, z))
        return false;
    m_w = w;
    m_x = x;
    m_y = y;
    m_z = z;
    return true;
}

std::ostream& QvQuaternion::WriteFloat(std::ostream& os) const
{
    qvio::WriteF32(os, static_cast<float>(m_x));
    qvio::WriteF32(os, static_cast<float>(m_y));
    qvio::WriteF32(os, static_cast<float>(m_z));
    qvio::WriteF32(os, static_cast<float>(m_w));
    return os;
}

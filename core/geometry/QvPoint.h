// SPDX-License-Identifier: GPL-3.0-or-later
// Points, vectors and the zero test every geometric decision of the core uses.
#pragma once

#include <cmath>
#include <iosfwd>
#include <vector>

// abs(x) < 1e-7, strict; NaN is not zero.
inline bool IsZero(double x) { return std::fabs(x) < 1e-7; }
inline bool IsZero(double x, double tolerance) { return std::fabs(x) < tolerance; }

// 1e-7 in single precision, widened: the component tolerance of vector equality.
inline constexpr double kQvVectorTolerance = 1.0000000116860974e-7;
inline constexpr double kQvPi = 3.14159265359;
inline constexpr double kQvTwoPi = 6.28318530718;

class QvVector;

class QvPoint
{
public:
    QvPoint() : m_coord{0.0, 0.0, 0.0} {}
    QvPoint(double x, double y, double z) : m_coord{x, y, z} {}

    void Set(double x, double y, double z)
    {
        m_coord[0] = x;
        m_coord[1] = y;
        m_coord[2] = z;
    }

    double operator[](int i) const { return m_coord[i]; }
    double& operator[](int i) { return m_coord[i]; }

    QvPoint& operator+=(const QvPoint& p)
    {
        m_coord[0] += p.m_coord[0];
        m_coord[1] += p.m_coord[1];
        m_coord[2] += p.m_coord[2];
        return *this;
    }
    QvPoint& operator-=(const QvPoint& p)
    {
        m_coord[0] -= p.m_coord[0];
        m_coord[1] -= p.m_coord[1];
        m_coord[2] -= p.m_coord[2];
        return *this;
    }
    QvPoint& operator*=(double f)
    {
        m_coord[0] *= f;
        m_coord[1] *= f;
        m_coord[2] *= f;
        return *this;
    }
    QvPoint& operator/=(double f)
    {
        m_coord[0] /= f;
        m_coord[1] /= f;
        m_coord[2] /= f;
        return *this;
    }

    inline QvVector operator-(const QvPoint& other) const;
    inline QvPoint operator+(const QvVector& v) const;
    inline QvPoint operator-(const QvVector& v) const;
    QvPoint operator*(double f) const { return QvPoint(m_coord[0] * f, m_coord[1] * f, m_coord[2] * f); }
    QvPoint operator/(double f) const { return QvPoint(m_coord[0] / f, m_coord[1] / f, m_coord[2] / f); }

    // Equal within a ball of radius 1e-7, not a box.
    bool operator==(const QvPoint& other) const { return IsZero(Distance(other)); }
    bool operator!=(const QvPoint& other) const { return !(*this == other); }

    double SquaredDistance(const QvPoint& o) const
    {
        const double dx = m_coord[0] - o.m_coord[0];
        const double dy = m_coord[1] - o.m_coord[1];
        const double dz = m_coord[2] - o.m_coord[2];
        return dx * dx + dy * dy + dz * dz;
    }
    double Distance(const QvPoint& o) const { return std::sqrt(SquaredDistance(o)); }

    // Three doubles; the binary flag is shared by all stream forms and ignored here.
    std::ostream& Write(std::ostream& os, bool binary = true) const;
    // False when the stream failed; the coordinates then keep their old values.
    [[nodiscard]] bool Read(std::istream& is, bool binary = true);

    double m_coord[3];
};

inline QvPoint operator*(double f, const QvPoint& p) { return p * f; }

class QvVector
{
public:
    QvVector() : m_coord{0.0, 0.0, 0.0} {}
    QvVector(double x, double y, double z) : m_coord{x, y, z} {}

    void Set(double x, double y, double z)
    {
        m_coord[0] = x;
        m_coord[1] = y;
        m_coord[2] = z;
    }
    void SetZero() { Set(0.0, 0.0, 0.0); }

    double operator[](int i) const { return m_coord[i]; }
    double& operator[](int i) { return m_coord[i]; }

    double SquaredLength() const
    {
        return m_coord[0] * m_coord[0] + m_coord[1] * m_coord[1] + m_coord[2] * m_coord[2];
    }
    double Length() const { return std::sqrt(SquaredLength()); }
    bool IsZero() const { return ::IsZero(m_coord[0]) && ::IsZero(m_coord[1]) && ::IsZero(m_coord[2]); }

    // A vector too short for the zero test to tell from nothing becomes the x axis.
    void Normalize()
    {
        if (IsZero())
        {
            Set(1.0, 0.0, 0.0);
            return;
        }
        const double len = Length();
        m_coord[0] /= len;
        m_coord[1] /= len;
        m_coord[2] /= len;
    }

    double Dot(const QvVector& v) const
    {
        return (m_coord[0] * v.m_coord[0] + m_coord[1] * v.m_coord[1]) + m_coord[2] * v.m_coord[2];
    }
    QvVector Cross(const QvVector& v) const
    {
        return QvVector(m_coord[1] * v.m_coord[2] - m_coord[2] * v.m_coord[1],
                        m_coord[2] * v.m_coord[0] - m_coord[0] * v.m_coord[2],
                        m_coord[0] * v.m_coord[1] - m_coord[1] * v.m_coord[0]);
    }
    // Unsigned, 0 to pi; never divides.
    double Angle(const QvVector& v) const { return std::atan2(Cross(v).Length(), Dot(v)); }
    // From this to v about the axis, in [0, 2 pi).
    double SignedAngle(const QvVector& v, const QvVector& axis) const
    {
        const double a = Angle(v);
        return Cross(v).Dot(axis) < 0.0 ? kQvTwoPi - a : a;
    }
    void Negate()
    {
        m_coord[0] = -m_coord[0];
        m_coord[1] = -m_coord[1];
        m_coord[2] = -m_coord[2];
    }
    bool IsParallel(const QvVector& v) const
    {
        QvVector a = *this;
        QvVector b = v;
        a.Normalize();
        b.Normalize();
        return ::IsZero(std::fabs(a.Dot(b)) - 1.0);
    }

    bool operator==(const QvVector& v) const
    {
        return std::fabs(m_coord[0] - v.m_coord[0]) < kQvVectorTolerance &&
               std::fabs(m_coord[1] - v.m_coord[1]) < kQvVectorTolerance &&
               std::fabs(m_coord[2] - v.m_coord[2]) < kQvVectorTolerance;
    }
    bool operator!=(const QvVector& v) const { return !(*this == v); }

    QvVector operator+(const QvVector& v) const
    {
        return QvVector(m_coord[0] + v.m_coord[0], m_coord[1] + v.m_coord[1], m_coord[2] + v.m_coord[2]);
    }
    QvVector operator-(const QvVector& v) const
    {
        return QvVector(m_coord[0] - v.m_coord[0], m_coord[1] - v.m_coord[1], m_coord[2] - v.m_coord[2]);
    }
    QvVector operator-() const { return QvVector(-m_coord[0], -m_coord[1], -m_coord[2]); }
    QvVector& operator+=(const QvVector& v)
    {
        m_coord[0] += v.m_coord[0];
        m_coord[1] += v.m_coord[1];
        m_coord[2] += v.m_coord[2];
        return *this;
    }
    QvVector operator*(double f) const { return QvVector(m_coord[0] * f, m_coord[1] * f, m_coord[2] * f); }
    QvVector operator/(double f) const { return QvVector(m_coord[0] / f, m_coord[1] / f, m_coord[2] / f); }

    std::ostream& Write(std::ostream& os, bool binary = true) const;
    [[nodiscard]] bool Read(std::istream& is, bool binary = true);

    double m_coord[3];
};

inline QvVector operator*(double f, const QvVector& v) { return v * f; }

inline QvVector QvPoint::operator-(const QvPoint& o) const
{
    return QvVector(m_coord[0] - o.m_coord[0], m_coord[1] - o.m_coord[1], m_coord[2] - o.m_coord[2]);
}
inline QvPoint QvPoint::operator+(const QvVector& v) const
{
    return QvPoint(m_coord[0] + v.m_coord[0], m_coord[1] + v.m_coord[1], m_coord[2] + v.m_coord[2]);
}
inline QvPoint QvPoint::operator-(const QvVector& v) const
{
    return QvPoint(m_coord[0] - v.m_coord[0], m_coord[1] - v.m_coord[1], m_coord[2] - v.m_coord[2]);
}

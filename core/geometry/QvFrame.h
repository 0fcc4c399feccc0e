// SPDX-License-Identifier: GPL-3.0-or-later
// Local frames, rigid transforms and quaternions.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPoint.h"

class QvTransform;

class QvFrame
{
public:
    // Origin at zero and zero axes: not valid until axes are set.
    QvFrame();
    // X and Y normalised (a zero axis becomes (1, 0, 0)); Z = X x Y normalised. Y is not orthogonalised.
    QvFrame(const QvPoint& origin, const QvVector& x, const QvVector& y);
    QvFrame(const QvFrame& other) = default;
    QvFrame& operator=(const QvFrame& other);
    ~QvFrame() = default;

    void SetAxes(const QvVector& x, const QvVector& y);
    bool operator==(const QvFrame& other) const;
    bool IsValid() const;
    // Origin by the point rule (a 4 x 4 matrix translates), axes by the vector rule, then normalised.
    void Transform(const QvMatrix& m);
    // New 4 x 4 rigid motion carrying this frame onto other; the caller owns it. A frame whose
    // axes cannot be inverted (a default frame) is taken to lie along the world axes.
    QvMatrix* GetTransformTo(const QvFrame& other) const;
    QvTransform GetRigidTransformTo(const QvFrame& other) const;

    // Principal axes of the points; null for fewer than 3 points or no convergence. Caller owns it.
    static QvFrame* FitPoints(const std::vector<QvPoint>& points, bool sort);
    // The same from the points' centroid and 3 x 3 covariance (the mean of the outer
    // products of the offsets from the centroid), for callers that gather them without
    // a point list; null when the eigen decomposition does not converge.
    static QvFrame* FromCovariance(const QvPoint& centre, const QvMatrix& covariance, bool sort);
    // The two above into out, without allocating; false (out unchanged) where they give null.
    [[nodiscard]] static bool FitPoints(const QvPoint* points, std::size_t count, bool sort, QvFrame& out);
    [[nodiscard]] static bool FromCovariance(const QvPoint& centre, const double covariance[3][3], bool sort,
                                             QvFrame& out);

    virtual std::ostream& Write(std::ostream& os, bool binary = true) const;
    [[nodiscard]] virtual bool Read(std::istream& is, bool binary = true);

    QvPoint m_centre;
    QvVector m_dirX;
    QvVector m_dirY;
    QvVector m_dirZ;
};

class QvTransform
{
public:
    QvTransform(); // identity rotation, zero translation, scale 1

    // translation (24 bytes), rotation in the matrix form, scale (double).
    std::ostream& Write(std::ostream& os, bool binary = true) const;
    [[nodiscard]] bool Read(std::istream& is, bool binary = true);

    QvMatrix m_rotation;
    QvVector m_translation;
    double m_scale;
};

class QvQuaternion
{
public:
    QvQuaternion() : m_w(1.0), m_x(0.0), m_y(0.0), m_z(0.0) {}
    QvQuaternion(double w, double x, double y, double z) : m_w(w), m_x(x), m_y(y), m_z(z) {}
    explicit QvQuaternion(const QvMatrix& m);

    void SetFromMatrix(const QvMatrix& m);
    void SetFromArray(const double m[9]);
    static QvQuaternion FromAxes(const QvVector& x, const QvVector& y, const QvVector& z);
    static QvQuaternion FromTwoVectors(const QvVector& from, const QvVector& to);
    // Rows and columns 0..2 of an existing matrix of at least 3 x 3; the rest untouched.
    void ToMatrix(QvMatrix& m) const;
    void Invert();
    QvQuaternion Inverse() const;

    // w, x, y, z as doubles.
    std::ostream& Write(std::ostream& os) const;
    [[nodiscard]] bool Read(std::istream& is);
    // x, y, z, w as floats.
    std::ostream& WriteFloat(std::ostream& os) const;

    double m_w, m_x, m_y, m_z;
};

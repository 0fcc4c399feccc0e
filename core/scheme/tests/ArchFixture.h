// SPDX-License-Identifier: GPL-3.0-or-later
// A generated jaw for the arch tests: one small tooth per FDI number, its landmarks
// on the arch y = D (1 - 4x^2/W^2)^k of a frame turned away from the world axes.
// Every tooth carries reference data: a mid curve of three vertices whose last vertex
// (ahead along the tooth's X axis, which points along the arch towards the midline)
// is the landmark, feature point 2 on canines and premolars and 3 on molars at the
// landmark. Each crown is a cube of half-size `half` around its centre, which stands
// `lift` above the landmark along the arch frame's normal.
#pragma once

#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "core/base/QvEntity.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"
#include "core/scheme/QvCreateArchCurveCommand.h"

namespace qvarchtest {

// |x| of the landmark of positions 1 to 7 for an arch 50 wide; position 8 stands behind.
inline double PositionX(int position, double width)
{
    static const double kX[8] = {2.5, 7.5, 12.5, 16.5, 19.5, 22.5, 25.0, 25.5};
    return kX[position - 1] * width / 50.0;
}

class ArchCase
{
public:
    ArchCase(bool upper, const QvArchParameters& arch, const std::vector<int>& positions = {1, 2, 3, 4, 5, 6, 7},
             const QvFrame& frame = DefaultFrame())
        : m_upper(upper), m_arch(arch), m_frame(frame)
    {
        QvEntity::SetNextId(100);
        m_normal = m_frame.m_dirX.Cross(m_frame.m_dirY);
        m_normal.Normalize();
        for (const int position : positions)
            for (const bool second : {false, true})
                AddTooth((upper ? 10 : 30) + (second ? 10 : 0) + position);
    }

    // Origin off zero, axes turned about all three world axes.
    static QvFrame DefaultFrame()
    {
        QvVector x(0.9, 0.3, -0.2);
        QvVector z(0.1, 0.35, 0.93);
        x.Normalize();
        QvVector y = z.Cross(x);
        y.Normalize();
        return QvFrame(QvPoint(4.0, -7.0, 12.0), x, y);
    }

    QvPoint ToWorld(double x, double y, double z = 0.0) const
    {
        return m_frame.m_centre + m_frame.m_dirX * x + m_frame.m_dirY * y + m_normal * z;
    }
    // Arch coordinates of a world point.
    QvPoint ToArch(const QvPoint& p) const
    {
        const QvVector d = p - m_frame.m_centre;
        return QvPoint(d.Dot(m_frame.m_dirX), d.Dot(m_frame.m_dirY), d.Dot(m_normal));
    }
    QvPlane Plane() const { return QvPlane(m_frame.m_centre, m_normal); }

    static int PositionOf(int fdi) { return fdi % 10; }
    static bool SecondSide(int fdi) { return (fdi / 10) % 2 == 0; }

    // The landmark in arch coordinates: on the arch, `above` over its plane.
    QvPoint ArchLandmark(int fdi) const
    {
        const int position = PositionOf(fdi);
        const double sign = SecondSide(fdi) ? 1.0 : -1.0;
        if (position == 8)
            return QvPoint(sign * PositionX(8, m_arch.width), -6.0, above);
        const double x = sign * (position == 1 && centralX >= 0.0 ? centralX : PositionX(position, m_arch.width));
        return QvPoint(x, QvCreateArchCurveCommand::ArchValue(x, m_arch), above);
    }
    QvPoint Landmark(int fdi) const
    {
        const QvPoint a = ArchLandmark(fdi);
        return ToWorld(a.m_coord[0], a.m_coord[1], a.m_coord[2]);
    }

    // Along the arch towards the midline, in arch coordinates.
    QvVector MesialDirection(int fdi) const
    {
        const QvPoint a = ArchLandmark(fdi);
        const double x = a.m_coord[0];
        const double u = 1.0 - 4.0 * x * x / (m_arch.width * m_arch.width);
        QvVector d(0.0, 1.0, 0.0);
        if (u > 1e-9 && PositionOf(fdi) != 8)
        {
            const double slope = m_arch.depth * m_arch.exponent * std::pow(u, m_arch.exponent - 1.0) *
                                 (-8.0 * x / (m_arch.width * m_arch.width));
            d = x < 0.0 ? QvVector(1.0, slope, 0.0) : QvVector(-1.0, -slope, 0.0);
        }
        d.Normalize();
        return d;
    }

    QvTooth* AddTooth(int fdi)
    {
        auto* tooth = new QvTooth();
        tooth->SetFdi(fdi);
        const QvPoint a = ArchLandmark(fdi);
        const QvVector mesial = MesialDirection(fdi);
        const QvVector worldMesial = m_frame.m_dirX * mesial[0] + m_frame.m_dirY * mesial[1];
        const QvPoint centre = ToWorld(a.m_coord[0], a.m_coord[1], a.m_coord[2] + lift);
        tooth->SetFrame(QvFrame(centre, worldMesial, m_normal.Cross(worldMesial)));

        // A cube with the arch frame's axes around the centre.
        for (int k = 0; k < 8; ++k)
            tooth->AddVertex(ToWorld(a.m_coord[0] + ((k & 1) ? half : -half), a.m_coord[1] + ((k & 2) ? half : -half),
                                     a.m_coord[2] + lift + ((k & 4) ? half : -half)));
        static const int kFaces[12][3] = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                                          {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
        for (const auto& f : kFaces)
            (void)tooth->AddFace(f[0], f[1], f[2], 0);
        const QvPoint landmark = Landmark(fdi);
        const int first = tooth->AddVertex(landmark - worldMesial * 1.5 + m_normal * 1.0);
        const int middle = tooth->AddVertex(landmark - worldMesial * 0.75 + m_normal * 2.0);
        const int last = tooth->AddVertex(landmark);

        auto* ref = new QvToothRef(tooth);
        ref->m_midCurve.m_vertices = {first, middle, last};
        const int kind = tooth->GetToothKind();
        if (kind >= 2)
        {
            QvFeaturePoint feature(last);
            feature.m_nKey = kind == 4 ? 3 : 2;
            feature.m_position = landmark;
            ref->m_featurePoints.push_back(feature);
        }
        tooth->SetToothRef(ref);
        tooth->UpdateBBox();
        model.AddEntity(tooth);
        return tooth;
    }

    // Takes a tooth out of the model and deletes it.
    void RemoveTooth(int fdi)
    {
        if (QvTooth* tooth = model.FindTooth(fdi))
            model.RemoveEntity(tooth->GetID(), true);
    }

    bool m_upper;
    QvArchParameters m_arch;
    QvFrame m_frame;
    QvVector m_normal;
    // |x| of the central incisors' landmarks when not negative.
    double centralX = -1.0;
    double above = 0.7;
    double lift = 2.0;
    double half = 3.0;
    QvModel model;
};

} // namespace qvarchtest

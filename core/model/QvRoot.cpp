// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvRoot.h"

#include <memory>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvPlane.h"
#include "core/geometry/QvPolyline.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModelDetail.h"
#include "core/model/QvToothBase.h"

QvRoot::QvRoot(QvTooth* owner) : m_pOwner(owner) {}

bool QvRoot::Read(std::istream& is, int version, QvModel* model)
{
    qvmodel::Scratch<QvMesh> mesh;
    std::int32_t value = 0;
    if (!mesh->Read(is, version, model) || !qvio::ReadI32(is, value))
        return false;
    qvmodel::SwapMeshData(*this, *mesh, true);
    m_nValue = value;
    return true;
}

std::ostream& QvRoot::WriteWithValue(std::ostream& os, int version) const
{
    QvMesh::Write(os, version);
    qvio::WriteI32(os, m_nValue);
    return os;
}

double QvRoot::GetSectionArea(const QvPlane& plane) const
{
    std::vector<std::vector<QvSectionPoint>> sections;
    IntersectPlane(plane, sections);
    const QvFrame world(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
    double area = 0.0;
    for (const std::vector<QvSectionPoint>& section : sections)
    {
        std::vector<QvPoint> points;
        points.reserve(section.size());
        for (const QvSectionPoint& entry : section)
            points.push_back(entry.m_point);
        if (points.size() < 3)
            continue;
        if (points.size() == 3)
        {
            area += 0.5 * (points[1] - points[0]).Cross(points[2] - points[0]).Length();
            continue;
        }
        // The fitted X axis is the section's normal: carried onto the world X axis,
        // the section lies flat in y and z.
        std::unique_ptr<QvFrame> fitted(QvFrame::FitPoints(points, true));
        if (!fitted)
            continue;
        std::unique_ptr<QvMatrix> motion(fitted->GetTransformTo(world));
        if (!motion)
            continue;
        for (QvPoint& p : points)
            p = *motion * p;
        QvPolyline outline(points);
        area += outline.GetArea();
    }
    return area;
}

void QvRoot::GetLongestBoundaryLoop(std::vector<int>& out) const { out = LongestBoundaryLoop(*this); }

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvAirway.h"

#include <cmath>
#include <map>

#include "core/geometry/QvPlane.h"
#include "core/mesh/QvFillHoleCommand.h"
#include "core/mesh/QvTriangleCommand.h"

namespace {

bool IsZeroValue(double x) { return std::fabs(x) < 1e-7; }

// Heron's formula; the absolute value keeps rounding from making a flat triangle's
// product slightly negative.
double TriangleArea(const QvPoint& p, const QvPoint& q, const QvPoint& r)
{
    const double a = p.Distance(q);
    const double b = p.Distance(r);
    const double c = q.Distance(r);
    const double s = (a + b + c) / 2.0;
    return std::sqrt(std::fabs(s * (s - a) * (s - b) * (s - c)));
}

double FaceArea(const QvMesh& mesh, const QvFace& face)
{
    return TriangleArea(mesh.m_vertices[face.m_vertices[0]].m_point, mesh.m_vertices[face.m_vertices[1]].m_point,
                        mesh.m_vertices[face.m_vertices[2]].m_point);
}

// Area of one closed section outline, triangulated in its own plane.
double OutlineArea(std::vector<QvPoint> points)
{
    if (points.size() > 1 && points.front().Distance(points.back()) < 1e-7)
        points.pop_back();
    if (points.size() < 3)
        return 0.0;
    QvTriangleCommand triangulate(points, QvTriangleCommand::Shape::Outline);
    if (!triangulate.Execute())
        return 0.0;
    const std::size_t n = points.size();
    double area = 0.0;
    const std::vector<std::int32_t>& t = triangulate.m_outputTriangles;
    for (std::size_t i = 0; i + 2 < t.size(); i += 3)
        area += TriangleArea(points[static_cast<std::size_t>(t[i]) % n], points[static_cast<std::size_t>(t[i + 1]) % n],
                             points[static_cast<std::size_t>(t[i + 2]) % n]);
    return area;
}

} // namespace

QvAirway::QvAirway() { m_bFirstFlag = true; }

QvTypeCode QvAirway::GetType() const { return kQvTypeAirway; }

bool QvAirway::IsKindOf(QvTypeCode code) const { return code == kQvTypeAirway || QvMesh::IsKindOf(code); }

std::ostream& QvAirway::Write(std::ostream& os, int version) const
{
    WriteCompact(os, version);
    m_frame.Write(os);
    m_curve.Write(os, true);
    return os;
}

bool QvAirway::Read(std::istream& is, int version, QvModel* model) { return Read(is, version, model, nullptr); }

bool QvAirway::Read(std::istream& is, int version, QvModel* model, std::vector<QvPendingFaces>* pending)
{
    std::vector<QvReadFace> faces;
    if (!ReadCompact(is, version, model, faces))
        return false;
    QvFrame frame;
    bool read = frame.Read(is);
    if (read)
    {
        m_frame = frame;
        read = m_curve.Read(is, true);
    }
    if (read && pending)
        pending->push_back({this, std::move(faces)});
    else
        InsertReadFaces(faces);
    return read;
}

double QvAirway::GetSurfaceArea() const
{
    double area = 0.0;
    for (const QvFace& face : m_faces)
        area += FaceArea(*this, face);
    return area;
}

double QvAirway::GetVolume() const
{
    if (m_faces.empty())
        return 0.0;
    QvMesh closed(*this);
    std::vector<std::vector<int>> loops;
    closed.GetBoundaryLoops(loops);
    if (!loops.empty())
    {
        QvFillHoleCommand fill(&closed);
        for (const std::vector<int>& loop : loops)
            fill.FillLoop(loop, kQvFaceTagAirwayCap);
    }
    // Stored normals may predate edits; the volume needs the faces as they stand.
    closed.UpdateFaceNormals();

    double ix = 0.0, iy = 0.0, iz = 0.0;
    double cX = 0.0, cY = 0.0, cZ = 0.0, cXY = 0.0, cXZ = 0.0, cYZ = 0.0, cXYZ = 0.0;
    for (const QvFace& face : closed.m_faces)
    {
        const QvVector& n = face.m_normal;
        const QvPoint& p0 = closed.m_vertices[face.m_vertices[0]].m_point;
        const QvPoint& p1 = closed.m_vertices[face.m_vertices[1]].m_point;
        const QvPoint& p2 = closed.m_vertices[face.m_vertices[2]].m_point;
        const double area = TriangleArea(p0, p1, p2);
        const double cx = (p0.m_coord[0] + p1.m_coord[0] + p2.m_coord[0]) / 3.0;
        const double cy = (p0.m_coord[1] + p1.m_coord[1] + p2.m_coord[1]) / 3.0;
        const double cz = (p0.m_coord[2] + p1.m_coord[2] + p2.m_coord[2]) / 3.0;
        ix += area * n.m_coord[0] * cx;
        iy += area * n.m_coord[1] * cy;
        iz += area * n.m_coord[2] * cz;

        // Exact comparisons: a tie is a tie only when the components are equal.
        const double ax = std::fabs(n.m_coord[0]);
        const double ay = std::fabs(n.m_coord[1]);
        const double az = std::fabs(n.m_coord[2]);
        if (ax > ay && ax > az)
            cX += 1.0;
        else if (ay > ax && ay > az)
            cY += 1.0;
        else if (az > ax && az > ay)
            cZ += 1.0;
        else if (ax == ay && ay == az)
            cXYZ += 1.0;
        else if (ax == ay && ax > az)
            cXY += 1.0;
        else if (ax == az && ax > ay)
            cXZ += 1.0;
        else if (ay == az && ay > ax)
            cYZ += 1.0;
        else
            return -1.0; // a component that is not a number
    }
    const double count = static_cast<double>(closed.m_faces.size());
    const double wx = (cX + cXYZ / 3.0 + (cXY + cXZ) / 2.0) / count;
    const double wy = (cY + cXYZ / 3.0 + (cXY + cYZ) / 2.0) / count;
    const double wz = (cZ + cXYZ / 3.0 + (cXZ + cYZ) / 2.0) / count;
    return std::fabs(wx * ix + wy * iy + wz * iz);
}

double QvAirway::GetSectionArea(const QvPlane& plane) const
{
    std::vector<std::vector<QvSectionPoint>> sections;
    IntersectPlane(plane, sections);
    for (const std::vector<QvSectionPoint>& section : sections)
        if (section.size() > 2 && section.front().m_pElement != section.back().m_pElement)
            return 0.0;

    // Which sections lie inside which, judged in the section plane.
    std::map<std::size_t, bool> depthFlag; // contained section -> counts positively
    if (sections.size() > 1 && sections[0].size() > 1)
    {
        const QvPoint origin = sections[0][0].m_point;
        QvVector u = sections[0][1].m_point - origin;
        u.Normalize();
        QvVector v = plane.GetNormal().Cross(u);
        v.Normalize();
        std::vector<std::vector<Point2D>> flat(sections.size());
        for (std::size_t i = 0; i < sections.size(); ++i)
            for (const QvSectionPoint& entry : sections[i])
            {
                const QvVector d = entry.m_point - origin;
                flat[i].push_back({u.Dot(d), v.Dot(d)});
            }
        const auto listContained = [&depthFlag](std::size_t contained) {
            const auto it = depthFlag.find(contained);
            if (it == depthFlag.end())
                depthFlag.emplace(contained, false);
            else
                it->second = !it->second;
        };
        for (std::size_t i = 1; i < sections.size(); ++i)
            for (std::size_t j = 0; j < i; ++j)
            {
                if (IsPointInPolygon(GetCentroid(flat[j]), flat[i]))
                    listContained(j);
                else if (IsPointInPolygon(GetCentroid(flat[i]), flat[j]))
                    listContained(i);
            }
    }

    std::vector<double> areas(sections.size(), 0.0);
    double total = 0.0;
    for (std::size_t i = 0; i < sections.size(); ++i)
    {
        std::vector<QvPoint> points;
        points.reserve(sections[i].size());
        for (const QvSectionPoint& entry : sections[i])
            points.push_back(entry.m_point);
        areas[i] = OutlineArea(std::move(points));
        total += areas[i];
    }
    for (const auto& [index, positive] : depthFlag)
        total += positive ? areas[index] : -areas[index];
    return total;
}

void QvAirway::GetVertexNormals(std::vector<QvVector>& out) const
{
    out.resize(m_vertices.size());
    for (std::size_t i = 0; i < m_vertices.size(); ++i)
        out[i] = GetVertexNormal(static_cast<int>(i));
}

bool QvAirway::IsPointInPolygon(const Point2D& point, const std::vector<Point2D>& polygon)
{
    for (const Point2D& corner : polygon)
        if (IsZeroValue(corner.x - point.x) && IsZeroValue(corner.y - point.y))
            return true;
    const std::size_t n = polygon.size();
    int crossings = 0;
    for (std::size_t i = 0; i < n; ++i)
    {
        const Point2D& a = polygon[i];
        const Point2D& b = polygon[(i + 1) % n];
        if ((a.y > point.y) == (b.y > point.y))
            continue;
        const double x = a.x + (point.y - a.y) * (b.x - a.x) / (b.y - a.y);
        if (x == point.x)
            return true;
        if (x > point.x)
            ++crossings;
    }
    return crossings % 2 == 1;
}

QvAirway::Point2D QvAirway::GetCentroid(const std::vector<Point2D>& points)
{
    Point2D mean;
    if (points.empty())
        return mean;
    for (const Point2D& p : points)
    {
        mean.x += p.x;
        mean.y += p.y;
    }
    mean.x /= static_cast<double>(points.size());
    mean.y /= static_cast<double>(points.size());
    return mean;
}

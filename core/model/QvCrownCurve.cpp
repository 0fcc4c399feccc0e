// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvCrownCurve.h"

#include <algorithm>
#include <cmath>
#include <istream>
#include <memory>
#include <ostream>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvStreamIO.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvFileVersion.h"

namespace {

// Damage: the enclosing record must fail as well.
bool Broken(std::istream& is)
{
    is.setstate(std::ios::failbit);
    return false;
}

bool IsMeshVertex(const QvMesh* mesh, int v)
{
    return mesh && v >= 0 && v < static_cast<int>(mesh->m_vertices.size());
}

// count x int32, every one a vertex of the mesh when a mesh is given.
bool ReadIndices(std::istream& is, std::int32_t count, const QvMesh* mesh, bool checkMesh, std::vector<int>& out)
{
    if (!qvio::CountFits(is, count, 4))
        return false;
    std::vector<int> list(static_cast<std::size_t>(count));
    for (int& v : list)
    {
        std::int32_t value = 0;
        if (!qvio::ReadI32(is, value))
            return false;
        if (checkMesh && !IsMeshVertex(mesh, value))
            return false;
        v = value;
    }
    out.swap(list);
    return true;
}

void WriteIndices(std::ostream& os, const std::vector<int>& list)
{
    qvio::WriteI32(os, static_cast<std::int32_t>(list.size()));
    for (const int v : list)
        qvio::WriteI32(os, v);
}

// A curve in its binary form; null on damage.
std::unique_ptr<QvBSplineCurve> ReadCurve(std::istream& is)
{
    auto curve = std::make_unique<QvBSplineCurve>();
    if (!curve->Read(is, true))
        return nullptr;
    return curve;
}

bool OnVertex(const QvMesh& mesh, const QvSectionPoint& p, int v)
{
    return p.m_pElement == &mesh.m_vertices[static_cast<std::size_t>(v)];
}

} // namespace

QvRefForm ToothRefForm(int version)
{
    if (version & kQvVersionOS)
    {
        if (version <= 1040)
            return QvRefForm::Old;
        return version <= 1043 ? QvRefForm::New : QvRefForm::None;
    }
    if (version & kQvVersionDM)
    {
        if (version <= 2053)
            return QvRefForm::Old;
        return version == 2054 ? QvRefForm::New : QvRefForm::None;
    }
    return QvRefForm::None;
}

// ---------------------------------------------------------------- FACC

QvFacc::QvFacc(const QvFacc& other)
    : m_vertices(other.m_vertices), m_pCurve(other.m_pCurve ? new QvBSplineCurve(*other.m_pCurve) : nullptr)
{
}

QvFacc& QvFacc::operator=(const QvFacc& other)
{
    if (this == &other)
        return *this;
    QvBSplineCurve* copy = other.m_pCurve ? new QvBSplineCurve(*other.m_pCurve) : nullptr;
    delete m_pCurve;
    m_pCurve = copy;
    m_vertices = other.m_vertices;
    return *this;
}

QvFacc::~QvFacc()
{
    delete m_pCurve;
}

void QvFacc::Write(std::ostream& os, int version) const
{
    const QvRefForm form = ToothRefForm(version);
    if (form == QvRefForm::None)
        return;
    qvio::WriteI32(os, m_pCurve ? 1 : 0);
    if (m_pCurve)
        m_pCurve->Write(os, true);
    if (form == QvRefForm::New)
        WriteIndices(os, m_vertices);
}

bool QvFacc::Read(std::istream& is, int version, const QvMesh* mesh)
{
    switch (ToothRefForm(version))
    {
    case QvRefForm::Old:
    {
        std::int32_t hasCurve = 0;
        if (!qvio::ReadI32(is, hasCurve))
            return false;
        if (hasCurve == 1)
        {
            auto curve = ReadCurve(is);
            if (!curve)
                return Broken(is);
            delete m_pCurve;
            m_pCurve = curve.release();
        }
        return true;
    }
    case QvRefForm::New:
        return ReadNewForm(is, mesh);
    case QvRefForm::None:
        break;
    }
    return false;
}

void QvFacc::WriteNewForm(std::ostream& os) const
{
    qvio::WriteI32(os, m_pCurve ? 1 : 0);
    if (m_pCurve)
        m_pCurve->Write(os, true);
    WriteIndices(os, m_vertices);
}

bool QvFacc::ReadNewForm(std::istream& is, const QvMesh* mesh)
{
    std::int32_t hasCurve = 0;
    if (!qvio::ReadI32(is, hasCurve))
        return false;
    std::unique_ptr<QvBSplineCurve> curve;
    if (hasCurve == 1 && !(curve = ReadCurve(is)))
        return Broken(is);
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    std::vector<int> list;
    if (count > 0 && !ReadIndices(is, count, mesh, mesh != nullptr, list))
        return Broken(is);

    if (curve)
    {
        delete m_pCurve;
        m_pCurve = curve.release();
    }
    // A FACC written without vertices still carries its curve.
    if (count <= 0)
        return false;
    m_vertices.swap(list);
    return true;
}

void QvFacc::WriteVectorForm(std::ostream& os) const
{
    QvBSplineCurve().Write(os, true);
    qvio::WriteI32(os, m_pCurve ? 1 : 0);
    if (m_pCurve)
        m_pCurve->Write(os, true);
    QvVector().Write(os, true);
    WriteIndices(os, m_vertices);
}

bool QvFacc::ReadVectorForm(std::istream& is, const QvMesh* mesh)
{
    auto leading = ReadCurve(is);
    if (!leading)
        return Broken(is);
    std::int32_t hasCurve = 0;
    if (!qvio::ReadI32(is, hasCurve))
        return false;
    std::unique_ptr<QvBSplineCurve> flagged;
    if (hasCurve == 1 && !(flagged = ReadCurve(is)))
        return Broken(is);
    QvVector ignored;
    std::int32_t count = 0;
    if (!ignored.Read(is, true) || !qvio::ReadI32(is, count))
        return false;
    std::vector<int> list;
    if (count > 0 && !ReadIndices(is, count, mesh, mesh != nullptr, list))
        return Broken(is);

    std::unique_ptr<QvBSplineCurve> kept = hasCurve == 1 ? std::move(flagged) : std::move(leading);
    if (kept && kept->m_ctrlPoints.empty())
        kept.reset();
    delete m_pCurve;
    m_pCurve = kept.release();
    if (count > 0)
        m_vertices.swap(list);
    return true;
}

bool QvFacc::AddVertex(const QvMesh& mesh, const QvVertex& vertex, const QvVector& direction)
{
    m_vertices.push_back(vertex.m_index);
    if (Fit(mesh, direction))
        return true;
    m_vertices.pop_back();
    return false;
}

bool QvFacc::RemoveVertex(const QvMesh& mesh, const QvVertex& vertex, const QvVector& direction)
{
    const auto it = std::find(m_vertices.begin(), m_vertices.end(), vertex.m_index);
    if (it != m_vertices.end())
        m_vertices.erase(it);
    return Fit(mesh, direction);
}

bool QvFacc::ReplaceVertex(const QvMesh& mesh, const QvVertex& oldVertex, const QvVertex& newVertex,
                           const QvVector& direction)
{
    const auto it = std::find(m_vertices.begin(), m_vertices.end(), oldVertex.m_index);
    if (it != m_vertices.end())
        *it = newVertex.m_index;
    return Fit(mesh, direction);
}

bool QvFacc::Fit(const QvMesh& mesh, const QvVector& direction)
{
    if (m_vertices.size() < 2)
    {
        delete m_pCurve;
        m_pCurve = nullptr;
        return true;
    }
    const int a = m_vertices[0];
    const int b = m_vertices[1];
    if (!IsMeshVertex(&mesh, a) || !IsMeshVertex(&mesh, b))
        return false;
    if (mesh.m_edges.empty())
        return true;

    const QvPlane plane = GetCutPlane(mesh.m_vertices[a].m_point, mesh.m_vertices[b].m_point, direction);
    std::vector<QvPoint> arc;
    if (!QvCollectSectionArc(mesh, plane, a, b, false, arc))
        return false;
    if (QvBSplineCurve* curve = QvFitArcPoints(std::move(arc)))
    {
        delete m_pCurve;
        m_pCurve = curve;
    }
    return true;
}

void QvFacc::Reverse()
{
    if (!m_pCurve)
        return;
    m_pCurve->Reverse();
    std::reverse(m_vertices.begin(), m_vertices.end());
}

QvPlane QvFacc::GetCutPlane(const QvPoint& p0, const QvPoint& p1, const QvVector& direction)
{
    QvVector chord = p1 - p0;
    chord.Normalize();
    return QvPlane(p1, chord.Cross(direction));
}

bool QvFacc::GetPlane(const QvMesh& mesh, const QvVector& direction, QvPlane& out) const
{
    if (m_vertices.size() != 2 || !IsMeshVertex(&mesh, m_vertices[0]) || !IsMeshVertex(&mesh, m_vertices[1]))
        return false;
    out = GetCutPlane(mesh.m_vertices[m_vertices[0]].m_point, mesh.m_vertices[m_vertices[1]].m_point, direction);
    return true;
}

void QvFacc::Remap(const std::map<int, int>& renumbering)
{
    if (m_vertices.size() < 2)
        return;
    const auto first = renumbering.find(m_vertices[0]);
    const auto second = renumbering.find(m_vertices[1]);
    if (first == renumbering.end() || second == renumbering.end())
        return;
    m_vertices = {first->second, second->second};
}

void QvFacc::Transform(const QvMatrix& matrix)
{
    if (m_pCurve)
        m_pCurve->Transform(matrix);
}

// ---------------------------------------------------------------- mid curve

int QvMidCurve::GetFirstVertex() const
{
    return m_vertices.empty() ? 0 : m_vertices.front();
}

int QvMidCurve::GetLastVertex() const
{
    return m_vertices.empty() ? 0 : m_vertices.back();
}

int QvMidCurve::GetMiddleVertex() const
{
    return m_vertices.size() == 3 ? m_vertices[1] : 0;
}

void QvMidCurve::Write(std::ostream& os, int version) const
{
    switch (ToothRefForm(version))
    {
    case QvRefForm::Old:
        qvio::WriteI32(os, 0);
        break;
    case QvRefForm::New:
        WriteList(os);
        break;
    case QvRefForm::None:
        break;
    }
}

bool QvMidCurve::Read(std::istream& is, const QvMesh* tooth, int version)
{
    switch (ToothRefForm(version))
    {
    case QvRefForm::Old:
    {
        std::int32_t hasCurve = 0;
        if (!qvio::ReadI32(is, hasCurve))
            return false;
        // The old form may carry a curve; the mid curve keeps none.
        if (hasCurve == 1 && !ReadCurve(is))
            return Broken(is);
        return true;
    }
    case QvRefForm::New:
        return ReadList(is, tooth);
    case QvRefForm::None:
        break;
    }
    return false;
}

void QvMidCurve::WriteList(std::ostream& os) const
{
    WriteIndices(os, m_vertices);
}

bool QvMidCurve::ReadList(std::istream& is, const QvMesh* tooth)
{
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    if (count < 1)
        return false;
    std::vector<int> list;
    if (!ReadIndices(is, count, tooth, true, list))
        return Broken(is);
    m_vertices.swap(list);
    return true;
}

void QvMidCurve::WritePaired(std::ostream& os) const
{
    QvBSplineCurve().Write(os, true);
    qvio::WriteI32(os, static_cast<std::int32_t>(m_vertices.size()));
    for (const int v : m_vertices)
    {
        qvio::WriteI32(os, v);
        qvio::WriteI32(os, v);
    }
    qvio::WriteI32(os, -1);
}

bool QvMidCurve::ReadPaired(std::istream& is, const QvMesh* tooth)
{
    std::int32_t count = 0;
    if (!ReadCurve(is) || !qvio::ReadI32(is, count) || !qvio::CountFits(is, count, 8))
        return Broken(is);
    std::vector<int> list(static_cast<std::size_t>(count));
    for (int& v : list)
    {
        std::int32_t first = 0;
        std::int32_t second = 0;
        if (!qvio::ReadI32(is, first) || !qvio::ReadI32(is, second) || !IsMeshVertex(tooth, first))
            return Broken(is);
        v = first;
    }
    std::int32_t end = 0;
    if (!qvio::ReadI32(is, end))
        return false;
    m_vertices.swap(list);
    return true;
}

bool QvMidCurve::AddVertex(const QvVertex& vertex)
{
    m_vertices.push_back(vertex.m_index);
    return m_vertices.size() == 3;
}

void QvMidCurve::RemoveVertex(const QvVertex& vertex)
{
    const auto it = std::find(m_vertices.begin(), m_vertices.end(), vertex.m_index);
    if (it != m_vertices.end())
        m_vertices.erase(it);
}

void QvMidCurve::ReplaceVertex(const QvVertex& oldVertex, const QvVertex& newVertex)
{
    const auto it = std::find(m_vertices.begin(), m_vertices.end(), oldVertex.m_index);
    if (it != m_vertices.end())
        *it = newVertex.m_index;
}

bool QvMidCurve::HasVertex(const QvVertex& vertex) const
{
    return std::find(m_vertices.begin(), m_vertices.end(), vertex.m_index) != m_vertices.end();
}

bool QvMidCurve::FindEndVertex(const QvVertex& vertex, bool& atEnd) const
{
    const auto it = std::find(m_vertices.begin(), m_vertices.end(), vertex.m_index);
    if (it == m_vertices.end())
    {
        atEnd = false;
        return false;
    }
    atEnd = it == m_vertices.begin() || it + 1 == m_vertices.end();
    return true;
}

void QvMidCurve::Remap(const std::map<int, int>& renumbering)
{
    std::vector<int> mapped;
    mapped.reserve(m_vertices.size());
    for (const int v : m_vertices)
    {
        const auto it = renumbering.find(v);
        if (it != renumbering.end())
            mapped.push_back(it->second);
    }
    m_vertices.swap(mapped);
}

// ---------------------------------------------------------------- section arc and fit

bool QvCollectSectionArc(const QvMesh& mesh, const QvPlane& plane, int a, int b, bool closedOnly,
                         std::vector<QvPoint>& out)
{
    if (!IsMeshVertex(&mesh, a) || !IsMeshVertex(&mesh, b))
        return false;
    std::vector<std::vector<QvSectionPoint>> sections;
    mesh.IntersectPlane(plane, sections);
    for (const auto& section : sections)
    {
        int posA = -1;
        int posB = -1;
        for (std::size_t k = 0; k < section.size(); ++k)
        {
            if (OnVertex(mesh, section[k], a))
                posA = static_cast<int>(k);
            if (OnVertex(mesh, section[k], b))
                posB = static_cast<int>(k);
        }
        if (posA < 0 || posB < 0)
            continue;

        const int n = static_cast<int>(section.size());
        const int i = std::min(posA, posB);
        const int j = std::max(posA, posB);
        const bool closed = n > 2 && section.front().m_pElement == section.back().m_pElement;
        std::vector<const QvSectionPoint*> picked;
        if (j - i > n / 2 && (!closedOnly || closed))
        {
            for (int k = j; k < n; ++k)
                picked.push_back(&section[k]);
            for (int k = 0; k <= i; ++k)
            {
                // A closed section repeats its first entry at its end: take it once.
                if (picked.back()->m_pElement == section[k].m_pElement)
                    continue;
                picked.push_back(&section[k]);
            }
        }
        else
        {
            for (int k = i; k <= j; ++k)
                picked.push_back(&section[k]);
        }
        if (!OnVertex(mesh, *picked.front(), a))
            std::reverse(picked.begin(), picked.end());
        out.clear();
        for (const QvSectionPoint* p : picked)
            out.push_back(p->m_point);
        return true;
    }
    return false;
}

void QvThinArcPoints(std::vector<QvPoint>& points)
{
    while (points.size() >= 6)
    {
        double shortest = 3.4028235931503486e+36;
        double longest = 0.0;
        for (std::size_t k = 0; k + 1 < points.size(); ++k)
        {
            const double len = points[k].Distance(points[k + 1]);
            shortest = std::min(shortest, len);
            longest = std::max(longest, len);
        }
        const double divisor = (shortest == 0.0 || longest / shortest > 100.0) ? 10.0 : 5.0;
        const double threshold = (shortest + longest) / divisor;
        if (shortest > threshold)
            return;

        bool removed = false;
        std::size_t k = 0;
        // Two points always stay: the ends of the arc.
        while (k + 1 < points.size() && points.size() > 2)
        {
            if (points[k].Distance(points[k + 1]) > threshold)
            {
                ++k;
                continue;
            }
            removed = true;
            if (k + 2 == points.size())
            {
                // The last segment keeps its end point and loses its start.
                points.erase(points.begin() + static_cast<std::ptrdiff_t>(k));
                break;
            }
            points.erase(points.begin() + static_cast<std::ptrdiff_t>(k + 1));
        }
        if (!removed)
            return;
    }
}

QvBSplineCurve* QvFitArcPoints(std::vector<QvPoint> points)
{
    QvThinArcPoints(points);
    return QvBSplineCurve::Fit(points, {}, false, 1e-5);
}

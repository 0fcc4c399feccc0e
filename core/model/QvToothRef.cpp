// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvToothRef.h"

#include <algorithm>
#include <istream>
#include <map>
#include <ostream>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvStreamIO.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"

namespace {

inline constexpr std::int32_t kStateNotMeasured = 4; // the old record ends after the state

bool HasVertex(const QvMesh* mesh, int v)
{
    return mesh && v >= 0 && v < static_cast<int>(mesh->m_vertices.size());
}

int RequiredFeaturePoints(int kind)
{
    switch (kind)
    {
    case 1: return 1;
    case 2:
    case 3: return 2;
    case 4: return 4;
    default: return -1;
    }
}

} // namespace

// ---------------------------------------------------------------- feature point

void QvFeaturePoint::Write(std::ostream& os, int version) const
{
    switch (ToothRefForm(version))
    {
    case QvRefForm::Old:
        qvio::WriteI32(os, m_nKey);
        m_position.Write(os, true);
        break;
    case QvRefForm::New:
        qvio::WriteI32(os, m_nVertex);
        qvio::WriteI32(os, m_nKey);
        break;
    case QvRefForm::None:
        break;
    }
}

bool QvFeaturePoint::Read(std::istream& is, const QvMesh* tooth, int version)
{
    switch (ToothRefForm(version))
    {
    case QvRefForm::Old:
    {
        std::int32_t key = 0;
        QvPoint position;
        if (!qvio::ReadI32(is, key) || !position.Read(is, true))
            return false;
        m_nKey = key;
        m_position = position;
        return true;
    }
    case QvRefForm::New:
    {
        std::int32_t vertex = 0;
        std::int32_t key = 0;
        if (!qvio::ReadI32(is, vertex) || !qvio::ReadI32(is, key))
            return false;
        if (!HasVertex(tooth, vertex))
        {
            is.setstate(std::ios::failbit);
            return false;
        }
        m_nVertex = vertex;
        m_nKey = key;
        m_position = tooth->m_vertices[static_cast<std::size_t>(vertex)].m_point;
        return true;
    }
    case QvRefForm::None:
        break;
    }
    return false;
}

// ---------------------------------------------------------------- lookups

const QvMesh* QvToothRef::ToothMesh() const
{
    return m_pTooth;
}

bool QvToothRef::IsToothVertex(int index) const
{
    return HasVertex(ToothMesh(), index);
}

QvPoint QvToothRef::GetVertex(int index) const
{
    if (!IsToothVertex(index))
        return QvPoint();
    return m_pTooth->m_vertices[static_cast<std::size_t>(index)].m_point;
}

int QvToothRef::GetFeatureVertex(int key) const
{
    const QvFeaturePoint* point = FindFeaturePoint(key);
    return point ? point->m_nVertex : -1;
}

const QvFeaturePoint* QvToothRef::FindFeaturePoint(int key) const
{
    for (const QvFeaturePoint& point : m_featurePoints)
    {
        if (point.m_nKey == key)
            return &point;
    }
    return nullptr;
}

// ---------------------------------------------------------------- files

void QvToothRef::Write(std::ostream& os, int version) const
{
    switch (ToothRefForm(version))
    {
    case QvRefForm::Old:
    {
        const std::int32_t state = m_pTooth ? m_pTooth->GetState() : kQvToothOrdinary;
        qvio::WriteI32(os, 0);
        qvio::WriteI32(os, m_pTooth ? m_pTooth->GetFdi() : 0);
        qvio::WriteI32(os, state);
        if (state == kStateNotMeasured)
            return;
        m_facc.Write(os, version);
        m_midCurve.Write(os, version);
        qvio::WriteI32(os, static_cast<std::int32_t>(m_featurePoints.size()));
        for (const QvFeaturePoint& point : m_featurePoints)
            point.Write(os, version);
        break;
    }
    case QvRefForm::New:
        WriteNewForm(os);
        break;
    case QvRefForm::None:
        break;
    }
}

void QvToothRef::WriteNewForm(std::ostream& os) const
{
    constexpr int kNewVersion = 1043;
    m_facc.Write(os, kNewVersion);
    m_midCurve.Write(os, kNewVersion);
    qvio::WriteI32(os, static_cast<std::int32_t>(m_featurePoints.size()));
    for (const QvFeaturePoint& point : m_featurePoints)
        point.Write(os, kNewVersion);
}

bool QvToothRef::Read(std::istream& is, int version, QvModel* model)
{
    switch (ToothRefForm(version))
    {
    case QvRefForm::Old: return ReadOld(is, version, model);
    case QvRefForm::New: return ReadNew(is, version);
    case QvRefForm::None: break;
    }
    return false;
}

bool QvToothRef::ReadOld(std::istream& is, int version, QvModel* model)
{
    std::int32_t placeholder = 0;
    std::int32_t fdi = 0;
    std::int32_t state = 0;
    if (!qvio::ReadI32(is, placeholder) || !qvio::ReadI32(is, fdi) || !qvio::ReadI32(is, state))
        return false;
    // The placeholder id names nothing the reference uses; files hold 0 there.
    QvTooth* tooth = model ? model->FindTooth(fdi) : nullptr;

    QvFacc facc = m_facc;
    QvMidCurve midCurve = m_midCurve;
    std::vector<QvFeaturePoint> points = m_featurePoints;
    if (state != kStateNotMeasured)
    {
        // The old form has no vertex indices, so nothing can be checked against the tooth.
        (void)facc.Read(is, version, nullptr);
        (void)midCurve.Read(is, nullptr, version);
        std::int32_t count = 0;
        if (!is || !qvio::ReadI32(is, count) || !qvio::CountFits(is, count, 28))
            return false;
        points.resize(static_cast<std::size_t>(count));
        for (QvFeaturePoint& point : points)
        {
            if (!point.Read(is, nullptr, version))
                return false;
        }
        if (!tooth)
            return false;
    }

    m_facc = std::move(facc);
    m_midCurve = std::move(midCurve);
    m_featurePoints = std::move(points);
    if (tooth)
    {
        m_pTooth = tooth;
        if (tooth->GetToothRef() != this)
            tooth->SetToothRef(this);
    }
    return true;
}

bool QvToothRef::ReadNew(std::istream& is, int version)
{
    const QvMesh* mesh = ToothMesh();
    if (!mesh)
        return false;
    // An empty FACC or mid-curve list answers false but leaves the stream in step:
    // such a record is still read to its end.
    QvFacc facc = m_facc;
    (void)facc.Read(is, version, mesh);
    if (!is)
        return false;
    QvMidCurve midCurve = m_midCurve;
    (void)midCurve.Read(is, mesh, version);
    std::int32_t count = 0;
    if (!is || !qvio::ReadI32(is, count) || !qvio::CountFits(is, count, 8))
        return false;
    std::vector<QvFeaturePoint> points(static_cast<std::size_t>(count));
    for (QvFeaturePoint& point : points)
    {
        if (!point.Read(is, mesh, version))
            return false;
    }
    m_facc = std::move(facc);
    m_midCurve = std::move(midCurve);
    m_featurePoints = std::move(points);
    return true;
}

void QvToothRef::WriteFlagged(std::ostream& os) const
{
    const bool hasFacc = HasFacc();
    qvio::WriteI32(os, hasFacc ? 1 : 0);
    if (!hasFacc)
        return;
    const bool rest = HasMidCurve() && HasAllFeaturePoints();
    qvio::WriteI32(os, rest ? 1 : 0);
    if (!rest)
        return;
    qvio::WriteI32(os, static_cast<std::int32_t>(m_featurePoints.size()));
    for (const QvFeaturePoint& point : m_featurePoints)
    {
        qvio::WriteI32(os, point.m_nVertex);
        qvio::WriteI32(os, point.m_nKey);
    }
}

bool QvToothRef::ReadFlagged(std::istream& is)
{
    std::int32_t hasFacc = 0;
    if (!qvio::ReadI32(is, hasFacc))
        return false;
    return hasFacc != 1;
}

void QvToothRef::WriteRenumbered(std::ostream& os) const
{
    const std::int32_t state = m_pTooth ? m_pTooth->GetState() : kQvToothOrdinary;
    qvio::WriteI32(os, 0);
    qvio::WriteI32(os, m_pTooth ? m_pTooth->GetFdi() : 0);
    qvio::WriteI32(os, state);
    if (state == kStateNotMeasured)
        return;
    qvio::WriteI32(os, 0);
    WriteFlagged(os);
}

bool QvToothRef::ReadRenumbered(std::istream& is)
{
    std::int32_t placeholder = 0;
    std::int32_t fdi = 0;
    std::int32_t state = 0;
    if (!qvio::ReadI32(is, placeholder) || !qvio::ReadI32(is, fdi) || !qvio::ReadI32(is, state))
        return false;
    if (state == kStateNotMeasured)
        return true;
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count) || !qvio::CountFits(is, count, 8))
        return false;
    std::map<int, int> renumbering;
    for (std::int32_t k = 0; k < count; ++k)
    {
        std::int32_t from = 0;
        std::int32_t to = 0;
        if (!qvio::ReadI32(is, from) || !qvio::ReadI32(is, to))
            return false;
        renumbering[from] = to;
    }
    if (!ReadFlagged(is))
        return false;
    if (renumbering.empty())
        return true;
    m_facc.Remap(renumbering);
    m_midCurve.Remap(renumbering);
    for (QvFeaturePoint& point : m_featurePoints)
    {
        const auto it = renumbering.find(point.m_nVertex);
        if (it != renumbering.end())
            point.m_nVertex = it->second;
    }
    return true;
}

// ---------------------------------------------------------------- editing

void QvToothRef::Clear(int what)
{
    if (what == 0 || what == 1)
        m_facc = QvFacc();
    if (what == 0 || what == 2)
        m_midCurve = QvMidCurve();
    if (what == 0 || what == 3)
        m_featurePoints.clear();
}

void QvToothRef::AddFeaturePoint(const QvVertex& vertex)
{
    m_featurePoints.emplace_back(vertex.m_index);
}

void QvToothRef::RemoveFeaturePoint(const QvVertex& vertex)
{
    const auto it = std::find_if(m_featurePoints.begin(), m_featurePoints.end(),
                                 [&](const QvFeaturePoint& p) { return p.m_nVertex == vertex.m_index; });
    if (it != m_featurePoints.end())
        m_featurePoints.erase(it);
}

void QvToothRef::ReplaceFeatureVertex(const QvVertex& oldVertex, const QvVertex& newVertex)
{
    const auto it = std::find_if(m_featurePoints.begin(), m_featurePoints.end(),
                                 [&](const QvFeaturePoint& p) { return p.m_nVertex == oldVertex.m_index; });
    if (it != m_featurePoints.end())
        it->m_nVertex = newVertex.m_index;
}

std::vector<int> QvToothRef::GetFeatureVertices() const
{
    std::vector<int> out;
    out.reserve(m_featurePoints.size());
    for (const QvFeaturePoint& point : m_featurePoints)
        out.push_back(point.m_nVertex);
    return out;
}

bool QvToothRef::HasAllFeaturePoints() const
{
    if (!m_pTooth)
        return false;
    return static_cast<int>(m_featurePoints.size()) == RequiredFeaturePoints(m_pTooth->GetToothKind());
}

bool QvToothRef::IsComplete() const
{
    return HasFacc() && m_midCurve.m_vertices.size() > 2 && HasAllFeaturePoints();
}

bool QvToothRef::IsOddQuadrant() const
{
    if (!m_pTooth)
        return false;
    const int quadrant = FdiQuadrant(m_pTooth->GetFdi());
    return quadrant == 1 || quadrant == 3;
}

bool QvToothRef::GetCrownPlane(QvPlane& out) const
{
    if (m_facc.m_vertices.size() < 2 || m_midCurve.m_vertices.size() < 2)
        return false;
    const int a = m_facc.m_vertices[0];
    const int b = m_facc.m_vertices[1];
    const int c = m_midCurve.m_vertices[1];
    if (!IsToothVertex(a) || !IsToothVertex(b) || !IsToothVertex(c))
        return false;
    out = QvPlane(GetVertex(a), GetVertex(b), GetVertex(c));
    return true;
}

void QvToothRef::OrientFacc()
{
    if (!m_facc.m_pCurve || m_facc.m_vertices.size() < 2)
        return;
    const int first = m_facc.m_vertices[0];
    const int second = m_facc.m_vertices[1];
    const int middle = m_midCurve.GetMiddleVertex();
    if (!IsToothVertex(first) || !IsToothVertex(second) || !IsToothVertex(middle))
        return;
    const QvPoint m = GetVertex(middle);
    if (GetVertex(first).Distance(m) > GetVertex(second).Distance(m))
        m_facc.Reverse();
}

bool QvToothRef::AssignFeatureKeys(const QvVector& direction)
{
    if (m_featurePoints.empty() || !m_pTooth)
        return false;
    const int kind = m_pTooth->GetToothKind();
    const int needed = RequiredFeaturePoints(kind);
    if (needed < 0 || static_cast<int>(m_featurePoints.size()) < needed)
        return false;
    for (int k = 0; k < needed; ++k)
    {
        if (!IsToothVertex(m_featurePoints[static_cast<std::size_t>(k)].m_nVertex))
            return false;
    }
    QvPlane plane;
    if (!GetCrownPlane(plane))
        return false;
    if (plane.GetNormal().Dot(direction) < 0.0)
        plane.Reverse();

    const QvPoint r = GetVertex(m_facc.m_vertices[0]);
    auto distance = [&](int k) { return r.Distance(GetVertex(m_featurePoints[static_cast<std::size_t>(k)].m_nVertex)); };
    auto height = [&](int k) {
        return plane.Distance(GetVertex(m_featurePoints[static_cast<std::size_t>(k)].m_nVertex), true);
    };
    auto setKey = [&](int k, int key) { m_featurePoints[static_cast<std::size_t>(k)].m_nKey = key; };

    if (kind == 1)
    {
        setKey(0, 1);
    }
    else if (kind == 2 || kind == 3)
    {
        const bool firstNearer = distance(1) > distance(0);
        setKey(0, firstNearer ? 2 : 1);
        setKey(1, firstNearer ? 1 : 2);
    }
    else
    {
        int order[4] = {0, 1, 2, 3};
        std::stable_sort(order, order + 4, [&](int a, int b) { return distance(a) < distance(b); });
        for (int pair = 0; pair < 2; ++pair)
        {
            const int near = order[2 * pair];
            const int far = order[2 * pair + 1];
            const int low = 3 + 2 * pair;
            const bool nearHigher = height(near) > height(far);
            setKey(near, nearHigher ? low : low + 1);
            setKey(far, nearHigher ? low + 1 : low);
        }
    }
    return true;
}

void QvToothRef::CollectTipVertices(std::vector<int>& out) const
{
    if (m_facc.m_vertices.size() >= 2)
        out.push_back(m_facc.m_vertices[1]);
    if (!m_pTooth)
        return;
    const int kind = m_pTooth->GetToothKind();
    if (kind != 1 && kind != 2)
        return;
    if (const QvFeaturePoint* tip = FindFeaturePoint(1))
        out.push_back(tip->m_nVertex);
}

void QvToothRef::Transform(const QvMatrix& matrix)
{
    m_facc.Transform(matrix);
}

bool QvToothRef::RefitFacc()
{
    if (m_facc.m_vertices.size() < 2)
        return false;
    const int a = m_facc.m_vertices[0];
    const int b = m_facc.m_vertices[1];
    if (!IsToothVertex(a) || !IsToothVertex(b))
        return false;

    QvPlane plane;
    if (m_facc.m_pCurve && m_facc.m_pCurve->CanEvaluate())
        plane = QvPlane(GetVertex(a), GetVertex(b), m_facc.m_pCurve->Evaluate(0.5));
    else if (!GetCrownPlane(plane))
        return false;
    delete m_facc.m_pCurve;
    m_facc.m_pCurve = nullptr;

    const QvMesh& mesh = *m_pTooth;
    if (mesh.m_edges.empty())
        return true;
    std::vector<QvPoint> arc;
    if (!QvCollectSectionArc(mesh, plane, a, b, true, arc))
        return false;
    m_facc.m_pCurve = QvFitArcPoints(std::move(arc));
    return true;
}

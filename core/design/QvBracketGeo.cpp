// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/design/QvBracketGeo.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>
#include <set>

#include "core/design/QvDesignFileLinks.h"
#include "core/geometry/QvStreamIO.h"
#include "core/mesh/QvStlCorners.h"
#include "core/model/QvFileBodyLinks.h"

namespace {

// The fixed fields of a body record (two text counts, two ints, frame, two vectors,
// four parameters) plus two empty mesh forms (entity part 56, "Vertex@0\n", "Face@0\n").
constexpr std::uint64_t kMinBodyRecordBytes = 4 + 4 + 4 + 4 + 96 + 24 + 24 + 32 + 2 * (56 + 9 + 7);

bool ReadVector(std::istream& is, QvVector& v)
{
    double x = 0.0, y = 0.0, z = 0.0;
    if (!qvio::ReadF64(is, x) || !qvio::ReadF64(is, y) || !qvio::ReadF64(is, z))
        return false;
    v.Set(x, y, z);
    return true;
}

void WriteVector(std::ostream& os, const QvVector& v)
{
    qvio::WriteF64(os, v[0]);
    qvio::WriteF64(os, v[1]);
    qvio::WriteF64(os, v[2]);
}

class BracketFileLink final : public QvBracketFileLink
{
public:
    QvBracketGeoSeries* NewSeries() override { return new QvBracketGeoSeries; }
    bool ReadSeries(QvBracketGeoSeries& series, std::istream& is, int version, QvModel* model) override
    {
        return series.Read(is, version, model);
    }
    void WriteSeries(const QvBracketGeoSeries& series, std::ostream& os, int version) override
    {
        series.Write(os, version);
    }
    void DeleteSeries(QvBracketGeoSeries* series) override { delete series; }
};

} // namespace

void QvInstallBracketFileLink() { QvSetBracketFileLink(std::make_unique<BracketFileLink>()); }

void QvEnsureBracketFileLink()
{
    QvEnsureDesignFileLink();
    if (!QvGetBracketFileLink())
        QvInstallBracketFileLink();
}

namespace qvbracket {

bool ReadText(std::istream& is, std::string& text)
{
    std::string raw;
    if (!qvio::ReadString(is, raw))
        return false;
    raw.resize(std::strlen(raw.c_str()));
    text = std::move(raw);
    return true;
}

} // namespace qvbracket

// ---- QvBracketGeo ----------------------------------------------------------------------

QvBracketGeo::QvBracketGeo() = default;

QvBracketGeo::~QvBracketGeo() = default;

QvTypeCode QvBracketGeo::GetType() const { return kQvTypeBracket; }

bool QvBracketGeo::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeBracket || QvMesh::IsKindOf(code);
}

std::ostream& QvBracketGeo::Write(std::ostream& os, int version) const
{
    QvMesh::Write(os, version);
    qvio::WriteString(os, m_name);
    qvio::WriteString(os, m_secondText);
    qvio::WriteI32(os, m_nNumber);
    qvio::WriteI32(os, m_nFdi);
    m_frame.Write(os, true);
    WriteVector(os, m_firstVector);
    WriteVector(os, m_secondVector);
    for (const double p : m_params)
        qvio::WriteF64(os, p);
    if (m_pSecondMesh)
        m_pSecondMesh->Write(os, version);
    else
    {
        // A body that was never read has no second mesh: an empty mesh form keeps the
        // record readable.
        QvEntity::Write(os, version);
        os << "Vertex@0\nFace@0\n";
    }
    return os;
}

bool QvBracketGeo::Read(std::istream& is, int version, QvModel* model)
{
    // The mesh part goes into a copy (which keeps this body's id) so that a failure
    // further on leaves the body as it was.
    QvMesh part(static_cast<const QvMesh&>(*this));
    if (!part.Read(is, version, model))
        return false;

    std::string name, secondText;
    std::int32_t number = 0, fdi = 0;
    QvFrame frame;
    QvVector first, second;
    double params[4];
    if (!qvbracket::ReadText(is, name) || !qvbracket::ReadText(is, secondText) || !qvio::ReadI32(is, number) ||
        !qvio::ReadI32(is, fdi) || !frame.Read(is, true) || !ReadVector(is, first) || !ReadVector(is, second))
        return false;
    for (double& p : params)
        if (!qvio::ReadF64(is, p))
            return false;
    auto secondMesh = std::make_unique<QvMesh>();
    if (!secondMesh->Read(is, version, model))
        return false;

    QvMesh::operator=(part);
    m_name = std::move(name);
    m_secondText = std::move(secondText);
    m_nNumber = number;
    m_nFdi = fdi;
    m_frame = frame;
    m_firstVector = first;
    m_secondVector = second;
    std::copy(std::begin(params), std::end(params), std::begin(m_params));
    m_pSecondMesh = std::move(secondMesh);
    return true;
}

bool QvBracketGeo::LoadStl(const std::string& path)
{
    std::vector<QvPoint> corners;
    if (!QvReadStlCorners(path, corners))
        return false;
    Clear();
    m_colors.clear();
    static_cast<void>(BuildFromTriangleSoup(corners)); // the mesh is empty: it cannot refuse
    return true;
}

// ---- QvBracketGeoSeries ----------------------------------------------------------------

QvBracketGeoSeries::QvBracketGeoSeries() = default;

QvBracketGeoSeries::QvBracketGeoSeries(const std::vector<QvBracketGeo*>& bodies)
{
    std::set<const QvBracketGeo*> seen;
    for (QvBracketGeo* body : bodies)
        if (body && seen.insert(body).second)
            m_bodies.push_back(body);
}

QvBracketGeoSeries::~QvBracketGeoSeries()
{
    for (QvBracketGeo* body : m_bodies)
        delete body;
}

std::ostream& QvBracketGeoSeries::Write(std::ostream& os, int version) const
{
    qvio::WriteString(os, m_name);
    qvio::WriteI32(os, m_nKey);
    for (const std::string& a : m_attributes)
        qvio::WriteString(os, a);
    const auto count = std::count_if(m_bodies.begin(), m_bodies.end(), [](const QvBracketGeo* b) { return b; });
    qvio::WriteI32(os, static_cast<std::int32_t>(count));
    for (const QvBracketGeo* body : m_bodies)
        if (body)
            body->Write(os, version);
    return os;
}

bool QvBracketGeoSeries::Read(std::istream& is, int version, QvModel* model)
{
    std::string name;
    std::int32_t key = 0;
    std::string attributes[8];
    if (!qvbracket::ReadText(is, name) || !qvio::ReadI32(is, key))
        return false;
    for (std::string& a : attributes)
        if (!qvbracket::ReadText(is, a))
            return false;
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    if (!qvio::CountFits(is, count, kMinBodyRecordBytes))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    std::vector<std::unique_ptr<QvBracketGeo>> bodies;
    bodies.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i)
    {
        auto body = std::make_unique<QvBracketGeo>();
        // A body that does not read leaves the stream somewhere inside its record:
        // nothing after it can be trusted.
        if (!body->Read(is, version, model))
            return false;
        bodies.push_back(std::move(body));
    }

    m_name = std::move(name);
    m_nKey = key;
    std::move(std::begin(attributes), std::end(attributes), std::begin(m_attributes));
    for (auto& body : bodies)
        m_bodies.push_back(body.release());
    return true;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/QvJawBoneMeasures.h"

#include "core/measure/QvMeasureDetail.h"

namespace {

constexpr int kRadiographKind = 11;
constexpr std::size_t kJawBoneHeights = 4;

constexpr std::int32_t kPanTag = 4001;
constexpr std::uint64_t kPanPointBytes = 4 + 4 + 24;

bool PanRecordHasTag(int version)
{
    switch (version)
    {
    case 513:
    case 514:
    case 515:
    case 1025:
    case 1026: return true;
    default: return false;
    }
}

} // namespace

// ---- Jaw-bone heights ----------------------------------------------------------------------

QvJawBoneHeightsMeasure::QvJawBoneHeightsMeasure()
{
    m_nType = kQvMeasureJawBoneHeights;
    m_nImageKind = kRadiographKind;
    m_name = "JawHeights";
}

QvJawBoneHeightsMeasure& QvJawBoneHeightsMeasure::operator=(const QvJawBoneHeightsMeasure& other)
{
    QvImageMeasure::operator=(other);
    m_heights = other.m_heights;
    return *this;
}

bool QvJawBoneHeightsMeasure::IsComplete() const { return m_heights.size() == kJawBoneHeights; }

double QvJawBoneHeightsMeasure::GetHeight(int key) const
{
    const auto it = m_heights.find(key);
    return it == m_heights.end() ? 0.0 : it->second;
}

bool QvJawBoneHeightsMeasure::Write(std::ostream& os, int version) const
{
    if (BaseForm(version) == RecordForm::None)
        return true;
    WriteBaseRecord(os, version);
    qvmeasure::WriteIntDoubleMap(os, m_heights);
    return !os.fail();
}

bool QvJawBoneHeightsMeasure::Read(std::istream& is, int version, QvModel*)
{
    BaseRecord record;
    std::vector<std::pair<int, double>> heights;
    if (!ReadBaseRecord(is, version, record) || !qvmeasure::ReadIntDoublePairs(is, heights))
        return false;
    ApplyBaseRecord(std::move(record));
    for (const auto& [key, value] : heights)
        m_heights[key] = value;
    return true;
}

// ---- Panoramic ---------------------------------------------------------------------------------

bool QvPanPoint::IsValid() const
{
    const auto within = [](double v) { return v >= -1e-7 && v <= 1.0 + 1e-7; };
    return static_cast<std::uint32_t>(m_nCodeA) <= 7 && static_cast<std::uint32_t>(m_nCodeB) <= 25 &&
           within(m_point[0]) && within(m_point[1]);
}

QvPanMeasure& QvPanMeasure::operator=(const QvPanMeasure& other)
{
    if (this != &other)
    {
        m_panPoints = other.m_panPoints;
        m_nParam1 = other.m_nParam1;
        m_nParam2 = other.m_nParam2;
    }
    return *this;
}

void QvPanMeasure::Clear()
{
    m_panPoints.clear();
    m_nParam1 = 0;
    m_nParam2 = 0;
}

bool QvPanMeasure::WritePanRecord(std::ostream& os, int version) const
{
    if (PanRecordHasTag(version))
        qvio::WriteI32(os, kPanTag);
    qvio::WriteI32(os, static_cast<std::int32_t>(m_panPoints.size()));
    for (const QvPanPoint& p : m_panPoints)
    {
        qvio::WriteI32(os, p.m_nCodeA);
        qvio::WriteI32(os, p.m_nCodeB);
        p.m_point.Write(os);
    }
    qvio::WriteI32(os, m_nParam1);
    qvio::WriteI32(os, m_nParam2);
    return !os.fail();
}

bool QvPanMeasure::ReadPanRecord(std::istream& is, int version)
{
    std::int32_t tag = 0;
    if (PanRecordHasTag(version) && !qvio::ReadI32(is, tag))
        return false;
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    if (!qvio::CountFits(is, count, kPanPointBytes))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    std::vector<QvPanPoint> points;
    for (std::int32_t i = 0; i < count; ++i)
    {
        QvPanPoint p;
        if (!qvio::ReadI32(is, p.m_nCodeA) || !qvio::ReadI32(is, p.m_nCodeB) || !p.m_point.Read(is))
            return false;
        p.m_bSet = true;
        points.push_back(p);
    }
    std::int32_t param1 = 0;
    std::int32_t param2 = 0;
    if (!qvio::ReadI32(is, param1) || !qvio::ReadI32(is, param2))
        return false;
    m_panPoints = std::move(points);
    m_nParam1 = param1;
    m_nParam2 = param2;
    return true;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/QvModelPointRecords.h"

#include <istream>
#include <ostream>

#include "core/measure/QvMeasureDetail.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"

namespace {

constexpr int kFamilyMeasureFile = 0x8000;
constexpr int kFamilyOlder = 0x200;
// From this version of its family the point set has its new layout.
constexpr int kPointSetFirstNew = 0x8003;

constexpr std::uint64_t kOldPointBytes = 4 + 24 + 4 + 8;
constexpr std::uint64_t kNewPointBytes = 24 + 4 + 8;

enum class Layout
{
    None,
    Old,
    New,
};

Layout LayoutOf(int version)
{
    if (version & kFamilyMeasureFile)
        return version >= kPointSetFirstNew ? Layout::New : Layout::Old;
    if (version & kFamilyOlder)
        return Layout::Old;
    return Layout::None;
}

// The first of the lower jaw's vertices nearest to p; -1 without a lower jaw or vertices.
std::int32_t NearestLowerJawVertex(const QvModel* model, const QvPoint& p)
{
    const QvJaw* jaw = model ? model->GetJaw(false) : nullptr;
    if (!jaw)
        return -1;
    std::int32_t best = -1;
    double bestDistance = 3.4028234663852886e38;
    for (std::size_t i = 0; i < jaw->m_vertices.size(); ++i)
    {
        const double d = jaw->m_vertices[i].m_point.Distance(p);
        if (d < bestDistance)
        {
            bestDistance = d;
            best = static_cast<std::int32_t>(i);
        }
    }
    return best;
}

} // namespace

// ---- Point set ---------------------------------------------------------------------------------

QvModelPointSet& QvModelPointSet::operator=(const QvModelPointSet& other)
{
    if (this == &other)
        return *this;
    m_points = other.m_points;
    m_attributes = other.m_attributes;
    m_pCurve.reset(other.m_pCurve ? new QvBSplineCurve(*other.m_pCurve) : nullptr);
    return *this;
}

void QvModelPointSet::Clear()
{
    m_points.clear();
    m_attributes.clear();
    m_pCurve.reset();
}

void QvModelPointSet::SetCurve(const QvBSplineCurve* curve)
{
    if (!curve)
        return;
    if (m_pCurve)
        *m_pCurve = *curve;
    else
        m_pCurve = std::make_unique<QvBSplineCurve>(*curve);
}

bool QvModelPointSet::HasData(bool withCurve) const { return !m_points.empty() && (!withCurve || m_pCurve); }

bool QvModelPointSet::Write(std::ostream& os, int version, const QvModel* model) const
{
    const Layout layout = LayoutOf(version);
    if (layout == Layout::None)
        return false;
    qvio::WriteI32(os, static_cast<std::int32_t>(m_points.size()));
    for (std::size_t i = 0; i < m_points.size(); ++i)
    {
        if (layout == Layout::Old)
            qvio::WriteI32(os, NearestLowerJawVertex(model, m_points[i]));
        m_points[i].Write(os);
        const auto attribute = i < m_attributes.size() ? m_attributes[i] : std::pair<std::int32_t, double>(0, 0.0);
        qvio::WriteI32(os, attribute.first);
        qvio::WriteF64(os, attribute.second);
    }
    if (layout == Layout::New)
    {
        qvio::WriteI32(os, m_pCurve ? 1 : 0);
        if (m_pCurve)
            m_pCurve->Write(os, true);
    }
    return !os.fail();
}

bool QvModelPointSet::Read(std::istream& is, int version, QvModel*)
{
    const Layout layout = LayoutOf(version);
    if (layout == Layout::None)
        return false;
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    if (!qvio::CountFits(is, count, layout == Layout::Old ? kOldPointBytes : kNewPointBytes))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    std::vector<QvPoint> points;
    std::vector<std::pair<std::int32_t, double>> attributes;
    for (std::int32_t i = 0; i < count; ++i)
    {
        std::int32_t vertex = 0;
        QvPoint p;
        std::int32_t label = 0;
        double value = 0.0;
        if ((layout == Layout::Old && !qvio::ReadI32(is, vertex)) || !p.Read(is) || !qvio::ReadI32(is, label) ||
            !qvio::ReadF64(is, value))
            return false;
        points.push_back(p);
        attributes.emplace_back(label, value);
    }
    std::unique_ptr<QvBSplineCurve> curve;
    if (layout == Layout::New)
    {
        std::int32_t flag = 0;
        if (!qvio::ReadI32(is, flag))
            return false;
        // The writer stores 0 or 1; anything else is damage.
        if (flag != 0 && flag != 1)
        {
            is.setstate(std::ios::failbit);
            return false;
        }
        if (flag == 1)
        {
            curve = std::make_unique<QvBSplineCurve>();
            if (!curve->Read(is, true))
                return false;
        }
    }
    m_points.insert(m_points.end(), points.begin(), points.end());
    m_attributes.insert(m_attributes.end(), attributes.begin(), attributes.end());
    if (curve)
        m_pCurve = std::move(curve);
    return true;
}

// ---- Point lists ---------------------------------------------------------------------------------

void QvModelPointLists::Clear()
{
    m_first.clear();
    m_second.clear();
}

bool QvModelPointLists::Write(std::ostream& os, int) const
{
    qvmeasure::WritePoints(os, m_first);
    qvmeasure::WritePoints(os, m_second);
    return !os.fail();
}

bool QvModelPointLists::Read(std::istream& is, int, QvModel*)
{
    std::vector<QvPoint> first;
    std::vector<QvPoint> second;
    if (!qvmeasure::ReadPoints(is, first) || !qvmeasure::ReadPoints(is, second))
        return false;
    m_first.insert(m_first.end(), first.begin(), first.end());
    m_second.insert(m_second.end(), second.begin(), second.end());
    return true;
}

void QvModelPointListsEx::Clear()
{
    m_first.clear();
    m_second.clear();
    m_dFirstValue = 0.0;
    m_dSecondValue = 0.0;
}

bool QvModelPointListsEx::Write(std::ostream& os, int) const
{
    qvmeasure::WritePoints(os, m_first);
    qvio::WriteF64(os, m_dFirstValue);
    qvmeasure::WritePoints(os, m_second);
    qvio::WriteF64(os, m_dSecondValue);
    return !os.fail();
}

bool QvModelPointListsEx::Read(std::istream& is, int, QvModel*)
{
    std::vector<QvPoint> first;
    std::vector<QvPoint> second;
    double firstValue = 0.0;
    double secondValue = 0.0;
    if (!qvmeasure::ReadPoints(is, first) || !qvio::ReadF64(is, firstValue) || !qvmeasure::ReadPoints(is, second) ||
        !qvio::ReadF64(is, secondValue))
        return false;
    m_first.insert(m_first.end(), first.begin(), first.end());
    m_second.insert(m_second.end(), second.begin(), second.end());
    m_dFirstValue = firstValue;
    m_dSecondValue = secondValue;
    return true;
}

// ---- Vector pair ---------------------------------------------------------------------------------

void QvModelVectorPair::Reset()
{
    m_first[0] = m_first[1] = 0.0;
    m_second[0] = m_second[1] = 0.0;
}

bool QvModelVectorPair::IsValid() const
{
    const auto isNull = [](const QvPoint& p) { return IsZero(p[0]) && IsZero(p[1]); };
    return !isNull(m_first) && !isNull(m_second);
}

bool QvModelVectorPair::Write(std::ostream& os) const
{
    m_first.Write(os);
    m_second.Write(os);
    return !os.fail();
}

bool QvModelVectorPair::Read(std::istream& is)
{
    QvPoint first;
    QvPoint second;
    if (!first.Read(is) || !second.Read(is))
        return false;
    m_first = first;
    m_second = second;
    return true;
}

// ---- Installation ----------------------------------------------------------------------------

void QvInstallPointRecords(QvModel& model)
{
    if (!model.m_pointSet.Get())
        model.m_pointSet.Install(
            new QvModelPointSet(), [](QvModelPointSet* r) { delete r; }, [](QvModelPointSet* r) { r->Clear(); });
    if (!model.m_vectorPair.Get())
        model.m_vectorPair.Install(
            new QvModelVectorPair(), [](QvModelVectorPair* r) { delete r; }, [](QvModelVectorPair* r) { r->Reset(); });
    if (!model.m_pointLists.Get())
        model.m_pointLists.Install(
            new QvModelPointLists(), [](QvModelPointLists* r) { delete r; }, [](QvModelPointLists* r) { r->Clear(); });
    if (!model.m_pointListsEx.Get())
        model.m_pointListsEx.Install(
            new QvModelPointListsEx(), [](QvModelPointListsEx* r) { delete r; },
            [](QvModelPointListsEx* r) { r->Clear(); });
}

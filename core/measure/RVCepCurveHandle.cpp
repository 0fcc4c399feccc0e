// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/RVCepCurveHandle.h"

#include <cmath>
#include <fstream>
#include <map>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvStreamIO.h"
#include "core/measure/QvCepDetail.h"

namespace {

// Smallest stored sizes, against which the template's counts are checked.
constexpr std::uint64_t kNamedPointBytes = 4 + 4 + 4;
constexpr std::uint64_t kCurveBytes = 4 + 4 + 4;
constexpr std::uint64_t kFitPointBytes = 8;
constexpr std::uint64_t kDrivenBytes = 4;

// The template names a landmark in at most this many bytes; longer names are read
// whole and match nothing.
constexpr std::size_t kNameBuffer = 256;

const RVColor kRed{1.0, 0.0, 0.0, 1.0};
const RVColor kBlue{0.0, 0.0, 1.0, 1.0};
const RVColor kBlack{0.0, 0.0, 0.0, 1.0};

constexpr int kGroupComplex = 0;
constexpr int kGroupRicketts = 2;
constexpr int kGroupStandard = 3;

struct TemplateCurve
{
    std::vector<QvGDIPoint> fit;
    std::vector<MEASURE_POINT> driven;
    std::vector<QvGDIPoint> drivenPts;
    bool closed = false;
};

bool CheckedCount(std::istream& is, std::int32_t& count, std::uint64_t recordBytes)
{
    return qvio::ReadI32(is, count) && qvio::CountFits(is, count, recordBytes);
}

// A name up to its first zero byte.
bool ReadName(std::istream& is, std::string& name)
{
    std::int32_t length = 0;
    if (!CheckedCount(is, length, 1))
        return false;
    std::string bytes(static_cast<std::size_t>(length), '\0');
    if (length > 0 && !is.read(bytes.data(), length))
        return false;
    name = bytes.substr(0, bytes.find('\0'));
    if (name.size() >= kNameBuffer)
        name.clear();
    return true;
}

QvMeasureNameList NameListOf(unsigned type)
{
    if (type == 0)
        return MeasureNameList0();
    if (type == 1)
        return MeasureNameList1();
    return MeasureNameList2();
}

QvPoint Whole(const QvPoint& p) { return QvPoint(std::trunc(p[0]), std::trunc(p[1]), 0.0); }

} // namespace

RVCepCurveHandle::RVCepCurveHandle() = default;
RVCepCurveHandle::~RVCepCurveHandle() = default;

// ---- Template --------------------------------------------------------------------------------

bool RVCepCurveHandle::readyContourFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    return readyContourStream(file);
}

bool RVCepCurveHandle::readyContourStream(std::istream& is)
{
    std::string header;
    if (!std::getline(is, header) || is.eof())
        return false;

    const std::map<std::string, MEASURE_POINT> ids = LandmarkNameTable();
    std::map<int, QvGDIPoint> named;
    std::int32_t namedCount = 0;
    if (!CheckedCount(is, namedCount, kNamedPointBytes))
        return false;
    for (std::int32_t i = 0; i < namedCount; ++i)
    {
        std::string name;
        std::int32_t x = 0;
        std::int32_t y = 0;
        if (!ReadName(is, name) || !qvio::ReadI32(is, x) || !qvio::ReadI32(is, y))
            return false;
        const auto found = ids.find(name);
        named[found == ids.end() ? 0 : found->second] = QvGDIPoint(x, y);
    }

    std::vector<TemplateCurve> curves;
    std::int32_t curveCount = 0;
    if (!CheckedCount(is, curveCount, kCurveBytes))
        return false;
    for (std::int32_t c = 0; c < curveCount; ++c)
    {
        TemplateCurve curve;
        std::int32_t fitCount = 0;
        if (!CheckedCount(is, fitCount, kFitPointBytes))
            return false;
        for (std::int32_t i = 0; i < fitCount; ++i)
        {
            std::int32_t x = 0;
            std::int32_t y = 0;
            if (!qvio::ReadI32(is, x) || !qvio::ReadI32(is, y))
                return false;
            curve.fit.emplace_back(x, y);
        }
        std::int32_t drivenCount = 0;
        if (!CheckedCount(is, drivenCount, kDrivenBytes))
            return false;
        for (std::int32_t i = 0; i < drivenCount; ++i)
        {
            std::int32_t id = 0;
            if (!qvio::ReadI32(is, id))
                return false;
            curve.driven.push_back(static_cast<MEASURE_POINT>(id));
            const auto at = named.find(id);
            curve.drivenPts.push_back(at == named.end() ? QvGDIPoint() : at->second);
        }
        std::int32_t flag = 0;
        if (!qvio::ReadI32(is, flag))
            return false;
        curve.closed = flag == 1;
        curves.push_back(std::move(curve));
    }

    std::vector<std::unique_ptr<RVCepCurve>> made;
    for (const TemplateCurve& t : curves)
    {
        auto curve = std::make_unique<RVCepCurve>();
        curve->setFitPoints(t.fit);
        curve->setDrivenPoints(t.drivenPts);
        curve->setDrivenTypes(t.driven);
        curve->setClosed(t.closed);
        curve->setCepMeasure(m_pCepMeasure);
        curve->setDataSource(m_pDataSource);
        made.push_back(std::move(curve));
    }
    m_cepCurveArray = std::move(made);
    return true;
}

// ---- Tracing ---------------------------------------------------------------------------------

void RVCepCurveHandle::startProcess()
{
    calSpecialMeasurePts();
    if (m_pCepMeasure)
        for (std::size_t i = 0; i < m_pCepMeasure->m_curves.size() && i < m_cepCurveArray.size(); ++i)
            m_cepCurveArray[i]->setRatioPts(m_pCepMeasure->m_curves[i]);
    generateCurveWitType(0);
}

bool RVCepCurveHandle::ImageSize(RVSizeF& size) const
{
    const QvImage* image = m_pCepMeasure ? m_pCepMeasure->GetImage() : nullptr;
    if (!image || image->GetWidth() <= 0 || image->GetHeight() <= 0)
        return false;
    size = RVSizeF{static_cast<double>(image->GetWidth()), static_cast<double>(image->GetHeight())};
    return true;
}

void RVCepCurveHandle::StoreLandmark(int id, const QvPoint& ratio)
{
    bool held = false;
    for (QvKeyPoint& p : m_pCepMeasure->m_keyPoints)
        if (p.m_nKey == id)
        {
            p.m_point = ratio;
            held = true;
        }
    if (!held)
        m_pCepMeasure->AddKeyPoint(QvKeyPoint(ratio, id));
}

void RVCepCurveHandle::calSpecialMeasurePts()
{
    RVSizeF size;
    if (!ImageSize(size))
        return;
    QvCepMeasure& m = *m_pCepMeasure;
    const auto find = [&](std::initializer_list<int> wanted, std::vector<QvPoint>& ratios) {
        ratios.clear();
        for (const int id : wanted)
        {
            QvKeyPoint p;
            if (!m.FindKeyPoint(id, p))
                return false;
            ratios.push_back(p.m_point);
        }
        return true;
    };
    const auto pixel = [&](const QvPoint& ratio) {
        const QvGDIPoint p = calculatePointWithImageSize(size, ratio);
        return QvPoint(p.x, p.y, 0.0);
    };
    const auto ratioOf = [&](const QvPoint& pixelPoint) {
        const QvPoint w = Whole(pixelPoint);
        return calculateRatioWithImageSize(size,
                                           QvGDIPoint(static_cast<std::int32_t>(w[0]), static_cast<std::int32_t>(w[1])));
    };

    std::vector<QvPoint> r;
    if (m_bComplexPattern && find({POINT_B, POINT_Po}, r))
        StoreLandmark(POINT_BPoMid, qvcep::Mid(r[0], r[1]));
    if (m_bComplexPattern && find({POINT_R1, POINT_R2, POINT_R3, POINT_R4, POINT_P, POINT_O}, r))
    {
        const QvPoint r1 = pixel(r[0]);
        const QvPoint r2 = pixel(r[1]);
        const QvPoint r3 = pixel(r[2]);
        const QvPoint r4 = pixel(r[3]);
        const QvVector v = pixel(r[5]) - pixel(r[4]);
        const QvPoint a = QvLine(r3, v).ClosestPoint(r2);
        const QvPoint b = QvLine(r4, v).ClosestPoint(r1);
        StoreLandmark(POINT_RamusCentre, ratioOf(qvcep::Mid(a, b)));
    }
    if (find({POINT_T1, POINT_T2, POINT_Ar, POINT_Me}, r))
    {
        const QvPoint t1 = pixel(r[0]);
        const QvPoint t2 = pixel(r[1]);
        const QvPoint ar = pixel(r[2]);
        const QvPoint me = pixel(r[3]);
        if (const std::optional<QvPoint> go = qvcep::Crossing(QvLine(ar, t1), QvLine(me, t2)))
            StoreLandmark(POINT_Go, ratioOf(*go));
    }
}

void RVCepCurveHandle::generateCurveWitType(int type)
{
    for (const auto& curve : m_cepCurveArray)
        curve->generateCurveWitType(type);
}

std::vector<std::vector<RVPointF>> RVCepCurveHandle::curvePoints() const
{
    std::vector<std::vector<RVPointF>> out;
    for (const auto& curve : m_cepCurveArray)
        out.push_back(curve->curvePoints());
    return out;
}

std::vector<RVPointF> RVCepCurveHandle::crtlPoints() const
{
    std::vector<RVPointF> out;
    for (const auto& curve : m_cepCurveArray)
    {
        const std::vector<RVPointF> handles = curve->crtlPoints();
        out.insert(out.end(), handles.begin(), handles.end());
    }
    return out;
}

// ---- Measure table ---------------------------------------------------------------------------

void RVCepCurveHandle::setMeasureType(unsigned type)
{
    m_nMeasureType = type;
    std::vector<RVCepMeausureInfoItem> rows;
    for (const auto& [id, name] : NameListOf(type))
    {
        RVCepMeausureInfoItem row;
        row.type = id;
        row.name = name;
        rows.push_back(row);
    }
    m_measureInfoItems = std::move(rows);
}

void RVCepCurveHandle::adjustItemSequence(std::vector<QvCepMeasureItem>* items) const
{
    std::map<std::int32_t, QvCepMeasureItem> byId;
    for (const QvCepMeasureItem& item : *items)
        byId.emplace(item.m_nId, item);
    items->clear();
    for (const RVCepMeausureInfoItem& row : m_measureInfoItems)
    {
        const auto found = byId.find(static_cast<std::int32_t>(row.type));
        if (found != byId.end())
            items->push_back(found->second);
    }
}

std::vector<std::int32_t> RVCepCurveHandle::getMeasureDataByTypeWithDatas(const std::vector<QvCepMeasureItem>* items,
                                                                        bool bRicketts) const
{
    const int group = m_bComplexPattern ? (bRicketts ? kGroupRicketts : kGroupComplex) : kGroupStandard;
    std::vector<std::int32_t> out;
    for (std::size_t i = 0; i < items->size(); ++i)
        if ((*items)[i].m_nGroup == group)
            out.push_back(static_cast<std::int32_t>(i));
    return out;
}

void RVCepCurveHandle::updateMeasureItem()
{
    for (RVCepMeausureInfoItem& row : m_measureInfoItems)
    {
        row.referenceValue.clear();
        row.realValue.clear();
        row.sign.clear();
        row.textColor = RVColor{};
    }
    if (!m_pCepMeasure)
        return;

    // Items of other groups are dropped first: ids repeat across groups.
    const bool ricketts = m_nMeasureType != 0 && m_nMeasureType != 1;
    const std::vector<QvCepMeasureItem>& all = m_pCepMeasure->m_items;
    std::vector<QvCepMeasureItem> items;
    for (const std::int32_t i : getMeasureDataByTypeWithDatas(&all, ricketts))
        items.push_back(all[static_cast<std::size_t>(i)]);
    adjustItemSequence(&items);

    std::map<std::int32_t, const QvCepMeasureItem*> byId;
    for (const QvCepMeasureItem& item : items)
        byId.emplace(item.m_nId, &item);
    for (RVCepMeausureInfoItem& row : m_measureInfoItems)
    {
        const auto found = byId.find(static_cast<std::int32_t>(row.type));
        if (found == byId.end())
            continue;
        const QvCepMeasureItem& item = *found->second;
        const bool above = item.IsAboveNormal();
        const bool below = item.IsBelowNormal();
        const RVColor ranged = above ? kRed : (below ? kBlue : kBlack);
        const std::string sign = above ? "↑" : (below ? "↓" : " ");
        const double mid = (item.m_dMin + item.m_dMax) / 2.0;
        const double half = (item.m_dMax - item.m_dMin) / 2.0;
        switch (static_cast<std::uint32_t>(item.m_nType))
        {
        case 0:
            row.referenceValue = FormatValue("%.1f", mid) + "±" + FormatValue("%1f", half) + "°";
            row.realValue = FormatValue("%.1f", item.m_dValue) + "°";
            row.textColor = ranged;
            row.sign = sign;
            break;
        case 1:
            row.realValue = FormatValue("%.1f", item.m_dValue) + "°";
            row.textColor = kBlack;
            break;
        case 2:
            row.referenceValue = FormatValue("%.1f", mid) + "±" + FormatValue("%1f", half) + "mm";
            row.realValue = FormatValue("%.1f", item.m_dValue) + "mm";
            row.textColor = ranged;
            row.sign = sign;
            break;
        case 3:
            row.realValue = FormatValue("%.1f", item.m_dValue) + "mm";
            row.textColor = kBlack;
            break;
        case 4:
            row.referenceValue = item.m_dMin == item.m_dMax
                                     ? FormatValue("%.2f", item.m_dMin)
                                     : FormatValue("%.2f", item.m_dMin) + "-" + FormatValue("%.2f", item.m_dMax);
            row.realValue = FormatValue("%.2f", item.m_dValue);
            row.textColor = ranged;
            row.sign = sign;
            break;
        case 5:
            row.realValue = FormatValue("%.2f", item.m_dValue);
            row.textColor = kBlack;
            break;
        default:
            row.referenceValue = "-";
            row.realValue = FormatValue("%.2f", item.m_dValue);
            row.textColor = kBlack;
            break;
        }
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>

#include "core/geometry/QvStreamIO.h"
#include "core/measure/RVCepCurveHandle.h"
#include "core/measure/tests/CepTracing.h"
#include "testing/ByteSweep.h"

namespace {

using qvceptest::FillTracing;
using qvceptest::LoadTracing;

struct TemplateCurve
{
    std::vector<QvGDIPoint> fit;
    std::vector<int> driven;
    int closed = 0;
};

std::string TemplateBytes(const std::vector<std::pair<std::string, QvGDIPoint>>& named,
                          const std::vector<TemplateCurve>& curves)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        os << "contour template\n";
        qvio::WriteI32(os, static_cast<std::int32_t>(named.size()));
        for (const auto& [name, p] : named)
        {
            qvio::WriteI32(os, static_cast<std::int32_t>(name.size()));
            os.write(name.data(), static_cast<std::streamsize>(name.size()));
            qvio::WriteI32(os, p.x);
            qvio::WriteI32(os, p.y);
        }
        qvio::WriteI32(os, static_cast<std::int32_t>(curves.size()));
        for (const TemplateCurve& c : curves)
        {
            qvio::WriteI32(os, static_cast<std::int32_t>(c.fit.size()));
            for (const QvGDIPoint& p : c.fit)
            {
                qvio::WriteI32(os, p.x);
                qvio::WriteI32(os, p.y);
            }
            qvio::WriteI32(os, static_cast<std::int32_t>(c.driven.size()));
            for (const int id : c.driven)
                qvio::WriteI32(os, id);
            qvio::WriteI32(os, c.closed);
        }
    });
}

// The synthetic tracing on an image of its size, less the derived landmarks.
std::unique_ptr<QvCepMeasure> Tracing(std::vector<int> leftOut = {})
{
    auto m = std::make_unique<QvCepMeasure>();
    leftOut.insert(leftOut.end(), {POINT_BPoMid, POINT_RamusCentre, POINT_Go});
    FillTracing(*m, leftOut);
    const QvImage image(2000, 2400, 8);
    m->SetImage(&image);
    return m;
}

int CountKey(const QvCepMeasure& m, int key)
{
    int n = 0;
    for (const QvKeyPoint& p : m.m_keyPoints)
        n += p.m_nKey == key;
    return n;
}

QvPoint Expected(int key)
{
    for (const QvKeyPoint& p : LoadTracing().landmarks)
        if (p.m_nKey == key)
            return p.m_point;
    return QvPoint();
}

TEST(CepCurveHandle, ReadsTemplates)
{
    const std::string bytes =
        TemplateBytes({{"POINT_Me", {10, 20}}, {"POINT_Nothing", {7, 8}}, {"POINT_T2", {30, 40}}},
                      {{{{10, 20}, {15, 25}, {30, 40}}, {13, 14, 0, 55}, 1}, {{{1, 2}}, {}, 2}});
    RVCepCurveHandle handle;
    std::istringstream is(bytes);
    ASSERT_TRUE(handle.readyContourStream(is));
    ASSERT_EQ(handle.cepCurveArray().size(), 2u);
    // Fit points on a driven landmark's position are tied to it: an unknown name is id
    // 0, so the last fit point of (7, 8) would be; a driven id without a position is at (0, 0).
    const RVCepCurve& first = *handle.cepCurveArray()[0];
    EXPECT_EQ(first.idType(), (std::map<int, MEASURE_POINT>{{0, POINT_Me}, {2, POINT_T2}}));

    // Every truncation fails and keeps the curves held; damage never crashes the reader.
    RVCepCurveHandle kept;
    std::istringstream again(bytes);
    ASSERT_TRUE(kept.readyContourStream(again));
    const auto firstCurve = [&]() -> const RVCepCurve* {
        return kept.cepCurveArray().empty() ? nullptr : kept.cepCurveArray()[0].get();
    };
    const RVCepCurve* held = firstCurve();
    qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& s) {
        const bool read = kept.readyContourStream(s);
        if (!read)
        {
            EXPECT_EQ(firstCurve(), held);
        }
        held = firstCurve();
        return read;
    });

    // A 300-byte name is read whole and matches nothing; reading goes on after it.
    const std::string longName(300, 'N');
    std::istringstream longer(TemplateBytes({{longName, {1, 1}}, {"POINT_Me", {10, 20}}},
                                            {{{{1, 1}, {10, 20}}, {0, 13}, 0}}));
    ASSERT_TRUE(handle.readyContourStream(longer));
    ASSERT_EQ(handle.cepCurveArray().size(), 1u);
    EXPECT_EQ(handle.cepCurveArray()[0]->idType(), (std::map<int, MEASURE_POINT>{{0, MEASURE_POINT(0)}, {1, POINT_Me}}));

    // A missing file keeps the curves too; no curves is an empty list.
    EXPECT_FALSE(handle.readyContourFile("/nonexistent/CepContour.temp"));
    EXPECT_EQ(handle.cepCurveArray().size(), 1u);
    std::istringstream none(TemplateBytes({}, {}));
    ASSERT_TRUE(handle.readyContourStream(none));
    EXPECT_TRUE(handle.cepCurveArray().empty());
    EXPECT_TRUE(handle.curvePoints().empty());
}

TEST(CepCurveHandle, DerivedLandmarks)
{
    // The normal pattern makes only the gonion; the complex one all three, once each
    // however often it runs, close to the independent values.
    for (const bool complex : {false, true})
    {
        auto m = Tracing();
        RVCepCurveHandle handle;
        handle.setCepMeasure(m.get());
        handle.setComplexPattern(complex);
        handle.startProcess(); // no template: only the landmarks
        handle.calSpecialMeasurePts();
        EXPECT_EQ(CountKey(*m, POINT_BPoMid), complex ? 1 : 0);
        EXPECT_EQ(CountKey(*m, POINT_RamusCentre), complex ? 1 : 0);
        ASSERT_EQ(CountKey(*m, POINT_Go), 1);
        for (const int key : {POINT_BPoMid, POINT_RamusCentre, POINT_Go})
        {
            QvKeyPoint p;
            if (!m->FindKeyPoint(key, p))
                continue;
            EXPECT_NEAR(p.m_point[0] * 2000, Expected(key)[0] * 2000, 1.0) << key;
            EXPECT_NEAR(p.m_point[1] * 2400, Expected(key)[1] * 2400, 1.0) << key;
        }
    }
    // Without T1 there is no gonion, and none from parallel lines.
    auto noT1 = Tracing({POINT_T1});
    RVCepCurveHandle handle;
    handle.setCepMeasure(noT1.get());
    handle.calSpecialMeasurePts();
    EXPECT_EQ(CountKey(*noT1, POINT_Go), 0);

    // Whole pixels, so that the lines stay parallel after rounding: Ar-T1 runs along Me-T2.
    auto parallel = Tracing();
    const std::map<int, QvPoint> moved = {{POINT_Ar, QvPoint(600, 1200, 0)}, {POINT_T1, QvPoint(100, 1400, 0)},
                                          {POINT_Me, QvPoint(1300, 400, 0)}, {POINT_T2, QvPoint(800, 600, 0)}};
    for (QvKeyPoint& p : parallel->m_keyPoints)
        if (moved.count(p.m_nKey))
            p.m_point = QvPoint(moved.at(p.m_nKey)[0] / 2000, moved.at(p.m_nKey)[1] / 2400, 0);
    handle.setCepMeasure(parallel.get());
    handle.calSpecialMeasurePts();
    EXPECT_EQ(CountKey(*parallel, POINT_Go), 0);
}

// The shipped template on the synthetic tracing: every curve is made, tied points on
// their landmarks, and only the mandibular border offers handles.
TEST(CepCurveHandle, ShippedTemplateTracesTheCase)
{
    auto m = Tracing();
    RVCepCurveHandle handle;
    handle.setCepMeasure(m.get());
    handle.setComplexPattern(true);
    ASSERT_TRUE(handle.readyContourFile(RIVELA_CEP_CONTOUR));
    ASSERT_EQ(handle.cepCurveArray().size(), 5u);
    handle.startProcess();
    const std::vector<std::vector<RVPointF>> polygons = handle.curvePoints();
    ASSERT_EQ(polygons.size(), 5u);
    for (std::size_t i = 0; i < polygons.size(); ++i)
    {
        SCOPED_TRACE(i);
        const RVCepCurve& curve = *handle.cepCurveArray()[i];
        ASSERT_NE(curve.curve(), nullptr);
        EXPECT_GE(polygons[i].size(), 4u);
        EXPECT_FALSE(curve.idType().empty());
        for (const auto& [index, id] : curve.idType())
        {
            QvKeyPoint landmark;
            ASSERT_TRUE(m->FindKeyPoint(id, landmark));
            const QvGDIPoint px = RVCepCurveHandle::calculatePointWithImageSize({2000, 2400}, landmark.m_point);
            EXPECT_EQ(curve.realFitPts()[static_cast<std::size_t>(index)], QvPoint(px.x, px.y, 0)) << id;
        }
    }
    EXPECT_EQ(handle.crtlPoints().size(), handle.cepCurveArray()[4]->crtlPoints().size());
    EXPECT_FALSE(handle.crtlPoints().empty());

    // Stored curve points take the place of the template for the curves they cover.
    auto stored = Tracing();
    stored->m_curves = {{QvPoint(0.1, 0.1, 0), QvPoint(0.2, 0.15, 0), QvPoint(0.3, 0.1, 0)}};
    RVCepCurveHandle again;
    again.setCepMeasure(stored.get());
    ASSERT_TRUE(again.readyContourFile(RIVELA_CEP_CONTOUR));
    again.startProcess();
    EXPECT_EQ(again.cepCurveArray()[0]->realFitPts().size(), 3u);
    EXPECT_EQ(again.cepCurveArray()[0]->realFitPts()[1], QvPoint(400, 360, 0));
    EXPECT_EQ(again.cepCurveArray()[1]->realFitPts().size(), handle.cepCurveArray()[1]->realFitPts().size());
}

// ---- Measure table ---------------------------------------------------------------------------

QvCepMeasureItem Item(int id, double value, double min, double max, int type, int group = 3)
{
    return QvCepMeasureItem(id, {}, type, group, value, min, max);
}

const RVCepMeausureInfoItem& Row(const RVCepCurveHandle& h, int id)
{
    for (const RVCepMeausureInfoItem& row : h.measureInfoItems())
        if (row.type == id)
            return row;
    static const RVCepMeausureInfoItem none;
    ADD_FAILURE() << "no row " << id;
    return none;
}

const RVColor kRed{1, 0, 0, 1};
const RVColor kBlue{0, 0, 1, 1};
const RVColor kBlack{0, 0, 0, 1};

TEST(CepMeasureTable, RowsAndTheirTexts)
{
    RVCepCurveHandle h;
    for (const auto& [type, rows] : std::vector<std::pair<unsigned, std::size_t>>{{0, 29}, {1, 32}, {7, 23}, {2, 23}})
    {
        h.setMeasureType(type);
        EXPECT_EQ(h.measureInfoItems().size(), rows) << type;
    }
    h.setMeasureType(0);
    EXPECT_EQ(h.measureInfoItems()[29 - 1].name, "SGo : NMe");
    h.resetMeasureInfoItemsWithType(1);
    EXPECT_EQ(h.measureInfoItems().size(), 29u);

    QvCepMeasure m;
    m.m_items = {Item(0, 85, 78, 84, 0),       Item(30, 0.8, 0.8, 0.8, 4),     Item(31, 0.8, 0.7, 0.9, 4),
                 Item(1, 78 - 1e-6, 78, 84, 0), Item(2, 78 - 1e-4, 78, 84, 0), Item(24, 70, 68, 74, 2),
                 Item(25, 10, 29, 35, 3),       Item(3, 200, 0, 1, 1),         Item(4, 1.234, 0, 1, 7),
                 Item(0, 50, 78, 84, 0),        Item(5, 30, 0, 1, 0, 0)};
    h.setCepMeasure(&m);
    h.updateMeasureItem();

    const RVCepMeausureInfoItem& sna = Row(h, 0);
    EXPECT_EQ(sna.referenceValue, "81.0±3.000000°");
    EXPECT_EQ(sna.realValue, "85.0°");
    EXPECT_EQ(sna.textColor, kRed);
    EXPECT_EQ(sna.sign, "↑");
    EXPECT_EQ(Row(h, 30).referenceValue, "0.80");
    EXPECT_EQ(Row(h, 30).realValue, "0.80");
    EXPECT_EQ(Row(h, 31).referenceValue, "0.70-0.90");
    EXPECT_EQ(Row(h, 1).sign, " ");
    EXPECT_EQ(Row(h, 1).textColor, kBlack);
    EXPECT_EQ(Row(h, 2).sign, "↓");
    EXPECT_EQ(Row(h, 2).textColor, kBlue);
    EXPECT_EQ(Row(h, 24).referenceValue, "71.0±3.000000mm");
    EXPECT_EQ(Row(h, 24).realValue, "70.0mm");
    // Kinds 1 and 3 show the value in black and no range or sign; another kind "-".
    EXPECT_EQ(Row(h, 25).realValue, "10.0mm");
    EXPECT_EQ(Row(h, 25).textColor, kBlack);
    EXPECT_EQ(Row(h, 25).referenceValue, "");
    EXPECT_EQ(Row(h, 25).sign, "");
    EXPECT_EQ(Row(h, 3).realValue, "200.0°");
    EXPECT_EQ(Row(h, 4).referenceValue, "-");
    EXPECT_EQ(Row(h, 4).realValue, "1.23");
    // Rows without an item of the group are blank, whatever they held; the rows after a
    // missing one keep their own items.
    EXPECT_EQ(Row(h, 5).realValue, "");
    EXPECT_EQ(Row(h, 26).realValue, "");
    EXPECT_EQ(Row(h, 26).textColor, RVColor{});

    m.m_items.erase(m.m_items.begin()); // the first SNA goes; the second stands in
    h.updateMeasureItem();
    EXPECT_EQ(Row(h, 0).realValue, "50.0°");
    m.m_items = {Item(24, 70, 68, 74, 2)};
    h.updateMeasureItem();
    EXPECT_EQ(Row(h, 0).realValue, "");
    EXPECT_EQ(Row(h, 24).realValue, "70.0mm");
}

TEST(CepMeasureTable, GroupsFollowThePatternAndTheList)
{
    QvCepMeasure m;
    m.m_items = {Item(5, 30, 25.5, 36.7, 0, 3), Item(5, 31, 25.5, 36.7, 0, 0), Item(5, 32, 25.5, 36.7, 0, 2)};
    RVCepCurveHandle h;
    h.setCepMeasure(&m);
    struct Case
    {
        bool complex;
        unsigned list;
        const char* shown;
    };
    for (const Case& c : {Case{false, 0, "30.0°"}, Case{false, 2, "30.0°"}, Case{true, 0, "31.0°"},
                          Case{true, 2, "32.0°"}, Case{true, 9, "32.0°"}})
    {
        h.setComplexPattern(c.complex);
        h.setMeasureType(c.list);
        h.updateMeasureItem();
        EXPECT_EQ(Row(h, 5).realValue, c.shown) << c.complex << " " << c.list;
    }
    // The index selection over a vector, and the reordering into row order.
    h.setComplexPattern(true);
    EXPECT_EQ(h.getMeasureDataByTypeWithDatas(&m.m_items, true), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(h.getMeasureDataByTypeWithDatas(&m.m_items, false), (std::vector<std::int32_t>{1}));
    h.setMeasureType(0);
    std::vector<QvCepMeasureItem> items = {Item(99, 1, 0, 1, 0), Item(1, 2, 0, 1, 0), Item(0, 3, 0, 1, 0),
                                           Item(1, 4, 0, 1, 0)};
    h.adjustItemSequence(&items);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].m_nId, 0);
    EXPECT_EQ(items[1].m_dValue, 2.0);
}

// The calculators' norms against the classic published means: Steiner's SNA 82, SNB 80
// and ANB 2 degrees (C. C. Steiner, "Cephalometrics for you and me", Am J Orthod 39,
// 1953); Ricketts' facial axis 90 degrees and lower lip 2 mm behind the E-plane
// (R. M. Ricketts, "Perspectives in the clinical application of cephalometrics",
// Angle Orthod 51, 1981).
TEST(CepMeasureTable, NormsOfTheSyntheticTracing)
{
    QvCepMeasure m;
    FillTracing(m);
    ASSERT_TRUE(m.Calculate(0));
    const auto range = [&](int id, double mean) {
        for (const QvCepMeasureItem& item : m.m_items)
            if (item.m_nId == id)
                return item.m_dMin <= mean && mean <= item.m_dMax;
        return false;
    };
    EXPECT_TRUE(range(0, 82));
    EXPECT_TRUE(range(1, 80));
    EXPECT_TRUE(range(2, 2));

    RVCepCurveHandle h;
    h.setCepMeasure(&m);
    h.setMeasureType(0);
    h.updateMeasureItem();
    for (const int id : {0, 1, 2})
    {
        EXPECT_EQ(Row(h, id).sign, " ") << id;
        EXPECT_EQ(Row(h, id).textColor, kBlack) << id;
    }
    EXPECT_EQ(Row(h, 0).realValue, "82.8°");
    EXPECT_EQ(Row(h, 1).realValue, "80.1°");

    // B turned 5 degrees back about N: SNB below its range, ANB above.
    QvKeyPoint n;
    ASSERT_TRUE(m.FindKeyPoint(POINT_N, n));
    const QvPoint pn = m.ToPixel(n.m_point);
    for (const double turn : {5.0, -5.0})
    {
        QvCepMeasure moved;
        FillTracing(moved);
        for (QvKeyPoint& p : moved.m_keyPoints)
            if (p.m_nKey == POINT_B)
            {
                const QvPoint pb = moved.ToPixel(p.m_point);
                const double r = turn * 3.14159265359 / 180.0;
                const double dx = pb[0] - pn[0];
                const double dy = pb[1] - pn[1];
                const double x = pn[0] + dx * std::cos(r) - dy * std::sin(r);
                const double y = pn[1] + dx * std::sin(r) + dy * std::cos(r);
                p.m_point = QvPoint(x / 2000.0, (2400.0 - y) / 2400.0, 0);
            }
        ASSERT_TRUE(moved.Calculate(0));
        double snb = 0.0;
        ASSERT_TRUE(QvCepMeasure::FindItemValue(moved.m_items, 1, snb));
        if (snb > 80.1)
            continue; // turned forward
        EXPECT_NEAR(snb, 75.1, 0.05);
        h.setCepMeasure(&moved);
        h.updateMeasureItem();
        EXPECT_EQ(Row(h, 1).sign, "↓");
        EXPECT_EQ(Row(h, 1).textColor, kBlue);
        EXPECT_EQ(Row(h, 2).sign, "↑");
        EXPECT_EQ(Row(h, 2).textColor, kRed);
        EXPECT_EQ(Row(h, 2).realValue, "7.7°");
    }

    ASSERT_TRUE(m.Calculate(1));
    const auto rickettsMid = [&](int id) {
        for (const QvCepMeasureItem& item : m.m_items)
            if (item.m_nId == id && item.m_nGroup == 2)
                return (item.m_dMin + item.m_dMax) / 2.0;
        return -1000.0;
    };
    EXPECT_DOUBLE_EQ(rickettsMid(56), 90.0);
    EXPECT_DOUBLE_EQ(rickettsMid(71), -2.0);
}

TEST(CepTables, LandmarkNames)
{
    std::map<MEASURE_POINT, std::string> idToName;
    const std::map<std::string, MEASURE_POINT> nameToId = LandmarkNameTable(idToName);
    EXPECT_EQ(nameToId.size(), 50u);
    EXPECT_EQ(idToName.size(), 50u);
    EXPECT_EQ(nameToId.at("POINT_UIL"), POINT_UIL);
    EXPECT_EQ(idToName.at(POINT_Pt), "POINT_Pt");
    EXPECT_EQ(nameToId.count("POINT_Go"), 0u);
    for (const MEASURE_POINT id : {POINT_BPoMid, POINT_RamusCentre, POINT_Go, MEASURE_POINT(0), MEASURE_POINT(20)})
        EXPECT_EQ(idToName.count(id), 0u) << id;
    std::map<std::string, MEASURE_POINT> copy = nameToId;
    EXPECT_EQ(copy["point_s"], MEASURE_POINT(0)); // case-sensitive; unknown is 0
    EXPECT_EQ(MeasureNameList2()[14].second, "FH-NA上颌深度。。");
    EXPECT_EQ(MeasureNameList1()[29].first, 13);
    EXPECT_EQ(MeasureNameList2()[4].first, 77);
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The dental measures on the demo case: crown widths against the generator's crowns,
// Bolton sums, arch widths, the symmetry of the aligned arches, contact pairs.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "core/design/QvBracketGeo.h"
#include "core/measure/QvDentalMeasure.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeMgr.h"
#include "testing/DemoCase.h"

namespace {

struct Demo
{
    qvtest::DemoOptions options;
    qvtest::DemoCase demo;
};

// The full demo case (scheme, steps, attachments), on coarse crowns.
Demo* BuildCase()
{
    auto* d = new Demo();
    d->options.dentition.facesPerTooth = 1000;
    d->options.steps = 10;
    if (!qvtest::BuildDemoCase(d->demo, d->options))
    {
        delete d;
        return nullptr;
    }
    return d;
}

// The aligned demo dentition at 5k faces with a scheme of initial steps only: 25
// extracted, occlusal planes and arch forms as the demo case sets them. Building the
// whole case at this size takes most of a minute under the sanitizers.
Demo* BuildAligned()
{
    auto* d = new Demo();
    d->options.dentition.crowding = 0.0;
    d->demo.model = std::make_unique<QvModel>();
    QvModel& model = *d->demo.model;
    qvtest::GenerateDentition(model, d->options.dentition);
    QvScheme* scheme = QvEnsureSchemeMgr(model).CreateScheme(0, "default", false, true);
    if (!scheme)
    {
        delete d;
        return nullptr;
    }
    d->demo.scheme = scheme;
    scheme->CreateInitialSteps();
    d->demo.extractedFdi = 25;
    scheme->SetExtracted(model.FindTooth(25), true);
    QvFrame mid;
    double size = 0.0;
    const bool haveMid = model.GetJawRef() && model.GetJawRef()->GetMiddlePlane(mid, size);
    for (const bool upper : {true, false})
    {
        QvOcclusalPlane plane;
        plane.m_frame = *model.GetJaw(upper)->GetFrame();
        QvArchForm form(upper, &model, QvPlane(plane.m_frame.m_centre, plane.m_frame.m_dirZ));
        if (haveMid && form.Create(QvPlane(mid.m_centre, mid.m_dirZ)))
            upper ? scheme->SetArchForm(&form) : scheme->SetArchForm2(&form);
        upper ? scheme->SetOcclusalPlane(&plane) : scheme->SetOcclusalPlane2(&plane);
    }
    return d;
}

// The measure of a step with the scheme's occlusal planes and arch forms.
QvDentalMeasure MeasureOf(const Demo& d, int step)
{
    QvDentalMeasure m(d.demo.model.get(), step);
    const QvScheme& s = *d.demo.scheme;
    if (s.m_pOcclusalPlane1)
        m.SetFirstOcclusalPlane(*s.m_pOcclusalPlane1);
    if (s.m_pOcclusalPlane2)
        m.SetSecondOcclusalPlane(*s.m_pOcclusalPlane2);
    if (s.m_pArchForm1)
        m.SetFirstArchForm(*s.m_pArchForm1);
    if (s.m_pArchForm2)
        m.SetSecondArchForm(*s.m_pArchForm2);
    return m;
}

class DentalMeasureDemo : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_crowded.reset(BuildCase());
        s_aligned.reset(BuildAligned());
    }
    static void TearDownTestSuite()
    {
        s_crowded.reset();
        s_aligned.reset();
    }
    void SetUp() override
    {
        ASSERT_NE(s_crowded, nullptr);
        ASSERT_NE(s_aligned, nullptr);
    }
    static std::unique_ptr<Demo> s_crowded;
    static std::unique_ptr<Demo> s_aligned;
};

std::unique_ptr<Demo> DentalMeasureDemo::s_crowded;
std::unique_ptr<Demo> DentalMeasureDemo::s_aligned;

// Extent along the crown frame's x of the generated crown's crown faces.
double GeneratorWidth(int fdi, int faces)
{
    const QvMesh mesh = qvtest::MakeToothMesh(fdi, faces, false);
    double lo = 1e30, hi = -1e30;
    for (const QvFace& f : mesh.m_faces)
        if (f.m_tag == 0)
            for (int v : f.m_vertices)
            {
                lo = std::min(lo, mesh.m_vertices[static_cast<std::size_t>(v)].m_point.m_coord[0]);
                hi = std::max(hi, mesh.m_vertices[static_cast<std::size_t>(v)].m_point.m_coord[0]);
            }
    return hi - lo;
}

TEST_F(DentalMeasureDemo, CrownWidthsAreTheGeneratedCrownsAtEveryStep)
{
    const Demo& d = *s_crowded;
    for (const int step : {0, d.demo.keyStep, d.demo.finalStep})
    {
        QvDentalMeasure m = MeasureOf(d, step);
        ASSERT_TRUE(m.ComputeCrownSizes(0));
        EXPECT_EQ(m.GetToothMeasures().count(d.demo.extractedFdi), 0u) << "extracted teeth are not measured";
        for (QvEntity* e : d.demo.model->m_teeth)
        {
            const auto* tooth = dynamic_cast<QvTooth*>(e);
            if (!tooth || tooth->GetFdi() == d.demo.extractedFdi)
                continue;
            const auto it = m.GetToothMeasures().find(tooth->GetFdi());
            ASSERT_NE(it, m.GetToothMeasures().end()) << tooth->GetFdi();
            EXPECT_NEAR(it->second.m_dCrownWidth, GeneratorWidth(tooth->GetFdi(), d.options.dentition.facesPerTooth),
                        1e-6)
                << "tooth " << tooth->GetFdi() << " step " << step;
            EXPECT_GT(it->second.m_dCrownThickness, 0.0);
            EXPECT_GT(it->second.m_dCrownHeight, 0.0);
        }
    }
    // With the untreated model the extracted tooth is measured too.
    QvDentalMeasure initial = MeasureOf(d, 0);
    initial.m_bInitial = true;
    (void)initial.ComputeCrownSizes(0);
    EXPECT_EQ(initial.GetToothMeasures().count(d.demo.extractedFdi), 1u);
}

TEST_F(DentalMeasureDemo, CrownSizesByToothStateAndExtraction)
{
    const Demo& d = *s_crowded;
    QvTooth* tooth = d.demo.model->FindTooth(12);
    ASSERT_NE(tooth, nullptr);
    const int state = tooth->GetState();
    struct Case
    {
        int fdi;
        int state; // 0: leave as it is
        bool initial;
        bool measured;
    };
    const int extracted = d.demo.extractedFdi;
    for (const Case c : {Case{12, kQvToothOrdinary, false, true}, Case{12, kQvToothNotMeasured, false, false},
                         Case{12, kQvToothNotMeasured, true, false}, Case{12, kQvToothExtracted, false, true},
                         Case{extracted, 0, false, false}, Case{extracted, 0, true, true}})
    {
        if (c.state != 0)
            tooth->SetState(c.state);
        QvDentalMeasure m = MeasureOf(d, d.demo.keyStep);
        m.m_bInitial = c.initial;
        (void)m.ComputeCrownSizes(1);
        EXPECT_EQ(m.GetToothMeasures().count(c.fdi), c.measured ? 1u : 0u)
            << c.fdi << " state " << c.state << (c.initial ? " initial" : "");
        tooth->SetState(state);
    }
}

TEST_F(DentalMeasureDemo, BoltonSumsOfTheDemoCrowns)
{
    // Crown widths do not depend on the pose: the aligned 5k dentition gives the figures.
    const Demo& d = *s_aligned;
    QvDentalMeasure m = MeasureOf(d, 0);
    ASSERT_TRUE(m.ComputeBoltonRatios());
    const QvBoltonRatio& anterior = m.GetBoltonRatios().at(0);
    const QvBoltonRatio& overall = m.GetBoltonRatios().at(1);
    EXPECT_NEAR(anterior.m_dUpperSum, 44.9310, 1e-4);
    EXPECT_NEAR(anterior.m_dLowerSum, 34.9414, 1e-4);
    EXPECT_EQ(anterior.m_nKind, 1);
    EXPECT_FALSE(anterior.m_bOverall);
    // 25 extracted: the lower sum is too large for the upper one.
    EXPECT_NEAR(overall.m_dUpperSum, 85.8632, 1e-4);
    EXPECT_NEAR(overall.m_dLowerSum, 84.8579, 1e-4);
    EXPECT_EQ(overall.m_nKind, 3);
    EXPECT_NEAR(overall.m_dLowerSum - 0.9301 * overall.m_dUpperSum, 4.9965, 1e-4);

    QvDentalMeasure initial = MeasureOf(d, 0);
    initial.m_bInitial = true;
    ASSERT_TRUE(initial.ComputeBoltonRatios());
    const QvBoltonRatio& all = initial.GetBoltonRatios().at(1);
    EXPECT_NEAR(all.m_dUpperSum, 92.8505, 1e-4);
    EXPECT_NEAR(all.m_dLowerSum, 84.8579, 1e-4);
    EXPECT_EQ(all.m_nKind, 1);
    // Both ratios lie in Bolton's bands (77.2 +- 1.65 and 91.3 +- 1.91 %).
    EXPECT_NEAR(100.0 * anterior.m_dLowerSum / anterior.m_dUpperSum, 77.77, 0.01);
    EXPECT_NEAR(100.0 * all.m_dLowerSum / all.m_dUpperSum, 91.39, 0.01);
}

TEST_F(DentalMeasureDemo, BoltonClassifiesTheExcessInMillimetres)
{
    // Widths laid onto the demo teeth: six equal upper and lower anterior crowns.
    const Demo& d = *s_crowded;
    struct Case
    {
        double upper;
        double lower;
        int kind;
    };
    for (const Case c : {Case{47.0, 36.0, 2}, Case{40.0, 33.0, 3}, Case{40.0, 31.5, 1}})
    {
        QvDentalMeasure m(d.demo.model.get(), 0);
        for (int fdi : {13, 12, 11, 21, 22, 23})
            m.GetToothMeasure(fdi).m_dCrownWidth = c.upper / 6.0;
        for (int fdi : {33, 32, 31, 41, 42, 43})
            m.GetToothMeasure(fdi).m_dCrownWidth = c.lower / 6.0;
        ASSERT_TRUE(m.ComputeBoltonRatios());
        EXPECT_EQ(m.GetBoltonRatios().at(0).m_nKind, c.kind) << c.upper << "/" << c.lower;
        // Posterior teeth without widths count 0: no crown sizes were computed.
        EXPECT_NEAR(m.GetBoltonRatios().at(1).m_dUpperSum, c.upper, 1e-9);
    }
    // 90 against 83.718: 0.009 mm over the band, below the 0.01 tolerance.
    QvDentalMeasure m(d.demo.model.get(), 0);
    m.m_bInitial = true;
    for (int fdi : {13, 12, 11, 21, 22, 23, 16, 15, 14, 24, 25, 26})
        m.GetToothMeasure(fdi).m_dCrownWidth = 90.0 / 12.0;
    for (int fdi : {33, 32, 31, 41, 42, 43, 36, 35, 34, 44, 45, 46})
        m.GetToothMeasure(fdi).m_dCrownWidth = 83.718 / 12.0;
    ASSERT_TRUE(m.ComputeBoltonRatios());
    EXPECT_EQ(m.GetBoltonRatios().at(1).m_nKind, 1);
}

TEST_F(DentalMeasureDemo, ArchWidthsOfTheAlignedArchAtAnyStep)
{
    const Demo& d = *s_aligned;
    for (const int step : {0, 3})
    {
        QvDentalMeasure m = MeasureOf(d, step);
        m.ComputeArchWidths();
        const auto& widths = m.GetArchWidths();
        ASSERT_EQ(widths.count(0), 1u);
        ASSERT_EQ(widths.count(1), 1u);
        EXPECT_NEAR(widths.at(0).m_dWidth, 43.358, 1e-3);
        EXPECT_NEAR(widths.at(1).m_dWidth, 60.966, 1e-3);
        ASSERT_EQ(widths.count(2), 1u);
        ASSERT_EQ(widths.count(3), 1u);
        EXPECT_NEAR(widths.at(2).m_first.Distance(widths.at(2).m_second), widths.at(2).m_dWidth, 1e-12);
        EXPECT_NEAR(widths.at(3).m_first.Distance(widths.at(3).m_second), widths.at(3).m_dWidth, 1e-12);
    }
}

TEST_F(DentalMeasureDemo, MirrorTeethOfTheAlignedArchMeasureAlike)
{
    const Demo& d = *s_aligned;
    QvDentalMeasure m = MeasureOf(d, 0);
    m.ComputeAll();
    const auto& teeth = m.GetToothMeasures();
    int compared = 0;
    for (const auto& [fdi, t] : teeth)
    {
        const int q = fdi / 10;
        if (q != 1 && q != 3)
            continue;
        const auto mirror = teeth.find(fdi + 10);
        if (mirror == teeth.end())
            continue;
        if (fdi == 15) // its mirror 25 is extracted
            continue;
        const QvToothMeasure& u = mirror->second;
        EXPECT_NEAR(t.m_dTorque, u.m_dTorque, 1e-4) << fdi;
        // The arch form's fit is symmetric only to a few thousandths of a degree.
        EXPECT_NEAR(t.m_dTip, u.m_dTip, 1e-3) << fdi;
        EXPECT_NEAR(t.m_dRotation, u.m_dRotation, 1e-2) << fdi;
        EXPECT_NEAR(t.m_dArchOffset, u.m_dArchOffset, 1e-3) << fdi;
        EXPECT_NEAR(t.m_dOcclusalHeight, u.m_dOcclusalHeight, 1e-6) << fdi;
        ++compared;
    }
    EXPECT_GE(compared, 10);
    ASSERT_EQ(m.GetMidlines().size(), 2u);
    for (const auto& [key, midline] : m.GetMidlines())
    {
        EXPECT_NEAR(midline.m_dDeviation, 0.0, 1e-6);
        EXPECT_EQ(midline.m_nStatus, 1);
    }
    EXPECT_EQ(m.GetSpeeCurves().size(), 2u);
    EXPECT_EQ(m.GetBoltonRatios().size(), 2u);
}

TEST_F(DentalMeasureDemo, EveryMeasureRunsOnTheCrowdedCase)
{
    const Demo& d = *s_crowded;
    for (const int step : {0, d.demo.finalStep})
    {
        QvDentalMeasure m = MeasureOf(d, step);
        m.ComputeAll();
        m.ComputeArchWidths();
        m.ComputeExtendedSet();
        QvDentalMeasure initial = MeasureOf(d, step);
        initial.ComputeInitialSet();
        EXPECT_TRUE(initial.m_bInitial);
        EXPECT_EQ(initial.GetBoltonRatios().size(), 2u);
        for (const auto& [key, spee] : initial.GetSpeeCurves())
            EXPECT_TRUE(std::isfinite(spee.m_dDepth));
        for (const auto& [key, overjet] : m.GetOverjets())
        {
            EXPECT_GE(overjet.m_nStatus, 1);
            EXPECT_LE(overjet.m_nStatus, 6);
        }
    }
}

TEST_F(DentalMeasureDemo, ContactPairsMatchTheAllPairsScan)
{
    const Demo& d = *s_crowded;
    int withPairs = 0;
    for (const auto& [fa, fb] : {std::pair{34, 35}, std::pair{44, 45}, std::pair{11, 21}, std::pair{16, 46}})
    {
        const QvTooth* a = d.demo.model->FindTooth(fa);
        const QvTooth* b = d.demo.model->FindTooth(fb);
        ASSERT_TRUE(a && b);
        std::map<int, int> fast, slow;
        QvDentalMeasure::FindContactPairs(a, b, fast);
        QvDentalMeasure::FindContactPairsBruteForce(a, b, slow);
        EXPECT_EQ(fast, slow) << fa << "-" << fb;
        withPairs += fast.empty() ? 0 : 1;
    }
    EXPECT_GE(withPairs, 1);
}

} // namespace

namespace {

// Real neighbouring premolars (14 and 15 of one patient), every third vertex so that
// the all-pairs scan stays quick under the sanitizers.
TEST(DentalMeasureRealTeeth, ContactPairsMatchTheAllPairsScan)
{
    const std::string folder = RIVELA_REAL_TEETH_DIR;
    QvBracketGeo first, second;
    if (!first.LoadStl(folder + "/tooth_5.stl") || !second.LoadStl(folder + "/tooth_4.stl"))
        GTEST_SKIP() << "no real teeth in " << folder;
    QvTooth a, b;
    for (std::size_t i = 0; i < first.m_vertices.size(); i += 3)
        (void)a.AddVertex(first.m_vertices[i].m_point);
    for (std::size_t i = 0; i < second.m_vertices.size(); i += 3)
        (void)b.AddVertex(second.m_vertices[i].m_point);
    std::map<int, int> fast, slow;
    QvDentalMeasure::FindContactPairs(&a, &b, fast);
    QvDentalMeasure::FindContactPairsBruteForce(&a, &b, slow);
    EXPECT_EQ(fast, slow);
    EXPECT_FALSE(fast.empty());
}

} // namespace

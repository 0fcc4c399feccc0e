// SPDX-License-Identifier: GPL-3.0-or-later
// The anatomical conventions of the demo case, read back from its saved case document
// through the core alone: what the gum builder, the measures and the views read of
// its jaw frames, tooth frames, crown loops, occlusal planes and arch forms.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>

#include "core/mesh/QvMesh.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualRootCommand.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeMgr.h"
#include "testing/DemoCase.h"

namespace {

namespace fs = std::filesystem;

QvVector Sub(const QvPoint& a, const QvPoint& b) { return a - b; }

QvPoint Mean(const std::vector<QvPoint>& points)
{
    QvPoint sum;
    for (const QvPoint& p : points)
        sum += p;
    return points.empty() ? sum : sum / static_cast<double>(points.size());
}

// A frame is unit and right-handed (Z = X x Y).
void ExpectRightHanded(const QvFrame& f)
{
    EXPECT_NEAR(f.m_dirX.Length(), 1.0, 1e-9);
    EXPECT_NEAR(f.m_dirY.Length(), 1.0, 1e-9);
    EXPECT_NEAR(f.m_dirZ.Length(), 1.0, 1e-9);
    EXPECT_NEAR(f.m_dirX.Dot(f.m_dirY), 0.0, 1e-9);
    EXPECT_NEAR((f.m_dirX.Cross(f.m_dirY) - f.m_dirZ).Length(), 0.0, 1e-9);
}

struct Crown
{
    const QvTooth* tooth = nullptr;
    QvPoint crownMean; // vertices of the faces that are not grown root
    QvPoint loopMean;  // the crown boundary loop: the cervical rim
};

Crown Measure(const QvTooth& tooth)
{
    Crown c;
    c.tooth = &tooth;
    std::vector<char> used(tooth.m_vertices.size(), 0);
    for (const QvFace& f : tooth.m_faces)
        if (f.m_tag != kQvFaceTagVirtualRoot)
            for (int v : f.m_vertices)
                used[static_cast<std::size_t>(v)] = 1;
    std::vector<QvPoint> crown, loop;
    for (std::size_t i = 0; i < used.size(); ++i)
        if (used[i])
            crown.push_back(tooth.m_vertices[i].m_point);
    for (int v : *tooth.GetBoundaryLoop())
        loop.push_back(tooth.m_vertices[static_cast<std::size_t>(v)].m_point);
    c.crownMean = Mean(crown);
    c.loopMean = Mean(loop);
    return c;
}

class DemoConventions : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_folder = fs::temp_directory_path() / ("rivela-conventions-" + std::to_string(::getpid()));
        qvtest::DemoOptions options;
        options.dentition.facesPerTooth = 400;
        options.steps = 10;
        qvtest::DemoCase demo;
        ASSERT_TRUE(qvtest::BuildDemoCase(demo, options));
        std::string error;
        ASSERT_TRUE(qvtest::WriteDemoFiles(s_folder.string(), demo, options, &error)) << error;
    }
    static void TearDownTestSuite() { fs::remove_all(s_folder); }

    void SetUp() override
    {
        QvReadWriteFile reader(&m_model, 0);
        ASSERT_EQ(reader.ReadOS((s_folder / "demo.OS").string()), 0);
        for (QvEntity* entity : m_model.m_teeth)
        {
            const auto* tooth = static_cast<const QvTooth*>(entity);
            m_crowns[tooth->GetFdi()] = Measure(*tooth);
        }
    }

    QvModel m_model;
    std::map<int, Crown> m_crowns;
    static fs::path s_folder;
};

fs::path DemoConventions::s_folder;

// Jaw frames: X anterior, Z from the crowns towards the jaw's base, Y = Z x X; the
// lower frame is the upper turned half a turn about X.
TEST_F(DemoConventions, JawFramesPointAnteriorAndTowardsTheBase)
{
    const QvJaw* upper = m_model.GetJaw(true);
    const QvJaw* lower = m_model.GetJaw(false);
    ASSERT_NE(upper, nullptr);
    ASSERT_NE(lower, nullptr);
    for (const QvJaw* jaw : {upper, lower})
    {
        SCOPED_TRACE(jaw == upper ? "upper" : "lower");
        const QvFrame& f = *jaw->GetFrame();
        ExpectRightHanded(f);
        const int q = jaw == upper ? 10 : 40; // right quadrant of the jaw
        // Incisors lie ahead of the second molars of the same jaw.
        EXPECT_GT(f.m_dirX.Dot(Sub(m_crowns.at(q + 1).crownMean, m_crowns.at(q + 7).crownMean)), 5.0);
        // Crowns point away from the base: every cervical rim lies further along Z.
        for (const auto& [fdi, c] : m_crowns)
            if (FdiIsUpper(fdi) == (jaw == upper))
                EXPECT_GT(f.m_dirZ.Dot(Sub(c.loopMean, c.crownMean)), 1.0) << fdi;
        // The origin lies on the jaw's occlusal plane: every crown stands on its base side.
        for (const auto& [fdi, c] : m_crowns)
            if (FdiIsUpper(fdi) == (jaw == upper))
                EXPECT_GT(f.m_dirZ.Dot(Sub(c.crownMean, f.m_centre)), 0.0) << fdi;
    }
    const QvFrame& u = *upper->GetFrame();
    const QvFrame& l = *lower->GetFrame();
    EXPECT_NEAR((u.m_dirX - l.m_dirX).Length(), 0.0, 1e-9);
    EXPECT_NEAR((u.m_dirY + l.m_dirY).Length(), 0.0, 1e-9);
    EXPECT_NEAR((u.m_dirZ + l.m_dirZ).Length(), 0.0, 1e-9);
    // The upper jaw lies beyond the lower along the upper Z.
    EXPECT_GT(u.m_dirZ.Dot(Sub(m_crowns.at(11).crownMean, m_crowns.at(41).crownMean)), 5.0);
}

// Handedness: quadrants 2 and 4 on the +Y side of their jaw frame, 1 and 3 on the -Y
// side (upper Y to the patient's left, lower Y to the patient's right).
TEST_F(DemoConventions, QuadrantSideFollowsTheJawFrameY)
{
    for (const auto& [fdi, c] : m_crowns)
    {
        SCOPED_TRACE(fdi);
        const QvFrame& jaw = *m_model.GetJaw(FdiIsUpper(fdi))->GetFrame();
        const int quadrant = FdiQuadrant(fdi);
        const double side = jaw.m_dirY.Dot(Sub(c.crownMean, jaw.m_centre));
        if (quadrant == 2 || quadrant == 4)
            EXPECT_GT(side, 1.0);
        else
            EXPECT_LT(side, -1.0);
    }
    // The patient's right is the same side in both jaws.
    const QvFrame& upper = *m_model.GetJaw(true)->GetFrame();
    EXPECT_LT(upper.m_dirY.Dot(Sub(m_crowns.at(46).crownMean, m_crowns.at(36).crownMean)), -20.0);
}

// Tooth frames: Z from crown to root, X mesial, Y = Z x X (lingual in quadrants 1
// and 3, buccal in 2 and 4), Z along its jaw's Z.
TEST_F(DemoConventions, ToothFramesPointRootwardMesiallyAndAcross)
{
    ASSERT_EQ(m_crowns.size(), 28u);
    for (const auto& [fdi, c] : m_crowns)
    {
        SCOPED_TRACE(fdi);
        const QvFrame& f = *c.tooth->GetFrame();
        ExpectRightHanded(f);
        const QvFrame& jaw = *m_model.GetJaw(FdiIsUpper(fdi))->GetFrame();
        EXPECT_GT(f.m_dirZ.Dot(jaw.m_dirZ), 0.8);
        EXPECT_GT(f.m_dirZ.Dot(Sub(c.loopMean, c.crownMean)), 1.0);
        // X points to the mesial neighbour (the other central for a central incisor)
        // and away from the distal one.
        const int quadrant = FdiQuadrant(fdi), unit = fdi % 10;
        const int mesial = unit == 1 ? (quadrant % 2 == 1 ? fdi + 10 : fdi - 10) : fdi - 1;
        EXPECT_GT(f.m_dirX.Dot(Sub(m_crowns.at(mesial).tooth->GetFrame()->m_centre, f.m_centre)), 2.0);
        if (m_crowns.count(fdi + 1))
            EXPECT_LT(f.m_dirX.Dot(Sub(m_crowns.at(fdi + 1).tooth->GetFrame()->m_centre, f.m_centre)), -2.0);
        // Buccal: away from the middle of the arch's crowns, in the jaw's plane.
        std::vector<QvPoint> arch;
        for (const auto& [other, o] : m_crowns)
            if (FdiIsUpper(other) == FdiIsUpper(fdi))
                arch.push_back(o.crownMean);
        QvVector outward = Sub(c.crownMean, Mean(arch));
        outward = outward - jaw.m_dirZ * outward.Dot(jaw.m_dirZ);
        const double buccal = f.m_dirY.Dot(outward) / outward.Length();
        if (quadrant == 2 || quadrant == 4)
            EXPECT_GT(buccal, 0.3);
        else
            EXPECT_LT(buccal, -0.3);
    }
}

// Crown boundary loops as the tooth reader sets them: the rim of the crown faces, also
// on teeth whose mesh is closed by root faces.
TEST_F(DemoConventions, EveryCrownHasItsCervicalLoop)
{
    int rooted = 0;
    for (const auto& [fdi, c] : m_crowns)
    {
        SCOPED_TRACE(fdi);
        const std::vector<int>& loop = *c.tooth->GetBoundaryLoop();
        EXPECT_GE(loop.size(), 8u);
        rooted += c.tooth->HasRootFaces();
        // The rim is the crown's far end from the cusps: nothing of the crown lies
        // further rootward than the loop by more than a rounding.
        const QvFrame& f = *c.tooth->GetFrame();
        double loopDepth = -1e300;
        for (int v : loop)
            loopDepth = std::max(loopDepth, f.m_dirZ.Dot(Sub(c.tooth->m_vertices[static_cast<std::size_t>(v)].m_point,
                                                              f.m_centre)));
        for (const QvFace& face : c.tooth->m_faces)
            if (face.m_tag != kQvFaceTagVirtualRoot)
                for (int v : face.m_vertices)
                    EXPECT_LE(f.m_dirZ.Dot(Sub(c.tooth->m_vertices[static_cast<std::size_t>(v)].m_point, f.m_centre)),
                              loopDepth + 1e-6);
    }
    EXPECT_GT(rooted, 0);
}

// Tooth Z points at the root side: the short root the case document grows on every
// crown without one leaves the cervical rim away from the cusps, and so does the long
// root of the rooted teeth.
TEST_F(DemoConventions, RootsGrowAwayFromTheCusps)
{
    int grown = 0;
    for (QvEntity* entity : m_model.m_teeth)
    {
        auto* tooth = static_cast<QvTooth*>(entity);
        SCOPED_TRACE(tooth->GetFdi());
        const QvFrame f = *tooth->GetFrame();
        const Crown before = Measure(*tooth);
        double rim = -1e300;
        for (int v : *tooth->GetBoundaryLoop())
            rim = std::max(rim, f.m_dirZ.Dot(tooth->m_vertices[static_cast<std::size_t>(v)].m_point - f.m_centre));
        if (!tooth->HasRootFaces())
        {
            tooth->UpdateBoundaryLoop();
            QvVirtualRootCommand grow(tooth, *tooth->GetBoundaryLoop(), 2.0, 0.5);
            ASSERT_TRUE(grow.Execute());
            ++grown;
        }
        std::vector<QvPoint> root;
        for (const QvFace& face : tooth->m_faces)
            if (face.m_tag == kQvFaceTagVirtualRoot)
                for (int v : face.m_vertices)
                    root.push_back(tooth->m_vertices[static_cast<std::size_t>(v)].m_point);
        ASSERT_FALSE(root.empty());
        double deepest = -1e300;
        for (const QvPoint& p : root)
            deepest = std::max(deepest, f.m_dirZ.Dot(p - f.m_centre));
        EXPECT_GT(deepest, rim + 1.5);
        // The crown's cusps stay on the other side of the rim.
        EXPECT_LT(f.m_dirZ.Dot(before.crownMean - f.m_centre), rim);
    }
    EXPECT_GT(grown, 10);
}

// Occlusal planes (first upper, second lower) lie on the cusp tips with the jaw's Z as
// normal; the arch forms run through the crowns with the incisors at their middle.
TEST_F(DemoConventions, SchemeCarriesOcclusalPlanesAndArchForms)
{
    const QvSchemeMgr* mgr = QvGetSchemeMgr(m_model);
    ASSERT_NE(mgr, nullptr);
    const QvScheme* scheme = mgr->GetCurScheme();
    ASSERT_NE(scheme, nullptr);
    for (const bool upper : {true, false})
    {
        SCOPED_TRACE(upper ? "upper" : "lower");
        const QvOcclusalPlane* plane = upper ? scheme->m_pOcclusalPlane1 : scheme->m_pOcclusalPlane2;
        const QvArchForm* form = upper ? scheme->m_pArchForm1 : scheme->m_pArchForm2;
        ASSERT_NE(plane, nullptr);
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->IsUpper(), upper);
        const QvFrame& jaw = *m_model.GetJaw(upper)->GetFrame();
        EXPECT_GT(std::fabs(plane->m_frame.m_dirZ.Dot(jaw.m_dirZ)), 0.999);
        // Every crown's tip end lies within a few tenths of the plane.
        const int q = upper ? 10 : 40;
        const QvPoint front = form->GetCurve().Evaluate(0.5);
        const QvPoint incisors = Mean({m_crowns.at(q + 1).crownMean, m_crowns.at(q == 10 ? 21 : 31).crownMean});
        EXPECT_GT(jaw.m_dirX.Dot(Sub(front, m_crowns.at(q + 6).crownMean)), 10.0);
        EXPECT_LT(std::fabs(jaw.m_dirY.Dot(Sub(front, incisors))), 1.0);
        EXPECT_LT(std::fabs(jaw.m_dirZ.Dot(Sub(front, plane->m_frame.m_centre))), 1e-6);
    }
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The scheme's gums per step, and moving the lower jaw of a step.
#include <gtest/gtest.h>

#include <cmath>

#include "core/gum/QvCreateGumCommandOld.h"
#include "core/model/QvGum.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeGums.h"
#include "testing/DemoCase.h"

namespace {

struct TenSteps
{
    TenSteps()
    {
        qvtest::DemoOptions options;
        options.steps = 10;
        options.dentition.facesPerTooth = 1200;
        ok = qvtest::BuildDemoCase(demo, options);
        if (ok)
            for (const bool upper : {true, false})
                demo.scheme->GetGumMgr().SetGumFrame(demo.model->GetJaw(upper)->m_frame, upper);
    }
    qvtest::DemoCase demo;
    bool ok = false;
};

QvPoint BoxCentre(QvMesh& mesh)
{
    QvPoint c = mesh.GetCenter();
    return c;
}

QvMatrix Translation(double x, double y, double z) { return qvtest::Translation4(x, y, z); }

} // namespace

TEST(SchemeGums, CreateGumsPerStepAndEmptyScheme)
{
    TenSteps f;
    ASSERT_TRUE(f.ok);
    QvScheme& scheme = *f.demo.scheme;
    const int n = scheme.GetStepCount();
    ASSERT_TRUE(scheme.CreateGums(true, 2));
    ASSERT_EQ(scheme.GetGumMgr().m_entries.size(), 1u);
    EXPECT_EQ(scheme.GetGumMgr().m_entries[0].m_nStep, 2);
    EXPECT_NE(scheme.GetGumMgr().FindGum(2, true), nullptr);
    EXPECT_NE(scheme.GetGumMgr().FindGum(2, false), nullptr);

    ASSERT_TRUE(PrepareSchemeGums(scheme, false));
    const std::vector<QvGumEntry>& entries = scheme.GetGumMgr().m_entries;
    ASSERT_EQ(static_cast<int>(entries.size()), n); // steps 1 .. n-1, and step 0 from the model
    EXPECT_EQ(entries.front().m_nStep, 0);
    for (int i = 1; i < n; ++i)
    {
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].m_nStep, i);
        EXPECT_NE(entries[static_cast<std::size_t>(i)].m_pUpper, nullptr) << i;
        EXPECT_NE(entries[static_cast<std::size_t>(i)].m_pLower, nullptr) << i;
    }
    // Step 0 holds copies of the model's own gums.
    ASSERT_NE(entries.front().m_pUpper, nullptr);
    EXPECT_EQ(entries.front().m_pUpper->m_faces.size(), f.demo.model->GetGum(true)->m_faces.size());

    QvScheme empty;
    empty.SetModel(f.demo.model.get());
    EXPECT_FALSE(empty.CreateGums(true, -1));
    EXPECT_TRUE(empty.GetGumMgr().m_entries.empty());
}

TEST(SchemeGums, UpdateShowAndVirtualTeeth)
{
    TenSteps f;
    ASSERT_TRUE(f.ok);
    QvScheme& scheme = *f.demo.scheme;
    // No entry for step 3: nothing to update or show, nothing breaks.
    EXPECT_TRUE(scheme.UpdateGum(3, true, false));
    const std::size_t before = f.demo.model->GetGum(true)->m_faces.size();
    scheme.ShowStepGums(3);
    EXPECT_EQ(f.demo.model->GetGum(true)->m_faces.size(), before);

    // A null stored gum takes the rebuilt one; showing copies it into the model.
    scheme.GetGumMgr().AddGums(QvGumEntry{nullptr, nullptr, 3});
    EXPECT_TRUE(scheme.UpdateGum(3, true, false));
    ASSERT_NE(scheme.GetGumMgr().FindGum(3, true), nullptr);
    EXPECT_EQ(scheme.GetGumMgr().FindGum(3, false), nullptr);
    scheme.ShowStepGums(3);
    EXPECT_EQ(f.demo.model->GetGum(true)->m_faces.size(), scheme.GetGumMgr().FindGum(3, true)->m_faces.size());

    // The pontic stands in for its tooth from its start step on.
    QvVirtualTooth* pontic = f.demo.pontic;
    ASSERT_NE(pontic, nullptr);
    pontic->m_nStartStep = 4;
    std::map<QvToothBase*, QvMatrix*> at3, at4;
    scheme.BuildGumTeeth(3, pontic->IsUpper(), at3);
    scheme.BuildGumTeeth(4, pontic->IsUpper(), at4);
    EXPECT_EQ(at3.count(pontic), 0u);
    EXPECT_EQ(at4.count(pontic), 1u);
    for (const auto& e : at4)
        if (e.first != pontic)
            EXPECT_NE(e.first->GetPositionFdi(), f.demo.extractedFdi) << "replaced tooth left in";
    for (auto* m : {&at3, &at4})
        for (auto& e : *m)
            delete e.second;
}

TEST(SchemeGums, JawMatrixMovesLowerStepsAndGum)
{
    TenSteps f;
    ASSERT_TRUE(f.ok);
    QvScheme& scheme = *f.demo.scheme;
    const int s = 3;
    ASSERT_TRUE(scheme.CreateGums(true, s));
    QvPoint lowerBefore = BoxCentre(*scheme.GetGumMgr().FindGum(s, false));
    QvPoint upperBefore = BoxCentre(*scheme.GetGumMgr().FindGum(s, true));
    QvTreatStepList* list = scheme.m_stepLists[static_cast<std::size_t>(s)];
    std::vector<std::pair<QvTreatStep*, QvMatrix>> saved;
    for (QvTreatStep* step : list->m_steps)
        saved.emplace_back(step, step->m_matrix);

    scheme.SetStepJawMatrix(s, list->m_jawMatrix); // the same jaw: nothing moves
    for (const auto& [step, m] : saved)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(step->m_matrix[r][c], m[r][c], 1e-12);

    scheme.SetStepJawMatrix(s, Translation(0.0, 0.0, 1.5) * list->m_jawMatrix);
    for (const auto& [step, m] : saved)
    {
        const double dz = step->GetTooth()->IsUpper() ? 0.0 : 1.5;
        EXPECT_NEAR(step->m_matrix[2][3], m[2][3] + dz, 1e-9);
    }
    EXPECT_TRUE(scheme.UpdateGum(s, true, true));
    const QvPoint lowerAfter = BoxCentre(*scheme.GetGumMgr().FindGum(s, false));
    const QvPoint upperAfter = BoxCentre(*scheme.GetGumMgr().FindGum(s, true));
    EXPECT_NEAR(lowerAfter[2] - lowerBefore[2], 1.5, 1e-6);
    EXPECT_NEAR(upperAfter.Distance(upperBefore), 0.0, 1e-9);

    // Bite recovery takes the jaw out again and drops the bite steps.
    list->m_bBite = true;
    scheme.RecoverTeethBite(s);
    EXPECT_TRUE(list->m_jawMatrix.IsIdentity());
    EXPECT_FALSE(list->m_bBite);
    for (const QvTreatStep* step : list->m_steps)
        EXPECT_NE(step->GetType(), kQvStepBite);

    // A singular jaw matrix leaves the step as it is.
    QvMatrix singular = qvtest::Identity4();
    singular[0][0] = 0.0;
    list->m_jawMatrix = singular;
    const QvMatrix kept = list->m_steps.front()->m_matrix;
    scheme.SetStepJawMatrix(s, qvtest::Identity4());
    scheme.RecoverTeethBite(s);
    EXPECT_EQ(list->m_jawMatrix[0][0], 0.0);
    EXPECT_EQ(list->m_steps.front()->m_matrix[0][3], kept[0][3]);
}

TEST(SchemeGums, BiteListsMoveTheLowerGum)
{
    TenSteps f;
    ASSERT_TRUE(f.ok);
    QvScheme& scheme = *f.demo.scheme;
    // The demo's last bite list advances the lower jaw: the lower gum follows its teeth.
    int bite = -1;
    for (int i = 0; i < static_cast<int>(scheme.m_stepLists.size()); ++i)
        if (!scheme.m_stepLists[static_cast<std::size_t>(i)]->m_jawMatrix.IsIdentity())
            bite = i;
    ASSERT_GT(bite, 1);
    const int before = f.demo.lowerFinalStep;
    ASSERT_TRUE(scheme.CreateGums(true, before));
    ASSERT_TRUE(scheme.CreateGums(true, bite));
    const QvMatrix& jaw = scheme.m_stepLists[static_cast<std::size_t>(bite)]->m_jawMatrix;
    const QvPoint a = scheme.GetGumMgr().FindGum(before, false)->GetCenter();
    const QvPoint b = scheme.GetGumMgr().FindGum(bite, false)->GetCenter();
    const QvVector moved = b - a;
    const QvVector advance(jaw[0][3], jaw[1][3], jaw[2][3]);
    EXPECT_GT(advance.Length(), 0.4);
    EXPECT_LT((moved - advance).Length(), 0.05 * advance.Length());
}

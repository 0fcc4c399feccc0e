// SPDX-License-Identifier: GPL-3.0-or-later
// The scheme's gums per step, and moving the lower jaw of a step.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

// Every member the builder writes, compared bit for bit.
void ExpectSameGum(const QvGum* a, const QvGum* b, const std::string& where)
{
    ASSERT_EQ(a == nullptr, b == nullptr) << where;
    if (!a)
        return;
    EXPECT_EQ(a->GetID(), b->GetID()) << where;
    EXPECT_EQ(a->m_bModified, b->m_bModified) << where;
    ASSERT_EQ(a->m_vertices.size(), b->m_vertices.size()) << where;
    ASSERT_EQ(a->m_edges.size(), b->m_edges.size()) << where;
    ASSERT_EQ(a->m_faces.size(), b->m_faces.size()) << where;
    EXPECT_EQ(a->m_colors.size(), b->m_colors.size()) << where;
    const auto same = [](const auto& x, const auto& y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    for (int k = 0; k < 3; ++k)
    {
        EXPECT_TRUE(same(a->m_bbox.m_minPoint.m_coord[k], b->m_bbox.m_minPoint.m_coord[k])) << where;
        EXPECT_TRUE(same(a->m_bbox.m_maxPoint.m_coord[k], b->m_bbox.m_maxPoint.m_coord[k])) << where;
    }
    for (std::size_t i = 0; i < a->m_vertices.size(); ++i)
    {
        const QvVertex& x = a->m_vertices[i];
        const QvVertex& y = b->m_vertices[i];
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(same(x.m_point.m_coord[k], y.m_point.m_coord[k])) << where << " vertex " << i;
        ASSERT_EQ(x.m_index, y.m_index) << where << " vertex " << i;
        ASSERT_EQ(x.m_edges, y.m_edges) << where << " vertex " << i;
    }
    for (std::size_t i = 0; i < a->m_edges.size(); ++i)
    {
        const QvEdge& x = a->m_edges[i];
        const QvEdge& y = b->m_edges[i];
        ASSERT_TRUE(x.m_index == y.m_index && same(x.m_vertices, y.m_vertices) && same(x.m_faces, y.m_faces))
            << where << " edge " << i;
    }
    for (std::size_t i = 0; i < a->m_faces.size(); ++i)
    {
        const QvFace& x = a->m_faces[i];
        const QvFace& y = b->m_faces[i];
        ASSERT_TRUE(x.m_index == y.m_index && x.m_tag == y.m_tag && same(x.m_vertices, y.m_vertices) &&
                    same(x.m_edges, y.m_edges))
            << where << " face " << i;
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(same(x.m_normal.m_coord[k], y.m_normal.m_coord[k])) << where << " face " << i;
    }
}

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

// A case's gums are built side by side; each must be the gum, id included, that building
// them one after another from the same entity counter gives, on every demo step.
TEST(SchemeGums, SideBySideEqualsOneAfterAnother)
{
    qvtest::DemoOptions options;
    options.dentition.facesPerTooth = 1200;
    qvtest::DemoCase demo;
    ASSERT_TRUE(qvtest::BuildDemoCase(demo, options));
    QvScheme& scheme = *demo.scheme;
    for (const bool upper : {true, false})
        scheme.GetGumMgr().SetGumFrame(demo.model->GetJaw(upper)->m_frame, upper);
    const int n = scheme.GetStepCount();
    ASSERT_GE(n, 30);

    const std::int32_t start = QvEntity::PeekNextId() + 1000;
    QvEntity::SetNextId(start);
    std::vector<std::unique_ptr<QvGum>> one; // step-major, upper first
    for (int step = 0; step < n; ++step)
        for (const bool upper : {true, false})
        {
            std::map<QvToothBase*, QvMatrix*> teeth;
            scheme.BuildGumTeeth(step, upper, teeth);
            QvFrame frame = scheme.GetGumMgr().GetGumFrame(upper);
            if (!upper)
                frame.Transform(scheme.m_stepLists[static_cast<std::size_t>(step)]->m_jawMatrix);
            std::unique_ptr<QvGum> gum;
            if (teeth.size() >= 2)
            {
                QvCreateGumCommandOld command(frame, teeth);
                command.SetCapToothRings(false);
                command.SetStitchBorder(false);
                if (command.Execute())
                {
                    gum = std::make_unique<QvGum>();
                    gum->CopyMeshData(*command.m_pGumMesh);
                    gum->m_bModified = true;
                }
            }
            one.push_back(std::move(gum));
            for (auto& e : teeth)
                delete e.second;
        }
    const std::int32_t end = QvEntity::PeekNextId();

    QvEntity::SetNextId(start);
    ASSERT_TRUE(scheme.CreateGums(true, -1));
    EXPECT_EQ(QvEntity::PeekNextId(), end);
    const std::vector<QvGumEntry>& entries = scheme.GetGumMgr().m_entries;
    ASSERT_EQ(static_cast<int>(entries.size()), n);
    for (int step = 0; step < n; ++step)
    {
        const QvGumEntry& entry = entries[static_cast<std::size_t>(step)];
        EXPECT_EQ(entry.m_nStep, step);
        EXPECT_NE(entry.m_pUpper, nullptr) << step;
        ExpectSameGum(one[static_cast<std::size_t>(2 * step)].get(), entry.m_pUpper, "upper step " + std::to_string(step));
        ExpectSameGum(one[static_cast<std::size_t>(2 * step + 1)].get(), entry.m_pLower,
                      "lower step " + std::to_string(step));
    }
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

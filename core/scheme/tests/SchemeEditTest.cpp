// SPDX-License-Identifier: GPL-3.0-or-later
// Step editing inside the edit frame, and the invariants a sequence of edits keeps.
#include <gtest/gtest.h>

#include <random>

#include "SchemeFixtures.h"

namespace {

using namespace qvschemetest;
using Steps = std::vector<std::pair<int, int>>;

// Initial steps for every tooth, then per tooth the given steps.
void Fill(QvScheme& s, QvToothBase* tooth, const Steps& steps)
{
    for (const auto& [n, type] : steps)
        ASSERT_NE(s.InsertTreatStep(tooth, n, type, Translation(0.1 * n, 0, 0)), nullptr);
}

TEST(StepEdit, AddTreatStepTakesALowerMatrixJawRelative)
{
    SchemeCase c({11, 31});
    QvScheme& s = *c.scheme;
    Fill(s, c.Tooth(11), {{0, kQvStepInitial}});
    Fill(s, c.Tooth(31), {{0, kQvStepInitial}});
    s.InsertTreatStep(c.Tooth(11), 3, kQvStepMoving);
    const QvMatrix j = Placement(QvVector(1, 0, 0), 6, 0, 0.2, -0.4);
    s.m_stepLists[3]->m_jawMatrix = j;
    const QvMatrix m = Placement(QvVector(0, 1, 0), 12, 1, 2, 3);
    const QvTreatStep* lower = s.AddTreatStep(c.Tooth(31), 3, kQvStepMoving, m);
    ASSERT_NE(lower, nullptr);
    EXPECT_TRUE(Near(lower->m_matrix, j * m, 1e-12));
    const QvTreatStep* upper = s.AddTreatStep(c.Tooth(11), 2, kQvStepMoving, m);
    EXPECT_TRUE(Near(upper->m_matrix, m, 0));

    testing::internal::CaptureStdout();
    EXPECT_EQ(s.AddTreatStep(c.Tooth(31), 3, kQvStepKey, m), nullptr);
    EXPECT_FALSE(testing::internal::GetCapturedStdout().empty());
    EXPECT_TRUE(Near(s.GetTreatStep(3, c.Tooth(31))->m_matrix, j * m, 1e-12));
    EXPECT_EQ(s.AddTreatStep(nullptr, 3, kQvStepKey), nullptr);
    EXPECT_TRUE(Consistent(s));
}

TEST(StepEdit, OverCorrectionStepsFollowTheTreatStepCount)
{
    SchemeCase c({11, 21});
    QvScheme& s = *c.scheme;
    Fill(s, c.Tooth(11),
         {{0, kQvStepInitial},
          {1, kQvStepMoving},
          {2, kQvStepMoving},
          {3, kQvStepFinal},
          {4, kQvStepOverCorrectionEnd}});
    Fill(s, c.Tooth(21), {{0, kQvStepInitial}, {5, kQvStepFinal}});
    ASSERT_NE(s.AddTreatStep(c.Tooth(21), 2, kQvStepKey), nullptr);
    EXPECT_EQ(s.GetTreatStepCount(), 6);
    EXPECT_EQ(StepsOf(s, c.Tooth(11)), (Steps{{0, kQvStepInitial},
                                              {1, kQvStepMoving},
                                              {2, kQvStepMoving},
                                              {3, kQvStepFinal},
                                              {6, kQvStepOverCorrectionEnd}}));
    EXPECT_TRUE(Consistent(s));
}

TEST(StepEdit, RemoveKeyStepClosesTheGapAndInterpolatesAcrossIt)
{
    SchemeCase c({11});
    QvScheme& s = *c.scheme;
    QvTooth* t = c.teeth[0];
    s.InsertTreatStep(t, 0, kQvStepInitial);
    for (int n = 1; n < 4; ++n)
        s.InsertTreatStep(t, n, kQvStepMoving, Translation(9, 9, 9));
    s.InsertTreatStep(t, 4, kQvStepFinal, Translation(3, 0, 0));
    ASSERT_TRUE(s.RemoveKeyStep(2, t));
    EXPECT_EQ(StepsOf(s, t), (Steps{{0, kQvStepInitial}, {1, kQvStepMoving}, {2, kQvStepMoving}, {3, kQvStepFinal}}));
    // The interpolation runs from 0 to the final step now at 3.
    EXPECT_TRUE(Near(s.GetTreatStep(1, t)->m_matrix, Translation(1, 0, 0)));
    EXPECT_TRUE(Near(s.GetTreatStep(2, t)->m_matrix, Translation(2, 0, 0)));

    EXPECT_FALSE(s.RemoveKeyStep(2, nullptr));
    EXPECT_FALSE(s.RemoveKeyStep(9, t));
    EXPECT_FALSE(s.RemoveKeyStep(-1, t));
    EXPECT_TRUE(Consistent(s));
}

TEST(StepEdit, RemovingALowerToothsLastStepRestoresJawAndBiteSteps)
{
    SchemeCase c({31, 41});
    QvScheme& s = *c.scheme;
    Fill(s, c.Tooth(31), {{0, kQvStepInitial}, {1, kQvStepMoving}, {2, kQvStepFinal}});
    Fill(s, c.Tooth(41), {{0, kQvStepInitial}, {1, kQvStepMoving}, {3, kQvStepFinal}});
    const QvMatrix j = Translation(0, 0, -1);
    s.m_stepLists[2]->m_jawMatrix = j;
    s.m_stepLists[3]->m_jawMatrix = j;
    s.m_stepLists[3]->m_bBite = true;
    const QvMatrix moving = s.GetTreatStep(1, c.Tooth(31))->m_matrix;
    const QvMatrix other = s.GetTreatStep(3, c.Tooth(41))->m_matrix;
    ASSERT_TRUE(s.RemoveKeyStep(2, c.Tooth(31)));
    EXPECT_TRUE(Near(s.GetTreatStep(1, c.Tooth(31))->m_matrix, moving, 0));
    EXPECT_TRUE(Near(s.GetTreatStep(3, c.Tooth(41))->m_matrix, other, 0));
    // 31 now follows the jaw of list 3 from its last anchor, the initial step.
    const QvTreatStep* bite = s.GetTreatStep(3, c.Tooth(31));
    ASSERT_NE(bite, nullptr);
    EXPECT_EQ(bite->m_nType, kQvStepBite);
    EXPECT_TRUE(Near(bite->m_matrix, j * s.GetInitialStep(c.Tooth(31))->m_matrix, 1e-12));
    EXPECT_TRUE(Consistent(s));
}

TEST(StepEdit, MoveToothStepCollapsesOrStretchesTheSequence)
{
    SchemeCase c({11, 21});
    QvScheme& s = *c.scheme;
    QvTooth* t = c.Tooth(11);
    Fill(s, t, {{0, kQvStepInitial}, {5, kQvStepKey}, {10, kQvStepFinal}});
    ASSERT_TRUE(s.MoveToothStep(10, 1, t));
    EXPECT_EQ(StepsOf(s, t), (Steps{{0, kQvStepInitial}, {1, kQvStepFinal}}));

    QvTooth* u = c.Tooth(21);
    Fill(s, u, {{0, kQvStepInitial}, {2, kQvStepFinal}});
    s.GetTreatStep(2, u)->m_matrix = Translation(0, 4, 0);
    ASSERT_TRUE(s.MoveToothStep(2, 4, u));
    EXPECT_EQ(StepsOf(s, u), (Steps{{0, kQvStepInitial},
                                    {2, kQvStepMoving},
                                    {3, kQvStepMoving},
                                    {4, kQvStepFinal}}));
    // The moving steps inserted before the moved step are interpolated; the step at
    // 1 is not one of the tooth's (the fraction counts moving steps only).
    EXPECT_TRUE(Near(s.GetTreatStep(2, u)->m_matrix, Translation(0, 4.0 / 3, 0)));
    EXPECT_TRUE(Near(s.GetTreatStep(3, u)->m_matrix, Translation(0, 8.0 / 3, 0)));

    // An initial step moves the whole sequence.
    ASSERT_TRUE(s.MoveToothStep(0, 2, t));
    EXPECT_EQ(StepsOf(s, t), (Steps{{2, kQvStepInitial}, {3, kQvStepFinal}}));

    EXPECT_FALSE(s.MoveToothStep(3, 3, t));
    EXPECT_FALSE(s.MoveToothStep(7, 1, t));
    EXPECT_FALSE(s.MoveToothStep(3, -1, t));
    EXPECT_TRUE(Consistent(s));
}

TEST(StepEdit, ResetStepsKeepsInitialAndFinalOrOnlyStepZero)
{
    SchemeCase c({11, 31});
    QvScheme& s = *c.scheme;
    Fill(s, c.Tooth(11), {{0, kQvStepInitial}, {7, kQvStepKey}, {20, kQvStepFinal}, {22, kQvStepOverCorrectionEnd}});
    Fill(s, c.Tooth(31), {{2, kQvStepInitial}, {9, kQvStepFinal}});
    QvVirtualTooth* pontic = c.AddVirtualTooth(36, Identity());
    Fill(s, pontic, {{0, kQvStepInitial}, {4, kQvStepMoving}, {12, kQvStepFinal}});
    ASSERT_TRUE(s.ResetSteps(false));
    EXPECT_EQ(StepsOf(s, c.Tooth(11)), (Steps{{0, kQvStepInitial}, {1, kQvStepFinal}, {2, kQvStepOverCorrectionEnd}}));
    EXPECT_EQ(StepsOf(s, c.Tooth(31)), (Steps{{0, kQvStepInitial}, {1, kQvStepFinal}}));
    EXPECT_EQ(StepsOf(s, pontic), (Steps{{0, kQvStepInitial}, {1, kQvStepFinal}}));
    EXPECT_TRUE(Consistent(s));

    ASSERT_TRUE(s.ResetSteps(true));
    EXPECT_EQ(s.m_stepLists.size(), 1u);
    EXPECT_EQ(StepsOf(s, c.Tooth(11)), (Steps{{0, kQvStepInitial}}));

    QvScheme empty;
    empty.SetModel(&c.model);
    ASSERT_TRUE(empty.ResetSteps(true));
    EXPECT_EQ(StepsOf(empty, c.Tooth(31)), (Steps{{0, kQvStepInitial}}));
}

TEST(StepEdit, ShiftTakeAndRemoveToothSteps)
{
    SchemeCase c({11});
    QvScheme& s = *c.scheme;
    QvTooth* t = c.teeth[0];
    Fill(s, t, {{0, kQvStepInitial}, {2, kQvStepKey}, {3, kQvStepFinal}});
    ASSERT_TRUE(s.ShiftToothSteps(t, 2, 5));
    EXPECT_EQ(StepsOf(s, t), (Steps{{0, kQvStepInitial}, {5, kQvStepKey}, {6, kQvStepFinal}}));
    EXPECT_TRUE(s.ShiftToothSteps(t, 40, 41)); // nothing to move
    EXPECT_FALSE(s.ShiftToothSteps(t, 2, -1));
    EXPECT_FALSE(s.ShiftToothSteps(nullptr, 2, 3));

    std::vector<QvTreatStep*> collected;
    s.CollectToothSteps(t, 1, collected);
    EXPECT_EQ(collected.size(), 2u);
    EXPECT_TRUE(s.SetStepType(5, t, kQvStepMoving));
    EXPECT_FALSE(s.SetStepType(4, t, kQvStepMoving));

    ASSERT_TRUE(s.InsertStepAfter(0, t, kQvStepHold));
    EXPECT_EQ(StepsOf(s, t), (Steps{{0, kQvStepInitial}, {1, kQvStepHold}, {6, kQvStepMoving}, {7, kQvStepFinal}}));
    EXPECT_FALSE(s.InsertStepAfter(0, t, kQvStepKey));
    EXPECT_FALSE(s.InsertStepAfter(3, t, kQvStepHold));

    ASSERT_TRUE(s.RemoveToothSteps(t));
    EXPECT_TRUE(StepsOf(s, t).empty());
    EXPECT_FALSE(s.RemoveToothSteps(nullptr));
    EXPECT_TRUE(Consistent(s));
}

// ---- Attachments through the installed link ----------------------------------------

// Stand-ins of the attachment library's records: an attachment is its last step, a
// list its tooth and attachments.
struct FakeList
{
    QvToothBase* tooth;
    std::vector<int> lastSteps;
    std::vector<int> firstSteps;
};

class FakeLink : public QvSchemeAttachLink
{
public:
    static FakeList* Of(QvAttachStepList* list) { return reinterpret_cast<FakeList*>(list); }
    static const FakeList* Of(const QvAttachStepList* list) { return reinterpret_cast<const FakeList*>(list); }
    static QvAttachStepList* Wrap(FakeList* list) { return reinterpret_cast<QvAttachStepList*>(list); }

    QvToothBase* GetTooth(const QvAttachStepList& list) const override { return Of(&list)->tooth; }
    QvAttachStepList* CopyList(const QvAttachStepList& list) const override { return Wrap(new FakeList(*Of(&list))); }
    QvAttachStepList* CopyEndList(const QvAttachStepList& list, int finalStep) const override
    {
        auto* copy = new FakeList{Of(&list)->tooth, {}, {}};
        for (const int last : Of(&list)->lastSteps)
            if (last >= finalStep)
            {
                copy->lastSteps.push_back(1);
                copy->firstSteps.push_back(1);
            }
        if (!copy->lastSteps.empty())
            return Wrap(copy);
        delete copy;
        return nullptr;
    }
    void DestroyList(QvAttachStepList* list, QvModel*) const override
    {
        ++*destroyed;
        delete Of(list);
    }
    QvBracketList* NewBracketList() const override { return reinterpret_cast<QvBracketList*>(new int(0)); }
    void CopyBracketList(QvBracketList& to, const QvBracketList& from) const override
    {
        *reinterpret_cast<int*>(&to) = *reinterpret_cast<const int*>(&from);
    }
    void DestroyBracketList(QvBracketList* list) const override { delete reinterpret_cast<int*>(list); }

    int* destroyed = nullptr;
};

TEST(StepEdit, CopyEndAttachmentsKeepsWhatIsPresentAtTheFinalStep)
{
    SchemeCase c({11, 21, 31});
    int destroyed = 0;
    auto link = std::make_unique<FakeLink>();
    link->destroyed = &destroyed;
    QvSetSchemeAttachLink(std::move(link));
    QvScheme& s = *c.scheme;
    Fill(s, c.Tooth(11), {{0, kQvStepInitial}, {8, kQvStepFinal}});
    Fill(s, c.Tooth(21), {{0, kQvStepInitial}, {8, kQvStepFinal}});
    Fill(s, c.Tooth(31), {{0, kQvStepInitial}}); // no final step
    s.m_attachLists.push_back(FakeLink::Wrap(new FakeList{c.Tooth(11), {8, 5, 12}, {}}));
    s.m_attachLists.push_back(FakeLink::Wrap(new FakeList{c.Tooth(21), {7}, {}}));
    s.m_attachLists.push_back(FakeLink::Wrap(new FakeList{c.Tooth(31), {20}, {}}));
    EXPECT_EQ(s.GetAttachStepList(c.Tooth(21)), s.m_attachLists[1]);

    QvScheme copy;
    copy.CopyFrom(s, false);
    ASSERT_EQ(copy.m_attachLists.size(), 3u);
    EXPECT_NE(copy.m_attachLists[0], s.m_attachLists[0]);

    ASSERT_TRUE(s.CopyEndAttachments());
    EXPECT_EQ(destroyed, 3);
    ASSERT_EQ(s.m_attachLists.size(), 1u);
    const FakeList* kept = FakeLink::Of(s.m_attachLists[0]);
    EXPECT_EQ(kept->tooth, c.Tooth(11));
    EXPECT_EQ(kept->lastSteps, (std::vector<int>{1, 1}));
    EXPECT_EQ(kept->firstSteps, (std::vector<int>{1, 1}));

    ASSERT_NE(s.GetBracketList(), nullptr);
    EXPECT_EQ(s.GetBracketList(), s.GetBracketList());
    s.DeleteBracketList();
    EXPECT_EQ(s.m_pBracketList, nullptr);
}

// ---- Invariants over random edit sequences -----------------------------------------

TEST(StepEdit, RandomEditSequencesKeepTheListsConsistent)
{
    std::mt19937 random(11);
    for (int round = 0; round < 12; ++round)
    {
        SchemeCase c({11, 12, 21, 31, 32, 41, 42});
        QvScheme& s = *c.scheme;
        s.CreateInitialSteps();
        for (QvTooth* tooth : c.teeth)
        {
            s.InsertTreatStep(tooth, 6, kQvStepKey, Placement(QvVector(0, 0, 1), 10, 0.5, 0, 0));
            s.InsertTreatStep(tooth, 12, kQvStepFinal, Placement(QvVector(0, 1, 0), 15, 1, 0.5, 0));
            for (int n = 1; n < 12; ++n)
                if (n != 6)
                    s.InsertTreatStep(tooth, n, kQvStepMoving);
        }
        for (int n = 8; n < 13; ++n)
        {
            s.m_stepLists[static_cast<std::size_t>(n)]->m_jawMatrix = Placement(QvVector(1, 0, 0), n - 7.0, 0, 0, -0.1);
            s.m_stepLists[static_cast<std::size_t>(n)]->m_bBite = n % 2 == 0;
        }
        s.AddBiteSteps();
        ASSERT_TRUE(Consistent(s));
        // Teeth nobody edits keep their placements through every edit, the lower one
        // with its bite steps generated again each time.
        const QvTooth* bystanders[] = {c.Tooth(12), c.Tooth(42)};
        std::vector<QvMatrix> kept;
        for (const QvTooth* bystander : bystanders)
            for (int n = 0; n < 13; ++n)
                kept.push_back(s.FindStep(n, bystander)->m_matrix);

        const std::vector<QvTooth*> edited = {c.Tooth(11), c.Tooth(21), c.Tooth(31), c.Tooth(32), c.Tooth(41)};
        for (int k = 0; k < 40; ++k)
        {
            QvTooth* tooth = edited[random() % edited.size()];
            const int a = static_cast<int>(random() % 14);
            const int b = static_cast<int>(random() % 14);
            testing::internal::CaptureStdout();
            // Shifting and aligning alone are parts of the edits, run inside their frame.
            switch (random() % 5)
            {
            case 0:
                s.AddTreatStep(tooth, a, kQvStepKey, Placement(QvVector(1, 1, 0), b, 0.1 * b, 0, 0));
                break;
            case 1:
                s.RemoveKeyStep(a, tooth);
                break;
            case 2:
                s.MoveToothStep(a, b, tooth);
                break;
            case 3:
                s.AddTreatStep(tooth, a, kQvStepMoving);
                break;
            case 4:
                s.InsertStepAfter(a, tooth, random() % 2 ? kQvStepHold : kQvStepMoving);
                break;
            }
            (void)testing::internal::GetCapturedStdout();
            ASSERT_TRUE(Consistent(s)) << round << " edit " << k;
            for (const QvTreatStepList* list : s.m_stepLists)
                for (const QvTreatStep* step : list->m_steps)
                    ASSERT_TRUE(step->m_nType != kQvStepBite || (list->m_bBite && !step->m_pTooth->IsUpper()));
            std::size_t i = 0;
            for (const QvTooth* bystander : bystanders)
                for (int n = 0; n < 13; ++n)
                    ASSERT_TRUE(Near(s.FindStep(n, bystander)->m_matrix, kept[i++], 0)) << n;
        }
    }
}

} // namespace

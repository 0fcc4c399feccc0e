// SPDX-License-Identifier: GPL-3.0-or-later
// Steps and step lists: matrices, the frame motion helpers and every stored form.
#include <gtest/gtest.h>

#include <sstream>

#include "core/geometry/QvStreamIO.h"
#include "core/scheme/QvTreatStepList.h"
#include "SchemeFixtures.h"
#include "testing/ByteSweep.h"

namespace {

using namespace qvschemetest;

TEST(TreatStep, HasMatrixTellsAStepThatWasNeverPlaced)
{
    QvTreatStep step;
    EXPECT_TRUE(step.HasMatrix());
    step.SetMatrix(QvMatrix(4, 4));
    EXPECT_FALSE(step.HasMatrix());
    (*step.GetMatrix())[2][3] = 2e-7;
    EXPECT_TRUE(step.HasMatrix());
}

TEST(TreatStep, JawRelativeMatrixTakesOutOnlyTheLowerJaw)
{
    SchemeCase c;
    const QvMatrix m = Placement(QvVector(0, 1, 1), 20, 1, 2, 3);
    const QvMatrix j = Placement(QvVector(1, 0, 0), -8, 0, 0.5, -1);
    QvMatrix jInverse = j;
    ASSERT_TRUE(jInverse.Invert());
    struct Case
    {
        int fdi;
        bool inList;
        bool jawMoved;
        QvMatrix expected;
    };
    const Case cases[] = {
        {11, true, true, m},              // upper: always the step matrix
        {31, true, false, m},             // lower, identity jaw
        {31, true, true, jInverse * m},   // lower, moved jaw
        {31, false, true, m},             // lower, in no list
    };
    for (const Case& k : cases)
    {
        QvTreatStepList list;
        if (k.jawMoved)
            list.m_jawMatrix = j;
        QvTreatStep* step = list.AddNewStep(c.Tooth(k.fdi), 0, kQvStepKey, m);
        if (!k.inList)
            step->m_pStepList = nullptr;
        EXPECT_TRUE(Near(step->GetJawRelativeMatrix(), k.expected)) << k.fdi << " " << k.inList << k.jawMoved;
    }
}

TEST(FrameMotion, RotationAndTranslationInTheFirstFramesAxes)
{
    const QvFrame a(QvPoint(1, 2, 3), QvVector(0.6, 0.8, 0), QvVector(-0.8, 0.6, 0));
    struct Case
    {
        const char* name;
        QvMatrix motion; // applied to a in its own axes
        QvVector rotation;
        QvVector translation;
    };
    const Case cases[] = {
        {"equal", Identity(), QvVector(0, 0, 0), QvVector(0, 0, 0)},
        {"270 about +Z", Placement(QvVector(0, 0, 1), 270), QvVector(0, 0, -90), QvVector(0, 0, 0)},
        {"90 about +X", Placement(QvVector(1, 0, 0), 90), QvVector(90, 0, 0), QvVector(0, 0, 0)},
        {"1 along X", Translation(1, 0, 0), QvVector(0, 0, 0), QvVector(1, 0, 0)},
        {"moved and turned", Placement(QvVector(0, 1, 0), 30, 0.5, -2, 4), QvVector(0, 30, 0), QvVector(0.5, -2, 4)},
    };
    const QvFrame world(QvPoint(0, 0, 0), QvVector(1, 0, 0), QvVector(0, 1, 0));
    const std::unique_ptr<QvMatrix> place(world.GetTransformTo(a));
    const std::unique_ptr<QvMatrix> unplace(a.GetTransformTo(world));
    for (const Case& k : cases)
    {
        // b = a moved by the motion expressed in a's own axes.
        QvFrame b = a;
        b.Transform(*place * k.motion * *unplace);
        const QvVector r = GetFrameRotation(a, b);
        const QvVector t = GetFrameTranslation(a, b);
        for (int i = 0; i < 3; ++i)
        {
            EXPECT_NEAR(r[i], k.rotation[i], 1e-9) << k.name;
            EXPECT_NEAR(t[i], k.translation[i], 1e-9) << k.name;
        }
    }
}

// ---- Stored forms ---------------------------------------------------------------

struct FormCase
{
    int version;
    bool document;
    bool tagged; // can name a virtual tooth
};

const FormCase kStepForms[] = {
    {1025, true, false}, {1026, true, false}, {1027, true, false}, {1041, true, false}, {1042, true, true},
    {1043, true, true},  {8193, false, false}, {8197, false, false}, {8198, false, true}, {8199, false, true},
    {514, false, false}, {515, false, false}, {516, false, false}, {528, false, false}, {529, false, true},
};

std::string WriteStep(const QvTreatStep& step, const FormCase& f)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        if (f.document)
            step.WriteDocument(os, f.version);
        else
            step.Write(os, f.version);
    });
}

bool ReadStep(QvTreatStep& step, const std::string& bytes, const FormCase& f, QvModel* model,
              const QvToothCandidates* candidates = nullptr)
{
    std::istringstream is(bytes);
    return f.document ? step.ReadDocument(is, f.version, model, candidates)
                      : step.Read(is, f.version, model, candidates);
}

TEST(StepRecord, EveryFormReadsBackWhatItWrote)
{
    SchemeCase c({11, 21, 31, 21});
    c.teeth[3]->SetState(kQvToothStateI); // a second 21, told apart by its state
    QvVirtualTooth* pontic = c.AddVirtualTooth(46, Translation(1, 0, 0));
    c.model.AddEntity(pontic);
    const QvMatrix m = Placement(QvVector(1, 2, 3), 17, -4, 5, 6.5);
    for (const FormCase& f : kStepForms)
    {
        std::vector<QvToothBase*> teeth = {c.teeth[0], c.teeth[2]};
        // The FDI form names the first tooth of a number only.
        const bool fdiForm = f.document ? f.version <= 1026 : ((f.version & 0x200) && f.version <= 515);
        if (!fdiForm)
            teeth.push_back(c.teeth[3]);
        if (f.tagged)
            teeth.push_back(pontic);
        for (QvToothBase* tooth : teeth)
        {
            const QvTreatStep written(tooth, 7, kQvStepKey, m);
            QvTreatStep read;
            ASSERT_TRUE(ReadStep(read, WriteStep(written, f), f, &c.model)) << f.version;
            EXPECT_EQ(read.m_pTooth, tooth) << f.version;
            EXPECT_EQ(read.m_nStep, 7);
            EXPECT_EQ(read.m_nType, kQvStepKey);
            EXPECT_EQ(MaxDifference(read.m_matrix, m), 0.0);
        }
    }
    c.model.RemoveEntity(pontic->GetID(), false);
}

TEST(StepRecord, FormsWithoutIdsNeverNameARealToothForAVirtualOne)
{
    SchemeCase c({46});
    QvVirtualTooth* pontic = c.AddVirtualTooth(46, Identity());
    const FormCase f{1030, true, false};
    QvTreatStep read;
    ASSERT_TRUE(ReadStep(read, WriteStep(QvTreatStep(pontic, 1, kQvStepKey, Identity()), f), f, &c.model));
    EXPECT_EQ(read.m_pTooth, nullptr);
}

TEST(StepRecord, IdsResolveAgainstTheCandidatesFirstAndOnlyToTeeth)
{
    SchemeCase c({11});
    QvVirtualTooth* pontic = c.AddVirtualTooth(13, Identity());
    const FormCase f{8199, false, true};
    const std::string bytes = WriteStep(QvTreatStep(pontic, 1, kQvStepKey, Identity()), f);
    // The model holds a jaw under the pontic's id: never a tooth to place.
    c.lowerJaw->SetID(pontic->GetID());
    c.model.m_entityMap[pontic->GetID()] = c.lowerJaw;
    QvTreatStep read;
    ASSERT_TRUE(ReadStep(read, bytes, f, &c.model));
    EXPECT_EQ(read.m_pTooth, nullptr);
    const QvToothCandidates own = {pontic};
    ASSERT_TRUE(ReadStep(read, bytes, f, &c.model, &own));
    EXPECT_EQ(read.m_pTooth, pontic);
}

TEST(StepRecord, Version513TranslatesTheOldTypes)
{
    SchemeCase c;
    const FormCase f513{513, false, false};
    const std::pair<int, int> table[] = {{1, 1}, {2, 3}, {3, 3}, {4, 2}, {5, 4}, {6, 5}, {7, 7}};
    for (const auto& [stored, read] : table)
    {
        QvTreatStep step;
        ASSERT_TRUE(ReadStep(step, WriteStep(QvTreatStep(c.teeth[0], 0, stored, Identity()), f513), f513, &c.model));
        EXPECT_EQ(step.m_nType, read) << stored;
        // Only 513 itself translates.
        const FormCase f514{514, false, false};
        ASSERT_TRUE(ReadStep(step, WriteStep(QvTreatStep(c.teeth[0], 0, stored, Identity()), f514), f514, &c.model));
        EXPECT_EQ(step.m_nType, stored);
    }
}

TEST(StepRecord, RejectsForeignVersionsTagsAndBrokenPlacements)
{
    SchemeCase c;
    const QvTreatStep step(c.teeth[0], 2, kQvStepKey, Identity());
    EXPECT_TRUE(WriteStep(step, {0x401, false, false}).empty()); // case-document code given to the scheme form
    QvTreatStep read(c.teeth[1], 9, kQvStepMoving, Translation(1, 1, 1));
    const QvTreatStep before(read);
    EXPECT_FALSE(ReadStep(read, WriteStep(step, {1030, true, false}), {0x401, false, false}, &c.model));

    auto record = [&](int kind, const QvMatrix& m) {
        return qvtest::BytesOf([&](std::ostream& os) {
            qvio::WriteI32(os, kind);
            qvio::WriteI32(os, 2);
            qvio::WriteI32(os, 3);
            qvio::WriteI32(os, 11);
            qvio::WriteI32(os, 1);
            m.Write(os);
        });
    };
    QvMatrix nan = Identity();
    nan[1][3] = std::nan("");
    const std::string broken[] = {record(2, Identity()), record(0, QvMatrix(3, 3)), record(0, QvMatrix()),
                                  record(0, nan)};
    for (const std::string& bytes : broken)
    {
        EXPECT_FALSE(ReadStep(read, bytes, {1042, true, true}, &c.model));
        EXPECT_EQ(read.m_pTooth, before.m_pTooth);
        EXPECT_EQ(read.m_nStep, before.m_nStep);
        EXPECT_EQ(MaxDifference(read.m_matrix, before.m_matrix), 0.0);
    }
    ASSERT_TRUE(ReadStep(read, record(0, Identity()), {1042, true, true}, &c.model));
    EXPECT_EQ(read.m_pTooth, c.Tooth(11));
}

// ---- Step lists -----------------------------------------------------------------

std::string WriteList(const QvTreatStepList& list, int version, bool document)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        if (document)
            list.WriteDocument(os, version);
        else
            list.Write(os, version);
    });
}

bool ReadList(QvTreatStepList& list, const std::string& bytes, int version, bool document, QvModel* model)
{
    std::istringstream is(bytes);
    return document ? list.ReadDocument(is, version, model) : list.Read(is, version, model);
}

TEST(StepList, FindTakeAddAndRemoveWorkByPointer)
{
    SchemeCase c;
    QvTreatStepList list;
    QvTreatStep* a = list.AddNewStep(c.teeth[0], 3, kQvStepKey, Identity());
    QvTreatStep* b = list.AddStep(new QvTreatStep(c.teeth[1], 3, kQvStepMoving, Identity()));
    EXPECT_EQ(a->m_pStepList, &list);
    EXPECT_EQ(b->m_pStepList, &list);
    EXPECT_EQ(list.FindStep(c.teeth[1]), b);
    EXPECT_EQ(list.FindStep(c.teeth[2]), nullptr);
    QvTreatStep* taken = list.TakeStep(c.teeth[0]);
    EXPECT_EQ(taken, a);
    EXPECT_EQ(list.FindStep(c.teeth[0]), nullptr);
    EXPECT_FALSE(list.RemoveStep(taken));
    delete taken;
    EXPECT_TRUE(list.RemoveStep(b));
    EXPECT_TRUE(list.m_steps.empty());

    QvTreatStepList source;
    source.AddNewStep(c.teeth[2], 1, kQvStepFinal, Translation(0, 0, 2));
    source.m_jawMatrix = Translation(0, 1, 0);
    source.m_bBite = true;
    list.CopyFrom(source);
    list.CopyFrom(list);
    ASSERT_EQ(list.m_steps.size(), 1u);
    EXPECT_NE(list.m_steps[0], source.m_steps[0]);
    EXPECT_EQ(list.m_steps[0]->m_pStepList, &list);
    EXPECT_EQ(list.m_steps[0]->m_pTooth, c.teeth[2]);
    EXPECT_TRUE(Near(list.m_steps[0]->m_matrix, Translation(0, 0, 2), 0));
    EXPECT_TRUE(list.m_bBite);
    EXPECT_TRUE(Near(list.m_jawMatrix, Translation(0, 1, 0), 0));
}

TEST(StepList, FlagAndJawMatrixFollowTheVersion)
{
    SchemeCase c;
    QvTreatStepList list;
    list.AddNewStep(c.teeth[0], 0, kQvStepInitial, Identity());
    list.AddNewStep(c.teeth[2], 0, kQvStepInitial, Translation(1, 0, 0));
    list.m_jawMatrix = Placement(QvVector(1, 0, 0), 5, 0, -1, 0);
    list.m_bBite = true;
    struct Case
    {
        int version;
        bool document;
        bool hasJaw;
    };
    const Case cases[] = {{1033, true, false}, {1034, true, true}, {1043, true, true}, {8195, false, false},
                          {8196, false, true}, {520, false, false}, {521, false, true}};
    constexpr std::size_t kJawBytes = 1 + 8 + 16 * 8;
    for (const Case& k : cases)
    {
        const std::string bytes = WriteList(list, k.version, k.document);
        const std::string steps = WriteStep(*list.m_steps[0], {k.version, k.document, false}) +
                                  WriteStep(*list.m_steps[1], {k.version, k.document, false});
        EXPECT_EQ(bytes.size(), 4 + steps.size() + (k.hasJaw ? kJawBytes : 0)) << k.version;
        QvTreatStepList read;
        ASSERT_TRUE(ReadList(read, bytes, k.version, k.document, &c.model)) << k.version;
        ASSERT_EQ(read.m_steps.size(), 2u);
        EXPECT_EQ(read.m_steps[1]->m_pTooth, c.teeth[2]);
        EXPECT_EQ(read.m_steps[1]->m_pStepList, &read);
        EXPECT_EQ(read.m_bBite, k.hasJaw) << k.version;
        EXPECT_TRUE(Near(read.m_jawMatrix, k.hasJaw ? list.m_jawMatrix : Identity(), 0)) << k.version;
    }
}

TEST(StepList, CountsBelowOneReadAsAnEmptyList)
{
    SchemeCase c;
    for (const int count : {0, -5})
    {
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) {
            qvio::WriteI32(os, count);
            qvio::WriteU8(os, 1);
            Translation(0, 0, 3).Write(os);
        });
        QvTreatStepList read;
        ASSERT_TRUE(ReadList(read, bytes, 8199, false, &c.model)) << count;
        EXPECT_TRUE(read.m_steps.empty());
        EXPECT_TRUE(read.m_bBite);
    }
}

TEST(StepList, OldDocumentsDropOverCorrectionSteps)
{
    SchemeCase c;
    QvTreatStepList list;
    list.AddNewStep(c.teeth[0], 4, kQvStepOverCorrectionEnd, Identity());
    list.AddNewStep(c.teeth[1], 4, kQvStepFinal, Identity());
    for (const auto& [version, kept] : {std::pair{1027, 1u}, std::pair{1028, 2u}})
    {
        QvTreatStepList read;
        ASSERT_TRUE(ReadList(read, WriteList(list, version, true), version, true, &c.model));
        EXPECT_EQ(read.m_steps.size(), kept) << version;
        EXPECT_EQ(read.m_steps[0]->m_pTooth, kept == 1u ? c.teeth[1] : c.teeth[0]);
    }
}

TEST(StepList, UnresolvedAndRepeatedTeethAreDropped)
{
    SchemeCase c({11, 21, 31});
    QvTreatStepList list;
    list.AddNewStep(c.teeth[0], 2, kQvStepKey, Identity());
    list.AddNewStep(c.teeth[1], 2, kQvStepKey, Identity());
    list.AddNewStep(c.teeth[0], 2, kQvStepMoving, Identity());
    list.AddNewStep(c.teeth[2], 2, kQvStepKey, Identity());
    const std::string bytes = WriteList(list, 8199, false);
    c.teeth[1]->SetFdi(22); // 21 no longer resolves
    QvTreatStepList read;
    ASSERT_TRUE(ReadList(read, bytes, 8199, false, &c.model));
    ASSERT_EQ(read.m_steps.size(), 2u);
    EXPECT_EQ(read.m_steps[0]->m_pTooth, c.teeth[0]);
    EXPECT_EQ(read.m_steps[0]->m_nType, kQvStepKey);
    EXPECT_EQ(read.m_steps[1]->m_pTooth, c.teeth[2]);
}

TEST(StepList, AFailedRecordFailsTheListAndLeavesItAsItWas)
{
    SchemeCase c;
    QvTreatStepList list;
    list.AddNewStep(c.teeth[0], 1, kQvStepKey, Identity());
    list.AddNewStep(c.teeth[1], 1, kQvStepKey, Identity());
    std::string bytes = WriteList(list, 1043, true);
    // The second record's tag becomes 9: unknown.
    const std::size_t second = 4 + WriteStep(*list.m_steps[0], {1043, true, true}).size();
    bytes[second] = 9;

    QvTreatStepList read;
    read.AddNewStep(c.teeth[3], 1, kQvStepFinal, Translation(2, 0, 0));
    read.m_jawMatrix = Translation(0, 0, 1);
    EXPECT_FALSE(ReadList(read, bytes, 1043, true, &c.model));
    ASSERT_EQ(read.m_steps.size(), 1u);
    EXPECT_EQ(read.m_steps[0]->m_pTooth, c.teeth[3]);
    EXPECT_TRUE(Near(read.m_jawMatrix, Translation(0, 0, 1), 0));

    // A count larger than the bytes left is refused before anything is allocated.
    const std::string huge = qvtest::BytesOf([](std::ostream& os) { qvio::WriteI32(os, 0x7fffffff); });
    EXPECT_FALSE(ReadList(read, huge, 8199, false, &c.model));
    EXPECT_EQ(read.m_steps.size(), 1u);
}

TEST(StepList, VariantsStoreTheJawInEveryVersion)
{
    SchemeCase c;
    QvTreatStepList list;
    list.AddNewStep(c.teeth[2], 0, kQvStepInitial, Identity());
    list.m_jawMatrix = Translation(0, 0, -1);
    for (const auto& [version, document] : {std::pair{1026, true}, std::pair{8193, false}, std::pair{515, false}})
    {
        const std::string bytes =
            qvtest::BytesOf([&, v = version, d = document](std::ostream& os) { list.WriteWithJaw(os, v, d); });
        QvTreatStepList read;
        std::istringstream is(bytes);
        ASSERT_TRUE(read.ReadWithJaw(is, version, &c.model, document)) << version;
        EXPECT_TRUE(Near(read.m_jawMatrix, list.m_jawMatrix, 0));
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
    }
}

TEST(StepList, ReadersSurviveDamage)
{
    SchemeCase c({11, 21, 31, 41});
    QvVirtualTooth* pontic = c.AddVirtualTooth(36, Identity());
    const QvToothCandidates own = {pontic};
    QvTreatStepList list;
    list.AddNewStep(c.teeth[0], 3, kQvStepKey, Placement(QvVector(0, 0, 1), 5, 1, 0, 0));
    list.AddNewStep(c.teeth[2], 3, kQvStepMoving, Identity());
    list.AddNewStep(c.teeth[3], 3, kQvStepFinal, Translation(0, 1, 0));
    list.m_bBite = true;
    for (const auto& [version, document] : {std::pair{1026, true}, std::pair{1041, true}, std::pair{1043, true},
                                            std::pair{8195, false}, std::pair{8199, false}, std::pair{515, false},
                                            std::pair{529, false}})
    {
        QvTreatStepList withPontic;
        withPontic.CopyFrom(list);
        if (version == 1043 || version == 8199)
            withPontic.AddNewStep(pontic, 3, kQvStepKey, Identity());
        const std::string bytes = WriteList(withPontic, version, document);
        qvtest::ExpectReaderSurvivesDamage(bytes, [&, v = version, d = document](std::istream& is) {
            QvTreatStepList read;
            return d ? read.ReadDocument(is, v, &c.model, &own) : read.Read(is, v, &c.model, &own);
        });
    }
}

} // namespace

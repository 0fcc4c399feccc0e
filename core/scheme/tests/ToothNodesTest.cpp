// SPDX-License-Identifier: GPL-3.0-or-later
// Node records of the older planning format (one tooth's placements as position and
// quaternion per step) and the step conversions that go with them.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <sstream>

#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachStepList.h"
#include "core/design/QvAttachment.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvReadWriteFile.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvSchemeAttachLinkImpl.h"
#include "core/scheme/QvSchemeMgr.h"
#include "SchemeFixtures.h"
#include "testing/ByteSweep.h"
#include "testing/MeshFixtures.h"

namespace {

using namespace qvschemetest;

// A case whose teeth have meshes and are framed at their mesh centres, with a current
// scheme in the model's scheme manager.
struct NodeCase : SchemeCase
{
    NodeCase() : SchemeCase({11, 21, 31, 41})
    {
        QvInstallSchemeAttachLink();
        for (std::size_t i = 0; i < teeth.size(); ++i)
        {
            QvMesh cube = qvtest::MakeCube(1.0 + 0.1 * static_cast<double>(i));
            cube.Transform(Translation(3.0 * static_cast<double>(i), 1.0, -0.5));
            teeth[i]->CopyMeshData(cube);
            QvFrame frame = *teeth[i]->GetFrame();
            frame.m_centre = teeth[i]->GetCenter();
            teeth[i]->SetFrame(frame);
        }
        model.SetSchemes(std::make_unique<QvSchemeMgr>());
        QvSchemeMgr* mgr = QvGetSchemeMgr(model);
        mgr->SetModel(&model);
        current = mgr->CreateScheme(0, "nodes", false, true);
    }

    QvScheme* current = nullptr;
};

struct Header
{
    std::uint8_t kind = 0;
    std::int32_t count = 0;
    std::uint32_t code = 0;
};

Header ReadHeader(std::istream& is)
{
    Header h;
    static_cast<void>(qvio::ReadU8(is, h.kind) && qvio::ReadI32(is, h.count) && qvio::ReadU32(is, h.code));
    return h;
}

void DeleteSteps(QvReadWriteFile::ToothSteps& steps)
{
    for (auto& [tooth, list] : steps)
        for (QvTreatStep* step : list)
            delete step;
    steps.clear();
}

void WriteRecord(std::ostream& os, std::int32_t step, const float position[3], const float q[4], std::uint32_t flags)
{
    qvio::WriteI32(os, step);
    for (int k = 0; k < 3; ++k)
        qvio::WriteF32(os, position[k]);
    for (int k = 0; k < 4; ++k)
        qvio::WriteF32(os, q[k]);
    qvio::WriteU32(os, flags);
}

TEST(ToothNodes, NodeMatrixTurnsAboutTheFrameOrigin)
{
    QvTooth tooth;
    tooth.SetFrame(QvFrame(QvPoint(5, 0, 0), QvVector(1, 0, 0), QvVector(0, 1, 0)));
    const float h = static_cast<float>(std::sqrt(0.5));
    const float q[4] = {0.0f, 0.0f, h, h}; // 90 degrees about Z
    const float t[3] = {1.0f, 2.0f, 3.0f};
    QvMatrix m;
    QvReadWriteFile::BuildNodeMatrix(q, t, m, &tooth);
    ASSERT_EQ(m.Rows(), 4);
    EXPECT_NEAR(m[0][3], 6.0, 1e-6);
    EXPECT_NEAR(m[1][3], -3.0, 1e-6);
    EXPECT_NEAR(m[2][3], 3.0, 1e-6);
    EXPECT_NEAR(m[1][0], 1.0, 1e-6);
    EXPECT_EQ(m[3][3], 1.0);

    for (const auto& [in, out] : {std::pair{3, 2}, {4, 3}, {1, 1}, {2, 1}, {5, 1}, {0, 1}})
        EXPECT_EQ(QvReadWriteFile::NodeStepType(in), out) << in;
}

TEST(ToothNodes, WrittenNodesReadBackEveryPlacement)
{
    NodeCase c;
    QvScheme& s = *c.current;
    // Tooth 11 moves from step 0 to 4; tooth 41 only from 1 to 3 (earlier and later
    // records repeat its ends).
    for (int i = 0; i <= 4; ++i)
        s.InsertTreatStep(c.Tooth(11), i, i == 0 ? kQvStepInitial : i == 4 ? kQvStepFinal : kQvStepMoving,
                          Placement(QvVector(0.2, 0.3, 1.0), 7.0 * i, 0.3 * i, -0.1 * i, 0.05 * i));
    for (int i = 1; i <= 3; ++i)
        s.InsertTreatStep(c.Tooth(41), i, i == 1 ? kQvStepInitial : kQvStepHold,
                          Placement(QvVector(1.0, 0.0, 0.2), -5.0 * i, 0.0, 0.2 * i, 0.0));
    QvMatrix extra = Placement(QvVector(0.0, 1.0, 0.0), 12.0, 1.0, 2.0, 3.0);

    QvReadWriteFile file(&c.model, 0);
    for (QvTooth* tooth : {c.Tooth(11), c.Tooth(41)})
    {
        SCOPED_TRACE(tooth->GetFdi());
        std::ostringstream os;
        ASSERT_TRUE(file.WriteToothNodes(os, &s, tooth, extra));
        std::istringstream is(os.str());
        const Header h = ReadHeader(is);
        EXPECT_EQ(h.kind, 8);
        EXPECT_EQ(h.count, 4);
        EXPECT_EQ(h.code, QvReadWriteFile::MakeToothCode(tooth));
        QvReadWriteFile::ToothSteps steps;
        QvReadWriteFile::ToothAttachments attachments;
        ASSERT_TRUE(file.ReadToothNodes(is, &c.model, h.count, h.code, attachments, steps));
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
        ASSERT_EQ(steps[tooth].size(), 4u);
        for (const QvTreatStep* step : steps[tooth])
        {
            const QvMatrix expected = extra * *s.FindStep(step->m_nStep, tooth)->GetMatrix();
            EXPECT_TRUE(Near(*step->GetMatrix(), expected, 1e-4)) << "step " << step->m_nStep;
        }
        const int kinds[2][4] = {{kQvStepMoving, kQvStepMoving, kQvStepMoving, kQvStepKey},
                                 {kQvStepKey, kQvStepHold, kQvStepHold, kQvStepHold}};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(steps[tooth][static_cast<std::size_t>(i)]->m_nType, kinds[tooth == c.Tooth(41)][i]) << i;
        DeleteSteps(steps);
    }

    // Refusals: no steps, a number outside 11..48, a failed stream.
    std::ostringstream os;
    EXPECT_FALSE(file.WriteToothNodes(os, &s, c.Tooth(21), extra));
    c.Tooth(21)->SetFdi(51);
    s.InsertTreatStep(c.Tooth(21), 0, kQvStepInitial, Identity());
    EXPECT_FALSE(file.WriteToothNodes(os, &s, c.Tooth(21), extra));
    std::ostringstream failed;
    failed.setstate(std::ios::badbit);
    EXPECT_FALSE(file.WriteToothNodes(failed, &s, c.Tooth(11), extra));
}

TEST(ToothNodes, FlagsGiveTypesAndAttachmentSteps)
{
    NodeCase c;
    QvTooth* tooth = c.Tooth(21);
    auto* a0 = new QvAttachment();
    auto* a1 = new QvAttachment();
    auto* a2 = new QvAttachment();
    a1->m_nFirstStep = 1;
    const std::unique_ptr<QvAttachment> owned[] = {std::unique_ptr<QvAttachment>(a0), std::unique_ptr<QvAttachment>(a1),
                                                   std::unique_ptr<QvAttachment>(a2)};
    QvReadWriteFile::ToothAttachments attachments{{tooth, {a0, a1}}};
    const float p[3] = {1, 2, 3};
    const float q[4] = {0, 0, 0, 1};
    // 0x32: moving, attachments 0 and 1; 0x7 an unknown kind keeps the type before;
    // bit 6 names an attachment past the tooth's list.
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) {
        WriteRecord(os, 1, p, q, 0x32);
        WriteRecord(os, 2, p, q, 0x27);
        WriteRecord(os, 3, p, q, 0x41);
    });
    QvReadWriteFile file(&c.model, 0);
    QvReadWriteFile::ToothSteps steps;
    std::istringstream is(bytes);
    ASSERT_TRUE(file.ReadToothNodes(is, &c.model, 3, QvReadWriteFile::MakeToothCode(tooth), attachments, steps));
    ASSERT_EQ(steps[tooth].size(), 3u);
    EXPECT_EQ(steps[tooth][0]->m_nType, kQvStepMoving);
    EXPECT_EQ(steps[tooth][1]->m_nType, kQvStepMoving);
    EXPECT_EQ(steps[tooth][2]->m_nType, kQvStepKey);
    EXPECT_EQ(a0->m_nFirstStep, 1);
    EXPECT_EQ(a0->m_nLastStep, 1);
    EXPECT_EQ(a1->m_nFirstStep, 1);
    EXPECT_EQ(a1->m_nLastStep, 2);
    EXPECT_EQ(a2->m_nFirstStep, 0);
    DeleteSteps(steps);

    // An unknown kind in the first record counts as 0 (a hold).
    std::istringstream first(qvtest::BytesOf([&](std::ostream& os) { WriteRecord(os, 1, p, q, 0x9); }));
    ASSERT_TRUE(file.ReadToothNodes(first, &c.model, 1, QvReadWriteFile::MakeToothCode(tooth), attachments, steps));
    EXPECT_EQ(steps[tooth][0]->m_nType, kQvStepHold);
    DeleteSteps(steps);
}

TEST(ToothNodes, BadRecordsLeaveBothMapsAsTheyWere)
{
    NodeCase c;
    QvTooth* tooth = c.Tooth(11);
    const unsigned code = QvReadWriteFile::MakeToothCode(tooth);
    const float p[3] = {1, 2, 3};
    const float q[4] = {0, 0, 0, 1};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float badP[3] = {1, nan, 3};
    const float zeroQ[4] = {0, 0, 0, 0};
    const float infQ[4] = {0, std::numeric_limits<float>::infinity(), 0, 1};
    struct Case
    {
        const char* what;
        int count;
        unsigned code;
        std::function<void(std::ostream&)> second;
    } cases[] = {
        {"unknown tooth", 2, 0x10000020u | 7u, [&](std::ostream& os) { WriteRecord(os, 2, p, q, 0x10); }},
        {"step 0", 2, code, [&](std::ostream& os) { WriteRecord(os, 0, p, q, 0x10); }},
        {"step past the count", 2, code, [&](std::ostream& os) { WriteRecord(os, 3, p, q, 0x10); }},
        {"not-a-number position", 2, code, [&](std::ostream& os) { WriteRecord(os, 2, badP, q, 0x10); }},
        {"zero quaternion", 2, code, [&](std::ostream& os) { WriteRecord(os, 2, p, zeroQ, 0x10); }},
        {"infinite quaternion", 2, code, [&](std::ostream& os) { WriteRecord(os, 2, p, infQ, 0x10); }},
        {"count past the bytes", 3, code, [&](std::ostream& os) { WriteRecord(os, 2, p, q, 0x10); }},
        {"negative count", -1, code, [&](std::ostream& os) { WriteRecord(os, 2, p, q, 0x10); }},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.what);
        auto attachment = std::make_unique<QvAttachment>();
        QvReadWriteFile::ToothAttachments attachments{{tooth, {attachment.get()}}};
        auto* kept = new QvTreatStep(tooth, 0, kQvStepInitial, Identity());
        QvReadWriteFile::ToothSteps steps{{tooth, {kept}}};
        std::istringstream is(qvtest::BytesOf([&](std::ostream& os) {
            WriteRecord(os, 1, p, q, 0x11);
            k.second(os);
        }));
        QvReadWriteFile file(&c.model, 0);
        EXPECT_FALSE(file.ReadToothNodes(is, &c.model, k.count, k.code, attachments, steps));
        EXPECT_EQ(steps.size(), 1u);
        EXPECT_EQ(steps[tooth].size(), 1u);
        EXPECT_EQ(attachment->m_nFirstStep, 0);
        EXPECT_EQ(attachment->m_nLastStep, 0);
        DeleteSteps(steps);
    }
}

TEST(ToothNodes, NodeRecordSetSurvivesDamage)
{
    NodeCase c;
    QvScheme& s = *c.current;
    for (int i = 0; i <= 3; ++i)
        s.InsertTreatStep(c.Tooth(21), i, i == 0 ? kQvStepInitial : kQvStepMoving,
                          Placement(QvVector(0, 0, 1), 3.0 * i, 0.1 * i));
    QvReadWriteFile file(&c.model, 0);
    std::ostringstream os;
    ASSERT_TRUE(file.WriteToothNodes(os, &s, c.Tooth(21), Identity()));
    auto attachment = std::make_unique<QvAttachment>();
    qvtest::ExpectReaderSurvivesDamage(os.str(), [&](std::istream& is) {
        const Header h = ReadHeader(is);
        if (!is || h.kind != 8)
            return false;
        QvReadWriteFile::ToothAttachments attachments{{c.Tooth(21), {attachment.get()}}};
        QvReadWriteFile::ToothSteps steps;
        const bool read = file.ReadToothNodes(is, &c.model, h.count, h.code, attachments, steps);
        DeleteSteps(steps);
        return read;
    });
}

TEST(StepConversions, NormalizeThenTrim)
{
    NodeCase c;
    QvScheme& s = *c.current;
    const int types[] = {2, 2, 3, 2, 3, 2};
    for (int i = 0; i < 6; ++i)
    {
        s.InsertTreatStep(c.Tooth(11), i, types[i], Identity());
        s.InsertTreatStep(c.Tooth(21), i, types[i], Identity());
        s.InsertTreatStep(c.Tooth(31), i, i < 2 ? kQvStepHold : kQvStepMoving, Identity());
    }
    s.SetHidden(c.Tooth(21), true); // left alone by the normalisation
    QvReadWriteFile file(&c.model, 0);
    file.NormalizeStepTypes(false);
    using Steps = std::vector<std::pair<int, int>>;
    EXPECT_EQ(StepsOf(s, c.Tooth(11)), (Steps{{0, 4}, {1, 4}, {2, 1}, {3, 2}, {4, 5}, {5, 4}}));
    EXPECT_EQ(StepsOf(s, c.Tooth(21)), (Steps{{0, 2}, {1, 2}, {2, 3}, {3, 2}, {4, 3}, {5, 2}}));
    file.TrimSteps();
    EXPECT_EQ(StepsOf(s, c.Tooth(11)), (Steps{{2, 1}, {3, 2}, {4, 5}}));
    // Without an initial step the leading steps stay; without a final or initial step
    // the trailing ones stay.
    EXPECT_EQ(StepsOf(s, c.Tooth(21)).size(), 6u);
    EXPECT_EQ(StepsOf(s, c.Tooth(31)).size(), 6u);
    EXPECT_TRUE(Consistent(s));
}

TEST(StepConversions, NormalizeAfterHolds)
{
    struct Case
    {
        std::vector<int> types;
        std::vector<int> expected;
    } cases[] = {
        // One hold and exactly one other step before the first key: it becomes initial.
        {{1, 4, 3, 2, 3}, {4, 4, 1, 2, 5}},
        // Two other steps before it: the key stays a key, the last key is final.
        {{1, 5, 4, 3, 2, 3}, {1, 5, 4, 3, 2, 5}},
        // No hold before it.
        {{1, 3, 2, 3}, {1, 3, 2, 5}},
    };
    for (const Case& k : cases)
    {
        NodeCase c;
        QvScheme& s = *c.current;
        for (std::size_t i = 0; i < k.types.size(); ++i)
            s.InsertTreatStep(c.Tooth(11), static_cast<int>(i), k.types[i], Identity());
        QvReadWriteFile file(&c.model, 0);
        file.NormalizeStepTypes(true);
        std::vector<int> got;
        for (const auto& [step, type] : StepsOf(s, c.Tooth(11)))
            got.push_back(type);
        EXPECT_EQ(got, k.expected);
    }
}

TEST(StepConversions, ShiftDownMovementAndAttachmentBox)
{
    NodeCase c;
    QvTooth* tooth = c.Tooth(11);
    auto* s1 = new QvTreatStep(tooth, 1, kQvStepKey, Identity());
    auto* s2 = new QvTreatStep(tooth, 2, kQvStepKey, Translation(0, 0, 1));
    QvReadWriteFile::ToothSteps steps{{tooth, {s1, s2}}};
    auto attachment = std::make_unique<QvAttachment>();
    attachment->m_nFirstStep = 3;
    attachment->m_nLastStep = 5;
    QvReadWriteFile::ToothAttachments attachments{{tooth, {attachment.get()}}};
    QvClinicalInfo clinical;
    clinical.GetIprMap()[4] = {QvIprEntry(tooth, c.Tooth(21), 4, 0.2)};
    QvReadWriteFile::ShiftStepsDown(steps, attachments, &clinical);
    EXPECT_EQ(s1->m_nStep, 0);
    EXPECT_EQ(s2->m_nStep, 1);
    EXPECT_EQ(attachment->m_nFirstStep, 2);
    EXPECT_EQ(attachment->m_nLastStep, 4);
    ASSERT_EQ(clinical.GetIprMap().size(), 1u);
    ASSERT_EQ(clinical.GetIprMap().count(3), 1u);
    EXPECT_EQ(clinical.GetIprMap().at(3)[0].m_nValue, 3);
    QvReadWriteFile::ShiftStepsDown(steps, attachments, nullptr);

    EXPECT_FALSE(QvReadWriteFile::HasMovement({}));
    EXPECT_FALSE(QvReadWriteFile::HasMovement({{tooth, s1}}));
    EXPECT_TRUE(QvReadWriteFile::HasMovement({{tooth, s1}, {c.Tooth(21), s2}}));
    s2->SetMatrix(Placement(QvVector(0, 0, 1), 1.0));
    EXPECT_TRUE(QvReadWriteFile::HasMovement({{tooth, s2}}));
    DeleteSteps(steps);

    // The geometry's vertices placed by the attachment's matrix.
    EXPECT_EQ(QvReadWriteFile::GetAttachmentBox(attachment.get()).m_maxPoint, QvPoint());
    EXPECT_EQ(QvReadWriteFile::GetAttachmentBox(nullptr).m_minPoint, QvPoint());
    QvAttachGeo geo;
    geo.CopyMeshData(qvtest::MakeCube(2.0));
    attachment->m_pGeo = &geo;
    attachment->m_matrix = Translation(10, 0, 0);
    const QvBBox box = QvReadWriteFile::GetAttachmentBox(attachment.get());
    attachment->m_pGeo = nullptr;
    QvMesh plain = qvtest::MakeCube(2.0);
    plain.Transform(Translation(10, 0, 0));
    plain.UpdateBBox();
    EXPECT_EQ(box.m_minPoint, plain.m_bbox.m_minPoint);
    EXPECT_EQ(box.m_maxPoint, plain.m_bbox.m_maxPoint);
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <sstream>

#include "core/geometry/QvPlane.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvGum.h"
#include "core/model/QvHingeAxis.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvModel.h"
#include "core/model/QvRoot.h"
#include "core/model/QvToothEmbeded.h"
#include "core/model/QvToothList.h"
#include "testing/ByteSweep.h"
#include "testing/MeshFixtures.h"

namespace {

class Anatomy : public ::testing::Test
{
protected:
    void SetUp() override { QvEntity::SetNextId(100); }
    void TearDown() override { QvEntity::SetNextId(100); }

    // A model holding an upper jaw (id 7) and a lower jaw (id 8).
    QvModel model;
    QvJaw* upper = nullptr;
    QvJaw* lower = nullptr;

    void AddJaws()
    {
        upper = new QvJaw();
        upper->SetID(7);
        lower = new QvJaw();
        lower->SetID(8);
        lower->SetUpper(false);
        model.AddEntity(upper);
        model.AddEntity(lower);
    }
};

QvFrame SomeFrame() { return QvFrame(QvPoint(1.0, 2.0, 3.0), QvVector(0.0, 1.0, 0.0), QvVector(0.0, 0.0, 1.0)); }

std::istringstream In(const std::string& bytes) { return std::istringstream(bytes); }

TEST_F(Anatomy, JawRecordKeepsIdSideAndFrameAndHasNoMesh)
{
    QvJaw jaw;
    jaw.CopyMeshData(qvtest::MakeTwoTriangleStrip());
    jaw.SetID(42);
    jaw.SetUpper(false);
    jaw.SetFrame(SomeFrame());
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { jaw.WriteRecord(os, 1043); });
    EXPECT_EQ(bytes.size(), 4u + 1u + 96u);

    QvJaw back;
    auto is = In(bytes);
    ASSERT_TRUE(back.ReadRecord(is));
    EXPECT_EQ(back.GetID(), 42);
    EXPECT_FALSE(back.IsUpper());
    EXPECT_TRUE(*back.GetFrame() == SomeFrame());
    EXPECT_TRUE(back.m_vertices.empty());

    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& s) {
        QvJaw target;
        target.SetID(5);
        const bool ok = target.ReadRecord(s);
        if (!ok)
        {
            EXPECT_EQ(target.GetID(), 5); // unchanged on failure
        }
        return ok;
    });
}

TEST_F(Anatomy, JawFullFormRoundTripsMeshFrameSideAndLabels)
{
    QvJaw jaw;
    jaw.CopyMeshData(qvtest::MakeTwoTriangleStrip());
    jaw.SetUpper(false);
    jaw.SetFrame(SomeFrame());
    jaw.InitLabels();
    jaw.m_labels[2] = 17;
    jaw.SetSelected(true);
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { jaw.WriteFull(os, 263); });

    QvJaw back;
    auto is = In(bytes);
    ASSERT_TRUE(back.Read(is, 263, nullptr));
    EXPECT_EQ(back.m_vertices.size(), 4u);
    EXPECT_EQ(back.m_faces.size(), 2u);
    EXPECT_EQ(back.m_labels, (std::vector<std::int32_t>{-1, -1, 17, -1}));
    EXPECT_FALSE(back.IsUpper());
    EXPECT_EQ(back.GetID(), jaw.GetID());
    EXPECT_EQ(back.m_state & kQvStateSelected, 0u); // reading clears the selection

    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& s) {
        QvJaw target;
        const bool ok = target.Read(s, 263, nullptr);
        if (!ok)
        {
            EXPECT_TRUE(target.m_vertices.empty() && target.m_labels.empty());
        }
        return ok;
    });
}

TEST_F(Anatomy, JawTransformMovesMeshAndFrame)
{
    QvJaw jaw;
    jaw.CopyMeshData(qvtest::MakeTwoTriangleStrip());
    jaw.SetFrame(SomeFrame());
    QvMatrix shift(4, 4);
    shift.SetIdentity();
    shift[0][3] = 10.0;
    jaw.Transform(shift);
    EXPECT_DOUBLE_EQ(jaw.m_vertices[1].m_point[0], 11.0);
    EXPECT_DOUBLE_EQ(jaw.GetFrame()->m_centre[0], 11.0);
    EXPECT_DOUBLE_EQ(jaw.GetFrame()->m_dirX[1], 1.0);
}

TEST_F(Anatomy, GumRecordIsIdAndJawId)
{
    AddJaws();
    QvGum gum;
    gum.SetID(300);
    gum.SetJaw(lower);
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { gum.WriteRecord(os, 1043); });
    ASSERT_EQ(bytes.size(), 8u);

    QvGum back;
    auto is = In(bytes);
    ASSERT_TRUE(back.ReadRecord(is, 1043, &model));
    EXPECT_EQ(back.GetID(), 300);
    EXPECT_EQ(back.GetJaw(), lower);
    EXPECT_FALSE(back.IsUpper());

    QvGum loose;
    const std::string none = qvtest::BytesOf([&](std::ostream& os) { loose.WriteRecord(os, 1043); });
    std::int32_t jawId = 0;
    std::memcpy(&jawId, none.data() + 4, 4);
    EXPECT_EQ(jawId, -1);

    // An id that names an entity which is no jaw binds nothing.
    auto* stray = new QvGum();
    stray->SetID(9);
    model.AddEntity(stray);
    QvGum wrong;
    wrong.SetJaw(upper);
    auto is2 = In(qvtest::BytesOf([&](std::ostream& os) {
        qvio::WriteI32(os, 301);
        qvio::WriteI32(os, 9);
    }));
    ASSERT_TRUE(wrong.ReadRecord(is2, 1043, &model));
    EXPECT_EQ(wrong.GetJaw(), nullptr);

    qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& s) {
        QvGum target;
        target.SetID(5);
        const bool ok = target.ReadRecord(s, 1043, &model);
        if (!ok)
        {
            EXPECT_EQ(target.GetID(), 5);
        }
        return ok;
    });
}

TEST_F(Anatomy, OldestGumFormKeepsItsListUpTo259AndRefusesLaterVersions)
{
    AddJaws();
    QvGum gum;
    gum.CopyMeshData(qvtest::MakeTwoTriangleStrip());
    gum.SetJaw(upper);
    gum.SetFlag(true);
    gum.SetVertexList({3, 1, 2});
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { gum.Write(os, 259); });

    QvGum back;
    auto is = In(bytes);
    ASSERT_TRUE(back.Read(is, 259, &model));
    EXPECT_EQ(back.GetVertexList(), (std::vector<std::int32_t>{3, 1, 2}));
    EXPECT_TRUE(back.GetFlag());
    EXPECT_EQ(back.GetJaw(), upper);
    EXPECT_EQ(back.m_faces.size(), 2u);

    QvGum later;
    auto is2 = In(bytes);
    EXPECT_FALSE(later.Read(is2, 260, &model));
    EXPECT_EQ(is2.tellg(), 0); // nothing read

    qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& s) {
        QvGum target;
        return target.Read(s, 259, &model);
    });
}

TEST_F(Anatomy, DentalModelGumFormsByVersion)
{
    AddJaws();
    QvGum gum;
    gum.CopyMeshData(qvtest::MakeTwoTriangleStrip());
    gum.SetID(400);
    gum.SetJaw(upper);

    // 2054 on: the gum's own mesh with its entity part.
    const std::string newer = qvtest::BytesOf([&](std::ostream& os) { gum.WriteModel(os, 2054); });
    QvGum back;
    auto is = In(newer);
    ASSERT_TRUE(back.ReadModel(is, 2054, &model));
    EXPECT_EQ(back.m_faces.size(), 2u);
    EXPECT_EQ(back.GetID(), 400);
    EXPECT_EQ(back.GetJaw(), upper);

    // Up to 2053 the writer stores an empty mesh; a stored mesh is still delivered, and
    // the id is the one after the mesh, not the one inside its entity part.
    const std::string older = qvtest::BytesOf([&](std::ostream& os) { gum.WriteModel(os, 2053); });
    QvGum fromOlder;
    auto is2 = In(older);
    ASSERT_TRUE(fromOlder.ReadModel(is2, 2053, &model));
    EXPECT_TRUE(fromOlder.m_vertices.empty());
    EXPECT_EQ(fromOlder.GetID(), 400);

    QvMesh stored = qvtest::MakeTwoTriangleStrip();
    stored.SetID(999);
    stored.m_state = 0x1011;
    const std::string handMade = qvtest::BytesOf([&](std::ostream& os) {
        stored.Write(os, 2053);
        qvio::WriteI32(os, 401);
        qvio::WriteI32(os, 8);
    });
    QvGum fromHand;
    auto is3 = In(handMade);
    ASSERT_TRUE(fromHand.ReadModel(is3, 2053, &model));
    EXPECT_EQ(fromHand.m_faces.size(), 2u);
    EXPECT_EQ(fromHand.GetID(), 401);
    EXPECT_EQ(fromHand.m_state, kQvStateInitial); // the gum keeps its own state word
    EXPECT_EQ(fromHand.GetJaw(), lower);

    for (const int version : {2053, 2054})
    {
        SCOPED_TRACE(version);
        const std::string& bytes = version == 2053 ? handMade : newer;
        qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& s) {
            QvGum target;
            const bool ok = target.ReadModel(s, version, &model);
            if (!ok)
            {
                EXPECT_TRUE(target.m_vertices.empty());
            }
            return ok;
        });
    }
}

TEST_F(Anatomy, CopiedGumIsMarkedModified)
{
    AddJaws();
    QvGum gum;
    gum.CopyMeshData(qvtest::MakeTwoTriangleStrip());
    gum.SetJaw(lower);
    gum.SetValue(2.5);
    gum.m_bModified = false;
    const QvGum copy(gum);
    EXPECT_TRUE(copy.m_bModified);
    EXPECT_EQ(copy.GetJaw(), lower);
    EXPECT_EQ(copy.GetValue(), 2.5);
    EXPECT_EQ(copy.GetID(), gum.GetID());
}

TEST_F(Anatomy, JawBoneHingeAxisToothListAndEmbeddedToothRoundTrip)
{
    AddJaws();
    QvJawBone bone;
    bone.CopyMeshData(qvtest::MakeTwoTriangleStrip());
    bone.SetUpper(false);
    bone.m_matrix[1][3] = 4.0;
    QvHingeAxis axis;
    axis.m_first = QvPoint(1.0, 0.0, 0.0);
    axis.m_second = QvPoint(-1.0, 0.0, 0.0);
    QvToothList list;
    list.SetJaw(lower);
    QvToothEmbeded embedded;
    embedded.CopyMeshData(qvtest::MakeTwoTriangleStrip());

    struct Case
    {
        const char* name;
        const QvObject* source;
        std::function<std::unique_ptr<QvObject>()> make;
        std::function<void(const QvObject&)> check;
    } cases[] = {
        {"jaw bone", &bone, [] { return std::make_unique<QvJawBone>(); },
         [&](const QvObject& o) {
             const auto& b = static_cast<const QvJawBone&>(o);
             EXPECT_EQ(b.m_faces.size(), 2u);
             EXPECT_FALSE(b.IsUpper());
             EXPECT_EQ(b.m_matrix[1][3], 4.0);
             EXPECT_EQ(b.GetID(), bone.GetID());
         }},
        {"hinge axis", &axis, [] { return std::make_unique<QvHingeAxis>(); },
         [&](const QvObject& o) {
             const auto& a = static_cast<const QvHingeAxis&>(o);
             EXPECT_TRUE(a.m_first == axis.m_first);
             EXPECT_TRUE(a.m_second == axis.m_second);
             EXPECT_EQ(a.GetID(), axis.GetID());
         }},
        {"tooth list", &list, [] { return std::make_unique<QvToothList>(); },
         [&](const QvObject& o) {
             const auto& l = static_cast<const QvToothList&>(o);
             EXPECT_EQ(l.GetJaw(), lower);
             EXPECT_EQ(l.GetID(), list.GetID());
         }},
        {"embedded tooth", &embedded, [] { return std::make_unique<QvToothEmbeded>(); },
         [&](const QvObject& o) { EXPECT_EQ(static_cast<const QvToothEmbeded&>(o).m_faces.size(), 2u); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { c.source->Write(os, 1043); });
        std::unique_ptr<QvObject> back = c.make();
        auto is = In(bytes);
        ASSERT_TRUE(back->Read(is, 1043, &model));
        c.check(*back);
        qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& s) {
            std::unique_ptr<QvObject> target = c.make();
            const std::uint32_t before = target->m_state;
            const bool ok = target->Read(s, 1043, &model);
            if (!ok)
            {
                EXPECT_EQ(target->m_state, before);
            }
            return ok;
        });
    }
}

TEST_F(Anatomy, RootReadsMeshAndValueAndKeepsItsValueOnFailure)
{
    QvRoot root;
    root.CopyMeshData(qvtest::MakeTwoTriangleStrip());
    root.m_nValue = 7;
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { root.WriteWithValue(os, 263); });
    QvRoot back;
    auto is = In(bytes);
    ASSERT_TRUE(back.Read(is, 263, nullptr));
    EXPECT_EQ(back.m_nValue, 7);
    EXPECT_EQ(back.m_faces.size(), 2u);

    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& s) {
        QvRoot target;
        const bool ok = target.Read(s, 263, nullptr);
        if (!ok)
        {
            EXPECT_EQ(target.m_nValue, 1);
        }
        return ok;
    });
}

TEST_F(Anatomy, RootSectionAreaAndLongestLoop)
{
    QvRoot cube;
    cube.CopyMeshData(qvtest::MakeCube(1.0));
    EXPECT_NEAR(cube.GetSectionArea(QvPlane(QvPoint(0.5, 0.5, 0.5), QvVector(0.0, 0.0, 1.0))), 1.0, 1e-9);
    EXPECT_NEAR(cube.GetSectionArea(QvPlane(QvPoint(0.5, 0.5, 0.25), QvVector(1.0, 0.0, 0.0))), 1.0, 1e-9);
    EXPECT_EQ(cube.GetSectionArea(QvPlane(QvPoint(0.0, 0.0, 5.0), QvVector(0.0, 0.0, 1.0))), 0.0);
    std::vector<int> loop = {1, 2};
    cube.GetLongestBoundaryLoop(loop);
    EXPECT_TRUE(loop.empty());

    // A folded strip cut across gives an open chain of three points: their triangle.
    QvRoot folded;
    const int a = folded.AddVertex(QvPoint(0.0, 0.0, 0.0));
    const int b = folded.AddVertex(QvPoint(1.0, 0.0, 0.0));
    const int c = folded.AddVertex(QvPoint(0.0, 1.0, 1.0));
    const int d = folded.AddVertex(QvPoint(1.0, 1.0, 0.0));
    ASSERT_TRUE(folded.AddFace(a, b, c, 0));
    ASSERT_TRUE(folded.AddFace(c, b, d, 0));
    folded.UpdateFaceNormals();
    EXPECT_NEAR(folded.GetSectionArea(QvPlane(QvPoint(0.5, 0.0, 0.0), QvVector(1.0, 0.0, 0.0))), 0.125, 1e-12);
    folded.GetLongestBoundaryLoop(loop);
    EXPECT_EQ(loop.size(), 4u);
}

} // namespace

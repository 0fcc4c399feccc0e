// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModel.h"
#include "core/model/QvRoot.h"
#include "core/model/QvToothRef.h"
#include "core/model/QvVirtualTooth.h"
#include "ModelFixtures.h"
#include "testing/ByteSweep.h"

namespace {

using qvmodeltest::MakeCrownWithRoot;
using qvmodeltest::SortedRim;

constexpr std::size_t kCrownFaces = 18; // 4 x 4 grid
constexpr std::size_t kRootFaces = 12;  // one per rim edge

class ToothRecords : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QvEntity::SetNextId(100);
        upper = new QvJaw();
        upper->SetID(1);
        lower = new QvJaw();
        lower->SetID(2);
        lower->SetUpper(false);
        model.AddEntity(upper);
        model.AddEntity(lower);
    }
    void TearDown() override { QvEntity::SetNextId(100); }

    // Lower tooth 36 in state 2 with a frame, a grown root and a real root.
    void MakeTooth(QvTooth& tooth)
    {
        MakeCrownWithRoot(tooth);
        tooth.SetFdi(36);
        tooth.SetState(kQvToothStateI);
        tooth.SetFrame(QvFrame(QvPoint(1.0, 1.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0)));
        auto* root = new QvRoot();
        root->CopyMeshData(qvtest::MakeTwoTriangleStrip());
        tooth.SetRoot(root);
    }

    QvModel model;
    QvJaw* upper = nullptr;
    QvJaw* lower = nullptr;
};

std::string RecordOf(const QvTooth& tooth, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) { tooth.WriteRecord(os, version); });
}

TEST_F(ToothRecords, EveryFormRoundTrips)
{
    QvTooth tooth;
    MakeTooth(tooth);
    const std::vector<int> rim = SortedRim(qvtest::MakeGrid(4, 4));

    for (const int version : {1025, 1029, 1030, 1031, 1040, 1041, 1043, 2049, 2050, 2051, 2052, 2053, 2054})
    {
        SCOPED_TRACE(version);
        const int form = ToothRecordForm(version);
        const std::string bytes = RecordOf(tooth, version);
        QvTooth back;
        std::istringstream is(bytes);
        ASSERT_TRUE(back.ReadRecord(is, version, &model));
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof()); // the whole record, no more

        EXPECT_EQ(back.GetFdi(), 36);
        EXPECT_EQ(back.GetState(), kQvToothStateI);
        EXPECT_TRUE(*back.GetFrame() == *tooth.GetFrame());
        EXPECT_EQ(back.GetJaw(), lower);
        if (form <= 2)
        {
            // The crown alone, under the id of the mesh that carried it; the loop is
            // left for the root-growing pass.
            EXPECT_EQ(back.m_faces.size(), kCrownFaces);
            EXPECT_FALSE(back.HasRootFaces());
            EXPECT_NE(back.GetID(), tooth.GetID());
            EXPECT_TRUE(back.GetBoundaryLoop()->empty());
        }
        else
        {
            EXPECT_EQ(back.m_faces.size(), kCrownFaces + kRootFaces);
            EXPECT_TRUE(back.HasRootFaces());
            EXPECT_EQ(back.GetID(), tooth.GetID());
            std::vector<int> loop = *back.GetBoundaryLoop();
            EXPECT_EQ(loop.size(), rim.size());
            std::sort(loop.begin(), loop.end());
            EXPECT_EQ(loop, rim);
        }
        if (form == 1)
        {
            EXPECT_EQ(back.GetRoot(), nullptr);
        }
        else
        {
            ASSERT_NE(back.GetRoot(), nullptr);
            EXPECT_EQ(back.GetRoot()->GetOwner(), &back);
            EXPECT_EQ(back.GetRoot()->m_faces.size(), 2u);
            EXPECT_EQ(back.GetRoot()->GetID(), tooth.GetRoot()->GetID());
        }
        EXPECT_EQ(back.GetToothRef(), nullptr);
    }
}

TEST_F(ToothRecords, ReferenceDataTravelsFromForm4On)
{
    QvTooth tooth;
    MakeTooth(tooth);
    tooth.SetToothRef(new QvToothRef());
    EXPECT_EQ(tooth.GetToothRef()->GetTooth(), &tooth);
    for (const int version : {1040, 1041, 1043, 2053, 2054})
    {
        SCOPED_TRACE(version);
        QvTooth back;
        std::istringstream is(RecordOf(tooth, version));
        ASSERT_TRUE(back.ReadRecord(is, version, &model));
        if (ToothRecordForm(version) == 4)
        {
            ASSERT_NE(back.GetToothRef(), nullptr);
            EXPECT_EQ(back.GetToothRef()->GetTooth(), &back);
        }
        else
        {
            EXPECT_EQ(back.GetToothRef(), nullptr);
        }
    }
}

TEST_F(ToothRecords, DamagedRecordsFailAndLeaveTheToothAlone)
{
    QvTooth tooth;
    MakeTooth(tooth);
    tooth.SetToothRef(new QvToothRef());
    for (const int version : {1029, 1030, 1040, 1043, 2049, 2050, 2053, 2054})
    {
        SCOPED_TRACE(version);
        qvtest::ExpectReaderSurvivesDamage(
            RecordOf(tooth, version),
            [&](std::istream& is) {
                QvTooth target;
                target.SetFdi(99);
                const bool ok = target.ReadRecord(is, version, &model);
                if (!ok)
                {
                    EXPECT_EQ(target.GetFdi(), 99);
                    EXPECT_TRUE(target.m_vertices.empty());
                    EXPECT_EQ(target.GetRoot(), nullptr);
                    EXPECT_EQ(target.GetJaw(), nullptr);
                }
                return ok;
            },
            150);
    }
}

TEST_F(ToothRecords, FlagsOtherThanOneMeanAbsentAndMissingJawsStayNull)
{
    QvTooth tooth;
    MakeTooth(tooth);
    tooth.DeleteRoot();
    tooth.SetFdi(18);
    std::string bytes = RecordOf(tooth, 1043);
    // Root flag and reference flag are the last eight bytes: set both to 2.
    const std::int32_t two = 2;
    std::memcpy(&bytes[bytes.size() - 8], &two, 4);
    std::memcpy(&bytes[bytes.size() - 4], &two, 4);

    QvModel noUpperJaw;
    auto* onlyLower = new QvJaw();
    onlyLower->SetUpper(false);
    noUpperJaw.AddEntity(onlyLower);
    QvTooth back;
    std::istringstream is(bytes);
    ASSERT_TRUE(back.ReadRecord(is, 1043, &noUpperJaw));
    EXPECT_EQ(back.GetRoot(), nullptr);
    EXPECT_EQ(back.GetToothRef(), nullptr);
    EXPECT_EQ(back.GetJaw(), nullptr);
    EXPECT_TRUE(back.IsUpper()); // from its quadrant
}

TEST_F(ToothRecords, TransformMovesMeshSetFrameAndRealRoot)
{
    QvTooth tooth;
    MakeTooth(tooth);
    QvTooth unset;
    unset.CopyMeshData(qvtest::MakeTwoTriangleStrip());
    QvMatrix shift(4, 4);
    shift.SetIdentity();
    shift[2][3] = 5.0;

    const double rootZ = tooth.GetRoot()->m_vertices[0].m_point[2];
    tooth.Transform(shift);
    unset.Transform(shift);
    EXPECT_DOUBLE_EQ(tooth.GetFrame()->m_centre[2], 5.0);
    EXPECT_DOUBLE_EQ(tooth.GetRoot()->m_vertices[0].m_point[2], rootZ + 5.0);
    EXPECT_DOUBLE_EQ(tooth.m_vertices[0].m_point[2], 5.0);
    EXPECT_FALSE(unset.GetFrame()->IsValid());
    EXPECT_DOUBLE_EQ(unset.GetFrame()->m_centre[2], 0.0);
    EXPECT_DOUBLE_EQ(unset.m_vertices[0].m_point[2], 5.0);
}

TEST_F(ToothRecords, CopiesOwnTheirParts)
{
    QvTooth tooth;
    MakeTooth(tooth);
    tooth.SetJaw(lower);
    tooth.SetToothRef(new QvToothRef());
    tooth.m_bMarked = true;
    tooth.m_color = QvColor(1, 2, 3);

    QvTooth copy(tooth);
    EXPECT_NE(copy.GetRoot(), tooth.GetRoot());
    EXPECT_EQ(copy.GetRoot()->GetOwner(), &copy);
    EXPECT_NE(copy.GetToothRef(), tooth.GetToothRef());
    EXPECT_EQ(copy.GetToothRef()->GetTooth(), &copy);
    EXPECT_FALSE(copy.m_bMarked);
    EXPECT_EQ(copy.m_color.m_g, 2);
    EXPECT_EQ(copy.GetJaw(), lower);
    EXPECT_EQ(copy.GetID(), tooth.GetID());

    QvTooth assigned;
    assigned = tooth;
    EXPECT_EQ(assigned.GetRoot()->GetOwner(), &assigned);
    EXPECT_EQ(assigned.GetToothRef()->GetTooth(), &assigned);
    EXPECT_EQ(assigned.m_faces.size(), tooth.m_faces.size());
    EXPECT_EQ(assigned.GetJaw(), lower);
}

TEST_F(ToothRecords, BoundaryLoopPicksTheFirstLongestLoop)
{
    QvToothBase base;
    // Two separate 3 x 3 grids: two rims of 8 vertices; the first one found wins.
    base.CopyMeshData(qvtest::MakeGrid(3, 3));
    const int offset = static_cast<int>(base.m_vertices.size());
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            base.AddVertex(QvPoint(10.0 + i, j, 0.0));
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
        {
            const int v00 = offset + j * 3 + i;
            ASSERT_TRUE(base.AddFace(v00, v00 + 1, v00 + 3, 0));
            ASSERT_TRUE(base.AddFace(v00 + 1, v00 + 4, v00 + 3, 0));
        }
    std::vector<std::vector<int>> loops;
    base.GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 2u);
    base.UpdateBoundaryLoop();
    EXPECT_EQ(*base.GetBoundaryLoop(), loops[0]);

    QvToothBase closed;
    MakeCrownWithRoot(closed);
    closed.m_boundaryLoop = {1, 2, 3};
    closed.UpdateBoundaryLoop();
    EXPECT_TRUE(closed.GetBoundaryLoop()->empty());
    EXPECT_TRUE(closed.HasRootFaces());
    EXPECT_FALSE(base.HasRootFaces());
}

// ---- Virtual teeth ----------------------------------------------------------------------

class VirtualTeeth : public ToothRecords
{
protected:
    void MakePontic(QvVirtualTooth& pontic)
    {
        pontic.CopyMeshData(qvtest::MakeGrid(3, 3));
        pontic.SetJaw(upper);
        pontic.UpdateBoundaryLoop();
        pontic.SetFrame(QvFrame(QvPoint(0.0, 0.0, 1.0), QvVector(0.0, 1.0, 0.0), QvVector(1.0, 0.0, 0.0)));
        pontic.m_nKind = 1;
        pontic.m_bReference = true;
        pontic.m_matrix.Create(4, 4);
        pontic.m_matrix.SetIdentity();
        pontic.m_matrix[0][3] = 2.0;
        pontic.SetFactors(1.5, 2.5, 3.5);
        pontic.m_nFdi = 14;
        pontic.m_nStartStep = 3;
    }
};

TEST_F(VirtualTeeth, PositionTravelsOnlyFromTheVersionsThatStoreIt)
{
    QvVirtualTooth pontic;
    MakePontic(pontic);
    struct Case
    {
        int version;
        bool position;
    } cases[] = {{8193, false}, {8198, false}, {8199, true}, {1042, false}, {1043, true}, {529, false}, {530, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.version);
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { pontic.Write(os, c.version); });
        QvVirtualTooth back;
        std::istringstream is(bytes);
        ASSERT_TRUE(back.Read(is, c.version, &model));
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
        EXPECT_EQ(back.GetJaw(), upper);
        EXPECT_EQ(*back.GetBoundaryLoop(), *pontic.GetBoundaryLoop());
        EXPECT_TRUE(*back.GetFrame() == *pontic.GetFrame());
        EXPECT_EQ(back.m_nKind, 1);
        EXPECT_TRUE(back.m_bReference);
        EXPECT_EQ(back.m_matrix[0][3], 2.0);
        EXPECT_EQ(back.m_factors[2], 3.5);
        EXPECT_EQ(back.m_faces.size(), pontic.m_faces.size());
        EXPECT_EQ(back.GetID(), pontic.GetID());
        EXPECT_EQ(back.m_nFdi, c.position ? 14 : -1);
        EXPECT_EQ(back.m_nStartStep, c.position ? 3 : 0);

        qvtest::ExpectReaderSurvivesDamage(
            bytes,
            [&](std::istream& s) {
                QvVirtualTooth target;
                const bool ok = target.Read(s, c.version, &model);
                if (!ok)
                {
                    EXPECT_TRUE(target.m_vertices.empty() && target.GetJaw() == nullptr && target.m_nKind == 0);
                }
                return ok;
            },
            100);
    }

    QvVirtualTooth none;
    std::istringstream is(qvtest::BytesOf([&](std::ostream& os) { pontic.Write(os, 8199); }));
    EXPECT_FALSE(none.Read(is, 0x801, &model));
    EXPECT_EQ(is.tellg(), 0);
    EXPECT_TRUE(qvtest::BytesOf([&](std::ostream& os) { pontic.Write(os, 0x801); }).empty());
}

TEST_F(VirtualTeeth, PositionFormsAndLoopsOutsideTheMesh)
{
    QvVirtualTooth pontic;
    MakePontic(pontic);
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { pontic.WriteWithPosition(os, 8193); });
    QvVirtualTooth back;
    std::istringstream is(bytes);
    ASSERT_TRUE(back.ReadWithPosition(is, 8193, &model));
    EXPECT_EQ(back.m_nFdi, 14);
    EXPECT_EQ(back.m_nStartStep, 3);
    qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& s) {
        QvVirtualTooth target;
        return target.ReadWithPosition(s, 8193, &model);
    });

    // A stored loop that names vertices the mesh lacks is dropped whole.
    pontic.m_boundaryLoop.push_back(500);
    QvVirtualTooth bad;
    std::istringstream is2(qvtest::BytesOf([&](std::ostream& os) { pontic.Write(os, 8199); }));
    ASSERT_TRUE(bad.Read(is2, 8199, &model));
    EXPECT_TRUE(bad.GetBoundaryLoop()->empty());
}

TEST_F(VirtualTeeth, PlacementTransformFollowsTheOwnMatrix)
{
    QvVirtualTooth pontic;
    MakePontic(pontic);
    const QvMatrix motion = pontic.GetPlacementTransform();
    ASSERT_EQ(motion.Rows(), 4);
    const QvPoint moved = motion * QvPoint(1.0, 1.0, 1.0);
    EXPECT_NEAR(moved[0], 3.0, 1e-12);
    EXPECT_NEAR(moved[1], 1.0, 1e-12);

    pontic.m_matrix = QvMatrix();
    EXPECT_TRUE(pontic.GetPlacementTransform().IsIdentity());
}

} // namespace

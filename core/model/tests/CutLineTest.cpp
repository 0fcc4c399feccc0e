// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvCutLine.h"
#include "core/model/QvModel.h"
#include "core/model/QvToothList.h"
#include "testing/ByteSweep.h"
#include "testing/MeshFixtures.h"

namespace {

class CutLines : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QvEntity::SetNextId(100);
        jaw = new QvMesh();
        jaw->CopyMeshData(qvtest::MakeGrid(4, 4));
        jaw->SetID(7);
        model.AddEntity(jaw);
    }
    void TearDown() override { QvEntity::SetNextId(100); }

    // The 12 border vertices of the grid, walked round, with two contact marks.
    QvCutLine MakeLine() const
    {
        QvCutLine line(jaw, 5);
        EXPECT_TRUE(line.SetIndices({0, 1, 2, 3, 7, 11, 15, 14, 13, 12, 8, 4}));
        EXPECT_TRUE(line.SetMark(3, 2));
        EXPECT_TRUE(line.SetMark(9, 1));
        line.m_nExtra = 42;
        return line;
    }

    QvModel model;
    QvMesh* jaw = nullptr;
};

std::string BytesOf(const QvCutLine& line, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) { line.Write(os, version); });
}

void ExpectSameEntries(const QvCutLine& a, const QvCutLine& b)
{
    EXPECT_EQ(a.m_vertices, b.m_vertices);
    EXPECT_EQ(a.m_marks, b.m_marks);
    ASSERT_EQ(a.m_points.size(), b.m_points.size());
    for (std::size_t i = 0; i < a.m_points.size(); ++i)
        EXPECT_TRUE(a.m_points[i] == b.m_points[i]) << i;
}

TEST_F(CutLines, NewestFormRoundTripsAndBindsTheMeshById)
{
    const QvCutLine line = MakeLine();
    std::istringstream in(BytesOf(line, 264));
    QvCutLine back;
    ASSERT_TRUE(back.Read(in, 264, &model));
    ExpectSameEntries(line, back);
    EXPECT_EQ(back.m_nAnchorVertex, 5);
    EXPECT_EQ(back.m_nExtra, 42);
    EXPECT_EQ(back.GetMesh(), jaw);
    EXPECT_EQ(in.peek(), std::char_traits<char>::eof());

    // An id that names nothing, or names no mesh, leaves no mesh.
    QvCutLine orphan = line;
    orphan.SetMesh(nullptr);
    std::istringstream none(BytesOf(orphan, 264));
    QvCutLine unbound(jaw, 0);
    ASSERT_TRUE(unbound.Read(none, 264, &model));
    EXPECT_EQ(unbound.GetMesh(), nullptr);

    auto* list = new QvToothList();
    list->SetID(8);
    model.AddEntity(list);
    std::string bytes = BytesOf(line, 264);
    bytes.replace(bytes.size() - 4, 4, std::string("\x08\0\0\0", 4));
    std::istringstream notMesh(bytes);
    ASSERT_TRUE(unbound.Read(notMesh, 264, &model));
    EXPECT_EQ(unbound.GetMesh(), nullptr);
}

TEST_F(CutLines, OlderFormsRoundTripThroughTheReaderOf258To263)
{
    const QvCutLine line = MakeLine();
    for (int version : {258, 261, 263})
    {
        std::istringstream in(BytesOf(line, version));
        QvCutLine back;
        ASSERT_TRUE(back.Read(in, version, &model)) << version;
        ExpectSameEntries(line, back);
        EXPECT_EQ(back.m_nExtra, 42);
        // Neither the anchor nor the mesh travels in this form: the tooth reader sets the mesh.
        EXPECT_EQ(back.m_nAnchorVertex, -1);
        EXPECT_EQ(back.GetMesh(), nullptr);
    }
}

std::string Form257(int count)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        QvVector(0.0, 0.0, 1.0).Write(os, true);
        qvio::WriteI32(os, count);
        for (int i = 0; i < count; ++i)
            qvio::WriteI32(os, i);
        for (int i = 0; i < count; ++i)
            qvio::WriteI32(os, i == 1 ? 2 : 0);
        for (int i = 0; i < count; ++i)
            QvPoint(i, 0.0, 0.0).Write(os, true);
        if (count > 0)
        {
            qvio::WriteI32(os, 9); // stored anchor
            qvio::WriteI32(os, 3); // extra
        }
    });
}

TEST_F(CutLines, OldestFormKeepsTheStoredAnchorForRestoreAnchor)
{
    std::istringstream in(Form257(3));
    QvCutLine line;
    ASSERT_TRUE(line.Read(in, 257, &model));
    EXPECT_EQ(line.m_vertices, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(line.m_marks, (std::vector<int>{0, 2, 0}));
    EXPECT_EQ(line.m_nExtra, 3);
    EXPECT_EQ(line.m_nAnchorVertex, -1);
    line.RestoreAnchor();
    EXPECT_EQ(line.m_nAnchorVertex, 9);

    std::istringstream empty(Form257(0));
    EXPECT_FALSE(QvCutLine().Read(empty, 257, &model));
}

TEST_F(CutLines, OnlyTheOldestFamilyHasAForm)
{
    const QvCutLine line = MakeLine();
    for (int version : {0x401, 0x413, 0x806, 0x2007, 0})
    {
        EXPECT_TRUE(BytesOf(line, version).empty()) << version;
        std::istringstream in(BytesOf(line, 264));
        QvCutLine back;
        EXPECT_FALSE(back.Read(in, version, &model)) << version;
        EXPECT_EQ(in.tellg(), 0) << version;
    }
}

TEST_F(CutLines, DamagedRecordsFailAndLeaveTheLineAsItWas)
{
    const QvCutLine line = MakeLine();
    for (const auto& [version, bytes] : std::vector<std::pair<int, std::string>>{
             {264, BytesOf(line, 264)}, {260, BytesOf(line, 260)}, {257, Form257(4)}})
    {
        SCOPED_TRACE(version);
        qvtest::ExpectReaderSurvivesDamage(bytes, [&, v = version](std::istream& is) {
            QvCutLine target = MakeLine();
            const bool ok = target.Read(is, v, &model);
            if (!ok)
            {
                ExpectSameEntries(target, MakeLine());
                EXPECT_EQ(target.m_nExtra, 42);
                EXPECT_EQ(target.GetMesh(), jaw);
            }
            return ok;
        });
    }
}

TEST_F(CutLines, TransformMovesPointsNotIndices)
{
    QvCutLine line = MakeLine();
    QvMatrix shift(4, 4);
    shift.SetIdentity();
    shift[0][3] = 2.0;
    shift[2][3] = -1.0;
    line.Transform(shift);
    const QvCutLine original = MakeLine();
    EXPECT_EQ(line.m_vertices, original.m_vertices);
    for (std::size_t i = 0; i < line.m_points.size(); ++i)
        EXPECT_TRUE(line.m_points[i] == original.m_points[i] + QvVector(2.0, 0.0, -1.0)) << i;
}

TEST_F(CutLines, RemoveRangeWrapsRoundTheLoop)
{
    QvCutLine line(jaw, 0);
    ASSERT_TRUE(line.SetIndices({10, 11, 12, 13, 14, 15, 9}));
    ASSERT_TRUE(line.RemoveRange(5, 2));
    EXPECT_EQ(line.m_vertices, (std::vector<int>{12, 13, 14}));
    EXPECT_EQ(line.m_marks.size(), 3u);
    EXPECT_EQ(line.m_points.size(), 3u);
    EXPECT_TRUE(line.RemoveRange(1, 1)); // nothing
    EXPECT_EQ(line.GetCount(), 3);
    EXPECT_FALSE(line.RemoveRange(0, 3));
    EXPECT_FALSE(line.RemoveRange(-1, 1));
    EXPECT_EQ(line.GetCount(), 3);
}

struct NeighbourCase
{
    std::vector<int> marks;
    int vertex;
    bool found;
    int previous;
    int next;
};

TEST_F(CutLines, FindMarkedNeighbours)
{
    // Vertices 0..5 in order; the entry position equals the vertex.
    const std::vector<NeighbourCase> cases = {
        {{0, 1, 0, 0, 2, 0}, 1, true, 4, 4},   // one other marked entry: both ways
        {{1, 0, 1, 0, 1, 0}, 2, true, 0, 4},
        {{1, 0, 1, 0, 1, 0}, 0, true, 4, 2},   // wraps from the first entry to the last
        {{0, 0, 3, 0, 0, 0}, 2, false, -1, 7}, // the only marked entry
        {{1, 0, 1, 0, 0, 0}, 1, false, 7, 7},  // unmarked vertex
        {{1, 0, 1, 0, 0, 0}, 9, false, 7, 7},  // not in the line
    };
    for (const NeighbourCase& c : cases)
    {
        QvCutLine line(jaw, 0);
        ASSERT_TRUE(line.SetIndices({0, 1, 2, 3, 4, 5}));
        ASSERT_TRUE(line.SetMarks(c.marks));
        int previous = 7;
        int next = 7;
        EXPECT_EQ(line.FindMarkedNeighbours(c.vertex, previous, next), c.found) << c.vertex;
        EXPECT_EQ(previous, c.previous) << c.vertex;
        EXPECT_EQ(next, c.next) << c.vertex;
    }
}

TEST_F(CutLines, SameLoopFromAnyStartAndEitherDirection)
{
    const QvCutLine line = MakeLine();
    const int n = line.GetCount();
    for (int shift = 0; shift < n; ++shift)
    {
        QvCutLine rotated(jaw, 0);
        for (int i = 0; i < n; ++i)
        {
            const int k = (i + shift) % n;
            ASSERT_TRUE(rotated.Append(line.m_vertices[k], line.m_marks[k]));
        }
        EXPECT_TRUE(line.IsSameLoop(rotated)) << shift;
        QvCutLine reversed = rotated;
        reversed.Reverse();
        EXPECT_TRUE(line.IsSameLoop(reversed)) << shift;

        QvCutLine remarked = rotated;
        ASSERT_TRUE(remarked.SetMark(shift, remarked.m_marks[shift] + 1));
        EXPECT_FALSE(line.IsSameLoop(remarked)) << shift;
    }
    QvCutLine shorter = line;
    ASSERT_TRUE(shorter.RemoveAt(0));
    EXPECT_FALSE(line.IsSameLoop(shorter));
    QvCutLine skipped = line; // same count, the second vertex no neighbour of the first
    std::swap(skipped.m_vertices[1], skipped.m_vertices[5]);
    EXPECT_FALSE(line.IsSameLoop(skipped));
}

TEST_F(CutLines, EditingChecksPositionsAndVertices)
{
    QvCutLine line = MakeLine();
    const QvCutLine before = line;
    EXPECT_FALSE(line.SetIndices({0, 16}));  // 16 vertices: 0..15
    EXPECT_FALSE(line.InsertAt(13, {1}));
    EXPECT_FALSE(line.InsertAt(0, {-1}));
    EXPECT_FALSE(line.SetVertex(12, 1));
    EXPECT_FALSE(line.SetMark(-1, 1));
    EXPECT_FALSE(line.SetMarks({1, 2}));
    EXPECT_FALSE(line.SetPoints({}));
    EXPECT_FALSE(line.RemoveAt(12));
    EXPECT_FALSE(line.InsertEntries(0, {1, 2}, {QvPoint()}, {0, 0}));
    ExpectSameEntries(line, before);
    EXPECT_EQ(line.GetVertex(12), -1);
    EXPECT_EQ(line.GetMeshVertex(12), nullptr);
    EXPECT_FALSE(QvCutLine().Append(0, 0)); // no mesh to take the position from

    QvPoint anchor(9, 9, 9);
    ASSERT_TRUE(line.GetAnchorPoint(anchor));
    EXPECT_TRUE(anchor == jaw->m_vertices[5].m_point);
    line.m_nAnchorVertex = 99;
    EXPECT_EQ(line.GetAnchorVertex(), nullptr);
    EXPECT_FALSE(line.GetAnchorPoint(anchor));

    ASSERT_TRUE(line.InsertAt(1, {5, 6}));
    EXPECT_EQ(line.GetVertex(1), 5);
    EXPECT_EQ(line.GetMeshVertex(2), &jaw->m_vertices[6]);
    EXPECT_TRUE(line.m_points[2] == jaw->m_vertices[6].m_point);
    EXPECT_EQ(line.m_marks[1], 0);
}

TEST_F(CutLines, MarkQueries)
{
    QvCutLine line(jaw, 0);
    ASSERT_TRUE(line.SetIndices({4, 5, 6, 5, 7}));
    ASSERT_TRUE(line.SetMarks({0, 0, 2, 2, 1}));
    EXPECT_EQ(line.FindVertex(5), 1);
    EXPECT_EQ(line.FindVertexWithMark(5, 0), 1);
    EXPECT_EQ(line.FindVertexWithMark(5, 2), -1); // only the first entry of the vertex counts
    EXPECT_EQ(line.FindVertexByMark(5, false), 3);
    EXPECT_EQ(line.FindVertexByMark(6, true), -1);
    EXPECT_EQ(line.GetLastMarkedVertex(), 7);
    std::vector<int> twos;
    line.CollectMarkTwo(twos);
    EXPECT_EQ(twos, (std::vector<int>{2, 3}));
    std::vector<int> marks;
    line.CollectMarksOfVertex(5, marks);
    EXPECT_EQ(marks, (std::vector<int>{0, 2}));

    QvFillList(line.m_marks, 0);
    EXPECT_EQ(line.GetLastMarkedVertex(), -1);
}

TEST_F(CutLines, CopyKeepsMeshListsAnchorAndExtra)
{
    QvCutLine line = MakeLine();
    line.m_nStoredAnchor = 3;
    const QvCutLine copy(line);
    EXPECT_EQ(copy.GetMesh(), jaw);
    ExpectSameEntries(copy, line);
    EXPECT_EQ(copy.m_nAnchorVertex, 5);
    EXPECT_EQ(copy.m_nExtra, 42);
    EXPECT_EQ(copy.m_nStoredAnchor, -1);
}

} // namespace

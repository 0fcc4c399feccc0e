// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "core/mesh/QvMeshElements.h"
#include "testing/ByteSweep.h"

namespace {

QvEdge MakeEdge(int v0, int v1, int f0, int f1)
{
    QvEdge e;
    e.SetVertices(v0, v1);
    e.SetFaces(f0, f1);
    return e;
}

QvFace MakeFace(int a, int b, int c)
{
    QvFace f;
    f.SetVertices(a, b, c);
    f.SetEdges(10, 11, 12);
    return f;
}

TEST(MeshElements, TypeCodesAndKinds)
{
    const QvVertex v;
    const QvEdge e;
    const QvFace f;
    struct Case
    {
        const QvObject* object;
        QvTypeCode own;
    } cases[] = {{&v, kQvTypeVertex}, {&e, kQvTypeEdge}, {&f, kQvTypeFace}};
    for (const Case& c : cases)
    {
        EXPECT_EQ(c.object->GetType(), c.own);
        for (QvTypeCode code : {kQvTypeObject, kQvTypeEntity, kQvTypeMesh, kQvTypeVertex, kQvTypeEdge, kQvTypeFace})
            EXPECT_EQ(c.object->IsKindOf(code), code == c.own || code == kQvTypeObject) << c.own << " " << code;
    }
}

TEST(MeshElements, NewElementsHoldNoReferences)
{
    const QvVertex v(QvPoint(1, 2, 3));
    EXPECT_EQ(v.m_state, 0x11u);
    EXPECT_EQ(v.m_index, -1);
    EXPECT_TRUE(v.m_edges.empty());
    EXPECT_EQ(v.m_point, QvPoint(1, 2, 3));
    const QvEdge e;
    EXPECT_EQ(e.m_vertices[0], -1);
    EXPECT_EQ(e.m_faces[1], -1);
    EXPECT_TRUE(e.IsBoundary());
    const QvFace f;
    EXPECT_EQ(f.m_index, -1);
    EXPECT_EQ(f.m_vertices[2], -1);
    EXPECT_EQ(f.m_edges[0], -1);
    EXPECT_EQ(f.m_tag, 0);
    EXPECT_TRUE(f.m_normal.IsZero());
}

TEST(MeshElements, EdgeOtherEndAndOtherFace)
{
    const QvEdge inner = MakeEdge(3, 8, 5, 9);
    const QvEdge border = MakeEdge(3, 8, 5, -1);
    struct Case
    {
        const QvEdge* edge;
        int asked;
        int otherVertex;
        int otherFace;
    } cases[] = {
        {&inner, 3, 8, 5},   // 3 is the first vertex; as a face it is neither: the first face
        {&inner, 8, 3, 5},
        {&inner, 5, 3, 9},   // first face gives the second
        {&inner, 9, 3, 5},
        {&inner, 42, 3, 5},  // neither: the first one
        {&border, 5, 3, -1}, // border edge asked for its face
        {&border, -1, 3, 5}, // -1 given on a border edge: the edge's face
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(c.edge->GetOtherVertex(c.asked), c.otherVertex) << c.asked;
        EXPECT_EQ(c.edge->GetOtherFace(c.asked), c.otherFace) << c.asked;
    }
    EXPECT_FALSE(inner.IsBoundary());
    EXPECT_TRUE(border.IsBoundary());
}

TEST(MeshElements, FaceCornerAndSideQueries)
{
    const QvFace f = MakeFace(3, 5, 7);
    struct Case
    {
        int v;
        int next, afterNext;
    } corners[] = {{3, 5, 7}, {5, 7, 3}, {7, 3, 5}, {99, 3, 5}};
    for (const Case& c : corners)
    {
        int a = 0, b = 0;
        f.GetOtherVertices(c.v, a, b);
        EXPECT_EQ(a, c.next) << c.v;
        EXPECT_EQ(b, c.afterNext) << c.v;
    }
    const Case sides[] = {{10, 11, 12}, {11, 12, 10}, {12, 10, 11}, {99, 10, 11}};
    for (const Case& c : sides)
    {
        int a = 0, b = 0;
        f.GetOtherEdges(c.v, a, b);
        EXPECT_EQ(a, c.next) << c.v;
        EXPECT_EQ(b, c.afterNext) << c.v;
    }
    struct Third
    {
        int a, b, third;
    } thirds[] = {{3, 5, 7}, {7, 3, 5}, {5, 7, 3}, {3, 3, 5}, {1, 2, 3}};
    for (const Third& t : thirds)
        EXPECT_EQ(f.GetThirdVertex(t.a, t.b), t.third) << t.a << "," << t.b;

    QvFace twice = MakeFace(4, 6, 4); // corners all among the two given vertices
    EXPECT_EQ(twice.GetThirdVertex(4, 6), -1);
}

TEST(MeshElements, FlipExchangesOuterCornersAndNegatesNormal)
{
    QvFace f = MakeFace(1, 2, 3);
    f.SetNormal(QvVector(0, 0, 2), true);
    f.Flip();
    EXPECT_EQ(f.m_vertices[0], 3);
    EXPECT_EQ(f.m_vertices[1], 2);
    EXPECT_EQ(f.m_vertices[2], 1);
    EXPECT_EQ(f.m_edges[0], 10);
    EXPECT_EQ(f.m_edges[1], 11);
    EXPECT_EQ(f.m_edges[2], 12);
    EXPECT_EQ(f.m_normal, QvVector(0, 0, -1));
}

TEST(MeshElements, SetNormalNormalisesOnRequest)
{
    QvFace f;
    f.SetNormal(QvVector(0, 0, 0), true);
    EXPECT_EQ(f.m_normal, QvVector(1, 0, 0));
    f.SetNormal(QvVector(0, 3, 4), false);
    EXPECT_EQ(f.m_normal, QvVector(0, 3, 4));
    f.SetNormal(QvVector(0, 3, 4), true);
    EXPECT_EQ(f.m_normal, QvVector(0, 0.6, 0.8));
}

TEST(MeshElements, RemoveEdgeTakesFirstOccurrenceOnly)
{
    QvVertex v;
    for (int e : {4, 7, 4, 9})
        v.AddEdge(e);
    v.RemoveEdge(4);
    EXPECT_EQ(v.m_edges, (std::vector<int>{7, 4, 9}));
    v.RemoveEdge(5);
    EXPECT_EQ(v.m_edges, (std::vector<int>{7, 4, 9}));
}

TEST(MeshElements, MarkUsesBit24Only)
{
    QvVertex v;
    v.SetMarked(true);
    EXPECT_EQ(v.m_state, 0x11u | 0x1000000u);
    EXPECT_TRUE(v.IsMarked());
    v.SetMarked(false);
    EXPECT_EQ(v.m_state, 0x11u);
    EXPECT_FALSE(v.IsMarked());
}

TEST(MeshElements, CopiesCarryEveryField)
{
    QvVertex v(QvPoint(1, 2, 3));
    v.m_index = 4;
    v.m_state = 0x1234;
    v.AddEdge(8);
    const QvVertex copy(v);
    EXPECT_EQ(copy.m_state, 0x1234u);
    EXPECT_EQ(copy.m_index, 4);
    EXPECT_EQ(copy.m_edges, std::vector<int>{8});
    QvFace f = MakeFace(1, 2, 3);
    f.m_tag = 6;
    f.m_state = 7;
    QvFace g;
    g = f;
    EXPECT_EQ(g.m_state, 7u);
    EXPECT_EQ(g.m_tag, 6);
    EXPECT_EQ(g.m_edges[2], 12);
}

TEST(MeshElements, RecordsAreLittleEndianFieldByField)
{
    QvVertex v(QvPoint(1.5, -2, 0.25));
    v.m_index = 258;
    const std::string vb = qvtest::BytesOf([&](std::ostream& os) { v.Write(os, 7); });
    ASSERT_EQ(vb.size(), 32u);
    EXPECT_EQ(vb.substr(0, 8), std::string("\x11\0\0\0\x02\x01\0\0", 8));
    double x = 0;
    std::memcpy(&x, vb.data() + 8, 8);
    EXPECT_EQ(x, 1.5);

    QvFace f = MakeFace(1, 2, 70000);
    f.m_index = 3;
    f.m_tag = -1;
    const std::string fb = qvtest::BytesOf([&](std::ostream& os) { f.Write(os, 7); });
    EXPECT_EQ(fb, std::string("\x11\0\0\0"
                              "\x01\0\0\0"
                              "\x02\0\0\0"
                              "\x70\x11\x01\0"
                              "\x03\0\0\0"
                              "\xff\xff\xff\xff",
                              24));
    EXPECT_EQ(qvtest::BytesOf([](std::ostream& os) { QvEdge().Write(os, 0); }).size(), 4u);
}

TEST(MeshElements, FaceReadRestoresRecordButNotSidesOrNormal)
{
    QvFace stored = MakeFace(4, 5, 6);
    stored.m_index = 9;
    stored.m_tag = 4;
    stored.m_state = 0x13;
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { stored.Write(os, 0); });

    QvFace target;
    target.SetEdges(1, 2, 3);
    target.SetNormal(QvVector(0, 1, 0), false);
    std::istringstream is(bytes);
    ASSERT_TRUE(target.Read(is, 0, nullptr));
    EXPECT_EQ(target.m_index, 9);
    EXPECT_EQ(target.m_tag, 4);
    EXPECT_EQ(target.m_state, 0x13u);
    EXPECT_EQ(target.m_vertices[1], 5);
    EXPECT_EQ(target.m_edges[0], 1);
    EXPECT_EQ(target.m_normal, QvVector(0, 1, 0));
}

TEST(MeshElements, VertexReadKeepsEdgeList)
{
    QvVertex stored(QvPoint(7, 8, 9));
    stored.m_index = 2;
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { stored.Write(os, 0); });
    QvVertex target;
    target.AddEdge(5);
    std::istringstream is(bytes);
    ASSERT_TRUE(target.Read(is, 0, nullptr));
    EXPECT_EQ(target.m_point, QvPoint(7, 8, 9));
    EXPECT_EQ(target.m_index, 2);
    EXPECT_EQ(target.m_edges, std::vector<int>{5});
}

// A short record is a failed read and leaves the element as it was.
TEST(MeshElements, ShortRecordsFailAndChangeNothing)
{
    QvVertex v(QvPoint(1, 1, 1));
    v.m_index = 3;
    QvFace f = MakeFace(1, 2, 3);
    f.m_index = 5;
    const std::string vb = qvtest::BytesOf([&](std::ostream& os) { QvVertex(QvPoint(9, 9, 9)).Write(os, 0); });
    const std::string fb = qvtest::BytesOf([&](std::ostream& os) { MakeFace(7, 8, 9).Write(os, 0); });
    qvtest::ExpectReaderSurvivesDamage(vb, [](std::istream& is) { return QvVertex().Read(is, 0, nullptr); });
    qvtest::ExpectReaderSurvivesDamage(fb, [](std::istream& is) { return QvFace().Read(is, 0, nullptr); });
    for (std::size_t len : {0, 4, 31})
    {
        std::istringstream is(vb.substr(0, len));
        QvVertex copy = v;
        EXPECT_FALSE(copy.Read(is, 0, nullptr));
        EXPECT_EQ(copy.m_point, QvPoint(1, 1, 1));
        EXPECT_EQ(copy.m_index, 3);
    }
    for (std::size_t len : {0, 8, 23})
    {
        std::istringstream is(fb.substr(0, len));
        QvFace copy = f;
        EXPECT_FALSE(copy.Read(is, 0, nullptr));
        EXPECT_EQ(copy.m_vertices[0], 1);
        EXPECT_EQ(copy.m_index, 5);
    }
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <sstream>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvCrownCurve.h"
#include "testing/ByteSweep.h"
#include "testing/MeshFixtures.h"

namespace {

QvBSplineCurve* SampleCurve()
{
    return QvBSplineCurve::FromEndTangents(QvPoint(0, 0, 0), QvPoint(3, 1, 0), QvVector(1, 1, 0), QvVector(1, -1, 0));
}

bool SameCurve(const QvBSplineCurve* a, const QvBSplineCurve* b)
{
    if (!a || !b)
        return a == b;
    if (a->m_ctrlPoints.size() != b->m_ctrlPoints.size() || a->m_knots.m_values != b->m_knots.m_values)
        return false;
    for (std::size_t i = 0; i < a->m_ctrlPoints.size(); ++i)
    {
        if (!(a->m_ctrlPoints[i] == b->m_ctrlPoints[i]))
            return false;
    }
    return true;
}

QvFacc MakeFacc()
{
    QvFacc facc;
    facc.m_vertices = {3, 12};
    facc.m_pCurve = SampleCurve();
    return facc;
}

template <typename Writer>
std::string Bytes(Writer writer)
{
    return qvtest::BytesOf([&](std::ostream& os) { writer(os); });
}

class CrownCurves : public ::testing::Test
{
protected:
    QvMesh tooth = qvtest::MakeGrid(4, 4); // 16 vertices
};

TEST_F(CrownCurves, FaccFormsByVersion)
{
    const QvFacc facc = MakeFacc();
    // New forms keep curve and indices.
    for (int version : {1041, 1043, 2054})
    {
        std::istringstream in(Bytes([&](std::ostream& os) { facc.Write(os, version); }));
        QvFacc back;
        ASSERT_TRUE(back.Read(in, version, &tooth)) << version;
        EXPECT_EQ(back.m_vertices, facc.m_vertices);
        EXPECT_TRUE(SameCurve(back.m_pCurve, facc.m_pCurve));
        EXPECT_EQ(in.peek(), std::char_traits<char>::eof());
    }
    // Old forms keep the curve and lose the indices.
    for (int version : {1025, 1040, 2049, 2053})
    {
        std::istringstream in(Bytes([&](std::ostream& os) { facc.Write(os, version); }));
        QvFacc back;
        ASSERT_TRUE(back.Read(in, version, &tooth)) << version;
        EXPECT_TRUE(back.m_vertices.empty());
        EXPECT_TRUE(SameCurve(back.m_pCurve, facc.m_pCurve));
        EXPECT_EQ(in.peek(), std::char_traits<char>::eof());
    }
    // Versions without a form write nothing and read nothing.
    for (int version : {1044, 2055, 0x2007, 0x8005, 263, 0})
    {
        EXPECT_TRUE(Bytes([&](std::ostream& os) { facc.Write(os, version); }).empty()) << version;
        std::istringstream in(Bytes([&](std::ostream& os) { facc.Write(os, 1043); }));
        QvFacc back;
        EXPECT_FALSE(back.Read(in, version, &tooth)) << version;
        EXPECT_EQ(in.tellg(), 0);
    }
}

TEST_F(CrownCurves, FaccWithoutIndicesStillCarriesItsCurve)
{
    QvFacc curveOnly;
    curveOnly.m_pCurve = SampleCurve();
    std::istringstream in(Bytes([&](std::ostream& os) {
        curveOnly.Write(os, 1043);
        qvio::WriteI32(os, 77); // the next field of the enclosing record
    }));
    QvFacc back;
    back.m_vertices = {1, 2};
    EXPECT_FALSE(back.Read(in, 1043, &tooth));
    EXPECT_TRUE(in.good()); // the record goes on
    EXPECT_EQ(back.m_vertices, (std::vector<int>{1, 2}));
    EXPECT_TRUE(SameCurve(back.m_pCurve, curveOnly.m_pCurve));
    std::int32_t next = 0;
    ASSERT_TRUE(qvio::ReadI32(in, next));
    EXPECT_EQ(next, 77);
}

TEST_F(CrownCurves, FaccIndexOutsideTheToothFailsTheRecord)
{
    for (int bad : {16, -1})
    {
        QvFacc facc = MakeFacc();
        facc.m_vertices[1] = bad;
        std::istringstream in(Bytes([&](std::ostream& os) { facc.Write(os, 1043); }));
        QvFacc back = MakeFacc();
        back.m_vertices = {4, 5};
        EXPECT_FALSE(back.Read(in, 1043, &tooth)) << bad;
        EXPECT_TRUE(in.fail());
        EXPECT_EQ(back.m_vertices, (std::vector<int>{4, 5}));
    }
    QvFacc lastVertex = MakeFacc();
    lastVertex.m_vertices[1] = 15;
    std::istringstream in(Bytes([&](std::ostream& os) { lastVertex.Write(os, 1043); }));
    QvFacc back;
    EXPECT_TRUE(back.Read(in, 1043, &tooth));
}

TEST_F(CrownCurves, MidCurveFormsByVersion)
{
    QvMidCurve mid;
    mid.m_vertices = {2, 9, 14};
    for (int version : {1041, 1043, 2054})
    {
        std::istringstream in(Bytes([&](std::ostream& os) { mid.Write(os, version); }));
        QvMidCurve back;
        ASSERT_TRUE(back.Read(in, &tooth, version));
        EXPECT_EQ(back.m_vertices, mid.m_vertices);
    }
    for (int version : {1040, 2053})
    {
        const std::string bytes = Bytes([&](std::ostream& os) { mid.Write(os, version); });
        EXPECT_EQ(bytes.size(), 4u);
        std::istringstream in(bytes);
        QvMidCurve back;
        ASSERT_TRUE(back.Read(in, &tooth, version));
        EXPECT_TRUE(back.m_vertices.empty());
    }
    // An old record holding a curve: read and dropped, the stream left after it.
    std::unique_ptr<QvBSplineCurve> curve(SampleCurve());
    std::istringstream withCurve(Bytes([&](std::ostream& os) {
        qvio::WriteI32(os, 1);
        curve->Write(os, true);
    }));
    QvMidCurve back;
    ASSERT_TRUE(back.Read(withCurve, &tooth, 1040));
    EXPECT_EQ(withCurve.peek(), std::char_traits<char>::eof());
}

struct MidCase
{
    std::vector<std::int32_t> stored; // count, then indices
    bool ok;
    bool streamFailed;
};

TEST_F(CrownCurves, MidCurveNewFormEdgeCases)
{
    const std::vector<MidCase> cases = {
        {{0}, false, false},          // empty: keeps what it had, the record goes on
        {{-3}, false, false},
        {{3, 0, 1, 15}, true, false}, // one below the vertex count
        {{3, 0, 1, 16}, false, true}, // the vertex count itself
        {{2, -1, 4}, false, true},
        {{5, 1, 2}, false, true},     // short
    };
    for (const MidCase& c : cases)
    {
        std::istringstream in(Bytes([&](std::ostream& os) {
            for (std::int32_t v : c.stored)
                qvio::WriteI32(os, v);
        }));
        QvMidCurve mid;
        mid.m_vertices = {7, 8, 9};
        EXPECT_EQ(mid.Read(in, &tooth, 1043), c.ok) << c.stored[0];
        EXPECT_EQ(in.fail(), c.streamFailed) << c.stored[0];
        if (c.ok)
            EXPECT_EQ(mid.m_vertices, (std::vector<int>(c.stored.begin() + 1, c.stored.end())));
        else
            EXPECT_EQ(mid.m_vertices, (std::vector<int>{7, 8, 9}));
    }
    // Without a tooth the indices cannot be checked: damage, not a guess.
    std::istringstream in(Bytes([&](std::ostream& os) {
        qvio::WriteI32(os, 1);
        qvio::WriteI32(os, 0);
    }));
    QvMidCurve mid;
    EXPECT_FALSE(mid.Read(in, nullptr, 1043));
}

TEST_F(CrownCurves, MidCurveLookups)
{
    const std::vector<std::pair<std::vector<int>, std::array<int, 3>>> cases = {
        {{}, {0, 0, 0}},
        {{4}, {4, 4, 0}},
        {{4, 5, 6}, {4, 6, 5}},
        {{4, 5, 6, 7}, {4, 7, 0}}, // four: no middle
    };
    for (const auto& [list, expected] : cases)
    {
        QvMidCurve mid;
        mid.m_vertices = list;
        EXPECT_EQ(mid.GetFirstVertex(), expected[0]);
        EXPECT_EQ(mid.GetLastVertex(), expected[1]);
        EXPECT_EQ(mid.GetMiddleVertex(), expected[2]);
    }
}

TEST_F(CrownCurves, ReadersSurviveDamage)
{
    const QvFacc facc = MakeFacc();
    QvMidCurve mid;
    mid.m_vertices = {2, 9, 14};
    for (int version : {1040, 1043})
    {
        SCOPED_TRACE(version);
        qvtest::ExpectReaderSurvivesDamage(Bytes([&](std::ostream& os) { facc.Write(os, version); }),
                                           [&](std::istream& is) {
                                               QvFacc back = MakeFacc();
                                               const bool ok = back.Read(is, version, &tooth);
                                               if (!ok && is.fail())
                                               {
                                                   EXPECT_EQ(back.m_vertices, facc.m_vertices);
                                                   EXPECT_TRUE(SameCurve(back.m_pCurve, facc.m_pCurve));
                                               }
                                               return ok;
                                           });
    }
    qvtest::ExpectReaderSurvivesDamage(Bytes([&](std::ostream& os) { mid.Write(os, 1043); }), [&](std::istream& is) {
        QvMidCurve back;
        return back.Read(is, &tooth, 1043);
    });
}

TEST_F(CrownCurves, UnversionedFormsRoundTrip)
{
    const QvFacc facc = MakeFacc();
    std::istringstream newForm(Bytes([&](std::ostream& os) { facc.WriteNewForm(os); }));
    QvFacc a;
    ASSERT_TRUE(a.ReadNewForm(newForm, &tooth));
    EXPECT_EQ(a.m_vertices, facc.m_vertices);
    EXPECT_TRUE(SameCurve(a.m_pCurve, facc.m_pCurve));

    std::istringstream vectorForm(Bytes([&](std::ostream& os) { facc.WriteVectorForm(os); }));
    QvFacc b;
    ASSERT_TRUE(b.ReadVectorForm(vectorForm, &tooth));
    EXPECT_EQ(b.m_vertices, facc.m_vertices);
    EXPECT_TRUE(SameCurve(b.m_pCurve, facc.m_pCurve));
    EXPECT_EQ(vectorForm.peek(), std::char_traits<char>::eof());
    // Without the flagged curve only the leading (empty) curve is there: no curve.
    QvFacc noCurve;
    noCurve.m_vertices = {1, 2};
    std::istringstream empty(Bytes([&](std::ostream& os) { noCurve.WriteVectorForm(os); }));
    ASSERT_TRUE(b.ReadVectorForm(empty, &tooth));
    EXPECT_EQ(b.m_pCurve, nullptr);
    EXPECT_EQ(b.m_vertices, (std::vector<int>{1, 2}));

    QvMidCurve mid;
    mid.m_vertices = {2, 9, 14};
    for (bool paired : {false, true})
    {
        std::istringstream in(Bytes([&](std::ostream& os) { paired ? mid.WritePaired(os) : mid.WriteList(os); }));
        QvMidCurve back;
        ASSERT_TRUE(paired ? back.ReadPaired(in, &tooth) : back.ReadList(in, &tooth));
        EXPECT_EQ(back.m_vertices, mid.m_vertices);
        EXPECT_EQ(in.peek(), std::char_traits<char>::eof());
    }
    qvtest::ExpectReaderSurvivesDamage(Bytes([&](std::ostream& os) { mid.WritePaired(os); }), [&](std::istream& is) {
        QvMidCurve back;
        return back.ReadPaired(is, &tooth);
    });
    qvtest::ExpectReaderSurvivesDamage(Bytes([&](std::ostream& os) { facc.WriteVectorForm(os); }),
                                       [&](std::istream& is) {
                                           QvFacc back;
                                           return back.ReadVectorForm(is, &tooth);
                                       });
}

TEST_F(CrownCurves, CopiesOwnTheirCurves)
{
    QvFacc facc = MakeFacc();
    QvFacc copy(facc);
    EXPECT_NE(copy.m_pCurve, facc.m_pCurve);
    EXPECT_TRUE(SameCurve(copy.m_pCurve, facc.m_pCurve));
    QvFacc assigned;
    assigned = facc;
    assigned = assigned;
    EXPECT_TRUE(SameCurve(assigned.m_pCurve, facc.m_pCurve));
    assigned = QvFacc();
    EXPECT_EQ(assigned.m_pCurve, nullptr);
}

TEST_F(CrownCurves, ListEditing)
{
    QvFacc facc = MakeFacc();
    facc.Remap({{3, 30}, {12, 120}});
    EXPECT_EQ(facc.m_vertices, (std::vector<int>{30, 120}));
    facc.Remap({{30, 1}});
    EXPECT_EQ(facc.m_vertices, (std::vector<int>{30, 120}));
    facc.Reverse();
    EXPECT_EQ(facc.m_vertices, (std::vector<int>{120, 30}));
    EXPECT_TRUE(facc.m_pCurve->Evaluate(0.0) == QvPoint(3, 1, 0));
    QvFacc bare;
    bare.m_vertices = {1, 2};
    bare.Reverse();
    EXPECT_EQ(bare.m_vertices, (std::vector<int>{1, 2}));

    QvMidCurve mid;
    EXPECT_FALSE(mid.AddVertex(tooth.m_vertices[4]));
    EXPECT_FALSE(mid.AddVertex(tooth.m_vertices[5]));
    EXPECT_TRUE(mid.AddVertex(tooth.m_vertices[6]));
    EXPECT_TRUE(mid.IsComplete());
    bool atEnd = false;
    EXPECT_TRUE(mid.FindEndVertex(tooth.m_vertices[6], atEnd));
    EXPECT_TRUE(atEnd);
    EXPECT_TRUE(mid.FindEndVertex(tooth.m_vertices[5], atEnd));
    EXPECT_FALSE(atEnd);
    EXPECT_FALSE(mid.FindEndVertex(tooth.m_vertices[9], atEnd));
    mid.ReplaceVertex(tooth.m_vertices[5], tooth.m_vertices[9]);
    EXPECT_TRUE(mid.HasVertex(tooth.m_vertices[9]));
    mid.Remap({{4, 40}, {6, 60}});
    EXPECT_EQ(mid.m_vertices, (std::vector<int>{40, 60}));
    mid.RemoveVertex(tooth.m_vertices[0]);
    EXPECT_EQ(mid.m_vertices.size(), 2u);
}

// ---------------------------------------------------------------- thinning and fit

std::vector<QvPoint> OnXAxis(const std::vector<double>& xs)
{
    std::vector<QvPoint> out;
    for (double x : xs)
        out.emplace_back(x, 0.0, 0.0);
    return out;
}

TEST(CrownCurveFit, ThinningDropsThePointsOfShortSegments)
{
    struct Case
    {
        std::vector<double> in;
        std::vector<double> out;
    };
    const std::vector<Case> cases = {
        {{0, 1, 2, 2.05, 3.05}, {0, 1, 2, 2.05, 3.05}},                     // five points: no thinning
        {{0, 1, 2, 2.05, 3.05, 4.05}, {0, 1, 2, 3.05, 4.05}},               // the far point goes
        {{0, 1, 2, 3, 4, 4.05}, {0, 1, 2, 3, 4.05}},                        // last segment: its near point
        {{0, 1, 2, 3, 4, 5, 6}, {0, 1, 2, 3, 4, 5, 6}},                     // even spacing stays
        {{0, 1, 1, 2, 3, 4}, {0, 1, 2, 3, 4}},                              // a repeated point
        {{0, 0.1, 0.2, 0.3, 0.4, 0.5, 10}, {0, 10}},                       // one pass eats the short run
    };
    for (const Case& c : cases)
    {
        std::vector<QvPoint> points = OnXAxis(c.in);
        QvThinArcPoints(points);
        ASSERT_EQ(points.size(), c.out.size()) << c.in.size() << " -> " << points.size();
        for (std::size_t i = 0; i < points.size(); ++i)
            EXPECT_NEAR(points[i][0], c.out[i], 1e-12) << i;
    }
}

// The vertex of the mesh nearest a point.
int NearestVertex(const QvMesh& mesh, const QvPoint& p)
{
    int best = -1;
    double bestDistance = 1e300;
    for (const QvVertex& v : mesh.m_vertices)
    {
        const double d = v.m_point.Distance(p);
        if (d < bestDistance)
        {
            bestDistance = d;
            best = v.m_index;
        }
    }
    return best;
}

TEST(CrownCurveFit, FitFollowsTheSurfaceFromTheFirstVertexToTheSecond)
{
    const double radius = 5.0;
    const QvMesh sphere = qvtest::MakeSphere(3, radius);
    const int a = NearestVertex(sphere, QvPoint(radius, 0.0, 0.0));
    QvVector toward(0.3, 0.5, 0.8);
    toward.Normalize();
    const int b = NearestVertex(sphere, QvPoint(0, 0, 0) + toward * radius);
    const QvPoint pa = sphere.m_vertices[a].m_point;
    const QvPoint pb = sphere.m_vertices[b].m_point;
    // The direction from the centre makes the cut a great circle.
    const QvVector direction = pa - QvPoint(0, 0, 0);

    QvFacc facc;
    facc.m_vertices = {a, b};
    ASSERT_TRUE(facc.Fit(sphere, direction));
    ASSERT_NE(facc.m_pCurve, nullptr);
    // A least-squares fit within squared deviation 1e-5: ends within about 3e-3.
    EXPECT_LT(facc.m_pCurve->Evaluate(0.0).Distance(pa), 5e-3);
    EXPECT_LT(facc.m_pCurve->Evaluate(1.0).Distance(pb), 5e-3);
    const QvPlane plane = QvFacc::GetCutPlane(pa, pb, direction);
    const double chordSagitta = 0.2; // faces of a level-3 sphere of radius 5 are about 1.2 wide
    for (int k = 0; k <= 20; ++k)
    {
        const QvPoint p = facc.m_pCurve->Evaluate(k / 20.0);
        EXPECT_LT(plane.Distance(p, false), 1e-2) << k;
        const double fromCentre = p.Distance(QvPoint(0, 0, 0));
        EXPECT_LT(fromCentre, radius + 1e-2) << k;
        EXPECT_GT(fromCentre, radius - chordSagitta) << k;
    }
    // The short way round: a quarter-ish arc, far shorter than the rest of the circle.
    const double angle = (pa - QvPoint(0, 0, 0)).Angle(pb - QvPoint(0, 0, 0));
    EXPECT_LT(facc.m_pCurve->ArcLength(false, 0.0, 1.0), radius * angle * 1.05);

    // Reversed vertices give the curve from the other end.
    QvFacc reversed;
    reversed.m_vertices = {b, a};
    ASSERT_TRUE(reversed.Fit(sphere, direction));
    EXPECT_LT(reversed.m_pCurve->Evaluate(0.0).Distance(pb), 5e-3);
}

TEST(CrownCurveFit, FitFailureLeavesTheCurve)
{
    // Two separate pieces: no section holds a vertex of each.
    QvMesh pieces = qvtest::MakeGrid(3, 3);
    QvMesh other = qvtest::MakeGrid(3, 3);
    QvMatrix shift(4, 4);
    shift.SetIdentity();
    shift[0][3] = 10.0;
    other.Transform(shift);
    std::map<int, int> renumbering;
    ASSERT_TRUE(pieces.AppendMesh(other, renumbering));
    QvFacc facc = MakeFacc();
    facc.m_vertices = {3, 3 + 9};
    const QvBSplineCurve* before = facc.m_pCurve;
    EXPECT_FALSE(facc.Fit(pieces, QvVector(0, 0, 1)));
    EXPECT_EQ(facc.m_pCurve, before);

    facc.m_vertices = {3, 99}; // not a vertex of the mesh
    EXPECT_FALSE(facc.Fit(pieces, QvVector(0, 0, 1)));
    EXPECT_EQ(facc.m_pCurve, before);
    EXPECT_FALSE(facc.AddVertex(pieces, pieces.m_vertices[0], QvVector(0, 0, 1)));
    EXPECT_EQ(facc.m_vertices, (std::vector<int>{3, 99}));

    QvMesh bare; // no edges: nothing to cut, the curve stays
    bare.AddVertex(QvPoint(0, 0, 0));
    bare.AddVertex(QvPoint(1, 0, 0));
    facc.m_vertices = {0, 1};
    EXPECT_TRUE(facc.Fit(bare, QvVector(0, 0, 1)));
    EXPECT_EQ(facc.m_pCurve, before);

    facc.m_vertices = {0};
    EXPECT_TRUE(facc.Fit(bare, QvVector(0, 0, 1)));
    EXPECT_EQ(facc.m_pCurve, nullptr);

    QvPlane plane;
    plane.m_coef[3] = 5.0;
    EXPECT_FALSE(facc.GetPlane(bare, QvVector(0, 0, 1), plane));
    EXPECT_EQ(plane.m_coef[3], 5.0);
}

TEST(CrownCurveFit, CutPlaneHoldsBothPointsAndTheDirection)
{
    const QvPoint p0(1, 2, 3);
    const QvPoint p1(4, -1, 2);
    const QvVector direction(0.2, 0.3, 1.0);
    const QvPlane plane = QvFacc::GetCutPlane(p0, p1, direction);
    EXPECT_NEAR(plane.Distance(p0, true), 0.0, 1e-12);
    EXPECT_NEAR(plane.Distance(p1, true), 0.0, 1e-12);
    EXPECT_NEAR(plane.GetNormal().Dot(direction), 0.0, 1e-12);
    EXPECT_NEAR(plane.GetNormal().Length(), 1.0, 1e-12);
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Virtual teeth following their neighbours: the neighbour search, the change test of
// a step, the placement command with its side measures, the clearance against the
// opposing jaw and the re-basing of the lower teeth on a new jaw transform.
//
// Teeth are boxes along the x axis, so that every gap, overlap and extent is known:
// the pontic is 8 long (A = B = 4 about its centre) and its neighbours are centred at
// -8 and 8, so that their midpoint is the pontic's centre.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>

#include "SchemeFixtures.h"
#include "core/design/QvOBBTree.h"
#include "core/design/QvOBBTreeMgr.h"
#include "core/scheme/QvAutoAdjustPontic.h"
#include "testing/MeshFixtures.h"

namespace {

using namespace qvschemetest;

double Coord(double lo, double hi, int i, int n)
{
    if (i == 0)
        return lo;
    if (i == n)
        return hi;
    return lo + (hi - lo) * i / n;
}

// Appends a closed box, each side an n x n grid of cells, wound outwards.
void AddBox(std::vector<QvPoint>& soup, const QvPoint& lo, const QvPoint& hi, int n)
{
    for (int a = 0; a < 3; ++a)
    {
        const int b = (a + 1) % 3;
        const int c = (a + 2) % 3;
        for (const bool top : {false, true})
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j)
                {
                    QvPoint p[2][2];
                    for (int di = 0; di < 2; ++di)
                        for (int dj = 0; dj < 2; ++dj)
                        {
                            p[di][dj][a] = top ? hi[a] : lo[a];
                            p[di][dj][b] = Coord(lo[b], hi[b], i + di, n);
                            p[di][dj][c] = Coord(lo[c], hi[c], j + dj, n);
                        }
                    if (top)
                        soup.insert(soup.end(), {p[0][0], p[1][0], p[1][1], p[0][0], p[1][1], p[0][1]});
                    else
                        soup.insert(soup.end(), {p[0][0], p[1][1], p[1][0], p[0][0], p[0][1], p[1][1]});
                }
    }
}

// An open tube around the x axis from x0 to x1: lines along x inside it never meet it.
void AddTube(std::vector<QvPoint>& soup, double x0, double x1, double radius)
{
    const int around = 16;
    const int rings = 4;
    auto at = [&](int i, int r) {
        const double angle = 2.0 * 3.14159265358979323846 * i / around;
        return QvPoint(Coord(x0, x1, r, rings), radius * std::cos(angle), radius * std::sin(angle));
    };
    for (int r = 0; r < rings; ++r)
        for (int i = 0; i < around; ++i)
            soup.insert(soup.end(),
                        {at(i, r), at(i + 1, r), at(i + 1, r + 1), at(i, r), at(i + 1, r + 1), at(i, r + 1)});
}

void Fill(QvMesh& mesh, const std::vector<QvPoint>& soup)
{
    ASSERT_TRUE(mesh.BuildFromTriangleSoup(soup));
    mesh.UpdateBBox();
}

QvFrame AxisFrame(const QvPoint& origin) { return QvFrame(origin, QvVector(1, 0, 0), QvVector(0, 1, 0)); }

// A neighbour box along x from x0 to x1, 10 wide and high, framed at its centre.
template <class Tooth>
void MakeNeighbour(Tooth& tooth, double x0, double x1, int n = 4)
{
    std::vector<QvPoint> soup;
    AddBox(soup, QvPoint(x0, -5, -5), QvPoint(x1, 5, 5), n);
    Fill(tooth, soup);
    tooth.SetFrame(AxisFrame(QvPoint((x0 + x1) / 2, 0, 0)));
}

// The pontic: a box of half sizes (hx, 3, 3) about its framed origin.
void MakePontic(QvToothBase& tooth, double hx = 4.0, int n = 8)
{
    std::vector<QvPoint> soup;
    AddBox(soup, QvPoint(-hx, -3, -3), QvPoint(hx, 3, 3), n);
    Fill(tooth, soup);
    tooth.SetFrame(AxisFrame(QvPoint(0, 0, 0)));
}

// Neighbours on the first side are boxes ending at `face` and centred at -8, on the
// second side boxes starting there and centred at 8.
double FarEnd(double face, bool firstSide) { return firstSide ? -16.0 - face : 16.0 - face; }

QvMatrix Inverse(const QvMatrix& m)
{
    QvMatrix inverse = m;
    EXPECT_TRUE(inverse.Invert());
    return inverse;
}

bool AllZero(const QvMatrix& m)
{
    if (m.m_row != 4 || m.m_col != 4)
        return false;
    for (int i = 0; i < 16; ++i)
        if (m.m_pData[i] != 0.0)
            return false;
    return true;
}

// Scale k along local x about the origin, then shift by (t, lateral, height).
QvMatrix LocalCorrection(double k, double t, double lateral, double height)
{
    QvMatrix m = Identity();
    m[0][0] = k;
    m[0][3] = t;
    m[1][3] = lateral;
    m[2][3] = height;
    return m;
}

class PonticTest : public ::testing::Test
{
protected:
    void SetUp() override { QvOBBTreeMgr::Instance()->Clear(); }
    void TearDown() override { QvOBBTreeMgr::Instance()->Clear(); }
};

// ---- Placement command --------------------------------------------------------

TEST_F(PonticTest, ExecuteClosesTheGapsAndRemovesTheOverlapsAlongTheArch)
{
    enum class Kind
    {
        None,
        Box,
        Tube
    };
    struct Side
    {
        Kind kind;
        double face; // near end of a box neighbour
    };
    struct Case
    {
        const char* name;
        Side first;
        Side second;
        bool turned;     // the whole scene turned about z and moved
        double ownShift; // the pontic's own placement off the centre along x
        double height;
        double lateral;
        double k;
        double t;
        double low; // the pontic's extent along x afterwards
        double high;
        int cells = 8; // per side of the pontic's box along each axis
    };
    const Case cases[] = {
        {"gaps of 0.3 on both sides", {Kind::Box, -4.3}, {Kind::Box, 4.3}, false, 0, 0, 0, 1.075, 0.0, -4.3, 4.3},
        {"overlap 0.4 on the first side, no second neighbour", {Kind::Box, -3.6}, {Kind::None, 0}, false, 0, 0, 0,
         0.95, 0.2, -3.6, 4.0},
        {"overlap 0.4 on the first side, touching on the second", {Kind::Box, -3.6}, {Kind::Box, 4.0}, false, 0, 0,
         0, 0.95, 0.2, -3.6, 4.0},
        {"gap 0.5 on the first side only", {Kind::Box, -4.5}, {Kind::None, 0}, false, 0, 0, 0, 1.0625, -0.25, -4.5,
         4.0},
        {"overlaps of 0.2 and 0.3 in a turned scene", {Kind::Box, -3.8}, {Kind::Box, 3.7}, true, 0, 0, 0, 0.9375,
         -0.05, -3.8, 3.7},
        {"an off-centre pontic with offsets is re-centred first", {Kind::Box, -4.3}, {Kind::Box, 4.3}, true, 1.0,
         0.5, 0.25, 1.075, 0.0, -4.3, 4.3},
        // Sides of two triangles each: every side triangle crosses the neighbour, so the
        // far end's corners are candidates too; crossings behind the mid plane are no depth.
        {"a pontic of whole-side triangles overlapping by 0.4", {Kind::Box, -3.6}, {Kind::None, 0}, false, 0, 0, 0,
         0.95, 0.2, -3.6, 4.0, 1},
        // The gap search crosses nothing: no finite gap, so the side counts as touching.
        {"a second neighbour the gap search never crosses", {Kind::Box, -4.3}, {Kind::Tube, 0}, false, 0, 0, 0,
         1.0375, -0.15, -4.3, 4.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        QvOBBTreeMgr::Instance()->Clear();
        const QvMatrix scene = c.turned ? Placement(QvVector(0.2, 0.1, 1), 30, 10, 5, 2) : Identity();
        QvVirtualTooth pontic;
        MakePontic(pontic, 4.0, c.cells);
        const QvMatrix own = scene * Translation(c.ownShift, 0, 0);
        QvTooth first;
        QvTooth second;
        std::vector<QvToothBase*> teeth{nullptr, &pontic, nullptr};
        std::size_t present = 0;
        for (const bool firstSide : {true, false})
        {
            const Side& side = firstSide ? c.first : c.second;
            QvTooth& tooth = firstSide ? first : second;
            if (side.kind == Kind::None)
                continue;
            if (side.kind == Kind::Box)
                MakeNeighbour(tooth, std::min(side.face, FarEnd(side.face, firstSide)),
                              std::max(side.face, FarEnd(side.face, firstSide)));
            else
            {
                std::vector<QvPoint> soup;
                AddTube(soup, 4.3, 11.7, 10.0);
                Fill(tooth, soup);
                tooth.SetFrame(AxisFrame(QvPoint(8, 0, 0)));
            }
            teeth[firstSide ? 0 : 2] = &tooth;
            ++present;
        }

        QvAutoAdjustPontic command(teeth, {scene, own, scene}, false);
        command.SetHeightOffset(c.height);
        command.SetLateralOffset(c.lateral);
        ASSERT_TRUE(command.Execute());
        const QvMatrix& result = command.GetResult();
        ASSERT_EQ(result.Rows(), 4);
        ASSERT_TRUE(IsFinite(result));

        // The new placement in the scene's own axes: scale and shift along the arch.
        const QvMatrix local = Inverse(scene) * result * own;
        EXPECT_TRUE(Near(local, LocalCorrection(c.k, c.t, c.lateral, c.height), 1e-9));
        double low = INFINITY;
        double high = -INFINITY;
        for (const QvVertex& v : pontic.m_vertices)
        {
            const QvPoint p = local * v.m_point;
            low = std::min(low, p[0]);
            high = std::max(high, p[0]);
        }
        EXPECT_NEAR(low, c.low, 1e-9);
        EXPECT_NEAR(high, c.high, 1e-9);
        // Only the neighbours' trees stay in the cache.
        EXPECT_EQ(QvOBBTreeMgr::Instance()->GetTreeCount(), present);
    }
}

TEST_F(PonticTest, RoomOfExactlyTheMinimumIsUsedAndLessGivesTheAllZeroResult)
{
    struct Case
    {
        const char* name;
        double half; // the pontic's half length along the arch
        bool neighbours;
        bool ignore;
        bool placed;
    };
    const Case cases[] = {
        {"no neighbours, room 1.5", 0.75, false, false, true},
        {"no neighbours, room 1.4999", 0.74995, false, false, false},
        {"ignored overlapping neighbours, room 1.5", 0.75, true, true, true},
        {"ignored overlapping neighbours, room 1.4999", 0.74995, true, true, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        QvVirtualTooth pontic;
        MakePontic(pontic, c.half, 2);
        QvTooth first;
        QvTooth second;
        MakeNeighbour(first, -16.5, 0.5, 1);
        MakeNeighbour(second, -0.5, 16.5, 1);
        std::vector<QvToothBase*> teeth{nullptr, &pontic, nullptr};
        if (c.neighbours)
            teeth = {&first, &pontic, &second};
        QvAutoAdjustPontic command(teeth, {Identity(), Identity(), Identity()}, c.ignore);
        ASSERT_TRUE(command.Execute());
        if (c.placed)
            // Nothing to close: the pontic stays where it is.
            EXPECT_TRUE(Near(command.GetResult(), Identity(), 1e-12));
        else
            EXPECT_TRUE(AllZero(command.GetResult()));
    }
}

TEST(PonticScaleShift, BringsBothExtentsToTheNeighboursOrRefuses)
{
    struct Case
    {
        double a, extentA, b, extentB;
        bool placed;
        double k, t;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {-0.3, 4, -0.3, 4, true, 1.075, 0.0}, // gaps of 0.3: grows symmetrically
        {0.4, 4, 0.0, 4, true, 0.95, 0.2},    // overlap on one side: shrinks and moves away
        {0.5, 3, -0.2, 5, true, 0.9625, 0.3875},
        {0.25, 1, 0.25, 1, true, 0.75, 0.0}, // room of exactly 1.5
        {0.25005, 1, 0.25005, 1, false, 0, 0}, // room 1.4999
        {-1, 0, -1, 0, false, 0, 0},           // room 2 but no width: no division by zero
        {nan, 4, 0, 4, false, 0, 0},
        {-inf, 4, 0, 4, false, 0, 0},
    };
    for (const Case& c : cases)
    {
        double k = 7.0;
        double t = 7.0;
        ASSERT_EQ(QvAutoAdjustPontic::ComputeScaleShift(c.a, c.extentA, c.b, c.extentB, k, t), c.placed) << c.a;
        if (!c.placed)
        {
            EXPECT_EQ(k, 7.0);
            EXPECT_EQ(t, 7.0);
            continue;
        }
        EXPECT_NEAR(k, c.k, 1e-12) << c.a;
        EXPECT_NEAR(t, c.t, 1e-12) << c.a;
        // The extents after scaling about the centre and shifting towards the second side.
        EXPECT_NEAR(k * c.extentA - t, c.extentA - c.a, 1e-12);
        EXPECT_NEAR(k * c.extentB + t, c.extentB - c.b, 1e-12);
    }
}

TEST_F(PonticTest, EveryRegionCutOffByTheNeighbourSuppliesCandidates)
{
    // A body and two prongs reaching 0.3 and 0.5 into the second neighbour; only the
    // body, the largest region, is left out, so the deeper prong decides whichever
    // comes first.
    for (const bool deeperFirst : {false, true})
    {
        SCOPED_TRACE(deeperFirst);
        QvOBBTreeMgr::Instance()->Clear();
        std::vector<QvPoint> soup;
        AddBox(soup, QvPoint(-4, -3, -3), QvPoint(3, 3, 3), 8);
        const double reach[2] = {deeperFirst ? 4.5 : 4.3, deeperFirst ? 4.3 : 4.5};
        AddBox(soup, QvPoint(3.2, -2.5, -1), QvPoint(reach[0], -0.5, 1), 4);
        AddBox(soup, QvPoint(3.2, 0.5, -1), QvPoint(reach[1], 2.5, 1), 4);
        QvVirtualTooth pontic;
        Fill(pontic, soup);
        pontic.SetFrame(AxisFrame(QvPoint(0, 0, 0)));
        QvTooth first;
        QvTooth second;
        MakeNeighbour(first, -11.7, -4.3);
        MakeNeighbour(second, 4.0, 12.0);

        QvAutoAdjustPontic command({&first, &pontic, &second}, {Identity(), Identity(), Identity()}, false);
        ASSERT_TRUE(command.Execute());
        // First side: gap 0.3 at extent 4; second: depth 0.5 at extent 4.5.
        double k = 0.0;
        double t = 0.0;
        ASSERT_TRUE(QvAutoAdjustPontic::ComputeScaleShift(-0.3, 4.0, 0.5, 4.5, k, t));
        EXPECT_TRUE(Near(command.GetResult(), LocalCorrection(k, t, 0, 0), 1e-9));
    }
}

TEST_F(PonticTest, TheTemporaryTreeLeavesTheCacheWhenAnExceptionUnwinds)
{
    QvMesh mesh = qvtest::MakeCube(1.0);
    try
    {
        const QvTemporaryOBBTree temporary(&mesh);
        ASSERT_NE(temporary.Get(), nullptr);
        EXPECT_TRUE(QvOBBTreeMgr::Instance()->HasTree(&mesh));
        throw std::runtime_error("unwind");
    }
    catch (const std::runtime_error&)
    {
    }
    EXPECT_FALSE(QvOBBTreeMgr::Instance()->HasTree(&mesh));
    EXPECT_EQ(QvOBBTreeMgr::Instance()->GetTreeCount(), 0u);
}

TEST_F(PonticTest, UnusableListsFailWithAnEmptyResult)
{
    QvVirtualTooth pontic;
    MakePontic(pontic);
    const std::vector<std::pair<std::vector<QvToothBase*>, std::vector<QvMatrix>>> inputs = {
        {{nullptr, &pontic}, {Identity(), Identity()}},
        {{nullptr, nullptr, nullptr}, {Identity(), Identity(), Identity()}},
        {{nullptr, &pontic, nullptr}, {Identity(), Identity()}},
        {{nullptr, &pontic, nullptr}, {Identity(), QvMatrix(3, 3), Identity()}},
    };
    for (const auto& [teeth, matrices] : inputs)
    {
        QvAutoAdjustPontic command(teeth, matrices, false);
        EXPECT_FALSE(command.Execute());
        EXPECT_EQ(command.GetResult().Rows(), 0);
    }
    EXPECT_EQ(QvOBBTreeMgr::Instance()->GetTreeCount(), 0u);
}

// ---- Clearance against the opposing jaw ------------------------------------------

TEST_F(PonticTest, ClearOpposingJawLiftsThePonticByTheDeepestPenetration)
{
    struct Case
    {
        const char* name;
        std::optional<double> opposingBottom; // lowest point of the opposing box
        bool squareCorrection;
        std::optional<double> lift; // expected translation along direction
    };
    const Case cases[] = {
        {"penetration of 0.3", 2.7, true, 0.4},
        {"penetration of 0.3 into a correction of the wrong size", 2.7, false, 0.4},
        {"apart", 3.5, true, std::nullopt},
        {"only a null opposing entry", std::nullopt, true, std::nullopt},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        QvOBBTreeMgr::Instance()->Clear();
        QvVirtualTooth pontic;
        MakePontic(pontic);
        QvTooth opposing;
        std::vector<QvPoint> soup;
        AddBox(soup, QvPoint(-6, -5, c.opposingBottom.value_or(3.5)), QvPoint(6, 5, 10), 4);
        Fill(opposing, soup);
        std::vector<QvToothBase*> teeth{nullptr, &pontic, nullptr, c.opposingBottom ? &opposing : nullptr};
        QvAutoAdjustPontic command(teeth, {Identity(), Identity(), Identity(), Identity()}, false);
        QvOBBTree tree(&pontic);

        QvMatrix correction = c.squareCorrection ? Translation(1, 2, 3) : QvMatrix(3, 3);
        const QvMatrix before = correction;
        command.ClearOpposingJaw(&tree, QvVector(0, 0, -1), correction);
        if (!c.lift)
        {
            EXPECT_EQ(MaxDifference(correction, before), 0.0);
            continue;
        }
        ASSERT_EQ(correction.Rows(), 4);
        EXPECT_NEAR(correction[0][3], 0.0, 1e-12);
        EXPECT_NEAR(correction[1][3], 0.0, 1e-12);
        EXPECT_NEAR(correction[2][3], -*c.lift, 1e-9);
    }
}

// ---- The scheme's operations ------------------------------------------------------

// An upper arch along x: 13 and 23 outside, 12 and 22 the pontic's neighbours with gaps
// of 0.3, the pontic (upper) at the origin raised by 0.5 and moved aside by 0.25, and a
// lower tooth right beside it.
class ArchTest : public PonticTest
{
protected:
    void SetUp() override
    {
        PonticTest::SetUp();
        c = std::make_unique<SchemeCase>(std::vector<int>{});
        AddBoxTooth(13, -19.7, -12.3);
        b = AddBoxTooth(12, -11.7, -4.3);
        d = AddBoxTooth(22, 4.3, 11.7);
        AddBoxTooth(23, 12.3, 19.7);
        lower = c->AddTooth(31, 0);
        std::vector<QvPoint> soup;
        AddBox(soup, QvPoint(1, -1, -4), QvPoint(3, 1, -2), 1);
        Fill(*lower, soup);
        c->scheme->CreateInitialSteps();
        pontic = c->AddVirtualTooth(11, Translation(0, 0.25, 0.5));
        MakePontic(*pontic);
    }
    void TearDown() override
    {
        c.reset();
        PonticTest::TearDown();
    }
    // A fresh arch for the next case of a table.
    void Reset()
    {
        TearDown();
        SetUp();
    }

    QvTooth* AddBoxTooth(int fdi, double x0, double x1)
    {
        QvTooth* tooth = c->AddTooth(fdi, 0);
        MakeNeighbour(*tooth, x0, x1);
        return tooth;
    }

    std::unique_ptr<SchemeCase> c;
    QvTooth* b = nullptr;
    QvTooth* d = nullptr;
    QvTooth* lower = nullptr;
    QvVirtualTooth* pontic = nullptr;
};

TEST_F(ArchTest, NeighboursAreTheAdjacentTeethOfTheJawAndOffsetsAreMeasuredFromTheirMidpoint)
{
    std::vector<QvToothBase*> teeth(3, nullptr);
    double offsets[2] = {9, 9};
    c->scheme->FindVirtualToothNeighbours(pontic, teeth, offsets);
    EXPECT_EQ(teeth[1], pontic);
    // The chain's direction is the sort's; the lower tooth beside the pontic is not in it.
    EXPECT_TRUE((teeth[0] == b && teeth[2] == d) || (teeth[0] == d && teeth[2] == b));
    EXPECT_NEAR(offsets[0], 0.5, 1e-12);
    EXPECT_NEAR(offsets[1], 0.25, 1e-12);

    // A forced run at the reference step keeps the offsets and closes both gaps.
    QvMatrix result;
    ASSERT_TRUE(c->scheme->AdjustVirtualTooth(teeth, 0, offsets, result, true));
    EXPECT_EQ(teeth.size(), 3u); // the opposing tooth went to the command only
    const QvMatrix expected = Translation(0, 0.25, 0.5) * LocalCorrection(1.075, 0, 0, 0);
    EXPECT_TRUE(Near(result * pontic->m_matrix, expected, 1e-9));
}

TEST_F(ArchTest, TheCrownCentreOfANeighbourLiesOnItsRimPlane)
{
    // Rim on the top of both neighbours (z = 5): the midpoint rises to 5. With fewer than
    // three rim vertices the mesh centre stands in.
    for (const std::size_t rimSize : {std::size_t{2}, std::size_t{1000}})
    {
        for (QvTooth* tooth : {b, d})
        {
            tooth->m_boundaryLoop.clear();
            for (std::size_t v = 0; v < tooth->m_vertices.size() && tooth->m_boundaryLoop.size() < rimSize; ++v)
                if (tooth->m_vertices[v].m_point[2] == 5.0)
                    tooth->m_boundaryLoop.push_back(static_cast<int>(v));
        }
        std::vector<QvToothBase*> teeth(3, nullptr);
        double offsets[2] = {9, 9};
        c->scheme->FindVirtualToothNeighbours(pontic, teeth, offsets);
        EXPECT_NEAR(offsets[0], rimSize < 3 ? 0.5 : 0.5 - 5.0, 1e-9) << rimSize;
    }
}

TEST_F(ArchTest, APonticWithFewerNeighboursKeepsTheEntriesItCannotFill)
{
    struct Case
    {
        const char* name;
        std::vector<int> removed; // upper teeth taken out of the scheme
        int expectedNeighbours;
    };
    const Case cases[] = {
        {"last in the chain", {22, 23}, 1},
        {"alone in its jaw", {12, 13, 22, 23}, 0},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        c->scheme->m_hiddenTeeth.clear();
        for (const int fdi : k.removed)
            c->scheme->m_hiddenTeeth.insert(c->Tooth(fdi));
        // Entries the search cannot fill keep what the caller put there.
        QvToothBase* marker = lower;
        std::vector<QvToothBase*> teeth{marker, nullptr, marker};
        double offsets[2] = {9, 9};
        c->scheme->FindVirtualToothNeighbours(pontic, teeth, offsets);
        EXPECT_EQ(teeth[1], pontic);
        const int found = (teeth[0] == b) + (teeth[2] == b);
        EXPECT_EQ(found, k.expectedNeighbours);
        EXPECT_EQ((teeth[0] == marker) + (teeth[2] == marker), 2 - k.expectedNeighbours);
        // Without both neighbours the reference centre is the pontic's own.
        EXPECT_EQ(offsets[0], 0.0);
        EXPECT_EQ(offsets[1], 0.0);
    }

    // A list too short for the triple is grown.
    std::vector<QvToothBase*> shortList;
    double offsets[2] = {9, 9};
    c->scheme->FindVirtualToothNeighbours(pontic, shortList, offsets);
    ASSERT_EQ(shortList.size(), 3u);
    EXPECT_EQ(shortList[1], pontic);
}

TEST_F(ArchTest, AStepIsAdjustedOnlyWhenANeighbourMovedFromItsReferencePlacement)
{
    struct Case
    {
        const char* name;
        QvMatrix firstAtStep1; // b's matrix at step 1
        bool removeSecondReference;
        QvMatrix secondAtStep1; // d's matrix at step 1
        bool force;
        bool changed;
        bool allZero;
    };
    QvMatrix lastBit = Identity();
    lastBit[0][3] = std::nextafter(0.0, 1.0);
    const Case cases[] = {
        {"neighbours at their reference placement", Identity(), false, Identity(), false, false, false},
        {"one element differs in the last bit", lastBit, false, Identity(), false, true, false},
        {"forced with unmoved neighbours", Identity(), false, Identity(), true, true, false},
        {"a neighbour without reference entry cannot move", Identity(), true, Translation(1, 0, 0), false, false,
         false},
        // Neighbour faces 1.2 apart: no room. Stored as the step's matrix, all zero is
        // "no matrix"; a forced run must not hand it on to the own placement.
        {"no room, unforced", Translation(3.7, 0, 0), false, Translation(-3.7, 0, 0), false, true, true},
        {"no room, forced", Translation(3.7, 0, 0), false, Translation(-3.7, 0, 0), true, false, false},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        Reset();
        if (k.removeSecondReference)
        {
            ASSERT_TRUE(c->scheme->RemoveToothSteps(d));
        }
        ASSERT_NE(c->scheme->InsertTreatStep(b, 1, kQvStepMoving, k.firstAtStep1), nullptr);
        ASSERT_NE(c->scheme->InsertTreatStep(d, 1, kQvStepMoving, k.secondAtStep1), nullptr);
        std::vector<QvToothBase*> teeth{b, pontic, d};
        const double offsets[2] = {0.5, 0.25};
        const QvMatrix sentinel = Translation(7, 7, 7);
        QvMatrix result = sentinel;
        EXPECT_EQ(c->scheme->AdjustVirtualTooth(teeth, 1, offsets, result, k.force), k.changed);
        EXPECT_EQ(teeth.size(), 3u);
        if (!k.changed)
            EXPECT_EQ(MaxDifference(result, sentinel), 0.0);
        else
        {
            ASSERT_EQ(result.Rows(), 4);
            EXPECT_TRUE(IsFinite(result));
            EXPECT_EQ(AllZero(result), k.allZero);
        }
    }
}

TEST_F(ArchTest, AReferencePlacedPonticComparesWithTheFinalEntries)
{
    // Both neighbours end 1 higher at their final step 2, which becomes the reference
    // step of a reference-placed pontic.
    ASSERT_NE(c->scheme->InsertTreatStep(b, 2, kQvStepFinal, Translation(0, 0, 1)), nullptr);
    ASSERT_NE(c->scheme->InsertTreatStep(d, 2, kQvStepFinal, Translation(0, 0, 1)), nullptr);
    struct Case
    {
        bool reference;
        int step;
        bool changed;
    };
    const Case cases[] = {{false, 0, false}, {false, 2, true}, {true, 0, true}, {true, 2, false}};
    for (const Case& k : cases)
    {
        pontic->m_bReference = k.reference;
        std::vector<QvToothBase*> teeth(3, nullptr);
        double offsets[2] = {9, 9};
        c->scheme->FindVirtualToothNeighbours(pontic, teeth, offsets);
        EXPECT_NEAR(offsets[0], k.reference ? -0.5 : 0.5, 1e-12);
        QvMatrix result;
        EXPECT_EQ(c->scheme->AdjustVirtualTooth(teeth, k.step, offsets, result, false), k.changed)
            << k.reference << " " << k.step;
    }
}

TEST_F(ArchTest, LowerNeighboursAreComparedWithoutTheirJawTransform)
{
    // The same arch in the lower jaw: steps that follow the jaw of their list have not
    // moved; steps that stay put while the jaw moves have.
    for (const bool followJaw : {true, false})
    {
        Reset();
        for (QvTooth* tooth : {b, d})
            tooth->SetJaw(c->lowerJaw);
        pontic->SetJaw(c->lowerJaw);
        lower->SetJaw(c->upperJaw);
        const QvMatrix jaw = Translation(0, 0, -2);
        ASSERT_NE(c->scheme->InsertTreatStep(b, 1, kQvStepBite, followJaw ? jaw : Identity()), nullptr);
        ASSERT_NE(c->scheme->InsertTreatStep(d, 1, kQvStepBite, followJaw ? jaw : Identity()), nullptr);
        c->scheme->GetStepList(1)->m_jawMatrix = jaw;
        std::vector<QvToothBase*> teeth{b, pontic, d};
        const double offsets[2] = {0.5, 0.25};
        QvMatrix result;
        EXPECT_EQ(c->scheme->AdjustVirtualTooth(teeth, 1, offsets, result, false), !followJaw);
    }
}

TEST(SetLowerJawTransform, RebasesTheLowerTeethOnTheNewJaw)
{
    SchemeCase c({11, 31, 41, 42});
    QvScheme& scheme = *c.scheme;
    scheme.SetExtracted(c.Tooth(42), true);
    scheme.CreateInitialSteps();
    ASSERT_NE(scheme.InsertTreatStep(c.Tooth(42), 0, kQvStepInitial, Identity()), nullptr);
    QvVirtualTooth* pontic = c.AddVirtualTooth(36, Identity());
    ASSERT_NE(scheme.InsertTreatStep(pontic, 0, kQvStepInitial, Identity()), nullptr);

    const QvMatrix j1 = Translation(0, 0, -1);
    const QvMatrix j2 = Placement(QvVector(0, 0, 1), 5, 0, 0, -2);
    const QvMatrix m31 = Placement(QvVector(1, 0, 0), 10, 1, 0, 0);
    const QvMatrix m41 = Translation(0, 2, 0);
    ASSERT_NE(scheme.InsertTreatStep(c.Tooth(31), 1, kQvStepKey, j1 * m31), nullptr);
    scheme.GetStepList(1)->m_jawMatrix = j1;
    ASSERT_NE(scheme.InsertTreatStep(c.Tooth(41), 2, kQvStepMoving, j2 * m41), nullptr);
    scheme.GetStepList(2)->m_jawMatrix = j2;

    const QvMatrix jaw = Placement(QvVector(0, 1, 0), -3, 0.5, 0, -3);
    scheme.SetLowerJawTransform(2, jaw);

    struct Expect
    {
        const QvToothBase* tooth;
        int type;
        QvMatrix matrix;
    };
    const Expect expected[] = {
        {c.Tooth(31), kQvStepBite, jaw * m31}, // from its key at 1, without that list's jaw
        {c.Tooth(41), kQvStepMoving, jaw * m41}, // its own step, re-based in place
        {pontic, kQvStepBite, jaw},             // from its initial step
    };
    for (const Expect& e : expected)
    {
        const QvTreatStep* step = scheme.GetTreatStep(2, e.tooth);
        ASSERT_NE(step, nullptr);
        EXPECT_EQ(step->GetType(), e.type);
        EXPECT_TRUE(Near(*step->GetMatrix(), e.matrix, 1e-12));
        EXPECT_TRUE(Near(step->GetJawRelativeMatrix(), Inverse(jaw) * e.matrix, 1e-12));
    }
    EXPECT_EQ(scheme.GetTreatStep(2, c.Tooth(11)), nullptr);
    EXPECT_EQ(scheme.GetTreatStep(2, c.Tooth(42)), nullptr);
    EXPECT_TRUE(Near(scheme.GetStepList(2)->m_jawMatrix, jaw, 0.0));
    EXPECT_TRUE(scheme.GetStepList(2)->m_bBite);
    EXPECT_TRUE(Consistent(scheme));

    // A jaw that is no placement changes nothing.
    const QvMatrix kept = *scheme.GetTreatStep(2, c.Tooth(31))->GetMatrix();
    scheme.SetLowerJawTransform(2, QvMatrix(3, 3));
    EXPECT_EQ(MaxDifference(*scheme.GetTreatStep(2, c.Tooth(31))->GetMatrix(), kept), 0.0);
}

} // namespace

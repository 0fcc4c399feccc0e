// SPDX-License-Identifier: GPL-3.0-or-later
// Key-step interpolation, the Z-Y-X angle split, jaw handling and bite steps.
#include <gtest/gtest.h>

#include <random>

#include "SchemeFixtures.h"

namespace {

using namespace qvschemetest;

constexpr double kDeg = 3.14159265358979323846 / 180.0;

// Rz(yaw) Ry(pitch) Rx(roll) as a 4 x 4 matrix, built from axis rotations.
QvMatrix ZyxRotation(double yaw, double pitch, double roll)
{
    return Placement(QvVector(0, 0, 1), yaw) * Placement(QvVector(0, 1, 0), pitch) *
           Placement(QvVector(1, 0, 0), roll);
}

QvFrame Placed(const QvToothBase* tooth, const QvMatrix& m)
{
    QvFrame f = tooth->m_frame;
    f.Transform(m);
    return f;
}

::testing::AssertionResult SameFrame(const QvFrame& a, const QvFrame& b, double tolerance = 1e-9)
{
    const QvVector d[4] = {a.m_centre - b.m_centre, a.m_dirX - b.m_dirX, a.m_dirY - b.m_dirY, a.m_dirZ - b.m_dirZ};
    for (const QvVector& v : d)
        if (v.Length() > tolerance)
            return ::testing::AssertionFailure() << "frames differ by " << v.Length();
    return ::testing::AssertionSuccess();
}

// The placement that carries frame f by the world rotation r about f's origin and
// then by d.
QvMatrix MoveAbout(const QvFrame& f, const QvMatrix& r, const QvVector& d)
{
    const QvPoint o = f.m_centre;
    return Translation(o[0] + d[0], o[1] + d[1], o[2] + d[2]) * r * Translation(-o[0], -o[1], -o[2]);
}

struct PathCase
{
    const char* name;
    double yaw, pitch, roll; // the turn from A to B, degrees
    QvVector shift;          // the move of the frame's origin from A to B
    const char* layout;      // per step from A: A, m(oving), h(old), -(none), B
    std::vector<double> t;   // expected fraction per step between A and B (-1: a hold)
};

TEST(Interpolation, MovingStepsShareTranslationAndEachAngleEqually)
{
    const PathCase cases[] = {
        {"three moving", 40, 25, -30, QvVector(1, -2, 0.5), "AmmmB", {0.25, 0.5, 0.75}},
        {"hold between", 40, 25, -30, QvVector(1, -2, 0.5), "AmmhmB", {0.25, 0.5, -1, 0.75}},
        {"step number without a step", 10, 0, 5, QvVector(0, 0, 1), "Am-mB", {1.0 / 3, 0, 2.0 / 3}},
        {"pure translation", 0, 0, 0, QvVector(0, 0, 3), "AmmB", {1.0 / 3, 2.0 / 3}},
        {"quarter turn about Z", 90, 0, 0, QvVector(0, 0, 0), "AmmB", {1.0 / 3, 2.0 / 3}},
    };
    for (const bool keyAfterInitial : {false, true})
        for (const PathCase& k : cases)
        {
            SchemeCase c({11});
            QvScheme& s = *c.scheme;
            QvTooth* tooth = c.teeth[0];
            // A is the initial step itself, or a key step placed away from it.
            const int a = keyAfterInitial ? 2 : 0;
            const QvMatrix pa = keyAfterInitial ? Placement(QvVector(1, 1, 0), 15, 0.5, 0, -1) : Identity();
            if (keyAfterInitial)
                s.InsertTreatStep(tooth, 0, kQvStepInitial);
            const QvFrame fa = Placed(tooth, pa);
            const QvMatrix rw = ZyxRotation(k.yaw, k.pitch, k.roll);
            const QvMatrix pb = MoveAbout(fa, rw, k.shift) * pa;
            const std::string layout = k.layout;
            QvTreatStep* from = nullptr;
            QvTreatStep* to = nullptr;
            for (std::size_t i = 0; i < layout.size(); ++i)
            {
                const int n = a + static_cast<int>(i);
                switch (layout[i])
                {
                case 'A':
                    from = s.InsertTreatStep(tooth, n, keyAfterInitial ? kQvStepKey : kQvStepInitial, pa);
                    break;
                case 'B':
                    to = s.InsertTreatStep(tooth, n, kQvStepFinal, pb);
                    break;
                case 'm':
                    s.InsertTreatStep(tooth, n, kQvStepMoving, Translation(9, 9, 9));
                    break;
                case 'h':
                    s.InsertTreatStep(tooth, n, kQvStepHold, Translation(9, 9, 9));
                    break;
                }
            }
            s.InterpolateSteps(from, to);
            EXPECT_EQ(MaxDifference(from->m_matrix, pa), 0.0) << k.name;
            EXPECT_EQ(MaxDifference(to->m_matrix, pb), 0.0) << k.name;
            for (std::size_t i = 0; i < k.t.size(); ++i)
            {
                const QvTreatStep* x = s.GetTreatStep(a + 1 + static_cast<int>(i), tooth);
                if (layout[i + 1] == '-')
                    continue;
                ASSERT_NE(x, nullptr);
                if (k.t[i] < 0)
                {
                    EXPECT_EQ(MaxDifference(x->m_matrix, s.GetTreatStep(a + static_cast<int>(i), tooth)->m_matrix), 0.0)
                        << k.name;
                    continue;
                }
                const double t = k.t[i];
                const QvMatrix rt = ZyxRotation(t * k.yaw, t * k.pitch, t * k.roll);
                const QvFrame expected(fa.m_centre + k.shift * t, rt * fa.m_dirX, rt * fa.m_dirY);
                EXPECT_TRUE(SameFrame(Placed(tooth, x->m_matrix), expected)) << k.name << " step " << i + 1;
            }
            EXPECT_TRUE(Consistent(s));
        }
}

TEST(Interpolation, EqualKeysGiveTheKeyPlacementAtEveryMovingStep)
{
    SchemeCase c({21});
    QvScheme& s = *c.scheme;
    QvTooth* tooth = c.teeth[0];
    const QvMatrix p = Placement(QvVector(0.3, -1, 2), 33, 4, -5, 6);
    s.InsertTreatStep(tooth, 0, kQvStepInitial);
    QvTreatStep* a = s.InsertTreatStep(tooth, 2, kQvStepKey, p);
    for (int n = 3; n < 7; ++n)
        s.InsertTreatStep(tooth, n, kQvStepMoving);
    QvTreatStep* b = s.InsertTreatStep(tooth, 7, kQvStepKey, p);
    s.InterpolateSteps(a, b);
    for (int n = 3; n < 7; ++n)
        EXPECT_TRUE(Near(s.GetTreatStep(n, tooth)->m_matrix, p, 1e-12)) << n;
}

TEST(Interpolation, APureRotationTurnsMonotonically)
{
    const std::pair<QvVector, double> turns[] = {{QvVector(0, 0, 1), 170}, {QvVector(1, 0, 0), 90},
                                                 {QvVector(1, 2, 3), 100}, {QvVector(0, 1, 1), 60},
                                                 {QvVector(-1, 0.5, 0.2), 135}};
    for (const auto& [axis, degrees] : turns)
    {
        SchemeCase c({11});
        QvScheme& s = *c.scheme;
        QvTooth* tooth = c.teeth[0];
        QvTreatStep* a = s.InsertTreatStep(tooth, 0, kQvStepInitial);
        for (int n = 1; n < 12; ++n)
            s.InsertTreatStep(tooth, n, kQvStepMoving);
        const QvFrame fa = Placed(tooth, Identity());
        QvTreatStep* b =
            s.InsertTreatStep(tooth, 12, kQvStepFinal, MoveAbout(fa, Placement(axis, degrees), QvVector()));
        s.InterpolateSteps(a, b);
        const QvFrame fb = Placed(tooth, b->m_matrix);
        double fromA = 0.0;
        double toB = GetFrameRotation(fa, fb).Length();
        EXPECT_NEAR(toB, degrees, 1e-9);
        for (int n = 1; n <= 12; ++n)
        {
            const QvFrame f = Placed(tooth, s.GetTreatStep(n, tooth)->m_matrix);
            EXPECT_LT(f.m_centre.Distance(fa.m_centre), 1e-9);
            const double nextFromA = GetFrameRotation(fa, f).Length();
            const double nextToB = GetFrameRotation(f, fb).Length();
            EXPECT_GT(nextFromA, fromA) << degrees << " step " << n;
            EXPECT_LT(nextToB, toB + (n == 12 ? 1e-9 : 0.0)) << degrees << " step " << n;
            fromA = nextFromA;
            toB = nextToB;
        }
    }
}

TEST(Interpolation, NothingMovesWithoutMovingStepsOrKeys)
{
    SchemeCase c({11});
    QvScheme& s = *c.scheme;
    QvTreatStep* a = s.InsertTreatStep(c.teeth[0], 0, kQvStepInitial);
    QvTreatStep* h = s.InsertTreatStep(c.teeth[0], 1, kQvStepHold, Translation(5, 0, 0));
    QvTreatStep* b = s.InsertTreatStep(c.teeth[0], 2, kQvStepFinal, Translation(1, 0, 0));
    EXPECT_EQ(s.CountMovingSteps(a, b), 0);
    EXPECT_EQ(s.CountMovingSteps(nullptr, b), 0);
    s.InterpolateSteps(a, b);
    s.InterpolateSteps(nullptr, b);
    EXPECT_TRUE(Near(h->m_matrix, Translation(5, 0, 0), 0));
}

TEST(EulerAngles, SplitAndComposeGiveTheSameRotationAndNeverNaN)
{
    // w = y = sqrt(1/2): the asin argument rounds to just above 1.
    const double h = std::sqrt(0.5);
    const QvVector steep = QuaternionToEuler(QvQuaternion(h, 0, h, 0));
    EXPECT_FALSE(std::isnan(steep[1]));
    EXPECT_NEAR(steep[1], 3.14159265358979323846 / 2, 1e-7);
    EXPECT_FALSE(std::isnan(QuaternionToEulerRPY(QvQuaternion(h, 0, h, 0))[1]));

    std::mt19937 random(3);
    std::normal_distribution<double> g;
    for (int i = 0; i < 200; ++i)
    {
        QvQuaternion q(g(random), g(random), g(random), g(random));
        const double n = std::sqrt(q.m_w * q.m_w + q.m_x * q.m_x + q.m_y * q.m_y + q.m_z * q.m_z);
        q = QvQuaternion(q.m_w / n, q.m_x / n, q.m_y / n, q.m_z / n);
        const QvVector e = QuaternionToEuler(q);
        const QvQuaternion back = EulerToQuaternion(e[0], e[1], e[2]);
        QvMatrix m1(3, 3), m2(3, 3);
        q.ToMatrix(m1);
        back.ToMatrix(m2);
        EXPECT_TRUE(Near(m1, m2, 1e-9)) << i;
        const QvVector rpy = QuaternionToEulerRPY(q);
        EXPECT_NEAR(rpy[0], e[2], 1e-9);
        EXPECT_NEAR(rpy[2], e[0], 1e-9);
    }
}

TEST(JawTransform, StripThenApplyLeavesEveryStepAsItWas)
{
    SchemeCase c({11, 31});
    QvScheme& s = *c.scheme;
    for (int n = 0; n < 4; ++n)
    {
        s.InsertTreatStep(c.Tooth(11), n, n == 0 ? kQvStepInitial : kQvStepKey, Placement(QvVector(1, 0, 0), n, n));
        s.InsertTreatStep(c.Tooth(31), n, n == 0 ? kQvStepInitial : kQvStepKey, Placement(QvVector(0, 1, 0), n, 0, n));
        s.m_stepLists[static_cast<std::size_t>(n)]->m_jawMatrix = Placement(QvVector(1, 0.2, 0), -2.0 * n, 0, 0.3 * n);
    }
    std::vector<QvMatrix> before;
    for (int n = 0; n < 4; ++n)
        for (const QvTreatStep* step : s.m_stepLists[static_cast<std::size_t>(n)]->m_steps)
            before.push_back(step->m_matrix);
    s.StripJawTransform(c.Tooth(11));
    s.StripJawTransform(c.Tooth(31));
    const QvTreatStep* lower = s.GetTreatStep(2, c.Tooth(31));
    EXPECT_TRUE(Near(s.m_stepLists[2]->m_jawMatrix * lower->m_matrix, Placement(QvVector(0, 1, 0), 2, 0, 2)));
    EXPECT_TRUE(Near(s.GetTreatStep(2, c.Tooth(11))->m_matrix, Placement(QvVector(1, 0, 0), 2, 2), 0));
    s.ApplyJawTransform(c.Tooth(11));
    s.ApplyJawTransform(c.Tooth(31));
    std::size_t i = 0;
    for (int n = 0; n < 4; ++n)
        for (const QvTreatStep* step : s.m_stepLists[static_cast<std::size_t>(n)]->m_steps)
            EXPECT_TRUE(Near(step->m_matrix, before[i++], 1e-12));
}

TEST(BiteSteps, LowerTeethFollowTheJawOfFlaggedLists)
{
    SchemeCase c({11, 31, 41});
    QvScheme& s = *c.scheme;
    const QvMatrix m0 = Placement(QvVector(0, 0, 1), 3, 0.2);
    const QvMatrix j0 = Translation(0, 0, -0.5);
    const QvMatrix j5 = Placement(QvVector(1, 0, 0), 4, 0, 0.1, -1);
    for (QvTooth* tooth : {c.Tooth(11), c.Tooth(31)})
    {
        s.InsertTreatStep(tooth, 0, kQvStepInitial, m0);
        s.InsertTreatStep(tooth, 10, kQvStepFinal, Translation(1, 1, 1));
    }
    s.InsertTreatStep(c.Tooth(41), 7, kQvStepInitial); // no anchor before list 5
    QvVirtualTooth* lowerPontic = c.AddVirtualTooth(36, Identity());
    QvVirtualTooth* upperPontic = c.AddVirtualTooth(16, Identity());
    s.InsertTreatStep(lowerPontic, 0, kQvStepInitial, m0);
    s.InsertTreatStep(upperPontic, 0, kQvStepInitial, m0);
    s.m_stepLists[0]->m_jawMatrix = j0;
    s.m_stepLists[5]->m_jawMatrix = j5;
    s.m_stepLists[5]->m_bBite = true;
    s.m_stepLists[6]->m_jawMatrix = j5; // same jaw, but no flag

    s.AddBiteSteps();
    QvMatrix j0Inverse = j0;
    ASSERT_TRUE(j0Inverse.Invert());
    for (const QvToothBase* tooth : {static_cast<QvToothBase*>(c.Tooth(31)), static_cast<QvToothBase*>(lowerPontic)})
    {
        const QvTreatStep* bite = s.GetTreatStep(5, tooth);
        ASSERT_NE(bite, nullptr);
        EXPECT_EQ(bite->m_nType, kQvStepBite);
        EXPECT_TRUE(Near(bite->m_matrix, j5 * j0Inverse * m0, 1e-12));
        EXPECT_EQ(s.GetTreatStep(6, tooth), nullptr);
    }
    EXPECT_EQ(s.GetTreatStep(5, c.Tooth(11)), nullptr);
    EXPECT_EQ(s.GetTreatStep(5, upperPontic), nullptr);
    EXPECT_EQ(s.GetTreatStep(5, c.Tooth(41)), nullptr);
    EXPECT_TRUE(Consistent(s));

    s.RemoveBiteSteps();
    for (const QvTreatStepList* list : s.m_stepLists)
        for (const QvTreatStep* step : list->m_steps)
            EXPECT_NE(step->m_nType, kQvStepBite);
    EXPECT_EQ(s.GetTreatStep(5, c.Tooth(31)), nullptr);
}

TEST(VirtualTooth, MovingStepsKeepTheScaleTheToothHasAtTheKey)
{
    SchemeCase c({11});
    QvScheme& s = *c.scheme;
    QvMatrix own = Identity();
    own[0][0] = 1.2;
    own[1][1] = 0.9;
    own[2][2] = 1.1;
    own[0][3] = 0.5;
    QvVirtualTooth* pontic = c.AddVirtualTooth(26, own);
    QvTreatStep* a = s.InsertTreatStep(pontic, 0, kQvStepInitial);
    for (int n = 1; n < 4; ++n)
        s.InsertTreatStep(pontic, n, kQvStepMoving);
    QvTreatStep* b = s.InsertTreatStep(pontic, 4, kQvStepFinal, Placement(QvVector(0, 0, 1), 60, 2, 1, 0));
    double sa[3];
    a->GetAxisScales(sa[0], sa[1], sa[2]);
    EXPECT_NEAR(sa[0], 1.2, 1e-12);
    s.InterpolateSteps(a, b);
    for (int n = 1; n < 4; ++n)
    {
        double sx, sy, sz;
        s.GetTreatStep(n, pontic)->GetAxisScales(sx, sy, sz);
        EXPECT_NEAR(sx, sa[0], 1e-9) << n;
        EXPECT_NEAR(sy, sa[1], 1e-9) << n;
        EXPECT_NEAR(sz, sa[2], 1e-9) << n;
    }
    EXPECT_TRUE(Consistent(s));
}

} // namespace

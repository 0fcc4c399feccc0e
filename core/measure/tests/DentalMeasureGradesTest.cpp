// SPDX-License-Identifier: GPL-3.0-or-later
// The grading rules of the jaw measures, each at and just past its threshold: a
// comparison turned the wrong way (< for <=) moves one row of a table.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/measure/QvDentalMeasure.h"

namespace {

TEST(DentalMeasureGrades, MidlineDeviatesPastHalfAMillimetreTowardsItsSide)
{
    struct Case
    {
        double signedDistance;
        int status, side;
    };
    for (const Case c : {Case{0.0, 1, 1}, Case{0.5, 1, 1}, Case{-0.5, 1, 1}, Case{0.5001, 2, 2}, Case{-0.5001, 2, 3},
                         Case{3.0, 2, 2}})
    {
        QvMidlineDeviation entry;
        QvDentalMeasure::ClassifyMidline(c.signedDistance, entry);
        EXPECT_DOUBLE_EQ(entry.m_dDeviation, std::fabs(c.signedDistance));
        EXPECT_EQ(entry.m_nStatus, c.status) << c.signedDistance;
        EXPECT_EQ(entry.m_nSide, c.side) << c.signedDistance;
    }
}

// Seven cusps on a circular arc over a 40 mm chord along x, the middle one the
// sagitta below the chord (above it for a negative sagitta); z is up.
std::vector<QvPoint> Arc(double sagitta)
{
    const double s = std::fabs(sagitta), half = 20.0;
    const double R = (half * half + s * s) / (2.0 * s);
    const double alpha = std::asin(half / R);
    const double sign = sagitta > 0.0 ? 1.0 : -1.0;
    std::vector<QvPoint> p;
    for (int i = 0; i < 7; ++i)
    {
        const double t = -alpha + 2.0 * alpha * i / 6.0;
        p.emplace_back(R * std::sin(t), 5.0, -sign * R * (std::cos(t) - std::cos(alpha)));
    }
    return p;
}

TEST(DentalMeasureGrades, SpeeArcsNormalDeepAndReverse)
{
    struct Case
    {
        double sagitta;
        int status, kind;
    };
    for (const Case c : {Case{1.9, 1, 1}, Case{2.5, 2, 2}, Case{-1.9, 2, 3}})
    {
        const std::vector<QvPoint> cusps = Arc(c.sagitta);
        const QvSpeeCurve curve = QvDentalMeasure::SpeeCurveOfCusps(0, cusps, QvVector(0, 0, 1));
        EXPECT_NEAR(curve.m_dDepth, c.sagitta, 1e-9);
        EXPECT_EQ(curve.m_nStatus, c.status) << c.sagitta;
        EXPECT_EQ(curve.m_nKind, c.kind) << c.sagitta;
        EXPECT_LT(curve.m_deepest.Distance(cusps[3]), 1e-12);
        EXPECT_NEAR(curve.m_foot[2], 0.0, 1e-9);
    }
}

TEST(DentalMeasureGrades, OverjetInMillimetresAndOverbiteAsAFraction)
{
    struct Case
    {
        double value;
        bool reverse;
        int grade;
    };
    for (const Case c : {Case{3.0, false, 1}, Case{4.0, false, 2}, Case{5.0, false, 2}, Case{5.01, false, 3},
                         Case{8.0, false, 3}, Case{8.01, false, 4}, Case{0.0, false, 5}, Case{4.0, true, 6}})
    {
        QvIncisorOverlap o;
        o.m_dValue = c.value;
        o.m_bReverse = c.reverse;
        EXPECT_EQ(QvDentalMeasure::GradeOverjet(o), c.grade) << c.value << (c.reverse ? " reverse" : "");
    }
    for (const Case c : {Case{1.0 / 3.0, false, 1}, Case{0.34, false, 2}, Case{0.5, false, 2}, Case{0.51, false, 3},
                         Case{2.0 / 3.0, false, 3}, Case{0.75, false, 4}, Case{0.0, false, 5}, Case{0.75, true, 6}})
    {
        QvIncisorOverlap o;
        o.m_dValue = c.value;
        o.m_bReverse = c.reverse;
        EXPECT_EQ(QvDentalMeasure::GradeOverbite(o), c.grade) << c.value << (c.reverse ? " open" : "");
    }
}

TEST(DentalMeasureGrades, CanineClassByWhereTheCuspFalls)
{
    struct Case
    {
        double r;
        int cls, grade;
    };
    for (const Case c : {Case{0.5, 1, 1}, Case{0.9, 1, 1}, Case{0.95, 3, 2}, Case{0.1, 1, 1}, Case{0.05, 2, 2}})
    {
        const QvCanineRelation entry = QvDentalMeasure::ClassifyCanine(c.r);
        EXPECT_EQ(entry.m_nClass, c.cls) << c.r;
        EXPECT_EQ(entry.m_nGrade, c.grade) << c.r;
    }
}

TEST(DentalMeasureGrades, MolarClassesCarrySixThreeOrTwoValues)
{
    struct Case
    {
        double da, db;
        int cls;
        std::size_t values;
    };
    for (const Case c : {Case{1.0, 1.0, 1, 6}, Case{0.0, 0.0, 1, 6}, Case{1.0, -1.0, 2, 3}, Case{-1.0, 1.0, 3, 2},
                         Case{-1.0, -1.0, 0, 2}, Case{0.0, -1.0, 0, 2}})
    {
        const int cls = QvDentalMeasure::ClassifyMolar(c.da, c.db);
        EXPECT_EQ(cls, c.cls) << c.da << ", " << c.db;
        EXPECT_EQ(QvDentalMeasure::MolarValueCount(cls), c.values) << cls;
    }
}

TEST(DentalMeasureGrades, InterincisalAngleAroundOneHundredTwentyFiveDegrees)
{
    struct Case
    {
        double angle;
        int status, kind;
    };
    for (const Case c : {Case{125.4, 1, 1}, Case{133.0, 1, 1}, Case{134.0, 2, 2}, Case{118.0, 1, 1}, Case{117.0, 2, 3}})
    {
        QvInterincisalAngle entry;
        entry.m_dAngle = c.angle;
        QvDentalMeasure::ClassifyInterincisal(entry);
        EXPECT_EQ(entry.m_nStatus, c.status) << c.angle;
        EXPECT_EQ(entry.m_nKind, c.kind) << c.angle;
    }
}

} // namespace

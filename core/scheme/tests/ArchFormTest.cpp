// SPDX-License-Identifier: GPL-3.0-or-later
// Arch forms and occlusal planes: copies, stored forms, comparison, and the arch form
// created from the teeth of a generated jaw.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>

#include "ArchFixture.h"
#include "core/geometry/QvStreamIO.h"
#include "core/scheme/QvArchForm.h"
#include "testing/ByteSweep.h"

namespace {

using qvarchtest::ArchCase;

const QvArchParameters kArch{25.0, 50.0, 0.6};

QvArchForm SampleForm()
{
    QvArchForm form;
    std::unique_ptr<QvBSplineCurve> curve(QvCreateArchCurveCommand::SampleArch(kArch));
    form.SetCurve(*curve);
    form.SetPoints({QvPoint(-25, 0, 0), QvPoint(0, 25, 0.5), QvPoint(25, 0, 0)});
    form.SetUpper(false);
    return form;
}

bool Near(const std::vector<double>& a, const std::vector<double>& b, double tolerance)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(std::fabs(a[i] - b[i]) <= tolerance))
            return false;
    return true;
}

// Equal curves; scalars within tolerance (the text form keeps six digits of them,
// points are binary records in both forms).
::testing::AssertionResult SameCurve(const QvBSplineCurve& a, const QvBSplineCurve& b, double tolerance = 0.0)
{
    if (a.m_degree != b.m_degree || a.m_closed != b.m_closed || !Near(a.m_knots.m_values, b.m_knots.m_values, tolerance) ||
        !Near(a.m_params, b.m_params, tolerance) || a.m_ctrlPoints.size() != b.m_ctrlPoints.size() ||
        a.m_dataPoints.size() != b.m_dataPoints.size())
        return ::testing::AssertionFailure() << "curves differ in their lists";
    for (std::size_t i = 0; i < a.m_ctrlPoints.size(); ++i)
        if (a.m_ctrlPoints[i].Distance(b.m_ctrlPoints[i]) != 0.0)
            return ::testing::AssertionFailure() << "control point " << i;
    for (std::size_t i = 0; i < a.m_dataPoints.size(); ++i)
        if (a.m_dataPoints[i].Distance(b.m_dataPoints[i]) != 0.0)
            return ::testing::AssertionFailure() << "data point " << i;
    return ::testing::AssertionSuccess();
}

QvOcclusalPlane SamplePlane()
{
    QvOcclusalPlane plane;
    plane.m_frame = QvFrame(QvPoint(1, 2, 3), QvVector(1, 0.2, 0), QvVector(0, 1, 0.1));
    plane.m_dValue = 4.25;
    plane.m_keyPoints = {QvKeyPoint(QvPoint(1, 0, 0), 7), QvKeyPoint(QvPoint(0, 2, 0.5), 9)};
    return plane;
}

std::string Bytes(const QvArchForm& form, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) { form.Write(os, version); });
}

// ---- Arch form records ------------------------------------------------------------------

TEST(ArchForm, RoundTripByVersion)
{
    const QvArchForm form = SampleForm();
    for (const int version : {8193, 8199, 1025, 1043, 0x801, 0})
    {
        const std::string bytes = Bytes(form, version);
        QvArchForm back;
        back.SetPoints({QvPoint(9, 9, 9), QvPoint(8, 8, 8), QvPoint(7, 7, 7), QvPoint(6, 6, 6)});
        std::istringstream is(bytes);
        ASSERT_TRUE(back.Read(is, version)) << version;
        EXPECT_TRUE(SameCurve(back.GetCurve(), form.GetCurve(), version == 0 ? 1e-6 : 0.0)) << version;
        ASSERT_EQ(back.GetPoints().size(), 3u);
        EXPECT_EQ(back.GetPoints()[1].Distance(QvPoint(0, 25, 0.5)), 0.0);
        EXPECT_FALSE(back.IsUpper());
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof()) << version;
    }
    // The binary form: flag byte, then the curve and the points as stored by them.
    const std::string bytes = Bytes(form, 8199);
    EXPECT_EQ(bytes[0], 0);
    std::ostringstream curve;
    form.GetCurve().Write(curve, true);
    EXPECT_EQ(bytes.size(), 1 + curve.str().size() + 4 + 3 * 24);

    // An empty form (a new one) is stored and read as such.
    QvArchForm empty;
    QvArchForm back = form;
    std::istringstream is(Bytes(empty, 8197));
    ASSERT_TRUE(back.Read(is, 8197));
    EXPECT_TRUE(back.GetCurve().m_ctrlPoints.empty());
    EXPECT_TRUE(back.GetPoints().empty());
    EXPECT_TRUE(back.IsUpper());
}

TEST(ArchForm, CopyAndAssignment)
{
    ArchCase c(true, kArch, {6, 7});
    const QvPlane plane(QvPoint(0, 0, 1), QvVector(0, 0, 1));
    QvArchForm source(false, &c.model, plane);
    source.SetThirdMolars(true);
    source.SetCurve(SampleForm().GetCurve());
    source.SetPoints({QvPoint(1, 2, 3)});

    const QvArchForm copy(source);
    EXPECT_EQ(copy.m_pModel, &c.model);
    EXPECT_EQ(copy.m_refPlane.m_coef[3], -1.0);
    EXPECT_TRUE(copy.m_bThirdMolars);
    EXPECT_FALSE(copy.IsUpper());
    EXPECT_TRUE(SameCurve(copy.GetCurve(), source.GetCurve()));

    QvArchForm target(true, nullptr, QvPlane(QvPoint(0, 0, 0), QvVector(1, 0, 0)));
    target = source;
    EXPECT_EQ(target.m_pModel, nullptr);
    EXPECT_EQ(target.m_refPlane.m_coef[0], 1.0);
    EXPECT_FALSE(target.m_bThirdMolars);
    EXPECT_FALSE(target.IsUpper());
    EXPECT_TRUE(SameCurve(target.GetCurve(), source.GetCurve()));
    EXPECT_EQ(target.GetPoints().size(), 1u);

    // Read from a file: the third-molar flag is the reader's own.
    QvArchForm read;
    std::istringstream is(Bytes(source, 8199));
    ASSERT_TRUE(read.Read(is, 8199));
    EXPECT_FALSE(read.m_bThirdMolars);
}

TEST(ArchForm, DamagedRecordsLeaveTheFormUnchanged)
{
    const QvArchForm form = SampleForm();
    for (const int version : {8199, 0})
        qvtest::ExpectReaderSurvivesDamage(Bytes(form, version), [&](std::istream& is) {
            QvArchForm back;
            back.SetPoints({QvPoint(1, 1, 1)});
            const bool ok = back.Read(is, version);
            if (!ok)
            {
                EXPECT_TRUE(back.GetCurve().m_ctrlPoints.empty());
                EXPECT_EQ(back.GetPoints().size(), 1u);
                EXPECT_TRUE(back.IsUpper());
            }
            return ok;
        });

    // A curve whose knot count does not fit, and an oversized point count.
    std::string bad = Bytes(form, 8199);
    const std::int32_t degree = -1;
    std::memcpy(bad.data() + 1, &degree, 4);
    QvArchForm back;
    std::istringstream is(bad);
    EXPECT_FALSE(back.Read(is, 8199));
    std::string many = Bytes(QvArchForm(), 8199);
    const std::int32_t count = 1 << 28;
    std::memcpy(many.data() + many.size() - 4, &count, 4);
    std::istringstream m(many);
    EXPECT_FALSE(back.Read(m, 8199));
}

// ---- Occlusal planes -----------------------------------------------------------------------

TEST(OcclusalPlane, StoredFormAndRoundTrip)
{
    QvOcclusalPlane empty;
    empty.m_frame = QvFrame(QvPoint(1, 2, 3), QvVector(1, 0, 0), QvVector(0, 1, 0));
    empty.m_dValue = 2.5;
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { empty.Write(os, 8199); });
    ASSERT_EQ(bytes.size(), 108u);
    std::int32_t count = -1;
    std::memcpy(&count, bytes.data() + 104, 4);
    EXPECT_EQ(count, 0);

    const QvOcclusalPlane plane = SamplePlane();
    const std::string full = qvtest::BytesOf([&](std::ostream& os) { plane.Write(os, 1043); });
    EXPECT_EQ(full.size(), 108u + 2 * 28);
    // Each key point: x, y, z, then the key.
    std::int32_t key = 0;
    std::memcpy(&key, full.data() + 108 + 24, 4);
    EXPECT_EQ(key, 7);

    QvOcclusalPlane back;
    back.m_keyPoints.assign(5, QvKeyPoint(QvPoint(3, 3, 3), 1));
    std::istringstream is(full);
    ASSERT_TRUE(back.Read(is, 1043));
    EXPECT_TRUE(back == plane);
    EXPECT_EQ(back.m_keyPoints.size(), 2u); // the surplus entries are dropped

    const QvOcclusalPlane copy(plane);
    EXPECT_TRUE(copy == plane);
}

TEST(OcclusalPlane, Equality)
{
    const QvOcclusalPlane base = SamplePlane();
    EXPECT_TRUE(base == base);
    const struct
    {
        const char* name;
        void (*change)(QvOcclusalPlane&);
        bool equal;
    } cases[] = {
        {"value 1e-8 apart", [](QvOcclusalPlane& p) { p.m_dValue += 1e-8; }, true},
        {"value 1e-6 apart", [](QvOcclusalPlane& p) { p.m_dValue += 1e-6; }, false},
        {"point 1e-8 apart", [](QvOcclusalPlane& p) { p.m_keyPoints[1].m_point.m_coord[2] += 1e-8; }, true},
        {"point moved", [](QvOcclusalPlane& p) { p.m_keyPoints[1].m_point.m_coord[2] += 1e-3; }, false},
        {"key changed", [](QvOcclusalPlane& p) { p.m_keyPoints[0].m_nKey = 8; }, false},
        {"points swapped", [](QvOcclusalPlane& p) { std::swap(p.m_keyPoints[0], p.m_keyPoints[1]); }, false},
        {"point dropped", [](QvOcclusalPlane& p) { p.m_keyPoints.pop_back(); }, false},
        {"frame moved", [](QvOcclusalPlane& p) { p.m_frame.m_centre.m_coord[0] += 1e-3; }, false},
        {"value NaN", [](QvOcclusalPlane& p) { p.m_dValue = NAN; }, false},
    };
    for (const auto& k : cases)
    {
        QvOcclusalPlane other = base;
        k.change(other);
        EXPECT_EQ(other == base, k.equal) << k.name;
        EXPECT_EQ(base == other, k.equal) << k.name;
    }
}

TEST(OcclusalPlane, DamagedRecordsLeaveThePlaneUnchanged)
{
    const QvOcclusalPlane plane = SamplePlane();
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { plane.Write(os, 8199); });
    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& is) {
        QvOcclusalPlane back;
        back.m_dValue = -3.0;
        const bool ok = back.Read(is, 8199);
        if (!ok)
        {
            EXPECT_EQ(back.m_dValue, -3.0);
            EXPECT_TRUE(back.m_keyPoints.empty());
        }
        return ok;
    });
    for (const std::int32_t count : {-1, 3, 1 << 29})
    {
        std::string damaged = bytes;
        std::memcpy(damaged.data() + 104, &count, 4);
        QvOcclusalPlane back = SamplePlane();
        back.m_dValue = 1.0;
        std::istringstream is(damaged);
        EXPECT_FALSE(back.Read(is, 8199)) << count;
        EXPECT_EQ(back.m_dValue, 1.0);
        EXPECT_EQ(back.m_keyPoints.size(), 2u);
    }
}

// ---- Creation from the teeth -------------------------------------------------------------

// The arch's symmetry plane of the generated jaw.
QvPlane MidPlane(const ArchCase& c) { return QvPlane(c.m_frame.m_centre, c.m_frame.m_dirX); }

QvPoint Mirror(const QvPlane& plane, const QvPoint& p)
{
    const QvPoint q = plane.ProjectPoint(p);
    return q + (q - p);
}

TEST(ArchForm, CreateFromTheTeeth)
{
    for (const bool upper : {true, false})
    {
        ArchCase c(upper, kArch);
        QvArchForm form(upper, &c.model, c.Plane());
        ASSERT_TRUE(form.Create(MidPlane(c))) << upper;
        const QvBSplineCurve& curve = form.GetCurve();
        ASSERT_TRUE(curve.CanEvaluate());
        EXPECT_EQ(curve.m_degree, 3);
        // Cubic pieces, three a side for the upper jaw, two for the lower.
        const std::size_t pieces = upper ? 6 : 4;
        EXPECT_EQ(curve.m_ctrlPoints.size(), 3 * pieces + 1);
        EXPECT_EQ(curve.m_knots.m_values.front(), 0.0);
        EXPECT_EQ(curve.m_knots.m_values.back(), 1.0);

        // Symmetric about the mid plane, crossing it in its middle. The pieces are
        // mirrored exactly, but the turn onto the mid plane follows the tangent in the
        // middle, which the fitted arch gives only to about 1e-5.
        const QvPlane mid = MidPlane(c);
        for (const double t : {0.0, 0.1, 0.2, 0.33, 0.45})
            EXPECT_LT(Mirror(mid, curve.Evaluate(t)).Distance(curve.Evaluate(1.0 - t)), 1e-4) << t;
        EXPECT_LT(mid.Distance(curve.Evaluate(0.5), false), 1e-9);
        for (const QvPoint& p : curve.m_ctrlPoints)
            EXPECT_LT(c.Plane().Distance(p, false), 1e-9);

        // It still follows the teeth.
        const int base = upper ? 10 : 30;
        for (const int fdi : {base + 1, base + 3, base + 5, base + 16})
        {
            double t = 0.0;
            QvPoint closest;
            const QvPoint landmark = c.Plane().ProjectPoint(c.Landmark(fdi));
            ASSERT_TRUE(curve.ClosestPoint(landmark, t, closest));
            EXPECT_LT(closest.Distance(landmark), 0.3) << fdi;
        }

        // Points: the two arch ends (the second molars' distal mid-curve ends, on the
        // reference plane) and the curve at the joints of the pieces.
        const std::vector<QvPoint>& points = form.GetPoints();
        ASSERT_EQ(points.size(), pieces + 1);
        const QvPoint firstEnd = c.model.FindTooth(base + 7)->GetToothRef()->GetVertex(
            c.model.FindTooth(base + 7)->GetToothRef()->GetMidCurve().GetFirstVertex());
        const QvPoint secondEnd = c.model.FindTooth(base + 17)->GetToothRef()->GetVertex(
            c.model.FindTooth(base + 17)->GetToothRef()->GetMidCurve().GetFirstVertex());
        EXPECT_LT(points.front().Distance(c.Plane().ProjectPoint(firstEnd)), 1e-9);
        EXPECT_LT(points.back().Distance(c.Plane().ProjectPoint(secondEnd)), 1e-9);
        for (std::size_t i = 1; i + 1 < points.size(); ++i)
            EXPECT_LT(curve.Evaluate(curve.m_knots.m_values[3 * i + 1]).Distance(points[i]), 1e-12) << i;
    }
}

TEST(ArchForm, CreateWithOneMolarMirrorsTheOtherEnd)
{
    ArchCase c(true, kArch);
    c.RemoveTooth(27);
    QvArchForm form(true, &c.model, c.Plane());
    ASSERT_TRUE(form.Create(MidPlane(c)));
    const std::vector<QvPoint>& points = form.GetPoints();
    ASSERT_GE(points.size(), 2u);
    const QvPoint start = form.GetCurve().Evaluate(0.0);
    const QvPoint finish = form.GetCurve().Evaluate(1.0);
    const QvPlane across(start + (finish - start) * 0.5, finish - start);
    EXPECT_LT(c.Plane().ProjectPoint(Mirror(across, points.front())).Distance(points.back()), 1e-9);
}

TEST(ArchForm, CreateFailuresLeaveTheFormUnchanged)
{
    const QvArchForm before = SampleForm();
    // No model.
    {
        QvArchForm form = before;
        EXPECT_FALSE(form.Create(QvPlane(QvPoint(0, 0, 0), QvVector(1, 0, 0))));
    }
    // The arch fits, but no molar (nor any other tooth) has a mid curve long enough
    // to give an arch end.
    {
        ArchCase c(true, kArch);
        for (QvEntity* entity : c.model.m_teeth)
        {
            std::vector<int>& mid = static_cast<QvTooth*>(entity)->GetToothRef()->m_midCurve.m_vertices;
            mid.erase(mid.begin() + 1);
        }
        QvArchForm form(true, &c.model, c.Plane());
        form.SetCurve(before.GetCurve());
        form.SetPoints(before.GetPoints());
        EXPECT_FALSE(form.Create(MidPlane(c)));
        EXPECT_TRUE(SameCurve(form.GetCurve(), before.GetCurve()));
        EXPECT_EQ(form.GetPoints().size(), before.GetPoints().size());
        QvCreateArchCurveCommand command(1, &c.model, c.Plane());
        EXPECT_TRUE(command.Execute());
    }
    // No teeth at all.
    {
        ArchCase c(true, kArch, {});
        QvArchForm form(true, &c.model, c.Plane());
        EXPECT_FALSE(form.Create(MidPlane(c)));
        EXPECT_TRUE(form.GetCurve().m_ctrlPoints.empty());
    }
}

} // namespace

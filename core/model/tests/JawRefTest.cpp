// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "testing/ByteSweep.h"

namespace {

QvFrame FrameAt(double x)
{
    return QvFrame(QvPoint(x, 1.0, 2.0), QvVector(1, 0, 0), QvVector(0, 1, 0));
}

// Four planes told apart by their sizes: mid 1, back 2, aesthetic 3, porion-orbitale 4.
void FillAll(QvJawRef& ref)
{
    ref.SetMiddlePlane(FrameAt(1), {QvPoint(1, 1, 1)}, 1.0);
    ref.SetBackBoundaryPlane(FrameAt(2), {QvPoint(2, 2, 2), QvPoint(2, 2, 3)}, 2.0);
    ref.SetBeautyPlane(FrameAt(3), {QvPoint(3, 0, 0)}, {QvPoint(3, 1, 0), QvPoint(3, 2, 0)}, 3.0);
    ref.m_pOpPlane = new QvOpPlane();
    ref.m_pOpPlane->Set(FrameAt(4), {}, 4.0);
}

// Slots as the forms store them: int32 flag, then the record when present.
std::string Slots(const std::vector<const QvRefPlane*>& planes)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        for (const QvRefPlane* plane : planes)
        {
            qvio::WriteI32(os, plane ? 1 : 0);
            if (plane)
                plane->Write(os, 0);
        }
    });
}

enum Form
{
    None,
    Three,
    Two,
    Porion,
    Legacy
};

std::vector<const QvRefPlane*> SlotsOf(const QvJawRef& ref, Form form)
{
    switch (form)
    {
    case Three:
    case Legacy: return {ref.m_pMiddlePlane, ref.m_pBackBoundaryPlane, ref.m_pBeautyPlane};
    case Two: return {ref.m_pMiddlePlane, ref.m_pBeautyPlane};
    case Porion: return {ref.m_pMiddlePlane, ref.m_pBeautyPlane, ref.m_pOpPlane};
    case None: break;
    }
    return {};
}

TEST(JawRef, WrittenFormByVersion)
{
    QvJawRef ref;
    FillAll(ref);
    const std::vector<std::pair<int, Form>> table = {
        {1025, Three}, {1026, Three}, {1027, Porion}, {1028, Porion}, {1029, Porion}, {1030, Two},
        {1040, Two},   {1043, Two},   {1044, Two},    {2049, Two},    {2050, Two},    {2054, Two},
        {2055, None},  {513, Three},  {515, Three},   {516, None},    {517, None},    {0x2007, None},
        {0x8005, None}, {0x107, None}, {0, None},
    };
    for (const auto& [version, form] : table)
    {
        const std::string written = qvtest::BytesOf([&](std::ostream& os) { ref.Write(os, version); });
        EXPECT_EQ(written, Slots(SlotsOf(ref, form))) << version;
    }
    // The measurement file always takes the two-plane form.
    EXPECT_EQ(qvtest::BytesOf([&](std::ostream& os) { ref.WriteRVM(os, 0x8005); }), Slots(SlotsOf(ref, Two)));
}

// The occlusal-plane and arch-form records that old case files stored after the planes.
std::string LegacyTail()
{
    return qvtest::BytesOf([](std::ostream& os) {
        qvio::WriteI32(os, 1);
        FrameAt(9).Write(os, true);
        qvio::WriteF64(os, 0.5);
        qvio::WriteI32(os, 2);
        for (int k = 0; k < 2; ++k)
        {
            QvPoint(k, k, k).Write(os, true);
            qvio::WriteI32(os, 40 + k);
        }
        qvio::WriteI32(os, 0); // second occlusal plane absent
        qvio::WriteI32(os, 1);
        qvio::WriteU8(os, 1);
        std::unique_ptr<QvBSplineCurve> curve(
            QvBSplineCurve::FromEndTangents(QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvVector(1, 0, 0), QvVector(1, 0, 0)));
        curve->Write(os, true);
        qvio::WriteI32(os, 1);
        QvPoint(0.5, 0, 0).Write(os, true);
        qvio::WriteI32(os, 0); // second arch form absent
    });
}

TEST(JawRef, ReadFormByVersion)
{
    QvJawRef source;
    FillAll(source);
    const std::vector<std::pair<int, Form>> table = {
        {1025, Three}, {1026, Three}, {1027, Two}, {1028, Two}, {1029, Porion}, {1030, Two},  {1043, Two},
        {1044, None},  {2049, Three}, {2050, Two}, {2054, Two}, {2060, Two},    {513, Legacy}, {514, Three},
        {515, Three},  {516, None},   {517, Porion}, {518, None}, {0x2007, None}, {0x8005, None},
    };
    for (const auto& [version, form] : table)
    {
        SCOPED_TRACE(version);
        std::string bytes = Slots(SlotsOf(source, form == None ? Two : form));
        if (form == Legacy)
            bytes += LegacyTail();
        std::istringstream in(bytes);
        QvJawRef back;
        ASSERT_EQ(back.Read(in, version, nullptr), form != None);
        if (form == None)
        {
            EXPECT_EQ(in.tellg(), 0);
            continue;
        }
        EXPECT_EQ(in.peek(), std::char_traits<char>::eof());
        ASSERT_NE(back.m_pMiddlePlane, nullptr);
        EXPECT_EQ(back.m_pMiddlePlane->m_dSize, 1.0);
        ASSERT_NE(back.m_pBeautyPlane, nullptr);
        EXPECT_EQ(back.m_pBeautyPlane->m_lipPoints.size(), 2u);
        EXPECT_EQ(back.m_pBackBoundaryPlane != nullptr, form == Three || form == Legacy);
        EXPECT_EQ(back.m_pOpPlane != nullptr, form == Porion);
    }
}

TEST(JawRef, LatestCaseDocumentWithOnlyTheMidSagittalPlane)
{
    QvJawRef ref;
    ref.SetMiddlePlane(FrameAt(1), {QvPoint(1, 2, 3)}, 5.0);
    ref.SetBackBoundaryPlane(FrameAt(2), {}, 2.0); // no slot for it in this form
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { ref.Write(os, 1043); });
    const QvMiddlePlane& mid = *ref.m_pMiddlePlane;
    EXPECT_EQ(bytes, Slots({&mid, nullptr}));

    std::istringstream in(bytes);
    QvJawRef back;
    ASSERT_TRUE(back.Read(in, 1043, nullptr));
    EXPECT_EQ(back.m_pBeautyPlane, nullptr);
    EXPECT_EQ(back.m_pBackBoundaryPlane, nullptr);
    ASSERT_NE(back.m_pMiddlePlane, nullptr);
    EXPECT_TRUE(back.IsMiddlePlaneEqual(mid));
}

TEST(JawRef, AbsentSlotsKeepThePlanesThere)
{
    QvJawRef ref;
    FillAll(ref);
    QvBeautyPlane* beauty = ref.m_pBeautyPlane;
    QvMiddlePlane replacement;
    replacement.Set(FrameAt(7), {}, 7.0);
    std::istringstream in(Slots({&replacement, nullptr, nullptr}));
    ASSERT_TRUE(ref.Read(in, 1025, nullptr));
    EXPECT_EQ(ref.m_pBeautyPlane, beauty);
    EXPECT_EQ(ref.m_pMiddlePlane->m_dSize, 7.0);
    EXPECT_EQ(ref.m_pBackBoundaryPlane->m_dSize, 2.0);

    QvBeautyPlane other;
    other.Set(FrameAt(8), {}, {}, 8.0);
    std::istringstream again(Slots({nullptr, nullptr, &other}));
    ASSERT_TRUE(ref.Read(again, 1025, nullptr));
    EXPECT_EQ(ref.m_pBeautyPlane->m_dSize, 8.0);

    // A flag other than 1 counts as absent.
    std::string odd = Slots({nullptr, nullptr});
    odd[0] = 2;
    std::istringstream oddIn(odd);
    ASSERT_TRUE(ref.Read(oddIn, 1043, nullptr));
    EXPECT_EQ(ref.m_pMiddlePlane->m_dSize, 7.0);
}

TEST(JawRef, DamagedSetsFailAndChangeNothing)
{
    QvJawRef source;
    FillAll(source);
    const std::vector<std::pair<int, std::string>> inputs = {
        {1025, Slots(SlotsOf(source, Three))},
        {1043, Slots(SlotsOf(source, Two))},
        {1029, Slots(SlotsOf(source, Porion))},
        {513, Slots(SlotsOf(source, Legacy)) + LegacyTail()},
    };
    for (const auto& [version, bytes] : inputs)
    {
        SCOPED_TRACE(version);
        qvtest::ExpectReaderSurvivesDamage(bytes, [v = version](std::istream& is) {
            QvJawRef target;
            target.SetMiddlePlane(FrameAt(5), {}, 5.0);
            const bool ok = target.Read(is, v, nullptr);
            if (!ok)
            {
                EXPECT_EQ(target.m_pMiddlePlane->m_dSize, 5.0);
                EXPECT_EQ(target.m_pBeautyPlane, nullptr);
                EXPECT_EQ(target.m_pBackBoundaryPlane, nullptr);
                EXPECT_EQ(target.m_pOpPlane, nullptr);
            }
            return ok;
        });
    }
    qvtest::ExpectReaderSurvivesDamage(Slots(SlotsOf(source, Two)), [](std::istream& is) {
        QvJawRef target;
        return target.ReadRVM(is, 0x8001, nullptr);
    });
}

TEST(JawRef, GettersAnswerAbsenceWithoutTouchingOutputs)
{
    QvJawRef ref;
    QvFrame frame = FrameAt(9);
    double size = 9.0;
    std::vector<QvPoint> points{QvPoint(9, 9, 9)};
    EXPECT_FALSE(ref.GetMiddlePlane(frame, size));
    EXPECT_FALSE(ref.GetBackBoundaryPlane(frame, size));
    EXPECT_FALSE(ref.GetBackBoundaryPoints(points));
    EXPECT_FALSE(ref.GetMiddlePoints(points));
    EXPECT_TRUE(frame == FrameAt(9));
    EXPECT_EQ(size, 9.0);
    EXPECT_EQ(points.size(), 1u);
    EXPECT_FALSE(ref.IsMiddlePlaneEqual(QvMiddlePlane()));

    FillAll(ref);
    ASSERT_TRUE(ref.GetMiddlePlane(frame, size));
    EXPECT_TRUE(frame == FrameAt(1));
    EXPECT_EQ(size, 1.0);
    ASSERT_TRUE(ref.GetBackBoundaryPlane(frame, size));
    EXPECT_EQ(size, 2.0);
    ASSERT_TRUE(ref.GetBackBoundaryPoints(points));
    EXPECT_EQ(points.size(), 2u);
    ASSERT_TRUE(ref.GetMiddlePoints(points));
    EXPECT_EQ(points.size(), 1u);

    ref.DeleteBeautyPlane();
    ref.DeleteOpPlane();
    EXPECT_EQ(ref.m_pBeautyPlane, nullptr);
    EXPECT_EQ(ref.m_pOpPlane, nullptr);
    ref.Clear();
    EXPECT_EQ(ref.m_pMiddlePlane, nullptr);
    EXPECT_EQ(ref.m_pBackBoundaryPlane, nullptr);
}

TEST(JawRef, TheCaseModelOwnsAnEmptySet)
{
    QvModel model;
    ASSERT_NE(model.GetJawRef(), nullptr);
    FillAll(*model.GetJawRef());
    model.Clear(false);
    ASSERT_NE(model.GetJawRef(), nullptr);
    EXPECT_EQ(model.GetJawRef()->m_pMiddlePlane, nullptr);
    EXPECT_EQ(model.GetJawRef()->m_pOpPlane, nullptr);
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <sstream>

#include "core/base/QvEntity.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "testing/ByteSweep.h"

namespace {

// Every test starts from the counter of a fresh process.
class EntityTest : public ::testing::Test
{
protected:
    void SetUp() override { QvEntity::SetNextId(100); }
    void TearDown() override { QvEntity::SetNextId(100); }
};

template <typename T>
void Append(std::string& s, T v)
{
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    s.append(b, sizeof(T));
}

TEST(ObjectTypes, CodesAndKindOfFollowTheBaseChain)
{
    const QvObject object;
    QvEntity::SetNextId(100);
    const QvEntity entity;
    const QvObject& asObject = entity;

    EXPECT_EQ(object.GetType(), 1u);
    EXPECT_EQ(asObject.GetType(), 2u); // virtual dispatch through the root

    struct Case
    {
        QvTypeCode code;
        bool object, entity;
    } cases[] = {
        {kQvTypeObject, true, true}, {kQvTypeEntity, false, true}, {kQvTypeMesh, false, false},
        {0, false, false},           {0x3, false, false},          {kQvTypeEntityAnonymous, false, false},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(object.IsKindOf(c.code), c.object) << c.code;
        EXPECT_EQ(asObject.IsKindOf(c.code), c.entity) << c.code;
    }
}

TEST(ObjectState, NewWordAndSettersTouchOnlyTheirBit)
{
    QvObject o;
    EXPECT_EQ(o.m_state, 0x11u);

    o.m_state = 0xFFFFFFFFu;
    o.SetVisible(false);
    EXPECT_EQ(o.m_state, 0xFFFFFFFEu);
    o.SetSelected(false);
    EXPECT_EQ(o.m_state, 0xFFFFFFFCu);
    o.SetGizmoFlag(false);
    EXPECT_EQ(o.m_state, 0xFFFFFFF4u);
    o.SetDeleted(false);
    EXPECT_EQ(o.m_state, 0xFFFFEFF4u);
    o.SetStateBits(0x00F00000u, false);
    EXPECT_EQ(o.m_state, 0xFF0FEFF4u);

    o.m_state = 0;
    o.SetVisible(true);
    o.SetSelected(true);
    o.SetGizmoFlag(true);
    o.SetDeleted(true);
    o.SetStateBits(0x80000004u, true);
    EXPECT_EQ(o.m_state, 0x8000100Fu);
}

TEST(ObjectState, CopyAndSelfAssignment)
{
    QvObject a;
    a.m_state = 0x1234;
    QvObject b(a);
    EXPECT_EQ(b.m_state, 0x1234u);
    QvObject c;
    c = a;
    EXPECT_EQ(c.m_state, 0x1234u);
    QvObject& self = c;
    c = self;
    EXPECT_EQ(c.m_state, 0x1234u);
}

TEST_F(EntityTest, NewEntitiesDrawConsecutiveIds)
{
    QvEntity a;
    EXPECT_EQ(a.GetID(), 100);
    EXPECT_EQ(a.m_state, 0x11u);
    EXPECT_EQ(a.m_bbox.m_minPoint.Distance(QvPoint(0, 0, 0)), 0.0);
    EXPECT_EQ(a.m_bbox.m_maxPoint.Distance(QvPoint(0, 0, 0)), 0.0);

    EXPECT_EQ(QvEntity::NextId(), 101); // consumed
    QvEntity b;
    EXPECT_EQ(b.GetID(), 102);
}

TEST_F(EntityTest, SetNextIdNeverGoesBelow100)
{
    struct Case
    {
        std::int32_t set, next;
    } cases[] = {{57, 100}, {100, 100}, {101, 101}, {250, 250}, {0, 100}, {-5, 100}, {INT_MIN, 100}};
    for (const Case& c : cases)
    {
        QvEntity::SetNextId(c.set);
        QvEntity e;
        EXPECT_EQ(e.GetID(), c.next) << c.set;
    }
}

TEST_F(EntityTest, CopiesShareTheIdAndDrawNone)
{
    QvEntity a;
    a.m_state = 0x1013;
    a.m_bbox.Set(QvPoint(-1, -2, -3), QvPoint(4, 5, 6));
    a.SetID(777);

    const QvEntity copy(a);
    EXPECT_EQ(copy.GetID(), 777);
    EXPECT_EQ(copy.m_state, 0x1013u);
    EXPECT_EQ(copy.m_bbox.m_maxPoint.Distance(QvPoint(4, 5, 6)), 0.0);

    QvEntity target; // draws 101
    target = a;
    EXPECT_EQ(target.GetID(), 777);
    EXPECT_EQ(target.m_bbox.m_minPoint.Distance(QvPoint(-1, -2, -3)), 0.0);
    QvEntity& self = target;
    target = self;
    EXPECT_EQ(target.GetID(), 777);

    // Two constructions, 100 and 101: the copy and the assignment drew nothing.
    EXPECT_EQ(QvEntity::NextId(), 102);
}

QvEntity MakeSample()
{
    QvEntity e;
    e.m_state = 0x80001019u; // shown, gizmo, new, deleted, and a bit without meaning
    e.m_bbox.Set(QvPoint(-1.5, 0.25, 1e-300), QvPoint(2.0, 3.75, -0.0));
    e.SetID(-123456);
    return e;
}

TEST_F(EntityTest, RecordIsFiftySixBytesInFieldOrder)
{
    const QvEntity e = MakeSample();
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { e.Write(os, 7); });

    std::string expected;
    Append<std::uint32_t>(expected, 0x80001019u);
    for (double v : {-1.5, 0.25, 1e-300, 2.0, 3.75, -0.0})
        Append<double>(expected, v);
    Append<std::int32_t>(expected, -123456);
    ASSERT_EQ(expected.size(), 56u);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(qvtest::BytesOf([&](std::ostream& os) { e.Write(os, 0); }), bytes); // the version changes nothing

    QvEntity back;
    std::istringstream is(bytes, std::ios::binary);
    ASSERT_TRUE(back.Read(is, 7, nullptr));
    EXPECT_EQ(back.m_state, e.m_state);
    EXPECT_EQ(back.GetID(), -123456);
    EXPECT_EQ(qvtest::BytesOf([&](std::ostream& os) { back.Write(os, 7); }), bytes);
}

TEST_F(EntityTest, ShortRecordIsRejectedAndChangesNothing)
{
    const std::string bytes = qvtest::BytesOf([](std::ostream& os) { MakeSample().Write(os, 1); });
    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& is) {
        QvEntity e;
        return e.Read(is, 1, nullptr);
    });

    // Cut inside the id: everything read so far is discarded.
    QvEntity e;
    e.SetID(5);
    std::istringstream is(bytes.substr(0, 54), std::ios::binary);
    EXPECT_FALSE(e.Read(is, 1, nullptr));
    EXPECT_EQ(e.GetID(), 5);
    EXPECT_EQ(e.m_state, 0x11u);
    EXPECT_EQ(e.m_bbox.m_minPoint.Distance(QvPoint(0, 0, 0)), 0.0);
}

TEST(ObjectRecord, StateWordRoundTripAndShortStream)
{
    QvObject o;
    o.m_state = 0xDEADBEEFu;
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { o.Write(os, 3); });
    ASSERT_EQ(bytes, std::string("\xEF\xBE\xAD\xDE", 4));

    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& is) {
        QvObject r;
        return r.Read(is, 3, nullptr);
    });

    QvObject r;
    std::istringstream shortStream(bytes.substr(0, 3), std::ios::binary);
    EXPECT_FALSE(r.Read(shortStream, 3, nullptr));
    EXPECT_EQ(r.m_state, 0x11u);
}

QvMatrix Translation(double x, double y, double z)
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    m[0][3] = x;
    m[1][3] = y;
    m[2][3] = z;
    return m;
}

TEST_F(EntityTest, RayHitsTheBoxInTheEntitysOwnFrame)
{
    QvEntity e;
    e.m_bbox.Set(QvPoint(0, 0, 0), QvPoint(1, 1, 1));
    // A ray along z through (10.5, 0.5): it meets the box only once the placement's
    // translation (10, 0, 0) is undone.
    const QvLine ray(QvPoint(10.5, 0.5, -5), QvVector(0, 0, 1));
    EXPECT_FALSE(e.IsHitByLine(ray));
    EXPECT_TRUE(e.IsHitByLine(ray, Translation(10, 0, 0)));
    EXPECT_FALSE(e.IsHitByLine(ray, Translation(0, 10, 0)));

    // A rotation by 90 degrees about z turns the box's frame; the inverse brings a
    // ray at x = -0.5 back to y = 0.5.
    QvMatrix rot(QvVector(0, 0, 1), kQvPi / 2);
    const QvLine turned(QvPoint(-0.5, 0.5, -5), QvVector(0, 0, 1));
    EXPECT_FALSE(e.IsHitByLine(turned));
    EXPECT_TRUE(e.IsHitByLine(turned, rot));

    // Singular and non-square placements leave the ray as given.
    const QvLine through(QvPoint(0.5, 0.5, -5), QvVector(0, 0, 1));
    EXPECT_TRUE(e.IsHitByLine(through, QvMatrix(4, 4)));
    QvMatrix wide(3, 4);
    wide[0][0] = wide[1][1] = wide[2][2] = 1.0;
    wide[0][3] = 100.0;
    EXPECT_TRUE(e.IsHitByLine(through, wide));
    QvMatrix small(2, 2);
    small.SetIdentity(); // invertible, but no placement of 3-D points
    EXPECT_FALSE(e.IsHitByLine(ray, small));
}

} // namespace

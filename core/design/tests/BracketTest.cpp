// SPDX-License-Identifier: GPL-3.0-or-later
// Placed brackets and bracket lists: record forms, binding to teeth and library
// bodies, list editing and copying, placement queries.
#include <cmath>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "core/design/QvBracket.h"
#include "core/design/QvBracketGeo.h"
#include "core/design/QvBracketList.h"
#include "core/design/QvBracketSeriesMgr.h"
#include "core/design/tests/BracketTestSupport.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "testing/ByteSweep.h"
#include "testing/CaseFixtures.h"

namespace {

constexpr int kVersion = 8197;

QvMatrix Placement(double angle, double scale, const QvVector& shift)
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    const double c = std::cos(angle) * scale, s = std::sin(angle) * scale;
    m[0][0] = c;
    m[0][1] = -s;
    m[1][0] = s;
    m[1][1] = c;
    m[2][2] = scale;
    m[0][3] = shift[0];
    m[1][3] = shift[1];
    m[2][3] = shift[2];
    return m;
}

// A case with teeth and a library holding one series whose bodies are named
// "<code>-<fdi>" in upper case.
class PlacedBrackets : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QvBracketSeriesMgr::Instance()->ResetForTests();
        qvtest::CaseOptions options;
        options.crownRings = 2;
        options.crownAround = 6;
        options.withBones = options.withHinge = options.withAirway = options.withPlanes = false;
        options.withRoots = options.withToothRefs = false;
        qvtest::FillCase(m_model, options);
        LoadSeries(qvtest::MakeSeries("ROTH", {11, 21, 31}));
    }
    void TearDown() override { QvBracketSeriesMgr::Instance()->ResetForTests(); }

    static void LoadSeries(std::unique_ptr<QvBracketGeoSeries> series)
    {
        QvBracketSeriesMgr::Instance()->m_series.push_back(series.release());
    }
    static QvBracketGeo* Body(const char* name) { return QvBracketSeriesMgr::Instance()->FindGeo(name); }

    // A bracket on the tooth with the library body of that name.
    QvBracket* Make(int fdi, const char* name, double angle = 0.0)
    {
        auto* b = new QvBracket(Body(name));
        b->m_pTooth = m_model.FindTooth(fdi);
        b->m_matrix = Placement(angle, 1.0, QvVector(fdi, 1.0, 2.0));
        b->m_scale[0] = 1.0;
        b->m_scale[1] = 2.0;
        b->m_scale[2] = 3.0;
        return b;
    }

    static std::string ListBytes(const QvBracketList& list)
    {
        return qvtest::BytesOf([&](std::ostream& os) { list.Write(os, kVersion); });
    }

    QvModel m_model;
};

} // namespace

TEST_F(PlacedBrackets, TypeCodesAnswerBracketButNotMesh)
{
    QvBracket b;
    EXPECT_EQ(b.GetType(), 0x20000001u);
    for (const QvTypeCode code : {0x20000001u, 1u, 2u})
        EXPECT_TRUE(b.IsKindOf(code)) << code;
    EXPECT_FALSE(b.IsKindOf(4u));
    EXPECT_TRUE(b.m_matrix.IsIdentity());
    EXPECT_EQ(b.m_pGeo, nullptr);
    EXPECT_EQ(b.m_pTooth, nullptr);
}

TEST_F(PlacedBrackets, RecordHoldsFdiNameMatrixAndScale)
{
    auto series = qvtest::MakeSeries("X", {});
    series->m_bodies.push_back(qvtest::MakeBody(std::string(30, 'N'), 11).release());
    LoadSeries(std::move(series));
    std::unique_ptr<QvBracket> b(Make(11, "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNN"));
    ASSERT_NE(b->m_pGeo, nullptr);

    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { b->Write(os, kVersion); });
    ASSERT_EQ(bytes.size(), 198u);
    std::int32_t fdi, n, rows, cols;
    std::memcpy(&fdi, bytes.data(), 4);
    std::memcpy(&n, bytes.data() + 4, 4);
    std::memcpy(&rows, bytes.data() + 38, 4);
    std::memcpy(&cols, bytes.data() + 42, 4);
    EXPECT_EQ(fdi, 11);
    EXPECT_EQ(n, 30);
    EXPECT_EQ(bytes.substr(8, 30), std::string(30, 'N'));
    EXPECT_EQ(rows, 4);
    EXPECT_EQ(cols, 4);
    double m03, sz;
    std::memcpy(&m03, bytes.data() + 46 + 3 * 8, 8);
    std::memcpy(&sz, bytes.data() + 198 - 8, 8);
    EXPECT_EQ(m03, 11.0);
    EXPECT_EQ(sz, 3.0);
}

TEST_F(PlacedBrackets, ListRoundTripBindsTeethAndBodiesAndHidesBrackets)
{
    QvBracketList list;
    list.AddBracket(Make(11, "ROTH-11", 0.3));
    list.AddBracket(Make(31, "ROTH-31", -1.0));
    const std::string bytes = ListBytes(list);

    QvBracketList back;
    std::istringstream is(bytes);
    ASSERT_TRUE(back.Read(is, kVersion, &m_model));
    EXPECT_EQ(is.tellg(), static_cast<std::streamoff>(bytes.size()));
    ASSERT_EQ(back.m_brackets.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i)
    {
        const QvBracket& a = *list.m_brackets[i];
        const QvBracket& b = *back.m_brackets[i];
        EXPECT_EQ(b.m_pTooth, a.m_pTooth);
        EXPECT_EQ(b.m_pGeo, a.m_pGeo);
        EXPECT_EQ(b.m_state & kQvStateShown, 0u);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(b.m_matrix[r][c], a.m_matrix[r][c]);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(b.GetScale(k), a.GetScale(k));
    }
    EXPECT_EQ(ListBytes(back), bytes);
}

TEST_F(PlacedBrackets, StoredNamesAreMatchedAfterUpperCasingTheirAsciiLetters)
{
    // GB18030 two-byte characters whose trail byte is an ASCII letter ('a' = 0x61,
    // 'A' = 0x41): they are different characters and must stay so.
    auto series = qvtest::MakeSeries("G", {});
    series->m_bodies.push_back(qvtest::MakeBody("\x81\x61-U11", 11).release());
    series->m_bodies.push_back(qvtest::MakeBody("\x81\x41-U12", 12).release());
    series->m_bodies.push_back(qvtest::MakeBody("lower-u13", 13).release());
    LoadSeries(std::move(series));

    struct Case
    {
        std::string stored;
        const char* found; // body name, or null for none
    };
    const Case cases[] = {
        {"roth-11", "ROTH-11"},
        {"RoTh-21", "ROTH-21"},
        {"\x81\x61-u11", "\x81\x61-U11"},
        {"\x81\x41-u12", "\x81\x41-U12"},
        {"\x81\x41-u11", nullptr},
        {"lower-u13", nullptr}, // a body with lower-case letters is never found
        {"ROTH-99", nullptr},
    };
    for (const Case& c : cases)
    {
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) {
            qvio::WriteI32(os, 11);
            qvio::WriteString(os, c.stored);
            Placement(0.0, 1.0, QvVector()).Write(os);
            for (int k = 0; k < 3; ++k)
                qvio::WriteF64(os, 1.0);
        });
        std::istringstream is(bytes);
        QvBracket b;
        ASSERT_TRUE(b.Read(is, kVersion, &m_model)) << c.stored;
        EXPECT_EQ(b.m_pGeo, c.found ? Body(c.found) : nullptr) << c.stored;
        if (c.found)
        {
            EXPECT_NE(b.m_pGeo, nullptr) << c.stored;
        }
    }
}

TEST(BracketNames, UpperCasingSkipsMultiByteCharacters)
{
    const struct
    {
        std::string in, out;
    } cases[] = {
        {"abc-Z9", "ABC-Z9"},
        {"\xd6\xd0z", "\xd6\xd0Z"},                // two-byte character
        {"\x81\x61" "a", "\x81\x61" "A"},          // trail byte 'a' kept
        {"\x81\x30\x81\x30" "b", "\x81\x30\x81\x30" "B"}, // four-byte character
        {"\x80" "c\xff" "d", "\x80" "C\xff" "D"},   // stray bytes stand alone
        {"x\x81", "X\x81"},                        // cut-off lead byte at the end
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QvUpperAsciiGb18030(c.in), c.out);
}

TEST_F(PlacedBrackets, MissingToothOrBodyStaysInTheListAndWritesEmpty)
{
    QvBracketList list;
    list.AddBracket(Make(18, "ROTH-11")); // the case has no tooth 18
    list.AddBracket(Make(11, "NOT-LOADED"));
    std::istringstream is(ListBytes(list));
    QvBracketList back;
    ASSERT_TRUE(back.Read(is, kVersion, &m_model));
    ASSERT_EQ(back.m_brackets.size(), 2u);
    EXPECT_EQ(back.m_brackets[0]->m_pTooth, nullptr);
    EXPECT_EQ(back.m_brackets[0]->m_pGeo, Body("ROTH-11"));
    EXPECT_NE(back.m_brackets[1]->m_pTooth, nullptr);
    EXPECT_EQ(back.m_brackets[1]->m_pGeo, nullptr);

    // Written as number 0 and an empty name, which bind to nothing when read.
    const std::string bytes = ListBytes(back);
    std::int32_t fdi = -1, n = -1;
    std::memcpy(&fdi, bytes.data() + 4, 4);
    EXPECT_EQ(fdi, 0);
    std::memcpy(&n, bytes.data() + 4 + 4 + 4 + 7 + 8 + 128 + 24 + 4, 4);
    EXPECT_EQ(n, 0);
    // Reading without a case model binds no tooth.
    std::istringstream again(bytes);
    QvBracketList noModel;
    ASSERT_TRUE(noModel.Read(again, kVersion, nullptr));
    EXPECT_EQ(noModel.m_brackets[1]->m_pTooth, nullptr);
}

TEST_F(PlacedBrackets, BadListRecordsAreRefusedAndLeaveTheListUnchanged)
{
    QvBracketList source;
    source.AddBracket(Make(11, "ROTH-11"));
    source.AddBracket(Make(21, "ROTH-21"));
    const std::string bytes = ListBytes(source);
    auto withInt = [&](std::size_t at, std::int32_t value) {
        std::string b = bytes;
        std::memcpy(b.data() + at, &value, 4);
        return b;
    };
    // First bracket: count 4, fdi 4, name count 4 + 7 ("ROTH-11"), then rows and cols.
    const std::size_t rowsAt = 4 + 4 + 4 + 7;
    struct Case
    {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"negative count", withInt(0, -1)},
        {"count beyond the stream", withInt(0, 1000)},
        {"one bracket more than stored", withInt(0, 3)},
        {"negative name count", withInt(8, -5)},
        {"3 x 4 placement", withInt(rowsAt, 3)},
        {"cut in the last bracket", bytes.substr(0, bytes.size() - 1)},
    };
    for (const Case& c : cases)
    {
        QvBracketList list;
        list.AddBracket(Make(31, "ROTH-31"));
        QvBracket* kept = list.m_brackets[0];
        std::istringstream is(c.bytes);
        EXPECT_FALSE(list.Read(is, kVersion, &m_model)) << c.what;
        ASSERT_EQ(list.m_brackets.size(), 1u) << c.what;
        EXPECT_EQ(list.m_brackets[0], kept);
    }
    qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& is) {
        QvBracketList list;
        return list.Read(is, kVersion, &m_model);
    });
}

TEST_F(PlacedBrackets, CountZeroLeavesTheListAsItWas)
{
    QvBracketList list;
    list.AddBracket(Make(11, "ROTH-11"));
    std::istringstream is(std::string(4, '\0'));
    EXPECT_TRUE(list.Read(is, kVersion, &m_model));
    EXPECT_EQ(list.m_brackets.size(), 1u);
}

TEST_F(PlacedBrackets, AddFindAndRemoveKeepOwnershipStraight)
{
    QvBracketList list;
    QvBracket* a = Make(11, "ROTH-11");
    QvBracket* b = Make(21, "ROTH-21");
    list.AddBracket(a);
    list.AddBracket(b);
    list.AddBracket(a);
    list.AddBracket(nullptr);
    ASSERT_EQ(list.m_brackets.size(), 2u);

    EXPECT_EQ(list.FindBracket(m_model.FindTooth(21)), b);
    EXPECT_EQ(list.FindBracket(m_model.FindTooth(12)), nullptr);
    EXPECT_EQ(list.FindBracket(nullptr), nullptr);

    std::unique_ptr<QvBracket> outsider(Make(12, "ROTH-11"));
    list.RemoveBracket(outsider.get()); // not listed: neither removed nor deleted
    EXPECT_EQ(list.m_brackets.size(), 2u);
    list.RemoveBracket(a); // deleted (ASan reports a leak otherwise)
    ASSERT_EQ(list.m_brackets.size(), 1u);
    EXPECT_EQ(list.m_brackets[0], b);

    QvBracketList fromVector({Make(11, "ROTH-11"), nullptr});
    EXPECT_EQ(fromVector.m_brackets.size(), 1u);
    fromVector.Clear();
    EXPECT_TRUE(fromVector.m_brackets.empty());
}

TEST_F(PlacedBrackets, CopyingAListRebindsBodiesAndDropsUnloadedOnes)
{
    QvBracketList source;
    QvBracket* a = Make(11, "ROTH-11", 0.5);
    a->SetVisible(true);
    a->SetSelected(true);
    a->m_bbox = QvBBox(QvPoint(-1, -2, -3), QvPoint(1, 2, 3));
    source.AddBracket(a);
    source.AddBracket(Make(21, "ROTH-21"));
    source.AddBracket(new QvBracket); // never had a body

    QvBracketList copy;
    copy.AddBracket(Make(31, "ROTH-31"));
    copy.CopyFrom(source);
    ASSERT_EQ(copy.m_brackets.size(), 2u) << "the bracket without a body is dropped, the old one deleted";
    const QvBracket& c = *copy.m_brackets[0];
    EXPECT_NE(&c, a);
    EXPECT_EQ(c.m_pGeo, a->m_pGeo);
    EXPECT_EQ(c.m_pTooth, a->m_pTooth);
    EXPECT_EQ(c.m_state, a->m_state & ~kQvStateShown) << "copied state, then hidden";
    EXPECT_NE(c.GetID(), a->GetID());
    EXPECT_EQ(c.m_bbox.m_maxPoint[2], 3.0);
    EXPECT_EQ(c.m_matrix[0][1], a->m_matrix[0][1]);
    EXPECT_EQ(c.GetScale(2), 3.0);

    copy.CopyFrom(copy);
    EXPECT_EQ(copy.m_brackets.size(), 2u);

}

TEST_F(PlacedBrackets, CopyingBracketsWhoseBodiesAreNotLoadedGivesAnEmptyList)
{
    // Bodies of a series the library does not hold.
    const auto detached = qvtest::MakeSeries("OLD", {11, 21});
    QvBracketList source;
    for (QvBracketGeo* body : detached->m_bodies)
        source.AddBracket(new QvBracket(body));
    QvBracketList copy;
    copy.CopyFrom(source);
    EXPECT_TRUE(copy.m_brackets.empty());

    // A single bracket copied from one without a body keeps its own body.
    QvBracket withBody(Body("ROTH-11"));
    QvBracket bare;
    withBody.CopyFrom(bare);
    EXPECT_EQ(withBody.m_pGeo, Body("ROTH-11"));
    // One copied from an unloaded body loses it.
    withBody.CopyFrom(*source.m_brackets[0]);
    EXPECT_EQ(withBody.m_pGeo, nullptr);
}

TEST_F(PlacedBrackets, PlacementGivesTheDrawMatricesAndTheWorldFrame)
{
    const double angle = 0.5;
    QvBracket b(Body("ROTH-21"));
    b.m_matrix = Placement(angle, 2.0, QvVector(10.0, -5.0, 1.0));

    double gl[16];
    b.GetColumnMajor(gl);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(gl[4 * c + r], b.m_matrix[r][c]) << r << "," << c;
    EXPECT_EQ(gl[12], 10.0) << "translation in the last column block";

    const QvMatrix scale = b.GetScaleMatrix();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(scale[r][c], r == c ? (r < 3 ? 2.0 : 1.0) : 0.0, 1e-12) << r << "," << c;

    // The world frame: the body's frame carried by the placement (checked by hand).
    const QvFrame& local = b.m_pGeo->m_frame;
    const QvFrame world = b.GetWorldFrame();
    const double c = std::cos(angle), s = std::sin(angle);
    const QvPoint& o = local.m_centre;
    EXPECT_NEAR(world.m_centre[0], 2.0 * (c * o[0] - s * o[1]) + 10.0, 1e-12);
    EXPECT_NEAR(world.m_centre[1], 2.0 * (s * o[0] + c * o[1]) - 5.0, 1e-12);
    EXPECT_NEAR(world.m_centre[2], 2.0 * o[2] + 1.0, 1e-12);
    const QvVector& x = local.m_dirX;
    EXPECT_NEAR(world.m_dirX[0], c * x[0] - s * x[1], 1e-12);
    EXPECT_NEAR(world.m_dirX[1], s * x[0] + c * x[1], 1e-12);
    EXPECT_NEAR(world.m_dirZ[2], local.m_dirZ[2], 1e-12);
    EXPECT_NEAR(world.m_dirY.Length(), 1.0, 1e-12);

    QvBracket bare;
    EXPECT_FALSE(bare.GetWorldFrame().IsValid()) << "no body, no frame";
}

TEST_F(PlacedBrackets, BoxScaleAndBodyFdiComeFromTheBody)
{
    QvBracket b;
    b.m_bbox = QvBBox(QvPoint(5, 5, 5), QvPoint(6, 6, 6));
    b.UpdateBBox();
    EXPECT_EQ(b.m_bbox.m_minPoint[0], 5.0) << "no body: box unchanged";
    EXPECT_EQ(b.GetGeoFdi(), nullptr);

    QvBracketGeo* body = Body("ROTH-31");
    b.m_matrix = Placement(1.0, 3.0, QvVector(100.0, 0.0, 0.0));
    b.SetGeometry(body);
    EXPECT_EQ(b.m_pGeo, body);
    body->UpdateBBox();
    for (int k = 0; k < 3; ++k)
    {
        EXPECT_EQ(b.m_bbox.m_minPoint[k], body->m_bbox.m_minPoint[k]) << "body coordinates";
        EXPECT_EQ(b.m_bbox.m_maxPoint[k], body->m_bbox.m_maxPoint[k]);
    }
    ASSERT_NE(b.GetGeoFdi(), nullptr);
    EXPECT_EQ(*b.GetGeoFdi(), 31);
    *b.GetGeoFdi() = 32;
    EXPECT_EQ(body->m_nFdi, 32);

    b.m_scale[0] = 4.0;
    const struct
    {
        int i;
        double want;
    } scales[] = {{0, 4.0}, {1, 1.0}, {2, 1.0}, {-1, 0.0}, {3, 0.0}};
    for (const auto& c : scales)
        EXPECT_EQ(b.GetScale(c.i), c.want) << c.i;
}

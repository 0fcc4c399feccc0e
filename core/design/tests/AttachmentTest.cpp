// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>

#include "core/design/QvAttachGeoCutInstruction.h"
#include "core/design/QvAttachGeoMgr.h"
#include "core/design/QvAttachGeoPressureSpot.h"
#include "core/design/QvAttachGeoPressureZone.h"
#include "core/design/QvAttachGeoStd.h"
#include "core/design/QvAttachGeoStdPower.h"
#include "core/design/QvAttachStepList.h"
#include "core/design/QvAttachment.h"
#include "core/design/tests/AttachFixtures.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "testing/ByteSweep.h"

namespace {

using qvdesigntest::CapVertex;

QvMatrix Translation(double x, double y, double z)
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    m[0][3] = x;
    m[1][3] = y;
    m[2][3] = z;
    return m;
}

// Library: a shared standard shape, an owned pressure spot, a Power shape.
class PlacedAttachments : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QvAttachGeoMgr::Reset();
        m_std = new QvAttachGeoStdCZ;
        qvdesigntest::Populate(*m_std, "CZ01");
        m_spot = new QvAttachGeoPressureSpot;
        qvdesigntest::Populate(*m_spot, "PS01");
        m_power = new QvAttachGeoStdPower;
        qvdesigntest::Populate(*m_power, "PW01");
        m_power->SplitParts();
        QvAttachGeoMgr::Instance() = {m_std, m_spot, m_power};
        m_tooth = qvdesigntest::MakeCapTooth(11);
    }
    void TearDown() override { QvAttachGeoMgr::Reset(); }

    // A record of the attachment written at the version.
    static std::string Record(const QvAttachment& a, int version)
    {
        return qvtest::BytesOf([&](std::ostream& os) { a.WriteRecord(os, version); });
    }

    std::unique_ptr<QvAttachment> Placed(QvAttachGeo* geo)
    {
        auto a = std::make_unique<QvAttachment>();
        // Owned kinds hold a copy of the template, as the library hands them out.
        a->SetGeometry(geo->IsOwnedByAttachment() ? QvAttachGeoMgr::CloneByKindCode(geo) : geo);
        a->m_pTooth = m_tooth.get();
        a->m_matrix = Translation(1, 2, 3);
        a->m_nFirstStep = 2;
        a->m_nLastStep = 9;
        a->m_params[0] = 0.5;
        a->m_params[1] = 0.75;
        a->m_params[2] = 1.0;
        a->m_vertices = {CapVertex(4, 3)};
        a->m_dPowerOffset = 0.25;
        a->m_dPowerAngle = 15.0;
        return a;
    }

    QvAttachGeoStdCZ* m_std = nullptr;
    QvAttachGeoPressureSpot* m_spot = nullptr;
    QvAttachGeoStdPower* m_power = nullptr;
    std::unique_ptr<QvTooth> m_tooth;
};

TEST(AttachmentRecord, FormFollowsTheVersionWord)
{
    struct Row
    {
        int version;
        int form;
    };
    const Row rows[] = {
        {513, 1},  {515, 1},  {516, 2},  {519, 2},  {1025, 1}, {1027, 1}, {1028, 2}, {1032, 2},
        {1033, 3}, {1043, 3}, {8193, 2}, {8194, 3}, {8199, 3}, {8200, 0}, {0, 0},    {256, 0},
        {16387, 0}, {0x2200, 2}, // the 0x200 bit is tested before the 0x2000 one
    };
    for (const Row& r : rows)
        EXPECT_EQ(QvAttachment::GetRecordForm(r.version), r.form) << r.version;
}

TEST(AttachmentRecord, NewAttachmentsAndGeometryDefaults)
{
    const QvAttachment a;
    EXPECT_EQ(a.GetType(), 0x10000000u);
    EXPECT_TRUE(a.IsKindOf(0x10000000));
    EXPECT_TRUE(a.IsKindOf(1));
    EXPECT_TRUE(a.IsKindOf(2));
    EXPECT_FALSE(a.IsKindOf(4)) << "an attachment is not a mesh";
    EXPECT_TRUE(a.m_matrix.IsIdentity());
    EXPECT_EQ(a.m_matrix.Rows(), 4);
    EXPECT_EQ(a.m_nReserved, -1);
    EXPECT_EQ(a.GetParameter(2), 1.0);
    EXPECT_EQ(a.GetParameter(3), 0.0);
    EXPECT_EQ(a.GetWorldFrame(), QvFrame());

    auto* spot = new QvAttachGeoPressureSpot;
    const QvAttachment withSpot(spot); // owned: deleted with the attachment
    EXPECT_EQ(withSpot.m_params[0], 1.0);
    auto* zone = new QvAttachGeoPressureZone;
    const QvAttachment withZone(zone);
    EXPECT_EQ(withZone.m_params[0], 1.8);
    EXPECT_EQ(withZone.m_params[1], 0.2);
    EXPECT_EQ(withZone.m_params[2], 0.25);
    QvAttachGeoStdPower power; // shared: not deleted by the attachment
    power.m_dOffsetValue = 0.7;
    const QvAttachment withPower(&power);
    EXPECT_EQ(withPower.m_dPowerOffset, 0.7);
    EXPECT_EQ(withPower.m_dPowerAngle, 0.0);
}

TEST(AttachmentSteps, IsInStepIsInclusive)
{
    QvAttachment a;
    a.m_nFirstStep = 3;
    a.m_nLastStep = 5;
    struct Row
    {
        int step;
        bool in;
    };
    for (const Row& r : {Row{2, false}, Row{3, true}, Row{4, true}, Row{5, true}, Row{6, false}, Row{-1, false}})
        EXPECT_EQ(a.IsInStep(r.step), r.in) << r.step;
}

TEST_F(PlacedAttachments, RecordsRoundTripInEveryForm)
{
    struct Row
    {
        int version;
        int form;
    };
    for (const Row& r : {Row{515, 1}, Row{516, 2}, Row{1027, 1}, Row{1028, 2}, Row{1033, 3}, Row{8193, 2},
                         Row{8194, 3}})
    {
        SCOPED_TRACE(r.version);
        std::unique_ptr<QvAttachment> source = Placed(m_power);
        const std::string bytes = Record(*source, r.version);
        // name, matrix 8 + 128, steps, parameters; vertices; Power values.
        std::size_t expected = (4 + 4) + 136 + 8 + 24;
        if (r.form >= 2)
            expected += 4 + 4;
        if (r.form == 3)
            expected += 16;
        EXPECT_EQ(bytes.size(), expected);

        QvAttachment read;
        read.m_pTooth = m_tooth.get();
        std::istringstream is(bytes, std::ios::binary);
        ASSERT_TRUE(read.Read(is, r.version, nullptr));
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
        EXPECT_EQ(read.GetGeometry(), m_power);
        EXPECT_EQ(read.m_matrix[1][3], 2.0);
        EXPECT_EQ(read.m_nFirstStep, 2);
        EXPECT_EQ(read.m_nLastStep, 9);
        EXPECT_EQ(read.m_params[1], 0.75);
        EXPECT_EQ(read.m_vertices.size(), r.form >= 2 ? 1u : 0u);
        EXPECT_EQ(read.m_dPowerOffset, r.form == 3 ? 0.25 : 0.0);
        EXPECT_EQ(read.m_dPowerAngle, r.form == 3 ? 15.0 : 0.0);
    }
}

TEST_F(PlacedAttachments, VersionsWithoutAFormWriteAndReadNothing)
{
    std::unique_ptr<QvAttachment> source = Placed(m_std);
    const std::string bytes = Record(*source, 8194);
    for (int version : {8200, 0, 16389})
    {
        EXPECT_TRUE(Record(*source, version).empty()) << version;
        QvAttachment read;
        std::istringstream is(bytes, std::ios::binary);
        EXPECT_FALSE(read.Read(is, version, nullptr)) << version;
        EXPECT_EQ(is.tellg(), 0) << version;
    }
}

TEST_F(PlacedAttachments, TruncatedOrDamagedRecordsFailAndLeaveTheAttachmentAlone)
{
    for (int version : {515, 1028, 8194})
    {
        SCOPED_TRACE(version);
        std::unique_ptr<QvAttachment> source = Placed(m_std);
        source->m_vertices = {CapVertex(3, 1), CapVertex(3, 5), CapVertex(3, 9)};
        qvtest::ExpectReaderSurvivesDamage(
            Record(*source, version),
            [&](std::istream& is) {
                QvAttachment read;
                read.m_pTooth = m_tooth.get();
                return read.Read(is, version, nullptr);
            },
            300);
    }

    // A failed read changes nothing, a negative or oversized count is refused.
    std::unique_ptr<QvAttachment> source = Placed(m_std);
    const std::string good = Record(*source, 8194);
    const std::size_t countAt = (4 + 4) + 136 + 8 + 24;
    for (std::int32_t bad : {-1, 1 << 30})
    {
        std::string bytes = good;
        std::memcpy(bytes.data() + countAt, &bad, 4);
        QvAttachment read;
        read.m_nFirstStep = 42;
        std::istringstream is(bytes, std::ios::binary);
        EXPECT_FALSE(read.Read(is, 8194, nullptr)) << bad;
        EXPECT_EQ(read.m_nFirstStep, 42);
        EXPECT_EQ(read.GetGeometry(), nullptr);
    }
}

TEST_F(PlacedAttachments, OwnedKindsAreBuiltOnTheToothAndCopiedSeparately)
{
    std::unique_ptr<QvAttachment> source = Placed(m_spot);
    source->m_params[0] = source->m_params[1] = source->m_params[2] = 1.0;
    const std::string bytes = Record(*source, 1028);

    QvAttachment read;
    read.m_pTooth = m_tooth.get();
    std::istringstream is(bytes, std::ios::binary);
    ASSERT_TRUE(read.Read(is, 1028, nullptr));
    ASSERT_NE(read.GetGeometry(), nullptr);
    EXPECT_NE(read.GetGeometry(), m_spot) << "owned kinds get their own copy";
    EXPECT_EQ(read.GetGeometry()->m_vertices.size(), 762u) << "built as a sphere";
    EXPECT_EQ(m_spot->m_faces.size(), 12u) << "the template is never built";

    QvAttachment copy;
    copy.CopyFrom(read);
    ASSERT_NE(copy.GetGeometry(), nullptr);
    EXPECT_NE(copy.GetGeometry(), read.GetGeometry());
    EXPECT_EQ(copy.GetGeometry()->m_vertices.size(), 762u);
    for (std::size_t i = 0; i < 762; ++i)
        EXPECT_EQ(copy.GetGeometry()->m_vertices[i].m_point.Distance(read.GetGeometry()->m_vertices[i].m_point),
                  0.0);
    EXPECT_EQ(copy.m_vertices, read.m_vertices);
    EXPECT_EQ(copy.m_pTooth, m_tooth.get());
    EXPECT_NE(copy.GetID(), read.GetID());

    // Form 1 records carry no picked vertices and build nothing.
    QvAttachment old;
    old.m_pTooth = m_tooth.get();
    std::istringstream oldIs(Record(*source, 1027), std::ios::binary);
    ASSERT_TRUE(old.Read(oldIs, 1027, nullptr));
    ASSERT_NE(old.GetGeometry(), nullptr);
    EXPECT_EQ(old.GetGeometry()->m_faces.size(), 12u);
}

TEST_F(PlacedAttachments, SharedKindsPointAtTheTemplateAndUnknownNamesSurviveASave)
{
    std::unique_ptr<QvAttachment> source = Placed(m_std);
    const std::string bytes = Record(*source, 8194) + Record(*source, 8194);
    std::istringstream is(bytes, std::ios::binary);
    QvAttachment a;
    QvAttachment b;
    ASSERT_TRUE(a.Read(is, 8194, nullptr));
    ASSERT_TRUE(b.Read(is, 8194, nullptr));
    EXPECT_EQ(a.GetGeometry(), m_std);
    EXPECT_EQ(b.GetGeometry(), m_std);
    QvAttachment copy;
    copy.CopyFrom(a);
    EXPECT_EQ(copy.GetGeometry(), m_std);

    // A name the library does not hold: no geometry, and the name is written back.
    const std::string saved = Record(*source, 8194);
    m_std->m_name = "GONE";
    QvAttachment missing;
    std::istringstream again(saved, std::ios::binary);
    ASSERT_TRUE(missing.Read(again, 8194, nullptr));
    EXPECT_EQ(missing.GetGeometry(), nullptr);
    EXPECT_EQ(missing.GetGeometryName(), "CZ01");
    EXPECT_EQ(Record(missing, 8194), saved);
    QvAttachment copied;
    copied.CopyFrom(missing);
    EXPECT_EQ(copied.GetGeometryName(), "CZ01");
    m_std->m_name = "CZ01";
}

TEST_F(PlacedAttachments, DrawMatrixMovesAndTurnsThePowerPart)
{
    m_power->m_secondFrame = QvFrame(QvPoint(1, 2, 3), QvVector(1, 0, 0), QvVector(0, 1, 0));
    struct Row
    {
        const char* what;
        double geoAngle, offset, powerAngle;
        QvPoint in, out; // a point and where the draw matrix takes it
    };
    const double r2 = std::sqrt(2.0);
    const Row rows[] = {
        {"no offset, no turn", 30, 0, 0, QvPoint(4, 5, 6), QvPoint(4, 5, 6)},
        {"offset at 90 degrees", 90, 2, 0, QvPoint(0, 0, 0), QvPoint(0, 2, 0)},
        {"offset at 30 degrees doubles", 30, 1, 0, QvPoint(0, 0, 0), QvPoint(0, 2, 0)},
        {"zero geometry angle gives no move", 0, 1, 0, QvPoint(0, 0, 0), QvPoint(0, 0, 0)},
        {"180 degrees gives no move", 180, 1, 0, QvPoint(0, 0, 0), QvPoint(0, 0, 0)},
        {"turn about the frame's Z axis", 30, 0, 90, QvPoint(2, 2, 7), QvPoint(1, 3, 7)},
        {"turn then move", 90, 1, 45, QvPoint(2, 2, 3), QvPoint(1 + 1 / r2, 3 + 1 / r2, 3)},
    };
    QvAttachment a(m_power);
    for (const Row& r : rows)
    {
        m_power->m_dAngle = r.geoAngle;
        a.m_dPowerOffset = r.offset;
        a.m_dPowerAngle = r.powerAngle;
        QvMatrix out;
        a.GetDrawMatrix(out);
        ASSERT_EQ(out.Rows(), 4) << r.what;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                EXPECT_TRUE(std::isfinite(out[i][j])) << r.what;
        EXPECT_LT((out * r.in).Distance(r.out), 1e-9) << r.what;
    }

    // The placement carries the second frame: a quarter turn about Z makes its Y axis -X.
    QvMatrix placement(4, 4);
    placement.SetIdentity();
    placement[0][0] = 0;
    placement[0][1] = -1;
    placement[1][0] = 1;
    placement[1][1] = 0;
    a.m_matrix = placement;
    m_power->m_dAngle = 90;
    a.m_dPowerOffset = 2;
    a.m_dPowerAngle = 0;
    QvMatrix out;
    a.GetDrawMatrix(out);
    EXPECT_LT((out * QvPoint(0, 0, 0)).Distance(QvPoint(-2, 0, 0)), 1e-9);

    // Not a Power geometry: the identity.
    QvAttachment plain(m_std);
    plain.GetDrawMatrix(out);
    EXPECT_TRUE(out.IsIdentity());
}

TEST_F(PlacedAttachments, WorldFrameBoxAndTheUncalledHelpers)
{
    std::unique_ptr<QvAttachment> a = Placed(m_std);
    const QvFrame world = a->GetWorldFrame();
    EXPECT_LT(world.m_centre.Distance(QvPoint(2, 4, 6)), 1e-12);
    a->UpdateBBox();
    EXPECT_EQ(a->m_bbox.m_maxPoint.Distance(m_std->m_bbox.m_maxPoint), 0.0) << "the geometry's own box";

    QvMatrix scaled(4, 4);
    scaled.SetIdentity();
    scaled[0][0] = 2;
    scaled[1][1] = 3;
    scaled[2][2] = 4;
    scaled[0][3] = 7;
    a->m_matrix = scaled;
    const QvMatrix scale = a->GetScaleMatrix();
    EXPECT_EQ(scale[0][0], 2);
    EXPECT_EQ(scale[1][1], 3);
    EXPECT_EQ(scale[2][2], 4);
    EXPECT_EQ(scale[0][3], 0);
    double columns[16];
    a->GetPlacementColumns(columns);
    EXPECT_EQ(columns[12], 7) << "translation in the last column";
    EXPECT_EQ(columns[5], 3);
    EXPECT_EQ(a->GetValueList(), m_std->m_values);
    EXPECT_EQ(a->GetSecondValue(), -9);

    // The cube of the template spans 0 to 1 along the frame's Z axis ((0, 1, 0) x (-1, 0, 0) = (0, 0, 1)),
    // measured from the frame origin at z = 3.
    a->m_matrix = Translation(0, 0, 0);
    a->AlignBottomToFrame();
    EXPECT_NEAR(a->m_matrix[2][3], 3.0, 1e-12);
    a->m_matrix = Translation(0, 0, 0);
    a->AlignTopToFrame();
    EXPECT_NEAR(a->m_matrix[2][3], 2.0, 1e-12);

    // Picking rules.
    auto* zone = static_cast<QvAttachGeoPressureZone*>(QvAttachGeoMgr::CreateByKindCode(0x10000002));
    zone->m_nMaxVertexCount = 2;
    QvAttachment picking(zone);
    EXPECT_TRUE(picking.AddVertex(5));
    EXPECT_FALSE(picking.AddVertex(5)) << "already listed";
    EXPECT_TRUE(picking.AddVertex(6));
    EXPECT_FALSE(picking.AddVertex(7)) << "full";
    QvAttachment spot(new QvAttachGeoPressureSpot);
    EXPECT_TRUE(spot.AddVertex(1));
    EXPECT_FALSE(spot.CanAddVertex());
    EXPECT_FALSE(QvAttachment(m_std).CanAddVertex());

    // Replacing an owned geometry deletes it (the leak checker would notice otherwise).
    picking.SetGeometry(m_std);
    EXPECT_EQ(picking.GetGeometry(), m_std);
}

// ---- Per-tooth lists ------------------------------------------------------------------------

class AttachLists : public PlacedAttachments
{
protected:
    void SetUp() override
    {
        PlacedAttachments::SetUp();
        m_model = std::make_unique<QvModel>();
        m_modelTooth = qvdesigntest::MakeCapTooth(11).release();
        m_model->AddEntity(m_modelTooth);
    }
    void TearDown() override
    {
        m_model.reset();
        PlacedAttachments::TearDown();
    }

    struct Owned
    {
        std::vector<std::unique_ptr<QvAttachment>> items;
        void Adopt(const QvAttachStepList& list)
        {
            for (QvAttachment* a : list.m_attachments)
                items.emplace_back(a);
        }
    };

    std::string ListBytes(int version, std::vector<std::unique_ptr<QvAttachment>>& keep)
    {
        keep.push_back(Placed(m_std));
        keep.push_back(Placed(m_spot));
        keep.push_back(Placed(m_power));
        std::vector<QvAttachment*> raw;
        for (auto& a : keep)
            raw.push_back(a.get());
        const QvAttachStepList list(m_modelTooth, raw);
        return qvtest::BytesOf([&](std::ostream& os) { list.Write(os, version); });
    }

    std::unique_ptr<QvModel> m_model;
    QvTooth* m_modelTooth = nullptr;
};

TEST_F(AttachLists, ListsRoundTripAndBindTheirTooth)
{
    for (int version : {515, 1033, 8193})
    {
        SCOPED_TRACE(version);
        std::vector<std::unique_ptr<QvAttachment>> keep;
        const std::string bytes = ListBytes(version, keep);
        QvAttachStepList list;
        std::istringstream is(bytes, std::ios::binary);
        ASSERT_TRUE(list.Read(is, version, m_model.get()));
        Owned owned;
        owned.Adopt(list);
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
        EXPECT_EQ(list.GetTooth(), m_modelTooth);
        ASSERT_EQ(list.m_attachments.size(), 3u);
        EXPECT_EQ(list.m_attachments[0]->GetGeometry(), m_std);
        EXPECT_EQ(list.m_attachments[2]->GetGeometry(), m_power);
        EXPECT_EQ(list.m_attachments[1]->m_pTooth, m_modelTooth);
        const bool built = QvAttachment::GetRecordForm(version) >= 2;
        EXPECT_EQ(list.m_attachments[1]->GetGeometry()->m_vertices.size(), built ? 762u : 8u);
    }
}

TEST_F(AttachLists, BadListsAreRefusedWithoutLeaks)
{
    std::vector<std::unique_ptr<QvAttachment>> keep;
    const std::string good = ListBytes(8194, keep);
    struct Patch
    {
        const char* what;
        std::size_t at;
        std::int32_t value;
    };
    for (const Patch& p : {Patch{"unknown FDI", 0, 48}, Patch{"negative count", 4, -1},
                           Patch{"count past the end", 4, 1000}, Patch{"negative name length", 8, -5}})
    {
        std::string bytes = good;
        std::memcpy(bytes.data() + p.at, &p.value, 4);
        QvAttachStepList list;
        std::istringstream is(bytes, std::ios::binary);
        EXPECT_FALSE(list.Read(is, 8194, m_model.get())) << p.what;
        EXPECT_TRUE(list.m_attachments.empty()) << p.what;
        EXPECT_EQ(list.GetTooth(), nullptr) << p.what;
    }
    QvAttachStepList list;
    std::istringstream is(good, std::ios::binary);
    EXPECT_FALSE(list.Read(is, 8194, nullptr)) << "no model";

    qvtest::ExpectReaderSurvivesDamage(
        good,
        [&](std::istream& in) {
            QvAttachStepList l;
            const bool ok = l.Read(in, 8194, m_model.get());
            Owned owned;
            owned.Adopt(l);
            return ok;
        },
        150);
}

TEST_F(AttachLists, VersionsWithoutRecordsKeepTheCountOnly)
{
    std::vector<std::unique_ptr<QvAttachment>> keep;
    const std::string bytes = ListBytes(8200, keep);
    EXPECT_EQ(bytes.size(), 8u);
    QvAttachStepList list;
    std::istringstream is(bytes, std::ios::binary);
    ASSERT_TRUE(list.Read(is, 8200, m_model.get()));
    EXPECT_TRUE(list.m_attachments.empty());
    EXPECT_EQ(list.GetTooth(), m_modelTooth);
}

TEST(AttachListEditing, AddRemoveAndClearNeverDelete)
{
    QvAttachment a;
    QvAttachment b;
    QvAttachStepList list;
    EXPECT_EQ(list.AddAttachment(&a), &a);
    list.AddAttachment(&b);
    list.AddAttachment(&a);
    ASSERT_EQ(list.m_attachments.size(), 2u);
    list.RemoveAttachment(&a);
    ASSERT_EQ(list.m_attachments.size(), 1u);
    EXPECT_EQ(list.m_attachments[0], &b);
    list.RemoveAttachment(&a);
    list.Clear();
    EXPECT_TRUE(list.m_attachments.empty());
}

} // namespace

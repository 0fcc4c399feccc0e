// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvCutLine.h"
#include "core/model/QvModel.h"
#include "core/model/QvRoot.h"
#include "ModelFixtures.h"
#include "testing/ByteSweep.h"

namespace {

class OldestTeeth : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QvEntity::SetNextId(100);
        jaw = new QvJaw();
        jaw->SetID(3);
        model.AddEntity(jaw);
    }
    void TearDown() override { QvEntity::SetNextId(100); }

    QvModel model;
    QvJaw* jaw = nullptr;
};

struct OldTooth
{
    std::vector<int> loop = {0, 1, 3, 2};
    bool withRoot = false;
    std::int32_t storedAnchor = 5;
};

// The oldest tooth record as the old writers stored it.
std::string OldRecord(int version, const OldTooth& spec)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        const QvMesh mesh = qvtest::MakeTwoTriangleStrip();
        mesh.Write(os, version);
        if (version <= 257)
        {
            // This reader's own cut-line layout: vector, entries, stored anchor, extra.
            QvVector().Write(os);
            qvio::WriteI32(os, 2);
            for (const int v : {7, 8})
                qvio::WriteI32(os, v);
            for (const int m : {0, 2})
                qvio::WriteI32(os, m);
            QvPoint(1.0, 0.0, 0.0).Write(os);
            QvPoint(2.0, 0.0, 0.0).Write(os);
            qvio::WriteI32(os, spec.storedAnchor);
            qvio::WriteI32(os, 0);
        }
        else
        {
            QvCutLine line;
            line.m_vertices = {7, 8};
            line.m_marks = {0, 2};
            line.m_points = {QvPoint(1.0, 0.0, 0.0), QvPoint(2.0, 0.0, 0.0)};
            line.Write(os, version);
        }
        QvFrame(QvPoint(0.0, 0.0, 1.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0)).Write(os);
        qvio::WriteI32(os, 3); // jaw id
        qvio::WriteI32(os, 26);
        qvio::WriteI32(os, static_cast<std::int32_t>(spec.loop.size()));
        for (const int v : spec.loop)
            qvio::WriteI32(os, v);
        if (version >= 258)
            qvio::WriteI32(os, 3); // state
        if (version >= 259)
        {
            qvio::WriteI32(os, spec.withRoot ? 1 : 0);
            if (spec.withRoot)
            {
                QvRoot root;
                root.CopyMeshData(qvtest::MakeCube());
                root.m_nValue = 9;
                root.WriteWithValue(os, version);
            }
        }
    });
}

TEST_F(OldestTeeth, ReadsEveryVersionOfTheOldestFamily)
{
    struct Case
    {
        int version;
        int state;
        bool withRoot;
        bool lineOnJaw;
    } cases[] = {{257, 1, false, true}, {258, 3, false, true}, {263, 3, true, true}, {264, 3, true, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.version);
        OldTooth spec;
        spec.withRoot = c.withRoot;
        const std::string bytes = OldRecord(c.version, spec);
        QvTooth tooth;
        std::istringstream is(bytes);
        ASSERT_TRUE(tooth.Read(is, c.version, &model));
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
        EXPECT_EQ(tooth.GetFdi(), 26);
        EXPECT_EQ(tooth.GetState(), c.state);
        EXPECT_EQ(tooth.GetJaw(), jaw);
        EXPECT_EQ(*tooth.GetBoundaryLoop(), spec.loop);
        EXPECT_EQ(tooth.m_faces.size(), 2u);
        ASSERT_NE(tooth.GetCutLine(), nullptr);
        EXPECT_EQ(tooth.GetCutLine()->m_vertices, (std::vector<int>{7, 8}));
        EXPECT_EQ(tooth.GetCutLine()->GetMesh(), c.lineOnJaw ? jaw : nullptr);
        if (c.version == 257)
        {
            EXPECT_EQ(tooth.GetCutLine()->m_nAnchorVertex, 5);
        }
        if (c.withRoot)
        {
            ASSERT_NE(tooth.GetRoot(), nullptr);
            EXPECT_EQ(tooth.GetRoot()->m_nValue, 9);
            EXPECT_EQ(tooth.GetRoot()->GetOwner(), &tooth);
        }
        else
        {
            EXPECT_EQ(tooth.GetRoot(), nullptr);
        }

        qvtest::ExpectReaderSurvivesDamage(
            bytes,
            [&](std::istream& s) {
                QvTooth target;
                const bool ok = target.Read(s, c.version, &model);
                if (!ok)
                {
                    EXPECT_TRUE(target.GetCutLine() == nullptr && target.m_vertices.empty());
                }
                return ok;
            },
            150);
    }
}

TEST_F(OldestTeeth, LoopIsKeptWholeOrNotAtAllAndOtherFamiliesReadNothing)
{
    OldTooth spec;
    spec.loop = {0, 1, 4};
    QvTooth tooth;
    std::istringstream is(OldRecord(259, spec));
    ASSERT_TRUE(tooth.Read(is, 259, &model));
    EXPECT_TRUE(tooth.GetBoundaryLoop()->empty());

    std::istringstream is2(OldRecord(259, OldTooth()));
    EXPECT_FALSE(tooth.Read(is2, 1043, &model));
    EXPECT_EQ(is2.tellg(), 0);
    EXPECT_TRUE(qvtest::BytesOf([&](std::ostream& os) { tooth.Write(os, 259); }).empty());
}

} // namespace

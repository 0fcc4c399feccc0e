// SPDX-License-Identifier: GPL-3.0-or-later
// The contact record and the gum store.
#include <gtest/gtest.h>

#include "core/mesh/QvMeshElements.h"
#include "core/model/QvGum.h"
#include "core/scheme/QvGapInfo.h"
#include "core/scheme/QvGumMgr.h"
#include "SchemeFixtures.h"

namespace {

using namespace qvschemetest;

TEST(GapInfo, PairQueries)
{
    SchemeCase c({11, 21, 31});
    QvToothBase* a = c.teeth[0];
    QvToothBase* b = c.teeth[1];
    const QvGapInfo gap(a, b, kQvGapKindGap, QvPoint(1, 2, 3), 0.4);
    EXPECT_EQ(gap.GetTooth(0), a);
    EXPECT_EQ(gap.GetTooth(1), b);
    EXPECT_EQ(gap.GetTooth(5), b);
    EXPECT_EQ(gap.GetOtherTooth(a), b);
    EXPECT_EQ(gap.GetOtherTooth(b), a);
    EXPECT_EQ(gap.GetOtherTooth(c.teeth[2]), a);
    EXPECT_TRUE(gap.IsPair(a, b));
    EXPECT_FALSE(gap.IsPair(b, a));
    EXPECT_TRUE(gap.HasTooth(b));
    EXPECT_FALSE(gap.HasTooth(c.teeth[2]));
    EXPECT_TRUE(gap.IsSamePair(QvGapInfo(b, a)));
    EXPECT_FALSE(gap.IsSamePair(QvGapInfo(a, c.teeth[2])));

    const QvGapInfo bare(a, b);
    EXPECT_EQ(bare.m_dDistance, -1.0);
    EXPECT_EQ(bare.m_nKind, kQvGapKindNone);
    EXPECT_EQ(bare.m_point, QvPoint(0, 0, 0));
    EXPECT_EQ(bare.GetMatrix(0).Rows(), 0);
    EXPECT_TRUE(bare.m_firstFaces.empty() && bare.m_firstContacts.empty() && bare.m_segments.empty());
}

TEST(GapInfo, ContactRecordsCopyDeeply)
{
    SchemeCase c({11, 21});
    QvMesh& mesh = *c.teeth[0];
    for (int i = 0; i < 4; ++i)
        mesh.AddVertex(QvPoint(i, i % 2, 0));
    ASSERT_TRUE(mesh.AddFace(0, 1, 2, 0));
    ASSERT_TRUE(mesh.AddFace(1, 3, 2, 0));
    std::vector<QvFace*> faces = {&mesh.m_faces[1]};
    QvGapInfo::ContactMap contacts = {{&mesh.m_vertices[1], 0.2}, {&mesh.m_vertices[3], 0.1}};
    const std::vector<QvGapSegment> segments = {
        {&mesh.m_faces[0], &mesh.m_faces[1], QvPoint(0, 0, 0), QvPoint(1, 0, 0)}};
    QvGapInfo contact(c.teeth[0], c.teeth[1], segments, faces, {}, 0.3, contacts, {}, QvPoint(1, 1, 0));
    EXPECT_EQ(contact.m_nKind, kQvGapKindContact);
    EXPECT_EQ(contact.GetContactFaces(0)[0]->m_index, 1);
    contact.SetMatrices(Translation(1, 0, 0), Translation(0, 1, 0));

    QvGapInfo copy(contact);
    copy.m_firstFaces.push_back(&mesh.m_faces[0]);
    copy.m_firstContacts.erase(&mesh.m_vertices[1]);
    copy.m_segments.clear();
    copy.ClearKind();
    EXPECT_EQ(copy.GetTooth(0), contact.GetTooth(0));
    EXPECT_EQ(contact.m_firstFaces.size(), 1u);
    EXPECT_EQ(contact.m_firstContacts.size(), 2u);
    EXPECT_EQ(contact.m_segments.size(), 1u);
    EXPECT_EQ(contact.m_nKind, kQvGapKindContact);
    EXPECT_TRUE(Near(copy.GetMatrix(1), Translation(0, 1, 0), 0));

    copy = contact;
    copy = copy;
    EXPECT_EQ(copy.m_firstFaces, contact.m_firstFaces);
    EXPECT_EQ(copy.m_firstContacts, contact.m_firstContacts);
    EXPECT_EQ(copy.m_nKind, kQvGapKindContact);
}

QvGum* NewGum() { return new QvGum(); }

TEST(GumMgr, LookupsTakeTheFirstEntryOfAStep)
{
    QvGumMgr gums;
    EXPECT_EQ(gums.FindGum(0, true), nullptr);
    QvGum* u0 = NewGum();
    QvGum* u3 = NewGum();
    QvGum* l3 = NewGum();
    QvGum* u3b = NewGum();
    gums.AddGums({u0, nullptr, 0});
    gums.AddGums({u3, l3, 3});
    gums.AddGums({u3b, NewGum(), 3});
    EXPECT_EQ(gums.FindGum(3, true), u3);
    EXPECT_EQ(gums.FindGum(3, false), l3);
    EXPECT_EQ(gums.FindGum(0, true), u0);
    EXPECT_EQ(gums.FindGum(0, false), nullptr);
    EXPECT_EQ(gums.FindGum(7, true), nullptr);

    const QvFrame frame(QvPoint(1, 2, 3), QvVector(1, 0, 0), QvVector(0, 1, 0));
    gums.SetGumFrame(frame, false);
    QvGumMgr other;
    other.AddGums({NewGum(), nullptr, 5});
    other = gums;
    EXPECT_EQ(other.GetGumFrame(false), frame);
    EXPECT_FALSE(other.GetGumFrame(true).IsValid());
    ASSERT_EQ(other.GetEntries().size(), 1u);
    EXPECT_EQ(other.GetEntries()[0].m_nStep, 5);

    gums.Clear();
    EXPECT_EQ(gums.FindGum(3, true), nullptr);
    EXPECT_TRUE(gums.GetEntries().empty());
    EXPECT_EQ(gums.GetGumFrame(false), frame);
}

TEST(GumMgr, KeepStepZeroLeavesOneEntry)
{
    QvGumMgr gums;
    QvGum* second = NewGum();
    gums.AddGums({NewGum(), NewGum(), 0});
    gums.AddGums({NewGum(), nullptr, 2});
    gums.AddGums({second, nullptr, 0});
    gums.KeepStepZero();
    ASSERT_EQ(gums.GetEntries().size(), 1u);
    EXPECT_EQ(gums.FindGum(0, true), second);

    QvGumMgr none;
    none.AddGums({NewGum(), nullptr, 4});
    none.KeepStepZero();
    ASSERT_EQ(none.GetEntries().size(), 1u);
    EXPECT_EQ(none.GetEntries()[0].m_nStep, -1);
    EXPECT_EQ(none.GetEntries()[0].m_pUpper, nullptr);
}

} // namespace

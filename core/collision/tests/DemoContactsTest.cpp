// SPDX-License-Identifier: GPL-3.0-or-later
// The manager over every step of the demo case, against the contacts the generator
// declares: each declared overlap is found as a contact of about its depth at its step,
// each declared gap as a gap of about its width. Other neighbours may touch at other
// steps (the crowded start, the moves in between), so nothing is claimed about them.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/design/QvOBBTreeMgr.h"
#include "core/collision/QvCollisionDetectMgr.h"
#include "core/collision/tests/ContactFixtures.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"

namespace {

using PairKey = std::pair<int, int>;

PairKey Key(int a, int b) { return a < b ? PairKey{a, b} : PairKey{b, a}; }

TEST(DemoCaseContacts, DeclaredContactsAreFoundAtTheirSteps)
{
    QvOBBTreeMgr::Instance()->Clear();
    qvtest::DemoOptions options;
    // About the coarsest crowns on which a bite of 0.1 leaves whole faces inside the
    // neighbour, which the depth is measured from.
    options.dentition.facesPerTooth = 1000;
    options.steps = 10;
    qvtest::DemoCase demo;
    ASSERT_TRUE(qvtest::BuildDemoCase(demo, options));
    ASSERT_FALSE(demo.contacts.empty());
    ASSERT_NE(demo.pontic, nullptr);
    // The pontic stands in for the extracted 25 and moves in place while it is tested.
    demo.pontic->m_nKind = 1;
    const std::vector<QvPoint> ponticBefore = qvcontacttest::Positions(*demo.pontic);

    QvScheme& scheme = *demo.scheme;
    QvCollisionDetectMgr& mgr = QvGetCollisionDetectMgr(scheme);
    mgr.SetScheme(&scheme);
    ASSERT_EQ(static_cast<int>(mgr.GetCandidates().size()), scheme.GetStepCount());

    // step -> neighbour pair -> its record.
    std::map<int, std::map<PairKey, const QvGapInfo*>> neighbours;
    bool ponticPaired = false;
    for (int s = 0; s < scheme.GetStepCount(); ++s)
    {
        std::vector<QvGapInfo*> out;
        mgr.GetStepContacts(s, true, true, out);
        for (const QvGapInfo* r : out)
        {
            ASSERT_NE(r->GetTooth(0), nullptr);
            ASSERT_NE(r->GetTooth(1), nullptr);
            if (r->GetTooth(0)->IsUpper() == r->GetTooth(1)->IsUpper())
                neighbours[s][Key(r->GetTooth(0)->GetPositionFdi(), r->GetTooth(1)->GetPositionFdi())] = r;
            ponticPaired = ponticPaired || r->HasTooth(demo.pontic);
        }
    }
    EXPECT_TRUE(ponticPaired);
    EXPECT_TRUE(qvcontacttest::SamePositions(qvcontacttest::Positions(*demo.pontic), ponticBefore));

    for (const qvtest::DemoContact& c : demo.contacts)
    {
        SCOPED_TRACE("step " + std::to_string(c.step) + ", " + std::to_string(c.fdiA) + "-" + std::to_string(c.fdiB));
        const auto found = neighbours[c.step].find(Key(c.fdiA, c.fdiB));
        // A bite shallower than twice the threshold may leave no face of either crown
        // wholly inside the other at this density: its depth then reads 0 and the pair
        // reports nothing, but never a gap.
        if (c.overlap && c.amount < 2.0 * kQvContactMinDistance && found == neighbours[c.step].end())
            continue;
        ASSERT_NE(found, neighbours[c.step].end());
        const QvGapInfo* r = found->second;
        EXPECT_EQ(r->m_nKind, c.overlap ? kQvGapKindContact : kQvGapKindGap);
        // Both measures sample the surfaces (depth from mesh vertices to samples of the
        // other surface, width between section points), so both may exceed the declared
        // clearance by about a sampling step and fall short of it only by rounding.
        EXPECT_GE(r->m_dDistance, c.amount - 0.03);
        EXPECT_LE(r->m_dDistance, c.amount + 0.1);
    }
    QvOBBTreeMgr::Instance()->Clear();
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/collision/QvCollisionDetectMgr.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachment.h"
#include "core/collision/QvGapDetecter.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvScheme.h"

namespace {

int ToothNumber(const QvToothBase* tooth) { return tooth->GetPositionFdi(); }

// Quadrant with the deciduous quadrants folded onto the permanent ones.
int FoldedQuadrant(int n) { return n > 49 ? n / 10 - 4 : n / 10; }

std::unique_ptr<QvGapInfo> CopyOf(const QvGapInfo* record)
{
    return record ? std::make_unique<QvGapInfo>(*record) : nullptr;
}

} // namespace

// ---- Candidates -------------------------------------------------------------------

Candidate::Candidate(int step, QvToothBase* first, QvToothBase* second)
    : m_nStep(step), m_pFirst(first), m_pSecond(second),
      m_bSameJaw(first && second && first->IsUpper() == second->IsUpper())
{
}

Candidate::Candidate(const Candidate& other)
    : m_nStep(other.m_nStep), m_pFirst(other.m_pFirst), m_pSecond(other.m_pSecond),
      m_pResult(CopyOf(other.m_pResult.get())), m_bDirty(other.m_bDirty), m_bSameJaw(other.m_bSameJaw)
{
}

Candidate& Candidate::operator=(const Candidate& other)
{
    if (this == &other)
        return *this;
    // Copied first, so that a failed copy leaves the target as it was.
    std::unique_ptr<QvGapInfo> result = CopyOf(other.m_pResult.get());
    m_nStep = other.m_nStep;
    m_pFirst = other.m_pFirst;
    m_pSecond = other.m_pSecond;
    m_pResult = std::move(result);
    m_bDirty = other.m_bDirty;
    m_bSameJaw = other.m_bSameJaw;
    return *this;
}

Candidate::~Candidate() = default;

AttCandidate::AttCandidate(int step, QvToothBase* tooth, QvAttachment* attachment)
    : m_nStep(step), m_pTooth(tooth), m_pAttachment(attachment)
{
}

AttCandidate::AttCandidate(const AttCandidate& other)
    : m_nStep(other.m_nStep), m_pTooth(other.m_pTooth), m_pAttachment(other.m_pAttachment),
      m_pResult(CopyOf(other.m_pResult.get())), m_bDirty(other.m_bDirty)
{
}

AttCandidate& AttCandidate::operator=(const AttCandidate& other)
{
    if (this == &other)
        return *this;
    std::unique_ptr<QvGapInfo> result = CopyOf(other.m_pResult.get());
    m_nStep = other.m_nStep;
    m_pTooth = other.m_pTooth;
    m_pAttachment = other.m_pAttachment;
    m_pResult = std::move(result);
    m_bDirty = other.m_bDirty;
    return *this;
}

AttCandidate::~AttCandidate() = default;

// ---- Arch order -------------------------------------------------------------------

bool ArchOrderLess(const QvToothBase* a, const QvToothBase* b)
{
    const int na = ToothNumber(a), nb = ToothNumber(b);
    const int qa = na / 10, qb = nb / 10;
    const int ua = na % 10, ub = nb % 10;
    if (qa != qb && std::abs(qa - qb) != 4)
    {
        // Quadrants run 1, 2, 4, 3.
        const int fa = FoldedQuadrant(na), fb = FoldedQuadrant(nb);
        if (fa == 1)
            return true;
        if (fa == 3)
            return false;
        if (fa == 2)
            return fb != 1;
        return fb == 3;
    }
    if (FoldedQuadrant(na) % 3 == 1)
        return ua == ub ? qa < qb : ub < ua;
    return ua == ub ? qb < qa : ua < ub;
}

// ---- Manager ----------------------------------------------------------------------

QvCollisionDetectMgr::QvCollisionDetectMgr() = default;

QvCollisionDetectMgr::~QvCollisionDetectMgr() { Clear(); }

void QvCollisionDetectMgr::SetScheme(QvScheme* scheme)
{
    m_pScheme = scheme;
    if (m_candidates.empty())
        BuildCandidates();
}

void QvCollisionDetectMgr::Clear() { m_candidates.clear(); }

std::unique_ptr<QvSchemeStore> QvCollisionDetectMgr::CloneFor(QvScheme& target, const QvToothCloneMap* clones) const
{
    auto copy = std::make_unique<QvCollisionDetectMgr>();
    copy->m_pScheme = m_pScheme ? &target : nullptr;
    copy->m_candidates = m_candidates;
    if (clones)
        for (CandidateList& list : copy->m_candidates)
            for (Candidate& c : list)
            {
                bool moved = false;
                for (QvToothBase** tooth : {&c.m_pFirst, &c.m_pSecond})
                    if (const auto it = clones->find(*tooth); it != clones->end() && it->second)
                    {
                        *tooth = it->second;
                        moved = true;
                    }
                // The clone's mesh may be edited apart from the original's from now on.
                if (moved)
                    c.m_bDirty = true;
            }
    return copy;
}

void QvCollisionDetectMgr::GetJawTeeth(int step, bool upper, std::vector<QvToothBase*>& out) const
{
    out.clear();
    if (!m_pScheme)
        return;
    std::vector<QvToothBase*> present;
    m_pScheme->GetTeeth(present);

    std::set<int> replaced;
    for (QvToothBase* tooth : m_pScheme->GetVirtualTeeth())
        if (const auto* v = dynamic_cast<const QvVirtualTooth*>(tooth); v && v->m_nKind == 1)
            replaced.insert(v->m_nFdi);

    for (QvToothBase* tooth : present)
        if (tooth && tooth->IsUpper() == upper)
        {
            const int fdi = ToothNumber(tooth);
            if (!replaced.count(fdi) && !replaced.count(fdi - 40))
                out.push_back(tooth);
        }
    for (QvToothBase* tooth : m_pScheme->GetVirtualTeeth())
        if (const auto* v = dynamic_cast<const QvVirtualTooth*>(tooth);
            v && v->IsUpper() == upper && v->m_nKind != 0 && v->m_nStartStep <= step)
            out.push_back(tooth);

    // Any order of equal teeth will do; a merge sort stays in bounds whatever numbers
    // the teeth carry.
    std::stable_sort(out.begin(), out.end(), ArchOrderLess);
    RemovePermanentSuccessors(out);
}

void QvCollisionDetectMgr::RemovePermanentSuccessors(std::vector<QvToothBase*>& teeth)
{
    std::vector<int> numbers;
    numbers.reserve(teeth.size());
    for (const QvToothBase* tooth : teeth)
        numbers.push_back(ToothNumber(tooth));
    std::vector<bool> marked(teeth.size(), false);
    for (const int n : numbers)
        if (n > 49)
        {
            const auto it = std::find(numbers.begin(), numbers.end(), n - 40);
            if (it != numbers.end())
                marked[static_cast<std::size_t>(it - numbers.begin())] = true;
        }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < teeth.size(); ++i)
        if (!marked[i])
            teeth[kept++] = teeth[i];
    teeth.resize(kept);
}

void QvCollisionDetectMgr::CollectPairs(int step, std::vector<Candidate>& out) const
{
    std::vector<QvToothBase*> upper, lower;
    GetJawTeeth(step, true, upper);
    GetJawTeeth(step, false, lower);
    for (std::size_t i = 0; i + 1 < upper.size(); ++i)
        out.emplace_back(step, upper[i], upper[i + 1]);
    for (std::size_t i = 0; i + 1 < lower.size(); ++i)
        out.emplace_back(step, lower[i], lower[i + 1]);
    for (QvToothBase* u : upper)
        for (QvToothBase* l : lower)
            out.emplace_back(step, u, l);
}

void QvCollisionDetectMgr::BuildCandidates()
{
    Clear();
    if (!m_pScheme)
        return;
    const int n = m_pScheme->GetStepCount();
    m_candidates.resize(static_cast<std::size_t>(n));
    for (int s = 0; s < n; ++s)
        CollectPairs(s, m_candidates[static_cast<std::size_t>(s)]);
}

void QvCollisionDetectMgr::UpdateCandidates()
{
    if (!m_pScheme)
        return;
    if (m_pScheme->GetStepCount() != 0)
        SyncStepCount();
    for (std::size_t s = 0; s < m_candidates.size(); ++s)
    {
        CandidateList& list = m_candidates[s];
        std::vector<Candidate> pairs;
        CollectPairs(static_cast<int>(s), pairs);
        std::vector<bool> keep(list.size(), false);
        std::vector<bool> isNew(pairs.size(), list.empty());
        if (!list.empty())
            for (std::size_t k = 0; k < pairs.size(); ++k)
            {
                const auto found = std::find_if(list.begin(), list.end(), [&](const Candidate& c) {
                    return c.IsPair(pairs[k].m_pFirst, pairs[k].m_pSecond);
                });
                if (found == list.end())
                    isNew[k] = true;
                else
                    keep[static_cast<std::size_t>(found - list.begin())] = true;
            }
        // The survivors move forward in order with their results and flags.
        std::size_t kept = 0;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (keep[i])
            {
                if (kept != i)
                    list[kept] = std::move(list[i]);
                ++kept;
            }
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(kept), list.end());
        for (std::size_t k = 0; k < pairs.size(); ++k)
            if (isNew[k])
                list.push_back(std::move(pairs[k]));
    }
}

void QvCollisionDetectMgr::SyncStepCount()
{
    if (!m_pScheme)
        return;
    const std::ptrdiff_t count = m_pScheme->GetStepCount();
    const std::ptrdiff_t have = static_cast<std::ptrdiff_t>(m_candidates.size());
    if (count < have)
    {
        m_candidates.resize(static_cast<std::size_t>(count));
        return;
    }
    const bool hadLists = have > 0;
    for (std::ptrdiff_t s = have; s < count; ++s)
    {
        CandidateList list;
        if (hadLists)
        {
            list = m_candidates.front();
            for (Candidate& c : list)
            {
                c.m_nStep = static_cast<std::int32_t>(s);
                c.m_bDirty = true;
            }
        }
        m_candidates.push_back(std::move(list));
    }
}

// ---- Dirty marking ------------------------------------------------------------------

void QvCollisionDetectMgr::MarkDirty(int from, int to, const QvToothBase* tooth)
{
    const int last = static_cast<int>(m_candidates.size()) - 1;
    for (int s = std::max(from, 0); s <= std::min(to, last); ++s)
        for (Candidate& c : m_candidates[static_cast<std::size_t>(s)])
            if (c.HasTooth(tooth))
                c.m_bDirty = true;
}

void QvCollisionDetectMgr::SetToothDirty(int step, QvToothBase* tooth)
{
    if (!m_pScheme || !tooth)
        return;
    const QvTreatStep* prev = m_pScheme->FindPrevKeyStep(step, tooth);
    if (!prev)
        return;
    const QvTreatStep* next = m_pScheme->FindNextKeyStep(step, tooth);
    const int to = next ? next->GetStep() - 1 : m_pScheme->GetStepCount() - 1;
    MarkDirty(prev->GetStep() + 1, to, tooth);
}

bool QvCollisionDetectMgr::SetToothDirtyFromKey(int step, QvToothBase* tooth)
{
    if (!m_pScheme || !tooth)
        return false;
    SyncStepCount();
    const QvTreatStep* key = m_pScheme->FindPrevKeyStep(step + 1, tooth);
    if (!key)
        return false;
    MarkDirty(key->GetStep() + 1, static_cast<int>(m_candidates.size()) - 1, tooth);
    return true;
}

void QvCollisionDetectMgr::SetToothDirtyAfterKey(int step, QvToothBase* tooth)
{
    if (!m_pScheme || !tooth)
        return;
    SyncStepCount();
    if (const QvTreatStep* key = m_pScheme->FindPrevKeyStep(step, tooth))
        MarkDirty(key->GetStep() + 1, static_cast<int>(m_candidates.size()) - 1, tooth);
}

void QvCollisionDetectMgr::SetToothDirtyToEnd(int step, QvToothBase* tooth)
{
    if (!m_pScheme || !tooth)
        return;
    SyncStepCount();
    const QvTreatStep* key = m_pScheme->FindPrevKeyStep(step, tooth);
    MarkDirty(key ? key->GetStep() + 1 : 1, static_cast<int>(m_candidates.size()) - 1, tooth);
}

void QvCollisionDetectMgr::SetAllDirty()
{
    SyncStepCount();
    SetListsDirty(m_candidates);
}

void QvCollisionDetectMgr::SetListsDirty(std::vector<CandidateList>& lists)
{
    for (CandidateList& list : lists)
        for (Candidate& c : list)
            c.m_bDirty = true;
}

// ---- Changes of the tooth set -----------------------------------------------------------

void QvCollisionDetectMgr::OnToothChanged(QvToothBase* tooth, bool flag)
{
    if (!m_pScheme || !tooth)
        return;
    std::vector<QvToothBase*> present;
    m_pScheme->GetTeeth(present);
    auto has = [&](int fdi) {
        return std::any_of(present.begin(), present.end(),
                           [fdi](const QvToothBase* t) { return t && ToothNumber(t) == fdi; });
    };
    if (const auto* v = dynamic_cast<const QvVirtualTooth*>(tooth))
    {
        const bool own = has(v->m_nFdi);
        const bool deciduous = has(v->m_nFdi + 40);
        if (own || deciduous)
            UpdateCandidates();
        if (own && deciduous && !flag)
            UpdateCandidates();
    }
    else if (tooth->IsKindOf(kQvTypeTooth) && ToothNumber(tooth) > 50)
    {
        if (has(ToothNumber(tooth) - 40))
            UpdateCandidates();
    }
}

void QvCollisionDetectMgr::AddVirtualTooth(QvToothBase* tooth)
{
    auto* v = dynamic_cast<QvVirtualTooth*>(tooth);
    if (!v || !m_pScheme)
        return;
    SyncStepCount();
    const bool upper = v->IsUpper();
    std::vector<QvToothBase*> jaw, other;
    for (std::size_t s = 0; s < m_candidates.size(); ++s)
    {
        const int step = static_cast<int>(s);
        GetJawTeeth(step, upper, jaw);
        auto at = std::find(jaw.begin(), jaw.end(), tooth);
        if (at == jaw.end())
        {
            jaw.push_back(tooth);
            std::stable_sort(jaw.begin(), jaw.end(), ArchOrderLess);
            at = std::find(jaw.begin(), jaw.end(), tooth);
        }
        QvToothBase* prev = at != jaw.begin() ? *(at - 1) : nullptr;
        QvToothBase* next = at + 1 != jaw.end() ? *(at + 1) : nullptr;

        CandidateList& list = m_candidates[s];
        std::erase_if(list, [&](const Candidate& c) { return c.HasTooth(tooth); });
        if (step < v->m_nStartStep)
        {
            // The neighbours meet directly until the virtual tooth arrives; an existing
            // pair of them stays as it is.
            const bool paired = std::any_of(list.begin(), list.end(),
                                            [&](const Candidate& c) { return c.IsPair(prev, next); });
            if (prev && next && !paired)
                list.emplace_back(step, prev, next);
            continue;
        }
        if (prev && next)
            std::erase_if(list, [&](const Candidate& c) { return c.IsPair(prev, next); });
        if (prev)
            list.emplace_back(step, prev, tooth);
        if (next)
            list.emplace_back(step, tooth, next);
        GetJawTeeth(step, !upper, other);
        for (QvToothBase* t : other)
            list.emplace_back(step, tooth, t);
    }
}

// ---- Queries ------------------------------------------------------------------------------

QvCollisionDetectMgr::CandidateList* QvCollisionDetectMgr::ListOf(int step)
{
    if (!m_pScheme || step < 0 || step >= m_pScheme->GetStepCount() ||
        static_cast<std::size_t>(step) >= m_candidates.size())
        return nullptr;
    return &m_candidates[static_cast<std::size_t>(step)];
}

void QvCollisionDetectMgr::GetStepContacts(int step, bool adjacent, bool occlusal, std::vector<QvGapInfo*>& out)
{
    CandidateList* list = ListOf(step);
    if (!list)
        return;
    QvGapToothCache teeth;
    for (Candidate& c : *list)
    {
        const bool wanted = adjacent ? (c.m_bSameJaw || occlusal) : (occlusal && !c.m_bSameJaw);
        if (!wanted)
            continue;
        c.Evaluate(m_pScheme, &teeth);
        if (c.m_pResult)
            out.push_back(c.m_pResult.get());
    }
}

void QvCollisionDetectMgr::GetToothContacts(int step, QvToothBase* tooth, std::vector<QvGapInfo*>& out)
{
    CandidateList* list = ListOf(step);
    if (!list)
        return;
    QvGapToothCache teeth;
    for (Candidate& c : *list)
        if (c.HasTooth(tooth))
        {
            c.Evaluate(m_pScheme, &teeth);
            if (c.m_pResult)
                out.push_back(c.m_pResult.get());
        }
}

void QvCollisionDetectMgr::BuildAttCandidates()
{
    m_attCandidates.clear();
    if (!m_pScheme)
        return;
    const int n = m_pScheme->GetStepCount();
    m_attCandidates.resize(static_cast<std::size_t>(n));
    std::vector<QvToothBase*> teeth;
    m_pScheme->GetTeeth(teeth);
    std::vector<QvAttachment*> attachments;
    m_pScheme->GetAllAttachments(attachments);
    for (int s = 0; s < n; ++s)
        for (QvAttachment* attachment : attachments)
        {
            const QvAttachGeo* geo = attachment ? attachment->GetGeometry() : nullptr;
            if (!geo || !attachment->IsInStep(s) || geo->GetKindCode() != kQvAttachKindStd || !attachment->m_pTooth)
                continue;
            const bool upper = attachment->m_pTooth->IsUpper();
            for (QvToothBase* tooth : teeth)
                if (tooth && tooth->IsUpper() != upper)
                    m_attCandidates[static_cast<std::size_t>(s)].emplace_back(s, tooth, attachment);
        }
}

void QvCollisionDetectMgr::GetStepAttContacts(int step, std::vector<QvGapInfo*>& out)
{
    if (!m_pScheme || step < 0 || step >= m_pScheme->GetStepCount() ||
        static_cast<std::size_t>(step) >= m_attCandidates.size())
        return;
    for (AttCandidate& c : m_attCandidates[static_cast<std::size_t>(step)])
    {
        c.Evaluate(m_pScheme);
        if (c.m_pResult)
            out.push_back(c.m_pResult.get());
    }
}

QvCollisionDetectMgr& QvGetCollisionDetectMgr(QvScheme& scheme)
{
    if (auto* mgr = dynamic_cast<QvCollisionDetectMgr*>(scheme.GetCollisionStore()))
        return *mgr;
    auto mgr = std::make_unique<QvCollisionDetectMgr>();
    QvCollisionDetectMgr& installed = *mgr;
    scheme.SetCollisionStore(std::move(mgr));
    return installed;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The per-scheme collision and gap manager: for every step of a scheme the tooth
// pairs whose contact can matter there (neighbours of one jaw, and every upper tooth
// with every lower one), each a work item that caches its last result and is
// computed only when it is dirty and its step is asked for.
//
// A scheme owns its manager as its collision store (QvGetCollisionDetectMgr installs
// one on first use); scheme copies carry deep copies of the pair lists, re-pointed at
// cloned virtual teeth.
//
// Evaluation runs on the main thread only. It places the shared trees of the OBB-tree
// cache at the step, and moves a virtual tooth's mesh in place (its placement may
// scale, which a tree placement cannot carry) while the collision test runs: nobody
// else may place those trees or use that mesh meanwhile. Whatever happens, the mesh
// is back where it was, bit for bit, when the evaluation ends, and the cache never
// keeps a tree built on a moved mesh.
//
// Source files: QvCollisionDetectMgr.cpp (lists, dirty marking, queries),
// QvCollisionEvaluate.cpp (evaluation of one pair).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/scheme/QvGapInfo.h"
#include "core/scheme/QvSchemeLinks.h"

class QvAttachment;
class QvGapToothCache;
class QvScheme;
class QvToothBase;

// One tooth pair at one step and its last result.
class Candidate
{
public:
    // Dirty, no result; the same-jaw flag from the teeth's jaws.
    Candidate(int step, QvToothBase* first, QvToothBase* second);
    // Copies carry their own copy of the result.
    Candidate(const Candidate& other);
    Candidate& operator=(const Candidate& other);
    Candidate(Candidate&& other) noexcept = default;
    Candidate& operator=(Candidate&& other) noexcept = default;
    virtual ~Candidate();

    bool HasTooth(const QvToothBase* tooth) const { return tooth == m_pFirst || tooth == m_pSecond; }
    // The same two teeth in either order.
    bool IsPair(const QvToothBase* a, const QvToothBase* b) const
    {
        return (a == m_pFirst && b == m_pSecond) || (a == m_pSecond && b == m_pFirst);
    }
    void ClearResult() { m_pResult.reset(); }
    QvGapInfo* GetResult() const { return m_pResult.get(); }

    // When dirty: the collision of the two teeth placed at the step (scheme may be null:
    // identity placements) and, for neighbours of one jaw that do not collide, their
    // gap. A record of at least kQvContactMinDistance becomes the result, anything else
    // leaves none; the candidate is then clean. A failure (memory) leaves the
    // candidate dirty with its old result, and every mesh as it was. The cache (may be
    // null) is shared by the candidates evaluated in one pass.
    void Evaluate(QvScheme* scheme, QvGapToothCache* cache = nullptr);

    std::int32_t m_nStep;
    QvToothBase* m_pFirst;
    QvToothBase* m_pSecond;
    std::unique_ptr<QvGapInfo> m_pResult;
    bool m_bDirty = true;
    bool m_bSameJaw = false;
};

// A tooth against an attachment on a tooth of the other jaw at one step.
class AttCandidate
{
public:
    AttCandidate(int step, QvToothBase* tooth, QvAttachment* attachment);
    AttCandidate(const AttCandidate& other);
    AttCandidate& operator=(const AttCandidate& other);
    AttCandidate(AttCandidate&& other) noexcept = default;
    AttCandidate& operator=(AttCandidate&& other) noexcept = default;
    virtual ~AttCandidate();

    void ClearResult() { m_pResult.reset(); }
    QvGapInfo* GetResult() const { return m_pResult.get(); }

    // When dirty and complete: the collision of the attachment (placed on its own
    // tooth at the step) with the tooth; no gap is measured.
    void Evaluate(QvScheme* scheme);

    std::int32_t m_nStep;
    QvToothBase* m_pTooth;
    QvAttachment* m_pAttachment;
    std::unique_ptr<QvGapInfo> m_pResult;
    bool m_bDirty = true;
};

// Records below this distance (depth or gap width) are not worth showing.
inline constexpr double kQvContactMinDistance = 0.05;

// Arch order: 18 to 11, 21 to 28, then 48 to 41, 31 to 38; a deciduous tooth takes its
// place by its position digit, after the permanent tooth in quadrants 1 and 4 and
// before it in quadrants 2 and 3. Numbers are the teeth's FDI numbers (a virtual
// tooth's stored one).
bool ArchOrderLess(const QvToothBase* a, const QvToothBase* b);

class QvCollisionDetectMgr : public QvSchemeStore
{
public:
    using CandidateList = std::vector<Candidate>;
    using AttCandidateList = std::vector<AttCandidate>;

    // No scheme, no lists.
    QvCollisionDetectMgr();
    ~QvCollisionDetectMgr() override;
    QvCollisionDetectMgr(const QvCollisionDetectMgr&) = delete;
    QvCollisionDetectMgr& operator=(const QvCollisionDetectMgr&) = delete;

    // Binds the scheme (not owned); builds the pair lists when there are none.
    void SetScheme(QvScheme* scheme);
    QvScheme* GetScheme() const { return m_pScheme; }

    // Deletes every pair list with its results (the attachment lists stay).
    void Clear() override;
    // Element-by-element copies of the pair lists for target; a candidate holding a
    // tooth that clones maps is re-pointed at the clone and made dirty. The attachment
    // lists, which name the source scheme's attachments, do not travel.
    std::unique_ptr<QvSchemeStore> CloneFor(QvScheme& target, const QvToothCloneMap* clones) const override;

    // ---- Pair lists ----------------------------------------------------------------

    // One list per step: upper neighbours, lower neighbours, then every upper tooth
    // with every lower tooth (upper loop outside), all dirty.
    void BuildCandidates();
    // Derives the pairs again; candidates of pairs that still exist keep their results
    // and flags, the others go, new pairs are appended dirty.
    void UpdateCandidates();
    void OnToothExtracted() { UpdateCandidates(); }
    void OnToothRecovered() { UpdateCandidates(); }
    // As many lists as the scheme has steps: lists dropped from the end, or copies of
    // list 0 appended (renumbered, dirty; empty when there was no list).
    void SyncStepCount();
    // The teeth of one jaw that take part at a step, in arch order: present teeth not
    // replaced by a virtual tooth of mode 1, virtual teeth of a mode other than 0 from
    // their first step on, permanent teeth whose deciduous predecessor is present left
    // out. out is cleared first.
    void GetJawTeeth(int step, bool upper, std::vector<QvToothBase*>& out) const;
    // Removes every entry whose number is a present deciduous entry's number minus 40
    // (the first such entry per deciduous one), keeping the order of the rest.
    static void RemovePermanentSuccessors(std::vector<QvToothBase*>& teeth);

    // ---- Dirty marking ----------------------------------------------------------------

    // The tooth's candidates in the steps strictly between its key step before step
    // and its key step after (or the last list); nothing without a key step before.
    void SetToothDirty(int step, QvToothBase* tooth);
    // After SyncStepCount: from the step after the tooth's key step at or before step
    // to the last list; false, nothing marked, without such a key step.
    [[nodiscard]] bool SetToothDirtyFromKey(int step, QvToothBase* tooth);
    // After SyncStepCount: from the step after the tooth's key step before step to the
    // last list; nothing without one.
    void SetToothDirtyAfterKey(int step, QvToothBase* tooth);
    // As SetToothDirtyAfterKey, from step 1 when there is no key step before.
    void SetToothDirtyToEnd(int step, QvToothBase* tooth);
    void SetAllDirty();
    static void SetListsDirty(std::vector<CandidateList>& lists);

    // After a tooth's number or presence changed: re-derives the pairs when the change
    // can move another tooth in or out of the pairs (a virtual tooth over a present
    // tooth of its number or its deciduous number; a deciduous tooth over its
    // successor).
    void OnToothChanged(QvToothBase* tooth, bool flag);
    // Splices a virtual tooth into every list: before its first step its neighbours
    // are paired directly, from its first step on it is paired with both neighbours
    // and every tooth of the other jaw. Nothing for another kind of tooth.
    void AddVirtualTooth(QvToothBase* tooth);

    // ---- Queries (evaluate what is dirty, then hand out the stored records) ---------
    // Records stay owned by their candidates until the candidate is evaluated again,
    // erased or cleared. out is not cleared. Nothing for a step outside the scheme's
    // steps or without a list.

    // adjacent: the same-jaw candidates (with occlusal too: every candidate);
    // occlusal alone: the opposing-jaw candidates.
    void GetStepContacts(int step, bool adjacent, bool occlusal, std::vector<QvGapInfo*>& out);
    // Every candidate of the step holding the tooth.
    void GetToothContacts(int step, QvToothBase* tooth, std::vector<QvGapInfo*>& out);

    // ---- Tooth-attachment pairs ---------------------------------------------------------

    // Per step, every standard attachment present there against every present tooth of
    // the other jaw.
    void BuildAttCandidates();
    void GetStepAttContacts(int step, std::vector<QvGapInfo*>& out);

    std::vector<CandidateList>& GetCandidates() { return m_candidates; }
    const std::vector<CandidateList>& GetCandidates() const { return m_candidates; }
    std::vector<AttCandidateList>& GetAttCandidates() { return m_attCandidates; }
    const std::vector<AttCandidateList>& GetAttCandidates() const { return m_attCandidates; }

private:
    // The pairs of a step in building order.
    void CollectPairs(int step, std::vector<Candidate>& out) const;
    // Marks the tooth's candidates in lists from to to (clamped to the lists).
    void MarkDirty(int from, int to, const QvToothBase* tooth);
    // The scheme's step count when step lies within it and has a list; null otherwise.
    CandidateList* ListOf(int step);

    QvScheme* m_pScheme = nullptr;
    std::vector<CandidateList> m_candidates;
    std::vector<AttCandidateList> m_attCandidates;
};

// The scheme's manager, installed (unbound, empty) on first use.
QvCollisionDetectMgr& QvGetCollisionDetectMgr(QvScheme& scheme);

// SPDX-License-Identifier: GPL-3.0-or-later
// The gums a scheme has built: per step one upper and one lower gum, and the two
// frames the gums are built in. Building a gum is expensive, so each is kept.
#pragma once

#include <cstdint>
#include <vector>

#include "core/geometry/QvFrame.h"

class QvGum;

// One stored step; either gum may be null.
struct QvGumEntry
{
    QvGum* m_pUpper = nullptr;
    QvGum* m_pLower = nullptr;
    std::int32_t m_nStep = 0;
};

class QvGumMgr
{
public:
    // Two default frames, no entries.
    QvGumMgr();
    QvGumMgr(const QvGumMgr&) = delete;
    // Copies the two frames only: the entries stay, the source's gums are not shared.
    QvGumMgr& operator=(const QvGumMgr& other);
    // Deletes every stored gum.
    virtual ~QvGumMgr();

    // Deletes every gum and removes every entry; the frames stay.
    void Clear();
    void SetGumFrame(const QvFrame& frame, bool upper);
    const QvFrame& GetGumFrame(bool upper) const { return upper ? m_upperFrame : m_lowerFrame; }
    // The gum of the first entry of that step (may be null); null when no entry has
    // the step. The store keeps the gum.
    QvGum* FindGum(int step, bool upper) const;
    // Appends the entry as it is (no search for an entry of the same step) and takes
    // ownership of both gums.
    void AddGums(const QvGumEntry& entry);
    // Keeps only the step-0 entry (the last one when there are several), deleting
    // the other gums; a store without one is left with {null, null, -1}.
    void KeepStepZero();
    const std::vector<QvGumEntry>& GetEntries() const { return m_entries; }

    QvFrame m_upperFrame;
    QvFrame m_lowerFrame;
    std::vector<QvGumEntry> m_entries;
};

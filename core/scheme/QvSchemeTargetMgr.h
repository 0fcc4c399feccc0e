// SPDX-License-Identifier: GPL-3.0-or-later
// Saved target positions of a scheme: snapshots of where the teeth stand at the end
// of treatment, each a list of final steps with a name and an id. Applying one
// resets the final position of the scheme's teeth to the saved one.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/scheme/QvTreatStep.h"

class QvModel;
class QvScheme;
class QvToothBase;
class QvTreatStepList;

class QvSchemeTarget
{
public:
    // Name as text, then the int32 id.
    std::ostream& Write(std::ostream& os, int version) const;
    // An id of 0 or less reads as 1. False on a short stream; the entry is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version);

    std::string m_strName;
    std::int32_t m_nId = 1;
};

class QvSchemeTargetMgr
{
public:
    // An empty store of owner; the owner is never owned.
    explicit QvSchemeTargetMgr(QvScheme* owner);
    QvSchemeTargetMgr(const QvSchemeTargetMgr&) = delete;
    // Deep copy of snapshots, entries and current index; the owner stays.
    QvSchemeTargetMgr& operator=(const QvSchemeTargetMgr& other);
    ~QvSchemeTargetMgr();

    // Deletes the snapshots and entries; no current entry.
    void Clear();

    // Sets the final step of every tooth of the case model that the owner does not
    // extract (hidden teeth included) from the entry's snapshot (the lower-jaw matrix
    // of the final step's list put back in), then generates the bite steps again.
    // False, with nothing changed, when no entry has the id.
    bool ApplyTarget(int id);

    // Saves the owner's positions at its last treatment step as entry id (replacing
    // an entry of that id); it becomes the current entry.
    void Capture(int id);
    // Captures the current entry again, unless there is none or its id is 2.
    void RecaptureCurrent();
    // Stores the tooth's present jaw-relative position in the snapshot of entry id.
    void UpdateTooth(QvToothBase* tooth, int id);
    // The current entry's id; 2 when there is none.
    int GetCurrentId() const;
    int GetCurrentIndex() const { return m_nCurrent; }
    // Index of the first entry with the id; -1 when none.
    int FindIndex(int id) const;
    bool HasEntry(int id) const { return FindIndex(id) >= 0; }
    // Removes the first entry with the id; the last remaining entry becomes current.
    void RemoveEntry(int id);
    // Removes the tooth's step from every snapshot.
    void RemoveTooth(const QvToothBase* tooth);
    // With an entry of the id: the tooth's snapshot matrix (identity when none).
    // Without: the jaw-relative matrix of the tooth's final step in the owner
    // (identity when none).
    QvMatrix GetTargetMatrix(const QvToothBase* tooth, int id) const;
    // Today (QvToday) as "%d/%d/%d" (year, month, day), no leading zeros.
    static std::string MakeDateText();

    const std::vector<QvTreatStepList*>& GetSnapshots() const { return m_snapshots; }
    const std::vector<QvSchemeTarget>& GetEntries() const { return m_entries; }
    QvScheme* GetOwner() const { return m_pOwner; }

    // Scheme-body form, written and read above version 8194 only: int32 count, per
    // entry the snapshot (step-list record of the scheme family), name and id, then
    // the current index. Readers return true when they read nothing.
    std::ostream& Write(std::ostream& os, int version) const;
    // False when the stream fails or a snapshot cannot be read; the store is then
    // unchanged. A stored current index outside the entries reads as -1.
    // Snapshot steps that name a tooth by id look in candidates first (QvTreatStep).
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model,
                            const QvToothCandidates* candidates = nullptr);
    // Case-document form (snapshots in the case-document step-list record): the
    // writer writes whenever called, the reader reads from 1028 on.
    std::ostream& WriteDocument(std::ostream& os, int version) const;
    [[nodiscard]] bool ReadDocument(std::istream& is, int version, QvModel* model,
                                    const QvToothCandidates* candidates = nullptr);
    // The 0x200 family's form, 516 to 520: the document form given that version word.
    // The reader keeps only entries of id 2 or more (dropping any clears the current
    // index); above 520 it reads nothing and answers false.
    std::ostream& WriteLegacy(std::ostream& os, int version) const;
    [[nodiscard]] bool ReadLegacy(std::istream& is, int version, QvModel* model);

private:
    enum class Form
    {
        Scheme,
        Document,
        Legacy,
    };
    std::ostream& WriteForm(std::ostream& os, int version, Form form) const;
    [[nodiscard]] bool ReadForm(std::istream& is, int version, QvModel* model, Form form,
                                const QvToothCandidates* candidates = nullptr);
    void DeleteSnapshots();

    std::vector<QvTreatStepList*> m_snapshots;
    std::vector<QvSchemeTarget> m_entries;
    std::int32_t m_nCurrent = -1;
    QvScheme* m_pOwner;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// All steps of one step number, with the lower-jaw transform of that step and its
// bite flag.
#pragma once

#include <iosfwd>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/scheme/QvTreatStep.h"

class QvModel;
class QvToothBase;

class QvTreatStepList
{
public:
    // No steps, identity jaw matrix, flag false.
    QvTreatStepList();
    QvTreatStepList(const QvTreatStepList&) = delete;
    QvTreatStepList& operator=(const QvTreatStepList&) = delete;
    // Deletes every step.
    virtual ~QvTreatStepList();

    // Replaces the steps by copies of other's (owned by this list) and copies the
    // jaw matrix and the flag; nothing when other is this list.
    void CopyFrom(const QvTreatStepList& other);
    // The first step of the tooth (compared by pointer), null when none.
    QvTreatStep* FindStep(const QvToothBase* tooth) const
    {
        for (QvTreatStep* step : m_steps)
            if (step->m_pTooth == tooth)
                return step;
        return nullptr;
    }
    // Erases the first step of the tooth and hands it over undeleted; null when none.
    QvTreatStep* TakeStep(const QvToothBase* tooth);
    // Appends a new step with these values, bound to this list.
    QvTreatStep* AddNewStep(QvToothBase* tooth, int step, int type, const QvMatrix& matrix);
    // Appends an existing step and binds it to this list. The list checks no duplicates.
    QvTreatStep* AddStep(QvTreatStep* step);
    // Erases and deletes that very step; false when it is not in the list.
    bool RemoveStep(QvTreatStep* step);
    const std::vector<QvTreatStep*>& GetSteps() const { return m_steps; }

    // Case-document form: int32 count, the step records, and above version 1033 the
    // flag byte and the jaw matrix. Up to 1027 steps of type 6 are not kept.
    std::ostream& WriteDocument(std::ostream& os, int version) const;
    // Reads that form, replacing the steps (and, where stored, flag and jaw matrix).
    // Records whose tooth cannot be resolved, and second records of a tooth, are
    // dropped. False when any record, the flag or the jaw matrix cannot be read, or
    // the count exceeds the bytes left; the list is then unchanged.
    [[nodiscard]] bool ReadDocument(std::istream& is, int version, QvModel* model,
                                    const QvToothCandidates* candidates = nullptr);
    // Stand-alone scheme and older families: flag and jaw matrix from 8196 and 521.
    std::ostream& Write(std::ostream& os, int version) const;
    // As ReadDocument for those families; false for a version of neither family.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model,
                            const QvToothCandidates* candidates = nullptr);
    // Variants that store the flag and the jaw matrix in every version, with the
    // step records of the case document (document true) or of the scheme families.
    std::ostream& WriteWithJaw(std::ostream& os, int version, bool document) const;
    [[nodiscard]] bool ReadWithJaw(std::istream& is, int version, QvModel* model, bool document,
                                   const QvToothCandidates* candidates = nullptr);

    std::vector<QvTreatStep*> m_steps;
    QvMatrix m_jawMatrix;
    bool m_bBite;

private:
    std::ostream& WriteForm(std::ostream& os, int version, bool document, bool withJaw) const;
    [[nodiscard]] bool ReadForm(std::istream& is, int version, QvModel* model, bool document, bool withJaw,
                                const QvToothCandidates* candidates);
    void DeleteSteps();
};

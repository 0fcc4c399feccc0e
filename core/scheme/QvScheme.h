// SPDX-License-Identifier: GPL-3.0-or-later
// One treatment plan of a case: a step list per step number placing the teeth of the
// case model, the plan's own virtual teeth, its attachments, brackets and records.
//
// A tooth's placement at step s comes from list s, else from the nearest earlier list
// holding a step of the tooth, else from its initial step (FindStep). Invariants: the
// list at index s holds only steps numbered s, and at most one step per tooth.
//
// Source files: QvScheme.cpp (lifecycle, storage, queries), QvSchemeEdit.cpp (step
// editing), QvSchemeInterpolate.cpp (jaw handling, bite steps, interpolation),
// QvSchemeAttach.cpp (attachment and bracket records), QvSchemeGumTeeth.cpp (the
// teeth the gums of a step are built around), QvSchemeStates.cpp (tooth sets,
// attachments by tooth and step, the shape and clinical records).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/scheme/QvGumMgr.h"
#include "core/scheme/QvSchemeLinks.h"
#include "core/scheme/QvSchemeTargetMgr.h"
#include "core/scheme/QvTreatStep.h"
#include "core/scheme/QvTreatStepList.h"

class QvArchForm;
class QvAttachment;
class QvAttachStepList;
class QvBracketList;
class QvClinicalInfo;
class QvModel;
class QvOcclusalPlane;
class QvToothBase;

// The decomposition of a rotation into Z-Y-X angles (yaw about Z, pitch about Y, roll
// about X), radians, as (yaw, pitch, roll). The asin argument is clamped to [-1, 1].
QvVector QuaternionToEuler(const QvQuaternion& q);
// The second form: (roll, pitch, yaw).
QvVector QuaternionToEulerRPY(const QvQuaternion& q);
// The composition of the Z-Y-X angles back into a unit quaternion.
QvQuaternion EulerToQuaternion(double yaw, double pitch, double roll);

class QvScheme
{
public:
    // Empty scheme, scheme type 1, no model bound.
    QvScheme();
    QvScheme(const QvScheme&) = delete;
    QvScheme& operator=(const QvScheme&) = delete;
    // Clear(true), then the stores.
    virtual ~QvScheme();

    // ---- Lifecycle (QvScheme.cpp) ---------------------------------------------

    // Deletes the step lists; with deleteVirtualTeeth unregisters the virtual teeth
    // from the model and deletes them. Empties both tooth sets, the saved targets and
    // the collision store, removes every attachment (from the model too), the
    // bracket list, the occlusal planes, arch forms and clinical record, and unbinds
    // the model. Names, texts, value, scheme type, gums and
    // the measurement store stay.
    void Clear(bool deleteVirtualTeeth);
    // Deep copy of other. With copyVirtualTeeth the virtual teeth are cloned (new
    // ids, not registered in the model) and the copied steps and collision store
    // point at the clones. Copying a scheme into itself changes nothing.
    void CopyFrom(const QvScheme& other, bool copyVirtualTeeth);
    // Gives every present tooth without an initial step one (identity) in list 0;
    // empties the hidden set.
    void CreateInitialSteps();
    // Each tooth's first initial step (GetInitialStep for every tooth at once).
    std::unordered_map<const QvToothBase*, QvTreatStep*> InitialSteps() const;

    QvModel* GetModel() const { return m_pModel; }
    void SetModel(QvModel* model) { m_pModel = model; }
    const std::string& GetName() const { return m_strName; }
    void SetName(const std::string& name) { m_strName = name; }
    QvSchemeTargetMgr& GetTargetMgr() { return m_targetMgr; }
    QvGumMgr& GetGumMgr() { return m_gumMgr; }
    const std::vector<QvToothBase*>& GetVirtualTeeth() const { return m_virtualTeeth; }
    bool IsExtracted(const QvToothBase* tooth) const;
    bool IsHidden(const QvToothBase* tooth) const;

    // Per-scheme stores of the libraries above the schemes; the scheme owns them.
    QvSchemeStore* GetCollisionStore() const { return m_pCollisionStore.get(); }
    void SetCollisionStore(std::unique_ptr<QvSchemeStore> store) { m_pCollisionStore = std::move(store); }
    QvSchemeStore* GetMeasureStore() const { return m_pMeasureStore.get(); }
    void SetMeasureStore(std::unique_ptr<QvSchemeStore> store) { m_pMeasureStore = std::move(store); }

    // ---- Storage of steps (QvScheme.cpp): no bite steps, no interpolation ------

    // A new step in list step, lists appended as needed (each copying the jaw matrix
    // of the list that was last). Null for a null tooth or a negative step; null,
    // with the message on standard output, when the tooth has a step there already.
    QvTreatStep* InsertTreatStep(QvToothBase* tooth, int step, int type, const QvMatrix& matrix);
    QvTreatStep* InsertTreatStep(QvToothBase* tooth, int step, int type);
    // Puts an existing step into the list of its own step number. Null, the step left
    // alone, when the tooth has a step there already or the number is negative.
    QvTreatStep* InsertStep(QvTreatStep* step);

    // ---- Queries (QvScheme.cpp) -----------------------------------------------

    // The placement of the tooth at step: its step in list step, else in the nearest
    // earlier list (a step beyond the lists counts as the last list), else its initial
    // step. Null for a negative step, a null tooth or a tooth without steps.
    QvTreatStep* FindStep(int step, const QvToothBase* tooth) const
    {
        if (step < 0 || !tooth)
            return nullptr;
        const int last = static_cast<int>(m_stepLists.size()) - 1;
        for (int i = step < last ? step : last; i >= 0; --i)
            if (QvTreatStep* found = m_stepLists[static_cast<std::size_t>(i)]->FindStep(tooth))
                return found;
        return GetInitialStep(tooth);
    }
    // The tooth's step in list step exactly.
    QvTreatStep* GetTreatStep(int step, const QvToothBase* tooth) const;
    // The first step of type 1 from list 0 upwards.
    QvTreatStep* GetInitialStep(const QvToothBase* tooth) const;
    // The first step of type 5 from the last list downwards.
    QvTreatStep* FindFinalStep(const QvToothBase* tooth) const;
    // Lists step-1 down to 0: the first step of type 3, 1 or 5; null for step <= 0.
    QvTreatStep* FindPrevKeyStep(int step, const QvToothBase* tooth) const;
    // Lists step+1 upwards: the first step of type 3, 5 or 6.
    QvTreatStep* FindNextKeyStep(int step, const QvToothBase* tooth) const;
    // Appends the tooth's step of every list that has one, in step order.
    void GetToothSteps(const QvToothBase* tooth, std::vector<QvTreatStep*>& out) const;
    // Appends the present teeth: scanned teeth of the model, neither extracted nor
    // hidden, in the model's order.
    void GetTeeth(std::vector<QvToothBase*>& out) const;
    // 1 + the index of the last list holding a step; 0 when none does.
    int GetStepCount() const;
    // Scanning from the last list down, the first step of type 5 or 1 gives its step
    // number + 1 (the treatment steps without over-correction); 0 when none. The last
    // treatment step T is this count - 1.
    int GetTreatStepCount() const;
    // Scanning from the last list down, the first step of a tooth of that jaw gives
    // its step number + 1; 1 when none.
    int GetJawStepCount(bool upper) const;
    // k - T for the highest list k holding a type-6 step of the jaw (k + 1 without
    // T); 0 when the jaw has none.
    int GetOverCorrectionStepCount(bool upper) const;
    // The highest k from T down holding a step of the jaw; 0 when none or no T.
    int GetJawLastStep(bool upper) const;
    // The highest k from T down holding a lower final step or any initial step.
    int GetLowerJawFinalStep() const;
    // The largest number of steps in one list.
    int GetMaxListSize() const;
    // The tooth's last step of type 6, scanning from the last list down.
    QvTreatStep* FindOverCorrectionEnd(const QvToothBase* tooth) const;
    // Step count - T - 1, or the step count without T.
    int GetOverCorrectionCount() const;
    // The teeth the gums of a step are built around (QvSchemeGumTeeth.cpp): the
    // present teeth, less the extracted-state teeth that stand below their neighbours.
    std::vector<QvToothBase*> GetGumTeeth(int step);
    // Whether at least 70 % of the tooth's crown rim at step lies no higher, along
    // its jaw's Z axis, than the highest rim point of the neighbours.
    bool IsToothWithinNeighbours(int step, QvToothBase* tooth, const std::vector<QvToothBase*>& neighbours);

    // ---- Gums per step and the lower jaw's placement (QvSchemeGums.cpp) --------
    // Gums are built by QvCreateGumCommandOld around the gum teeth placed at a step,
    // in the store's gum frame of the jaw (the lower one moved by the step's jaw matrix).

    // The gum teeth of the jaw at the step, each with a new copy of its placement
    // (null without one); virtual teeth from their start step on, replacing the real
    // tooth of their FDI number when of kind 1. The caller deletes the matrices.
    void BuildGumTeeth(int step, bool upper, std::map<QvToothBase*, QvMatrix*>& out);
    // Appends a gum entry for every step (step 0 only with includeStep0; only the one
    // step unless step is -1); a jaw with fewer than two teeth or a failed build gets
    // a null gum. True when at least one gum was built; false, appending nothing,
    // without steps.
    bool CreateGums(bool includeStep0, int step);
    // Rebuilds the stored gums of the step for the flagged jaws. A jaw whose step has
    // no entry is skipped; a null stored gum takes the new one; a failed build keeps
    // the stored gum. Always true.
    bool UpdateGum(int step, bool upper, bool lower);
    // The case model's gums take the meshes of the step's stored gums; a jaw without a
    // stored gum or without a model gum is left as it is.
    void ShowStepGums(int step);
    // Copies of the case model's gums as the step-0 entry, in front of the store.
    void InitGumsFromModel();
    // Moves the lower jaw of the step to the jaw matrix: every lower step of the list is
    // carried by jaw x inverse(old jaw). Nothing for a missing list or a singular jaw.
    void SetStepJawMatrix(int step, const QvMatrix& jaw);
    // Takes the jaw transform out of the lower steps of the list and removes its bite
    // steps; identity jaw, bite flag off. Nothing for a missing list or a singular jaw.
    void RecoverTeethBite(int step);

    // ---- Attachments and brackets (QvSchemeAttach.cpp) -----------------------

    // The first attachment list of the tooth; null when none.
    QvAttachStepList* GetAttachStepList(const QvToothBase* tooth) const;
    // The bracket list, created empty first when there is none (null while no
    // attachment library is installed).
    QvBracketList* GetBracketList();
    void DeleteBracketList();
    // Removes every attachment from its list and from the model (deleting it) and
    // deletes the lists.
    void ClearAttachments();

    // ---- Tooth sets, attachments by tooth and step, records (QvSchemeStates.cpp) --
    // The attachment lists hold the attachment library's records (QvAttachStepList);
    // the scheme owns the lists and their attachments.

    std::set<QvToothBase*>& GetExtractedTeeth() { return m_extractedTeeth; }
    std::set<QvToothBase*>& GetHiddenTeeth() { return m_hiddenTeeth; }
    // true inserts the tooth, false removes it; a null tooth changes nothing.
    void SetExtracted(QvToothBase* tooth, bool extracted);
    void SetHidden(QvToothBase* tooth, bool hidden);
    // The set becomes a copy of teeth (null entries left out).
    void SetExtractedTeeth(const std::set<QvToothBase*>& teeth);
    void SetHiddenTeeth(const std::set<QvToothBase*>& teeth);

    // Appends, in list order, the attachments of the tooth's first list that are
    // present at step.
    void GetAttachmentsAtStep(const QvToothBase* tooth, int step, std::vector<QvAttachment*>& out) const;
    // Append every attachment of every list, lists in order; null entries are passed over.
    void GetAllAttachments(std::vector<QvAttachment*>& out) const;
    void CollectAttachments(std::vector<QvAttachment*>& out) const;
    // Destroys the attachments of the tooth's first list (taking them out of the
    // model) and deletes the list; nothing for a tooth without list.
    void RemoveToothAttachments(QvToothBase* tooth);
    // Adds the attachment to the tooth's first list, made when missing; the scheme
    // owns it from then on. Nothing for a null tooth or attachment.
    void AddAttachment(QvToothBase* tooth, QvAttachment* attachment);
    // Takes the attachment out of the tooth's first list and destroys it; nothing
    // when that list does not hold it.
    void RemoveAttachment(QvToothBase* tooth, QvAttachment* attachment);

    // Removes and deletes each given step from the first list holding it.
    void RemoveTreatSteps(const std::vector<QvTreatStep*>& steps);
    // The tooth's step in the first list after step holding one; null when none.
    QvTreatStep* FindNextStep(int step, const QvToothBase* tooth) const;
    // From list count - 1 down to 0, the tooth's first step that is not a hold.
    QvTreatStep* FindPrevFixedStep(int count, const QvToothBase* tooth) const;
    // The bite flag of the list of step; false outside the lists.
    bool HasBite(int step) const;

    // Copy the record into the first (second) one, made when missing; null changes
    // nothing. An arch form is assigned (its target keeps model, plane and
    // third-molar flag); the clinical record keeps its legacy kind pair.
    void SetOcclusalPlane(const QvOcclusalPlane* plane);
    void SetOcclusalPlane2(const QvOcclusalPlane* plane);
    void SetArchForm(const QvArchForm* form);
    void SetArchForm2(const QvArchForm* form);
    void SetClinicalInfo(const QvClinicalInfo* info);
    // Deletes both occlusal planes and both arch forms.
    void DeleteShapeRecords();

    // ---- Step editing (QvSchemeEdit.cpp) ----------------------------------------
    // The edited tooth's steps are taken jaw-relative (bite steps removed, lower-jaw
    // transform taken out) during an edit and put back before the call returns; a
    // matrix given for a lower tooth is therefore jaw-relative.

    // Adds one step and aligns the over-correction steps; the new step or null.
    QvTreatStep* AddTreatStep(QvToothBase* tooth, int step, int type, const QvMatrix& matrix);
    QvTreatStep* AddTreatStep(QvToothBase* tooth, int step, int type);
    // Deletes the tooth's step at step, moves its later steps down by one and
    // interpolates between the keys around the gap. False, nothing changed, for a
    // null tooth, a step outside the lists or no step of the tooth there.
    bool RemoveKeyStep(int step, QvToothBase* tooth);
    // Moves the tooth's step at from, with all later steps, to to (moving steps fill
    // a forward move; a backward move deletes the steps it passes over). False for a
    // null tooth, from == to, a negative to or no step of the tooth at from.
    bool MoveToothStep(int from, int to, QvToothBase* tooth);
    // Moves the tooth's steps at or after from by (to - from). False for a null tooth
    // or a negative to.
    bool ShiftToothSteps(QvToothBase* tooth, int from, int to);
    // Takes the tooth's steps out of lists first and later, undeleted, in step order.
    void TakeToothSteps(const QvToothBase* tooth, int first, std::vector<QvTreatStep*>& out);
    // Deletes every step of the tooth (no jaw or bite handling); false for null.
    bool RemoveToothSteps(const QvToothBase* tooth);
    // Moves each present tooth's steps after its final step to start at the
    // treat-step count.
    void AlignOverCorrectionSteps();
    // keepFirstOnly: only list 0 stays (created when there are no lists). Otherwise
    // every tooth keeps its initial step at 0 and its final step at 1.
    bool ResetSteps(bool keepFirstOnly);
    // Replaces the attachments by copies of those present at each tooth's final step,
    // with first and last step 1.
    bool CopyEndAttachments();
    // Puts a hold (type 4, the matrix of the step at after) or a moving step (type 2,
    // interpolated) at after + 1, moving the tooth's later steps up by one. False for
    // other types, after outside [0, lists - 1) or no step of the tooth at after.
    bool InsertStepAfter(int after, QvToothBase* tooth, int type);
    // Sets the type of the tooth's step at step; false when there is none.
    bool SetStepType(int step, const QvToothBase* tooth, int type);
    // Appends, without taking them out, the tooth's steps from list first on.
    void CollectToothSteps(const QvToothBase* tooth, int first, std::vector<QvTreatStep*>& out) const;

    // ---- Jaw handling, bite steps, interpolation (QvSchemeInterpolate.cpp) ------

    // Removes and deletes every bite step (type 7) of a lower tooth.
    void RemoveBiteSteps();
    // In every list with the bite flag, gives each present lower tooth and each lower
    // virtual tooth with an initial step a bite step following the jaw of that list
    // from its last key, initial or final step (none when it has no such step).
    void AddBiteSteps();
    // Lower tooth: every step's matrix becomes inverse(J) x matrix (J x matrix), J
    // being its list's jaw matrix. Nothing for an upper tooth.
    void StripJawTransform(const QvToothBase* tooth);
    void ApplyJawTransform(const QvToothBase* tooth);
    // Recomputes the moving steps of from's tooth strictly between from and to in
    // equal shares of translation and of each Z-Y-X angle; hold steps repeat the step
    // before them. Nothing when either is null or no moving step lies between.
    void InterpolateSteps(QvTreatStep* from, QvTreatStep* to);
    // Steps of type 2 of from's tooth strictly between from and to; 0 for null.
    int CountMovingSteps(const QvTreatStep* from, const QvTreatStep* to) const;
    // For a step of a virtual tooth: makes it move rigidly while keeping, along the
    // tooth's own axes, the given scale.
    void FixVirtualToothScale(QvTreatStep* step, const double scale[3]);
    // Interpolates from the previous key to the tooth's step at step and from there
    // to the next key, with the jaw transform taken out meanwhile.
    void ReinterpolateAround(int step, QvToothBase* tooth);

    // ---- Virtual teeth between their neighbours (QvSchemeVirtualTeeth.cpp) -------
    // The reference step of a virtual tooth is 0, or with its reference flag set the
    // last step of its jaw. Placements are jaw-relative.

    // teeth becomes [first neighbour, virtual tooth, second neighbour] along the arch
    // at the reference step (grown to three entries when shorter); an entry without
    // neighbour keeps its value, so with no other tooth in the jaw only entry 1 is
    // written. offsets becomes (height, lateral): the virtual tooth's signed distances
    // from its neighbours' midpoint (its own centre without both neighbours) along its
    // Z axis and the lateral axis. A null virtual tooth only zeroes the offsets.
    void FindVirtualToothNeighbours(QvToothBase* virtualTooth, std::vector<QvToothBase*>& teeth, double offsets[2]);
    // Whether the virtual tooth of the triple is to be re-placed at step: true when a
    // neighbour's placement there differs (exactly) from its placement at the
    // reference step, or when force is set; result then holds the correction of
    // QvAutoAdjustPontic, all zero when the pontic has no room. A forced run that
    // finds no room answers false instead, so that the own placement matrix the caller
    // would multiply by the result stays as it is. On false result is untouched;
    // teeth and the scheme are never changed.
    [[nodiscard]] bool AdjustVirtualTooth(std::vector<QvToothBase*>& teeth, int step, const double offsets[2],
                                          QvMatrix& result, bool force);
    // Re-bases the present lower teeth and the lower virtual teeth at step on the jaw
    // transform jaw: each one's step there (a new bite step when missing, taken from its
    // last key before) becomes jaw x inverse(its list's jaw) x that placement; the list
    // then carries jaw and the bite flag. Nothing for a jaw that is not a finite 4 x 4
    // matrix.
    void SetLowerJawTransform(int step, const QvMatrix& jaw);

    // ---- Scheme files and case-document sections (QvSchemeFile.cpp) ---------------
    // The items each version stores stand in QvSchemeFile.h. Every record inside is
    // written and read with the version of the body or section.

    // The stand-alone body (0x2000 family). Nothing is written, and the stream is
    // failed, for another version, or when a record the scheme holds cannot be written.
    void Write(std::ostream& os, int version) const;
    // Replaces the content by a body of the 0x2000 or the older 0x200 family. Virtual
    // teeth read are resolved by the steps before anything of the model; tooth
    // references the model does not hold are dropped. False on a short or damaged
    // stream, a count larger than the bytes left, a failed record, or a version of
    // neither family; what was read stays, and the caller deletes the scheme.
    // Afterwards, whatever the result, the scheme is bound to model, trailing empty
    // step lists are deleted and FixOldInitialSteps runs.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);
    // The case-document section (0x400 family); from 1027 on it ends with the saved
    // targets.
    void WriteDocument(std::ostream& os, int version) const;
    // As Read for a section; a version above 1041 is read as 1042.
    [[nodiscard]] bool ReadDocument(std::istream& is, int version, QvModel* model);
    // Old versions (0x400 below 1034, 0x200 below 520, 0x2000 below 8196) could store
    // a tooth's initial step at a later step s: it becomes an identity initial step at
    // 0, with identity holds at 1 to s when the tooth moves on at s + 1.
    void FixOldInitialSteps(int version);
    // The list of that step number; null outside the lists.
    QvTreatStepList* GetStepList(int step) const;

    // ---- Data -----------------------------------------------------------------

    std::string m_strText1;
    std::string m_strName;
    std::string m_strText2;
    std::int32_t m_nValue = 0;
    std::set<QvToothBase*> m_hiddenTeeth;
    std::set<QvToothBase*> m_extractedTeeth;
    QvSchemeTargetMgr m_targetMgr;
    std::vector<QvTreatStepList*> m_stepLists;
    std::vector<QvAttachStepList*> m_attachLists;
    QvBracketList* m_pBracketList = nullptr;
    std::vector<QvToothBase*> m_virtualTeeth;
    QvOcclusalPlane* m_pOcclusalPlane1 = nullptr;
    QvOcclusalPlane* m_pOcclusalPlane2 = nullptr;
    QvArchForm* m_pArchForm1 = nullptr;
    QvArchForm* m_pArchForm2 = nullptr;
    QvClinicalInfo* m_pClinicalInfo = nullptr;
    QvModel* m_pModel = nullptr;
    QvGumMgr m_gumMgr;
    std::int32_t m_nSchemeType = 1;

private:
    // Appends lists until list step exists, each copying the last list's jaw matrix.
    void AppendListsUpTo(int step);
    void DeleteStepLists();
    // Deletes the shape records and the clinical record.
    void DeleteRecords();

    std::unique_ptr<QvSchemeStore> m_pCollisionStore;
    std::unique_ptr<QvSchemeStore> m_pMeasureStore;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// The doctor-facing instructions that come with a treatment plan: interproximal
// reductions and occlusal adjustments step by step, elastic tractions and a remark.
// A scheme holds at most one; the panes only read it.
//
// Record forms by the version word of the enclosing body: case documents (0x400) up
// to 1041 and scheme files (0x2000) up to 8197 use the old form, later ones the new
// form; the older family (0x200) is read in the old form up to 515.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

class QvModel;
class QvToothBase;

// One reduction or adjustment between two neighbouring teeth.
class QvIprEntry
{
public:
    QvIprEntry() = default;
    QvIprEntry(QvToothBase* tooth1, QvToothBase* tooth2, int value, double amount);

    void Get(QvToothBase*& tooth1, QvToothBase*& tooth2, int& value, double& amount) const;
    // "11-21": the FDI numbers of both teeth; a missing tooth counts as 0.
    std::string GetKey() const;
    // The amount with one decimal, "0.3" for 0.26, whatever the process locale.
    std::string GetAmountText() const;
    bool MatchesKey(const std::string& key) const;

    // int32 FDI of each tooth, int32 value, double amount: 20 bytes.
    void Write(std::ostream& os, int version) const;
    // Resolves both numbers with QvModel::FindTooth. False on a short stream, the
    // entry unchanged. A number no tooth has leaves that tooth null: the caller
    // decides what to do with such an entry (the record drops it).
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);

    QvToothBase* m_pTooth1 = nullptr; // not owned
    QvToothBase* m_pTooth2 = nullptr; // not owned
    std::int32_t m_nValue = 0;
    double m_dAmount = 0.0;
};

// An elastic traction between two teeth over a range of steps.
class QvTractionEntry
{
public:
    // int32 kind, fdi1, fdi2, one byte per flag, int32 start and end step: 22 bytes.
    void Write(std::ostream& os) const;
    // False on a short stream; the entry is then unchanged.
    [[nodiscard]] bool Read(std::istream& is);

    std::int32_t m_nKind = 0;
    std::int32_t m_nFdi1 = 0;
    std::int32_t m_nFdi2 = 0;
    bool m_bFlag1 = true;
    bool m_bFlag2 = true;
    std::int32_t m_nStartStep = 0;
    std::int32_t m_nEndStep = 0;
};

using QvIprMap = std::map<std::int32_t, std::vector<QvIprEntry>>;

class QvClinicalInfo
{
public:
    // Texts of the old form.
    using LegacyTexts = std::array<std::string, 13>;

    QvClinicalInfo() = default;
    // As a new record assigned from other: the legacy kind pair is not taken.
    QvClinicalInfo(const QvClinicalInfo& other);
    // Copies both maps, the tractions and the remark; the legacy kind pair stays.
    QvClinicalInfo& operator=(const QvClinicalInfo& other);
    ~QvClinicalInfo() = default;

    const QvIprMap& GetIprMap() const { return m_iprMap; }
    QvIprMap& GetIprMap() { return m_iprMap; }
    const QvIprMap& GetAdjustments() const { return m_adjustments; }
    const std::vector<QvTractionEntry>& GetTractions() const { return m_tractions; }
    const std::string& GetRemark() const { return m_strRemark; }
    void SetIprMap(const QvIprMap& map);
    void SetAdjustments(const QvIprMap& map);
    void SetTractions(const std::vector<QvTractionEntry>& tractions);
    void SetRemark(const std::string& remark) { m_strRemark = remark; }
    void SetLegacyKinds(int first, int second);
    void GetLegacyKinds(int& first, int& second) const;

    // True when either map holds more than one step, or the remark is not empty.
    bool HasContent() const;
    // Legacy codes 1 to 7 give the kinds 1, 2, 0, 3, 5, 6, 7; any other code 0.
    static int KindFromLegacyCode(int code);

    // Nothing for a version without a form.
    void Write(std::ostream& os, int version) const;
    // Replaces maps, tractions and remark by the record; the legacy kind pair (set
    // before, in the old form) names the kinds of the tractions the old form holds.
    // Entries whose teeth the model cannot resolve are dropped. False for a version
    // without a form, a short stream, or a count or length that is negative or
    // larger than the bytes left; the record is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);

    // The thirteen texts of the old form: only with two tractions or more, the
    // first two tractions' first tooth and steps, and the remark.
    LegacyTexts ToLegacyTexts() const;
    // Remark and tractions from the old form's texts, appended to this record.
    void FromLegacyTexts(const LegacyTexts& texts);

    QvIprMap m_iprMap;
    QvIprMap m_adjustments;
    std::vector<QvTractionEntry> m_tractions;
    std::string m_strRemark;
    std::int32_t m_nLegacyKind1 = 0;
    std::int32_t m_nLegacyKind2 = 0;
};

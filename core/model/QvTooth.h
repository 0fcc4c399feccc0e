// SPDX-License-Identifier: GPL-3.0-or-later
// A scanned tooth of the patient: FDI number, state, optional real root, cut line
// and reference landmarks, and the versioned records of the case files.
//
// The tooth reaches the reference data and the cut line only through these members
// of their classes: QvToothRef(QvTooth*), QvToothRef(const QvToothRef&),
// QvToothRef::SetTooth(QvTooth*), QvToothRef::Write(std::ostream&, int) const,
// QvToothRef::Read(std::istream&, int, QvModel*) -> bool; QvCutLine(),
// QvCutLine(const QvCutLine&), QvCutLine::Transform(const QvMatrix&),
// QvCutLine::Read(std::istream&, int, QvModel*) -> bool, QvCutLine::RestoreAnchor(),
// QvCutLine::SetMesh(QvMesh*).
#pragma once

#include <cstdint>
#include <iosfwd>

#include "core/base/QvColor.h"
#include "core/model/QvToothBase.h"

class QvCutLine;
class QvRoot;
class QvToothRef;

// States of QvTooth::m_nState; stored data may hold any other int32.
inline constexpr std::int32_t kQvToothOrdinary = 1;
inline constexpr std::int32_t kQvToothStateI = 2;
inline constexpr std::int32_t kQvToothStateP = 3;
inline constexpr std::int32_t kQvToothNotMeasured = 4;
inline constexpr std::int32_t kQvToothExtracted = 5;

// Record form (1 to 4) that QvTooth::WriteRecord and ReadRecord use for a version:
// dental models (bit 0x800) up to 2049 / 2050-2051 / 2052-2053 / 2054 on, case
// documents up to 1029 / 1030 / 1031-1040 / 1041 on.
int ToothRecordForm(int version);

// Unit digit of an FDI number (sign of the number kept).
int FdiUnit(int fdi);
// FDI number folded onto its permanent position (above 50: minus 40).
int FdiFolded(int fdi);
// Arch order: upper arch from 18 to 28, then lower arch from 48 to 38; a deciduous
// tooth and the permanent tooth of its position compare equal. A strict weak order
// over every int (unknown quadrants go with quadrant 4).
bool FdiArchLess(int a, int b);

class QvTooth;

// What a tooth record read leaves to do when the faces of its meshes are inserted
// afterwards (QvTooth::InsertPendingFaces).
struct QvToothPendingFaces
{
    QvTooth* tooth = nullptr;
    std::vector<QvReadFace> faces;
    std::vector<QvReadFace> rootFaces;
    bool crownLoop = false;
};

class QvTooth : public QvToothBase
{
public:
    QvTooth() = default;
    // Deep copies: cut line, real root and reference data are duplicated and bound
    // to the copy; the copy's marked flag is false.
    QvTooth(const QvTooth& other);
    QvTooth& operator=(const QvTooth& other);
    ~QvTooth() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // The system writes no record of the oldest family.
    std::ostream& Write(std::ostream& os, int version) const override;
    // Oldest family only (version words with bit 0x100). False for other versions
    // and on a short or broken stream; the tooth is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    // Mesh, frame (when set), cut line and real root.
    void Transform(const QvMatrix& matrix) override;

    // Case-document and dental-model record in the form the version selects.
    std::ostream& WriteRecord(std::ostream& os, int version) const;
    // Reads that form and binds the jaw through the model by quadrant (none: null).
    // False on a short or broken stream, or when the root or reference data cannot
    // be read; the tooth is then unchanged.
    // With pending, the faces of the tooth and its root are left out: the tooth is
    // listed there instead, and InsertPendingFaces completes it.
    [[nodiscard]] bool ReadRecord(std::istream& is, int version, QvModel* model,
                                  std::vector<QvToothPendingFaces>* pending = nullptr);
    // Completes the listed teeth, each (its root and crown rim included) by itself, and
    // the other meshes of the read, side by side on up to threads threads (0: one per
    // hardware thread): the meshes a read without lists gives. Empties both lists.
    static void InsertPendingFaces(std::vector<QvToothPendingFaces>& pending, std::vector<QvPendingFaces>& meshes,
                                   unsigned threads);
    // The crown boundary loop from the faces that are not grown root, as the record
    // reader sets it; left as it is when every face is grown root.
    void UpdateCrownLoop();

    int GetPositionFdi() const override { return m_nFdi; }
    int GetFdi() const { return m_nFdi; }
    void SetFdi(int fdi) { m_nFdi = fdi; }
    // Folded number in 10..49 with unit digit 1..9.
    bool IsValidFdi() const;
    // 1 incisor, 2 canine, 3 premolar, 4 molar, 0 none.
    int GetToothKind() const;
    // 10 q + (10 - d for odd q, else d): ascending keys walk 18..11, 21..28, 38..31, 41..48.
    int GetArchPositionKey() const;

    int GetState() const { return m_nState; }
    void SetState(int state) { m_nState = state; }

    QvToothRef* GetToothRef() const { return m_pToothRef; }
    // Deletes the present reference data, keeps ref (may be null) and binds it to this tooth.
    void SetToothRef(QvToothRef* ref);
    QvCutLine* GetCutLine() const { return m_pCutLine; }
    // Deletes the present cut line and keeps a copy.
    void SetCutLine(const QvCutLine& cutLine);
    QvRoot* GetRoot() const { return m_pRoot; }
    // Deletes the present real root, keeps root (may be null) and becomes its owner.
    void SetRoot(QvRoot* root);
    // Deletes the real root and clears the root-shown flag.
    void DeleteRoot();
    bool IsRootShown() const { return m_bRootShown; }
    // The show-real-root request: a tooth whose flag differs takes the request, but
    // only while it has a real root, and is marked modified. True when it changed.
    bool ShowRealRoot(bool request);

    std::int32_t m_nFdi = 0;
    bool m_bMarked = false;
    QvCutLine* m_pCutLine = nullptr;
    std::int32_t m_nState = kQvToothOrdinary;
    QvRoot* m_pRoot = nullptr;
    bool m_bRootShown = false;
    QvColor m_color;
    QvToothRef* m_pToothRef = nullptr;

private:
    // Moves everything but the jaw link from other into this tooth (other's old content
    // goes to it), rebinding owned parts. Used to commit a record read into a scratch tooth.
    void SwapContent(QvTooth& other);
};

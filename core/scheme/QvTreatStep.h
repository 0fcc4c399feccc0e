// SPDX-License-Identifier: GPL-3.0-or-later
// Where one tooth stands at one treatment step, and the motion between two tooth
// frames expressed as a translation and a rotation vector.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvMatrix.h"

class QvModel;
class QvToothBase;
class QvTreatStepList;

// Step types (QvTreatStep::m_nType). 0 only in a step constructed for reading.
inline constexpr std::int32_t kQvStepInitial = 1;
inline constexpr std::int32_t kQvStepMoving = 2;
inline constexpr std::int32_t kQvStepKey = 3;
inline constexpr std::int32_t kQvStepHold = 4;
inline constexpr std::int32_t kQvStepFinal = 5;
inline constexpr std::int32_t kQvStepOverCorrectionEnd = 6;
inline constexpr std::int32_t kQvStepBite = 7;

// Teeth a record that names a tooth by entity id is resolved against before the case
// model: a scheme's own virtual teeth, just read, whose ids may collide with ids of
// other entities of the model.
using QvToothCandidates = std::vector<QvToothBase*>;

// The placement of a tooth at a step. For a lower tooth the matrix includes the
// lower-jaw transform of the step's list; for a virtual tooth its own matrix is
// applied first (step matrix x own matrix).
class QvTreatStep
{
public:
    // Null tooth, step 0, type 0, identity matrix, no list.
    QvTreatStep();
    QvTreatStep(QvToothBase* tooth, int step, int type, const QvMatrix& matrix);
    // All five fields, the list pointer too.
    QvTreatStep(const QvTreatStep& other);
    QvTreatStep& operator=(const QvTreatStep&) = delete;
    virtual ~QvTreatStep();

    QvToothBase* GetTooth() const { return m_pTooth; }
    void SetTooth(QvToothBase* tooth) { m_pTooth = tooth; }
    int GetStep() const { return m_nStep; }
    // Renumbers the step only; it stays in its list.
    void SetStep(int step) { m_nStep = step; }
    int GetType() const { return m_nType; }
    void SetType(int type) { m_nType = type; }
    QvMatrix* GetMatrix() { return &m_matrix; }
    const QvMatrix* GetMatrix() const { return &m_matrix; }
    void SetMatrix(const QvMatrix& matrix) { m_matrix = matrix; }
    QvTreatStepList* GetStepList() const { return m_pStepList; }

    // The matrix without the lower-jaw transform: a copy for an upper tooth (or no
    // tooth), inverse(J) x matrix for a lower one, J being the owning list's jaw
    // matrix (the identity outside a list or when J cannot be inverted).
    QvMatrix GetJawRelativeMatrix() const;
    // False when every one of the 16 elements is zero by the zero test: a step whose
    // matrix was never set.
    bool HasMatrix() const;
    bool IsKeyStep() const { return m_nType == kQvStepKey; }
    // Lengths of the tooth frame's axes under (matrix x own matrix of a virtual
    // tooth), rotation part only: the scale a virtual tooth has at this step.
    void GetAxisScales(double& sx, double& sy, double& sz) const;
    // The motion of the tooth frame from this step to other (both jaw-relative):
    // GetFrameTranslation and GetFrameRotation of the two placed frames.
    QvVector GetTranslationTo(const QvTreatStep& other) const;
    QvVector GetRotationTo(const QvTreatStep& other) const;

    // Case-document record (families by version word: FDI form up to 1026,
    // FDI-and-state form up to 1041, tagged form from 1042).
    std::ostream& WriteDocument(std::ostream& os, int version) const;
    // False on a short stream, an unknown tag, or a matrix that is not a finite 4 x 4
    // placement; the step is then unchanged. A tooth reference that resolves to no
    // tooth reads as a null tooth (the list readers drop such records).
    [[nodiscard]] bool ReadDocument(std::istream& is, int version, QvModel* model,
                                    const QvToothCandidates* candidates = nullptr);
    // Stand-alone scheme family (0x2000) and the older family (0x200); a version of
    // neither family writes nothing.
    std::ostream& Write(std::ostream& os, int version) const;
    // As ReadDocument for those families; false, reading nothing, for any other
    // version. Version 513 translates the old type numbers.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model,
                            const QvToothCandidates* candidates = nullptr);

    QvToothBase* m_pTooth;
    std::int32_t m_nStep;
    std::int32_t m_nType;
    QvMatrix m_matrix;
    QvTreatStepList* m_pStepList;

private:
    // The tooth frame placed by this step and by other; false without a tooth.
    bool PlacedFrames(const QvTreatStep& other, QvFrame& here, QvFrame& there) const;
};

// The placement T(F) of a frame (world frame carried onto F) and the relative motion
// R = inverse(T(A)) x T(B). The translation of R: B's origin in A's local axes.
QvVector GetFrameTranslation(const QvFrame& a, const QvFrame& b);
// The rotation of R as axis x angle in degrees (0 to 180), in A's local axes; the
// zero vector for equal orientations.
QvVector GetFrameRotation(const QvFrame& a, const QvFrame& b);

// Own placement matrix of a virtual tooth when it is a 4 x 4 matrix; the identity
// for every other tooth.
QvMatrix QvOwnPlacement(const QvToothBase* tooth);
// inverse(jaw) when jaw is an invertible 4 x 4 matrix; false otherwise, and inverse
// is then the identity, so that a broken jaw matrix never disturbs a placement.
bool QvInvertJaw(const QvMatrix& jaw, QvMatrix& inverse);
// Whether m is exactly the identity (products with it change nothing at all).
bool QvIsExactIdentity(const QvMatrix& m);

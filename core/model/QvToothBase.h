// SPDX-License-Identifier: GPL-3.0-or-later
// What every tooth has: a mesh in a jaw, a local frame and the rim of its crown.
#pragma once

#include <iosfwd>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvJawLink.h"

class QvJaw;

// Quadrant 1 to 4 of an FDI number: (fdi < 51 ? fdi : fdi - 40) / 10, so deciduous
// teeth fold onto the permanent quadrants. Other numbers give other values (50 -> 5).
int FdiQuadrant(int fdi);
// Upper jaw exactly for quadrants 1 and 2.
bool FdiIsUpper(int fdi);

class QvToothBase : public QvMesh
{
public:
    QvToothBase() = default;
    // Mesh part, jaw, frame and loop.
    QvToothBase(const QvToothBase& other) = default;
    QvToothBase& operator=(const QvToothBase& other) = default;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // The text mesh form only; Read answers the mesh read (false on a broken
    // stream, the tooth unchanged).
    std::ostream& Write(std::ostream& os, int version) const override;
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    // The jaw's side; a tooth without a jaw answers from its FDI number's quadrant.
    bool IsUpper() const;
    // The FDI number the tooth stands for: QvTooth's own, a virtual tooth's stored one.
    virtual int GetPositionFdi() const { return -1; }

    QvJaw* GetJaw() const { return m_jaw.Get(); }
    void SetJaw(QvJaw* jaw) { m_jaw.Reset(jaw); }

    const QvFrame* GetFrame() const { return &m_frame; }
    void SetFrame(const QvFrame& frame) { m_frame = frame; }

    const std::vector<int>* GetBoundaryLoop() const { return &m_boundaryLoop; }
    // The first longest boundary loop of the whole mesh (root faces included);
    // empty for a closed mesh.
    void UpdateBoundaryLoop();
    void ClearBoundaryLoop() { m_boundaryLoop.clear(); }
    // Whether any face carries the grown-virtual-root tag.
    bool HasRootFaces() const;

    QvJawLink m_jaw;
    QvFrame m_frame;
    std::vector<int> m_boundaryLoop;
};

// The first longest loop of a mesh's boundary loops (a later loop wins only when
// strictly longer); empty when the mesh has no boundary.
std::vector<int> LongestBoundaryLoop(const QvMesh& mesh);

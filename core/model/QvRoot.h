// SPDX-License-Identifier: GPL-3.0-or-later
// The real root mesh of a tooth, as the planning service delivers it. It keeps the
// plain mesh's type code.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/mesh/QvMesh.h"

class QvPlane;
class QvTooth;

class QvRoot : public QvMesh
{
public:
    explicit QvRoot(QvTooth* owner = nullptr);
    // Mesh part (marked modified), root value and owner.
    QvRoot(const QvRoot& other) = default;
    QvRoot& operator=(const QvRoot& other) = default;

    // Text mesh, then the int32 root value. False on a short or broken stream; the
    // root is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;
    // The counterpart of Read; Write (slot 4) writes the mesh alone.
    std::ostream& WriteWithValue(std::ostream& os, int version) const;

    // Area of the mesh's cross-section with the plane; 0 without measurable sections.
    double GetSectionArea(const QvPlane& plane) const;
    // The first longest boundary loop; empty for a closed mesh.
    void GetLongestBoundaryLoop(std::vector<int>& out) const;

    QvTooth* GetOwner() const { return m_pOwner; }
    void SetOwner(QvTooth* owner) { m_pOwner = owner; }

    QvTooth* m_pOwner = nullptr;
    std::int32_t m_nValue = 1;
};

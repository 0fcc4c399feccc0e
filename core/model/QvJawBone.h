// SPDX-License-Identifier: GPL-3.0-or-later
// The jaw bone mesh of one side with its placement.
#pragma once

#include <iosfwd>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/mesh/QvMesh.h"

class QvJawBone : public QvMesh
{
public:
    // Empty mesh, upper side, 4 x 4 identity placement.
    QvJawBone();

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Compact mesh, side byte, placement matrix.
    std::ostream& Write(std::ostream& os, int version) const override;
    // False on a short or broken stream; the jaw bone is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;
    // With pending, the faces are left out and listed there, for InsertPendingFaces.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model, std::vector<QvPendingFaces>* pending);

    bool IsUpper() const { return m_bUpper; }
    void SetUpper(bool upper) { m_bUpper = upper; }

    bool m_bUpper = true;
    QvMatrix m_matrix;
};

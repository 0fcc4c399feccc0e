// SPDX-License-Identifier: GPL-3.0-or-later
// A tooth the treatment plan adds (a pontic, or a stand-in for a real tooth). Its
// scheme owns it; the case model only lists it.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "core/geometry/QvMatrix.h"
#include "core/model/QvToothBase.h"

class QvVirtualTooth : public QvToothBase
{
public:
    QvVirtualTooth() = default;
    QvVirtualTooth(const QvVirtualTooth& other) = default;
    // Copies every member and keeps the target's id; when both ids are equal the
    // target draws a new one, so that two virtual teeth never share an id.
    QvVirtualTooth& operator=(const QvVirtualTooth& other);

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // One body per family bit of the version (0x2000, 0x200, 0x400, in that order),
    // each followed by the FDI number and start step from 8199 / 530 / 1043 on.
    std::ostream& Write(std::ostream& os, int version) const override;
    // Mirrors Write; the jaw is bound by id. False for a version without any of the
    // three bits, and on a short or broken stream; the tooth is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;
    // A body followed by FDI number and start step whatever the version.
    std::ostream& WriteWithPosition(std::ostream& os, int version) const;
    [[nodiscard]] bool ReadWithPosition(std::istream& is, int version, QvModel* model);

    int GetPositionFdi() const override { return m_nFdi; }

    // The 4 x 4 rigid motion carrying the tooth frame onto the frame moved by the own
    // placement matrix; the identity while that matrix is not 3 x 3 or 4 x 4.
    QvMatrix GetPlacementTransform() const;
    void SetFactors(double x, double y, double z)
    {
        m_factors[0] = x;
        m_factors[1] = y;
        m_factors[2] = z;
    }

    bool m_bReference = false;
    QvMatrix m_matrix;
    double m_factors[3] = {1.0, 1.0, 1.0};
    std::int32_t m_nKind = 0;
    std::int32_t m_nFdi = -1;
    std::int32_t m_nStartStep = 0;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// The hinge axis of the jaw: two points; a case holds at most one.
#pragma once

#include <iosfwd>

#include "core/base/QvEntity.h"
#include "core/geometry/QvPoint.h"

class QvHingeAxis : public QvEntity
{
public:
    QvHingeAxis() = default;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Entity part, first point, second point.
    std::ostream& Write(std::ostream& os, int version) const override;
    // False on a short stream; the axis is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    QvPoint m_first;
    QvPoint m_second;
};

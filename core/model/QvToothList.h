// SPDX-License-Identifier: GPL-3.0-or-later
// An entity that names a jaw; stored by old case layouts.
#pragma once

#include <iosfwd>

#include "core/base/QvEntity.h"
#include "core/model/QvJawLink.h"

class QvJaw;

class QvToothList : public QvEntity
{
public:
    QvToothList() = default;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Entity part, int32 jaw id (-1 without jaw).
    std::ostream& Write(std::ostream& os, int version) const override;
    // Binds the jaw by id. False on a short stream; the list is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    QvJaw* GetJaw() const { return m_jaw.Get(); }
    void SetJaw(QvJaw* jaw) { m_jaw.Reset(jaw); }
    bool HasJaw() const { return m_jaw.Get() != nullptr; }
    // The jaw's side; a list without a jaw answers false.
    bool IsUpper() const;

    QvJawLink m_jaw;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// Root of every scene object: a state word, a type code with a kind-of test and
// a versioned binary record.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "core/base/QvTypeCodes.h"

class QvModel;

// Bits of QvObject::m_state. The whole word is stored in the data files, so bits
// without a meaning of their own still travel through a read and a write.
inline constexpr std::uint32_t kQvStateShown = 0x1;
inline constexpr std::uint32_t kQvStateSelected = 0x2;
inline constexpr std::uint32_t kQvStateGizmo = 0x8;
inline constexpr std::uint32_t kQvStateNew = 0x10;
inline constexpr std::uint32_t kQvStateDeleted = 0x1000;
inline constexpr std::uint32_t kQvStateInitial = kQvStateShown | kQvStateNew; // 0x11

class QvObject
{
public:
    QvObject() = default;
    QvObject(const QvObject& other) = default;
    QvObject& operator=(const QvObject& other) = default;
    virtual ~QvObject() = default;

    virtual QvTypeCode GetType() const;
    // True for the class's own code and the codes of all its bases.
    virtual bool IsKindOf(QvTypeCode code) const;

    // m_state as 4 bytes; the version does not change the form.
    virtual std::ostream& Write(std::ostream& os, int version) const;
    // False when the stream runs short; m_state is then unchanged.
    [[nodiscard]] virtual bool Read(std::istream& is, int version, QvModel* model);

    void SetVisible(bool on) { SetStateBits(kQvStateShown, on); }
    void SetSelected(bool on) { SetStateBits(kQvStateSelected, on); }
    void SetGizmoFlag(bool on) { SetStateBits(kQvStateGizmo, on); }
    void SetDeleted(bool on) { SetStateBits(kQvStateDeleted, on); }
    void SetStateBits(std::uint32_t mask, bool on)
    {
        if (on)
            m_state |= mask;
        else
            m_state &= ~mask;
    }

    std::uint32_t m_state = kQvStateInitial;
};

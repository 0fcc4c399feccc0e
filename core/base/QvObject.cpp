// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/QvObject.h"

#include "core/geometry/QvStreamIO.h"

QvTypeCode QvObject::GetType() const { return kQvTypeObject; }

bool QvObject::IsKindOf(QvTypeCode code) const { return code == kQvTypeObject; }

std::ostream& QvObject::Write(std::ostream& os, int) const
{
    qvio::WriteU32(os, m_state);
    return os;
}

bool QvObject::Read(std::istream& is, int, QvModel*) { return qvio::ReadU32(is, m_state); }

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvHingeAxis.h"

QvTypeCode QvHingeAxis::GetType() const { return kQvTypeHingeAxis; }

bool QvHingeAxis::IsKindOf(QvTypeCode code) const { return code == kQvTypeHingeAxis || QvEntity::IsKindOf(code); }

std::ostream& QvHingeAxis::Write(std::ostream& os, int version) const
{
    QvEntity::Write(os, version);
    m_first.Write(os);
    m_second.Write(os);
    return os;
}

bool QvHingeAxis::Read(std::istream& is, int version, QvModel* model)
{
    QvEntity entity(*this);
    QvPoint first;
    QvPoint second;
    if (!entity.Read(is, version, model) || !first.Read(is) || !second.Read(is))
        return false;
    QvEntity::operator=(entity);
    m_first = first;
    m_second = second;
    return true;
}

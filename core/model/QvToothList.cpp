// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvToothList.h"

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModelDetail.h"

QvTypeCode QvToothList::GetType() const { return kQvTypeToothList; }

bool QvToothList::IsKindOf(QvTypeCode code) const { return code == kQvTypeToothList || QvEntity::IsKindOf(code); }

bool QvToothList::IsUpper() const { return m_jaw.Get() && m_jaw.Get()->IsUpper(); }

std::ostream& QvToothList::Write(std::ostream& os, int version) const
{
    QvEntity::Write(os, version);
    qvio::WriteI32(os, GetJaw() ? GetJaw()->GetID() : -1);
    return os;
}

bool QvToothList::Read(std::istream& is, int version, QvModel* model)
{
    QvEntity entity(*this);
    std::int32_t jawId = -1;
    if (!entity.Read(is, version, model) || !qvio::ReadI32(is, jawId))
        return false;
    QvEntity::operator=(entity);
    SetJaw(qvmodel::FindJawById(model, jawId));
    return true;
}

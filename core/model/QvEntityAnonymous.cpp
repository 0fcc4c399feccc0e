// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvEntityAnonymous.h"

QvTypeCode QvEntityAnonymous::GetType() const { return kQvTypeEntityAnonymous; }

bool QvEntityAnonymous::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeEntityAnonymous || QvEntity::IsKindOf(code);
}

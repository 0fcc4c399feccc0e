// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvToothEmbeded.h"

QvTypeCode QvToothEmbeded::GetType() const { return kQvTypeToothEmbeded; }

bool QvToothEmbeded::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeToothEmbeded || QvMesh::IsKindOf(code);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The bare entity an auxiliary drawing object makes for itself so that it can be
// filed and picked like the entities of the case.
#pragma once

#include "core/base/QvEntity.h"

class QvEntityAnonymous : public QvEntity
{
public:
    QvEntityAnonymous() = default;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;
};

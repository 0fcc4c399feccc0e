// SPDX-License-Identifier: GPL-3.0-or-later
// The mesh of an embedded (unerupted) tooth; streams as a plain mesh.
#pragma once

#include "core/mesh/QvMesh.h"

class QvToothEmbeded : public QvMesh
{
public:
    QvToothEmbeded() = default;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;
};

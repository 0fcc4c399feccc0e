// SPDX-License-Identifier: GPL-3.0-or-later
// Cut instruction: a thin tube swept along a curve fitted through the picked
// vertices, open or closed; owned by its attachment.
#pragma once

#include "core/design/QvAttachGeo.h"

class QvAttachGeoCutInstruction : public QvAttachGeo
{
public:
    QvAttachGeoCutInstruction() = default;
    QvAttachGeoCutInstruction(const QvAttachGeoCutInstruction& other) = default;
    ~QvAttachGeoCutInstruction() override = default;

    QvTypeCode GetType() const override { return kQvTypeAttachGeoCutInstruction; }
    bool IsKindOf(QvTypeCode code) const override
    {
        return qvattach::IsKindOfCode(kQvTypeAttachGeoCutInstruction, code);
    }
    int GetKindCode() const override { return kQvAttachKindCutInstruction; }
    bool IsOwnedByAttachment() const override { return true; }

    // Base part, then the maximum vertex count; nothing above 16389.
    std::ostream& Write(std::ostream& os, int version) const override;
    // False when the base part or the count fails.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    // A list one longer than the maximum vertex count closes the path (its last entry
    // is dropped); a closed tube has no caps, an open one has. The parameters are not
    // used. False (mesh unchanged) without tooth, for an empty list or a vertex outside
    // the tooth, when every vertex lies on the crown rim, or when tracing or sweeping fails.
    bool BuildGeometry(QvToothBase* tooth, const std::vector<int>& vertices, const double* params) override;

    std::int32_t m_nMaxVertexCount = 0;
};

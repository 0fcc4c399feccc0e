// SPDX-License-Identifier: GPL-3.0-or-later
// Pressure zone: a rectangular band swept along the surface path through the picked
// vertices; owned by its attachment.
#pragma once

#include "core/design/QvAttachGeo.h"

class QvAttachGeoPressureZone : public QvAttachGeo
{
public:
    QvAttachGeoPressureZone() = default;
    QvAttachGeoPressureZone(const QvAttachGeoPressureZone& other) = default;
    ~QvAttachGeoPressureZone() override = default;

    QvTypeCode GetType() const override { return kQvTypeAttachGeoPressureZone; }
    bool IsKindOf(QvTypeCode code) const override
    {
        return qvattach::IsKindOfCode(kQvTypeAttachGeoPressureZone, code);
    }
    int GetKindCode() const override { return kQvAttachKindPressureZone; }
    bool IsOwnedByAttachment() const override { return true; }

    // Base part, then the maximum vertex count; nothing above 16389.
    std::ostream& Write(std::ostream& os, int version) const override;
    // False when the base part or the count fails.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    // The band of width p0 reaching p1 to one side of the path and p2 to the other,
    // swept with capped ends along the traced path. False (mesh unchanged) without
    // tooth or parameters, for an empty list or a vertex outside the tooth, when every
    // picked vertex lies on the crown rim, or when tracing or sweeping fails.
    bool BuildGeometry(QvToothBase* tooth, const std::vector<int>& vertices, const double* params) override;

    std::int32_t m_nMaxVertexCount = 0;
};

namespace qvattach {
// The maximum vertex count after the base part, shared with the cut instruction.
std::ostream& WriteWithCount(const QvAttachGeo& geo, std::ostream& os, int version, std::int32_t count);
// The picked-vertex checks both surface builds share: every vertex inside the tooth;
// the crown rim (computed when the tooth has none yet) and the anchor, the first
// vertex not on the rim. False when no vertex qualifies.
[[nodiscard]] bool FindBuildAnchor(QvToothBase& tooth, const std::vector<int>& vertices, int& anchor);
} // namespace qvattach

// SPDX-License-Identifier: GPL-3.0-or-later
// Generated attachment shapes: built for each attachment from points picked on its
// tooth, and owned by that attachment. Every failed build leaves the mesh as it was.
#pragma once

#include <memory>

#include "core/design/QvAttachGeo.h"

// A UV sphere: poles on the Z axis, segments - 1 rings of 2 segments vertices,
// outward faces (tag 0) with their normals. Null for fewer than 2 segments.
std::unique_ptr<QvMesh> CreateSphereMesh(const QvPoint& centre, int segments, double radius);

class QvAttachGeoPressureSpot : public QvAttachGeo
{
public:
    QvAttachGeoPressureSpot() = default;
    QvAttachGeoPressureSpot(const QvAttachGeoPressureSpot& other) = default;
    ~QvAttachGeoPressureSpot() override = default;

    QvTypeCode GetType() const override { return kQvTypeAttachGeoPressureSpot; }
    bool IsKindOf(QvTypeCode code) const override
    {
        return qvattach::IsKindOfCode(kQvTypeAttachGeoPressureSpot, code);
    }
    int GetKindCode() const override { return kQvAttachKindPressureSpot; }
    bool IsOwnedByAttachment() const override { return true; }

    // A sphere of radius p0 at the first picked vertex, its centre moved by p2 - p0
    // against the vertex normal. False without tooth or parameters, for an empty list,
    // or when the first vertex is not a vertex of the tooth.
    bool BuildGeometry(QvToothBase* tooth, const std::vector<int>& vertices, const double* params) override;
};

// Mean length of the mesh's edges; false for a mesh without edges.
[[nodiscard]] bool QvMeanEdgeLength(const QvMesh& mesh, double& length);

// SPDX-License-Identifier: GPL-3.0-or-later
// Lays a smooth curve on a mesh through a chain of its vertices. The work happens in the
// mesh's flat copy from the parameterisation cache: the chain's flat positions are
// interpolated there, the curve is followed from face to face, and every vertex it meets
// and every edge it crosses is mapped back onto the real mesh with the same weights.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/geometry/QvPoint.h"

class QvBSplineCurve;
class QvMesh;

// Kinds of QvSurfacePoint.
inline constexpr std::int32_t kQvSurfaceNone = 0;
inline constexpr std::int32_t kQvSurfaceOnVertex = 1;
inline constexpr std::int32_t kQvSurfaceOnEdge = 2;
inline constexpr std::int32_t kQvSurfaceInFace = 3;

// One point on a mesh surface. On a vertex only the element is used; on an edge the first
// and second vertex (the edge's ends, weights adding up to 1); in a face all three
// (barycentric). The 3-D position is the weighted sum of the weighted vertices' positions.
struct QvSurfacePoint
{
    // Flat position while tracing, the 3-D position on the mesh afterwards.
    QvPoint m_point;
    // The vertex, edge or face the point lies on, by kind.
    std::int32_t m_element = -1;
    std::int32_t m_kind = kQvSurfaceNone;
    std::int32_t m_vertex1 = -1;
    double m_weight1 = 0.0;
    std::int32_t m_vertex2 = -1;
    double m_weight2 = 0.0;
    std::int32_t m_vertex3 = -1;
    double m_weight3 = 0.0;
};

class QvSurfaceCurveTracer
{
public:
    // The mesh is not owned and not changed; the chain is copied. Curve fitting is on.
    QvSurfaceCurveTracer(QvMesh* mesh, const std::vector<std::int32_t>& chain);
    ~QvSurfaceCurveTracer();
    QvSurfaceCurveTracer(const QvSurfaceCurveTracer&) = delete;
    QvSurfaceCurveTracer& operator=(const QvSurfaceCurveTracer&) = delete;

    void SetFitCurve(bool fit) { m_bFitCurve = fit; }
    // The whole trace; replaces the samples, the anchor list and the curve. The mesh's flat
    // copy is taken from the cache, which flattens the whole mesh when it has none; the entry
    // must stay cached until Run returns. False without a mesh, for a chain shorter than 2 or
    // with a vertex outside the mesh, without a flat copy, when the chain's flat positions
    // cannot be interpolated, or (fitting on) when no 3-D curve can be made. A segment whose
    // walk cannot be followed contributes what was found before; that is no failure.
    [[nodiscard]] bool Run(bool closed);
    // The fitted curve, owned by the tracer; null without a fit.
    QvBSplineCurve* GetCurve() const { return m_pCurve.get(); }
    const std::vector<QvSurfacePoint>& GetSamples() const { return m_samples; }
    // For each vertex sample, its position among the fitting points.
    const std::vector<std::int32_t>& GetAnchorIndices() const { return m_anchorIndices; }

    // ---- steps of Run, on flat positions ----

    // Appends the vertex samples and the edge crossings of every segment of the chain.
    void TraceSamples(const QvMesh* flat, const std::vector<std::int32_t>& chain, const QvBSplineCurve* curve,
                      std::vector<QvSurfacePoint>& out, bool closed);
    // Fills the weighted vertices of a sample on an edge or in a face from the flat copy in
    // the cache. A sample of those kinds that cannot be weighted (no flat copy, an element
    // outside the mesh, a flat edge of zero length or a flat face of zero area) becomes kind
    // 0, so that Run drops it. Other kinds are left alone. True when weights were set.
    bool ComputeWeights(QvSurfacePoint& sample) const;
    // The face around vertex that holds the curve point at t0 + dt (the offset halved up to
    // five times); t receives the parameter tried last. -1 when none does. Only faces the
    // walk may enter are tried.
    std::int32_t FindStartFace(const QvMesh* flat, const QvBSplineCurve* curve, std::int32_t vertex, double& t,
                               double t0, double dt) const;
    // The first face across one of the face's edges (in side order) that holds the point and
    // that the walk may enter, with that edge.
    bool FindNeighborFace(const QvMesh* flat, const QvPoint& point, std::int32_t face, std::int32_t& outFace,
                          std::int32_t& outEdge) const;
    // Points on an edge or a corner count as inside; so does every point for a face whose
    // flat corners coincide. False without a mesh.
    bool IsPointInFace(const QvMesh* flat, const QvPoint& point, std::int32_t face) const;
    // A face the walk may enter: all corners inside the flattened patch (none at the
    // (-1, -1, -1) of a left-out vertex), a flat area that is not zero, and the winding of
    // the patch (a face outside the patch laid over it winds the other way).
    bool IsWalkableFace(const QvMesh* flat, std::int32_t face) const;

    QvMesh* m_pMesh;
    std::vector<std::int32_t> m_chain;
    std::vector<std::int32_t> m_anchorIndices;
    bool m_bFitCurve = true;
    std::unique_ptr<QvBSplineCurve> m_pCurve;
    std::vector<QvSurfacePoint> m_samples;

private:
    // Winding of the flat patch (+1 or -1) measured by TraceSamples; 0 accepts either.
    int m_winding = 0;
};

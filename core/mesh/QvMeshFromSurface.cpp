// SPDX-License-Identifier: GPL-3.0-or-later
// A grid mesh sampled from a B-spline surface.
#include <cstdint>
#include <limits>
#include <memory>

#include "core/geometry/QvBSplineSurface.h"
#include "core/mesh/QvMesh.h"

std::unique_ptr<QvMesh> QvMesh::CreateFromSurface(const QvBSplineSurface& surface, int nu, int nv, int tag,
                                                  bool closeSeams)
{
    if (nu < 2 || nv < 2)
        return nullptr;
    // A surface whose net and knots disagree has no points to sample: every vertex would sit at the
    // origin under faces of no area.
    if (!surface.CanEvaluate())
        return nullptr;
    // Indices are 32-bit: a grid they cannot number is refused rather than wrapped.
    const std::int64_t vertexCount = static_cast<std::int64_t>(nu) * nv;
    const std::int64_t faceCount = 2 * static_cast<std::int64_t>(nu - 1) * (nv - 1) + 2 * (nu - 1) + 2 * (nv - 1);
    if (faceCount > std::numeric_limits<int>::max() / 2)
        return nullptr;

    auto mesh = std::make_unique<QvMesh>();
    mesh->Reserve(static_cast<int>(vertexCount), static_cast<int>(faceCount), static_cast<int>(faceCount * 3 / 2 + 2));
    for (int i = 0; i < nu; ++i)
    {
        const double u = static_cast<double>(i) / (nu - 1);
        for (int j = 0; j < nv; ++j)
            mesh->AddVertex(surface.Evaluate(u, static_cast<double>(j) / (nv - 1)));
    }
    auto V = [nv](int i, int j) { return i * nv + j; };
    // Faces the mesh refuses are skipped; the rest of the grid stands.
    for (int i = 0; i + 1 < nu; ++i)
        for (int j = 0; j + 1 < nv; ++j)
        {
            static_cast<void>(mesh->AddFace(V(i, j), V(i + 1, j), V(i, j + 1), tag));
            static_cast<void>(mesh->AddFace(V(i + 1, j), V(i + 1, j + 1), V(i, j + 1), tag));
        }

    if (closeSeams)
    {
        if (surface.Evaluate(0.0, 1.0) == surface.Evaluate(1.0, 1.0))
        {
            for (int j = 0; j + 1 < nv; ++j)
            {
                static_cast<void>(mesh->AddFace(V(nu - 1, j), V(0, j), V(nu - 1, j + 1), tag));
                static_cast<void>(mesh->AddFace(V(0, j), V(0, j + 1), V(nu - 1, j + 1), tag));
            }
        }
        if (surface.Evaluate(1.0, 0.0) == surface.Evaluate(1.0, 1.0))
        {
            for (int i = 0; i + 1 < nu; ++i)
            {
                static_cast<void>(mesh->AddFace(V(i, nv - 1), V(i + 1, nv - 1), V(i, 0), tag));
                static_cast<void>(mesh->AddFace(V(i + 1, nv - 1), V(i + 1, 0), V(i, 0), tag));
            }
        }
    }
    mesh->UpdateBBox();
    return mesh;
}

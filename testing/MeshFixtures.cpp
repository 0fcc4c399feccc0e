// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/MeshFixtures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>

namespace qvtest {

namespace {

// Adds the triangle wound so that its normal points away from centre.
void AddOutward(QvMesh& mesh, int a, int b, int c, const QvPoint& centre)
{
    const QvPoint& p0 = mesh.m_vertices[a].m_point;
    const QvPoint& p1 = mesh.m_vertices[b].m_point;
    const QvPoint& p2 = mesh.m_vertices[c].m_point;
    const QvVector n = (p1 - p0).Cross(p2 - p1);
    const QvPoint mid((p0.m_coord[0] + p1.m_coord[0] + p2.m_coord[0]) / 3.0,
                      (p0.m_coord[1] + p1.m_coord[1] + p2.m_coord[1]) / 3.0,
                      (p0.m_coord[2] + p1.m_coord[2] + p2.m_coord[2]) / 3.0);
    const bool outward = n.Dot(mid - centre) > 0.0;
    (void)(outward ? mesh.AddFace(a, b, c, 0) : mesh.AddFace(c, b, a, 0));
}

QvPoint OnSphere(const QvPoint& p, double radius)
{
    QvVector v = p - QvPoint();
    v.Normalize();
    return QvPoint(v[0] * radius, v[1] * radius, v[2] * radius);
}

} // namespace

QvMesh MakeTwoTriangleStrip()
{
    QvMesh mesh;
    mesh.AddVertex(QvPoint(0, 0, 0));
    mesh.AddVertex(QvPoint(1, 0, 0));
    mesh.AddVertex(QvPoint(0, 1, 0));
    mesh.AddVertex(QvPoint(1, 1, 0));
    (void)mesh.AddFace(0, 1, 2, 0);
    (void)mesh.AddFace(2, 1, 3, 0);
    mesh.UpdateFaceNormals();
    return mesh;
}

QvMesh MakeCube(double size)
{
    QvMesh mesh;
    for (int v = 0; v < 8; ++v)
        mesh.AddVertex(QvPoint((v & 1) * size, ((v >> 1) & 1) * size, ((v >> 2) & 1) * size));
    const QvPoint centre(size / 2, size / 2, size / 2);
    // Each side as a quad of corners in cyclic order.
    const int quads[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    for (const auto& q : quads)
    {
        AddOutward(mesh, q[0], q[1], q[2], centre);
        AddOutward(mesh, q[0], q[2], q[3], centre);
    }
    mesh.UpdateFaceNormals();
    return mesh;
}

QvMesh MakeSphere(int levels, double radius)
{
    QvMesh mesh;
    const QvPoint axes[6] = {QvPoint(1, 0, 0), QvPoint(-1, 0, 0), QvPoint(0, 1, 0),
                             QvPoint(0, -1, 0), QvPoint(0, 0, 1),  QvPoint(0, 0, -1)};
    for (const QvPoint& p : axes)
        mesh.AddVertex(OnSphere(p, radius));
    std::vector<std::array<int, 3>> faces;
    for (int sx = 0; sx < 2; ++sx)
        for (int sy = 0; sy < 2; ++sy)
            for (int sz = 0; sz < 2; ++sz)
            {
                const int a = sx, b = 2 + sy, c = 4 + sz;
                // Wind outwards once here; splitting keeps the winding.
                const QvVector n = (mesh.m_vertices[b].m_point - mesh.m_vertices[a].m_point)
                                       .Cross(mesh.m_vertices[c].m_point - mesh.m_vertices[b].m_point);
                const QvVector out = (mesh.m_vertices[a].m_point - QvPoint()) +
                                     (mesh.m_vertices[b].m_point - QvPoint()) +
                                     (mesh.m_vertices[c].m_point - QvPoint());
                faces.push_back(n.Dot(out) > 0 ? std::array<int, 3>{a, b, c} : std::array<int, 3>{c, b, a});
            }
    for (int level = 0; level < levels; ++level)
    {
        std::map<std::pair<int, int>, int> midpoints;
        auto mid = [&](int a, int b) {
            const auto key = std::minmax(a, b);
            const auto found = midpoints.find(key);
            if (found != midpoints.end())
                return found->second;
            const QvPoint& pa = mesh.m_vertices[a].m_point;
            const QvPoint& pb = mesh.m_vertices[b].m_point;
            const int v = mesh.AddVertex(OnSphere((pa + (pb - pa) * 0.5), radius));
            midpoints.emplace(key, v);
            return v;
        };
        std::vector<std::array<int, 3>> split;
        split.reserve(faces.size() * 4);
        for (const auto& f : faces)
        {
            const int ab = mid(f[0], f[1]), bc = mid(f[1], f[2]), ca = mid(f[2], f[0]);
            split.push_back({f[0], ab, ca});
            split.push_back({ab, f[1], bc});
            split.push_back({ca, bc, f[2]});
            split.push_back({ab, bc, ca});
        }
        faces = std::move(split);
    }
    mesh.Reserve(0, static_cast<int>(faces.size()), static_cast<int>(faces.size() * 3 / 2));
    for (const auto& f : faces)
        (void)mesh.AddFace(f[0], f[1], f[2], 0);
    mesh.UpdateFaceNormals();
    return mesh;
}

QvMesh MakeGrid(int nx, int ny, double spacing)
{
    QvMesh mesh;
    mesh.Reserve(nx * ny, 2 * (nx - 1) * (ny - 1), 3 * nx * ny);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            mesh.AddVertex(QvPoint(i * spacing, j * spacing, 0.0));
    for (int j = 0; j + 1 < ny; ++j)
        for (int i = 0; i + 1 < nx; ++i)
        {
            const int v00 = j * nx + i, v10 = v00 + 1, v01 = v00 + nx, v11 = v01 + 1;
            (void)mesh.AddFace(v00, v10, v01, 0);
            (void)mesh.AddFace(v10, v11, v01, 0);
        }
    mesh.UpdateFaceNormals();
    return mesh;
}

QvMesh MakeGridWithIsolated(int nx, int ny, int isolated)
{
    QvMesh mesh = MakeGrid(nx, ny);
    for (int k = 0; k < isolated; ++k)
        mesh.AddVertex(QvPoint(-1.0 - k, -1.0, 0.5));
    return mesh;
}

QvMesh MakeCrown(int levels)
{
    QvMesh mesh = MakeSphere(levels, 1.0);
    for (QvVertex& v : mesh.m_vertices)
    {
        const double x = v.m_point[0], y = v.m_point[1], z = v.m_point[2];
        const double up = std::max(z, 0.0);
        // (x^2 - y^2)^2 is the smooth form of cos^2(2 phi) rho^4: four cusps.
        const double cusps = (x * x - y * y) * (x * x - y * y);
        const double r = 1.0 + 1.2 * cusps * up - 0.25 * up * up * up * up;
        v.m_point = QvPoint(5.0 * r * x, 4.5 * r * y, 4.0 * r * z);
    }
    mesh.UpdateFaceNormals();
    return mesh;
}

QvMesh MakeCrownCap(int rings, int around)
{
    QvMesh mesh;
    // The crown's radial shaping (as in MakeCrown) on a polar grid; below the equator the
    // shaping fades out, so the last ring is a plane ellipse.
    auto place = [](double theta, double phi) {
        const double x = std::sin(theta) * std::cos(phi), y = std::sin(theta) * std::sin(phi);
        const double z = std::cos(theta);
        const double up = std::max(z, 0.0);
        const double cusps = (x * x - y * y) * (x * x - y * y);
        const double r = 1.0 + 1.2 * cusps * up - 0.25 * up * up * up * up;
        return QvPoint(5.0 * r * x, 4.5 * r * y, 4.0 * r * z);
    };
    const double reach = 0.5 * kQvPi + 0.3;
    mesh.Reserve(1 + rings * around, around * (2 * rings - 1), around * (3 * rings));
    mesh.AddVertex(place(0.0, 0.0));
    for (int k = 1; k <= rings; ++k)
        for (int m = 0; m < around; ++m)
            mesh.AddVertex(place(reach * k / rings, kQvTwoPi * m / around));
    auto at = [around](int k, int m) { return 1 + (k - 1) * around + m % around; };
    // (theta, phi) increase down and anticlockwise, so these windings face outwards.
    for (int m = 0; m < around; ++m)
        (void)mesh.AddFace(0, at(1, m), at(1, m + 1), 0);
    for (int k = 1; k < rings; ++k)
        for (int m = 0; m < around; ++m)
        {
            (void)mesh.AddFace(at(k, m), at(k + 1, m), at(k, m + 1), 0);
            (void)mesh.AddFace(at(k, m + 1), at(k + 1, m), at(k + 1, m + 1), 0);
        }
    mesh.UpdateFaceNormals();
    return mesh;
}

QvMesh MakeDisc(int rings, double spacing)
{
    QvMesh mesh;
    mesh.AddVertex(QvPoint());
    std::vector<int> inner{0};
    for (int k = 1; k <= rings; ++k)
    {
        const int nb = 6 * k;
        std::vector<int> outer;
        for (int m = 0; m < nb; ++m)
        {
            const double a = kQvTwoPi * m / nb;
            outer.push_back(mesh.AddVertex(QvPoint(k * spacing * std::cos(a), k * spacing * std::sin(a), 0.0)));
        }
        const int na = static_cast<int>(inner.size());
        if (k == 1)
        {
            for (int j = 0; j < nb; ++j)
                (void)mesh.AddFace(0, outer[j], outer[(j + 1) % nb], 0);
        }
        else
        {
            // Advance along whichever ring has the nearer next angle; both windings come out +z.
            int i = 0, j = 0;
            while (i < na || j < nb)
            {
                const double ti = double(i + 1) / na, tj = double(j + 1) / nb;
                if (j < nb && (i >= na || tj <= ti))
                {
                    (void)mesh.AddFace(inner[i % na], outer[j], outer[(j + 1) % nb], 0);
                    ++j;
                }
                else
                {
                    (void)mesh.AddFace(inner[i % na], outer[j % nb], inner[(i + 1) % na], 0);
                    ++i;
                }
            }
        }
        inner = std::move(outer);
    }
    mesh.UpdateFaceNormals();
    return mesh;
}

QvMesh MakeBand(int around, int rings, double radius)
{
    QvMesh mesh;
    const double step = kQvTwoPi * radius / around;
    mesh.Reserve(around * rings, 2 * around * (rings - 1), 3 * around * rings);
    for (int r = 0; r < rings; ++r)
        for (int i = 0; i < around; ++i)
        {
            const double a = kQvTwoPi * i / around;
            mesh.AddVertex(QvPoint(radius * std::cos(a), radius * std::sin(a), r * step));
        }
    for (int r = 0; r + 1 < rings; ++r)
    {
        const QvPoint axis(0.0, 0.0, (r + 0.5) * step);
        for (int i = 0; i < around; ++i)
        {
            const int a = r * around + i, b = r * around + (i + 1) % around;
            const int c = b + around, d = a + around;
            AddOutward(mesh, a, b, d, axis);
            AddOutward(mesh, b, c, d, axis);
        }
    }
    mesh.UpdateFaceNormals();
    return mesh;
}

QvMesh MakeOpenCrown(int faceCount, int variant)
{
    const int around = std::max(12, static_cast<int>(std::lround(std::sqrt(faceCount * 1.7))));
    const int rings = std::max(2, static_cast<int>(std::lround((double(faceCount) / around + 1.0) / 2.0)));
    const double phase = 0.7 * variant;
    const double size = 0.8 + 0.05 * (variant % 7);
    // The crown shaping of MakeCrownCap; scaled per variant.
    auto place = [size](double theta, double phi) {
        const double x = std::sin(theta) * std::cos(phi), y = std::sin(theta) * std::sin(phi);
        const double z = std::cos(theta);
        const double up = std::max(z, 0.0);
        const double cusps = (x * x - y * y) * (x * x - y * y);
        const double r = size * (1.0 + 1.2 * cusps * up - 0.25 * up * up * up * up);
        return QvPoint(5.0 * r * x, 4.5 * r * y, 4.0 * r * z);
    };
    // Uneven but increasing angles (steps between 0.4 and 1.6 of the mean); every ring
    // shares them, so the rim's spacing carries up the side.
    std::vector<double> phi(around);
    for (int m = 0; m < around; ++m)
        phi[m] = kQvTwoPi * (m + 0.3 * std::sin(1.7 * m + phase)) / around;
    // Lowest reach between the teeth, highest mid-crown: the scallop of a gum line.
    auto reach = [phase](double angle) { return 0.5 * kQvPi + 0.35 + 0.2 * std::cos(2.0 * angle + 0.3 * phase); };

    QvMesh mesh;
    mesh.Reserve(1 + rings * around, around * (2 * rings - 1), around * (3 * rings));
    mesh.AddVertex(place(0.0, 0.0));
    for (int k = 1; k <= rings; ++k)
        for (int m = 0; m < around; ++m)
            mesh.AddVertex(place(reach(phi[m]) * k / rings, phi[m]));
    auto at = [around](int k, int m) { return 1 + (k - 1) * around + m % around; };
    for (int m = 0; m < around; ++m)
        (void)mesh.AddFace(0, at(1, m), at(1, m + 1), 0);
    for (int k = 1; k < rings; ++k)
        for (int m = 0; m < around; ++m)
        {
            (void)mesh.AddFace(at(k, m), at(k + 1, m), at(k, m + 1), 0);
            (void)mesh.AddFace(at(k, m + 1), at(k + 1, m), at(k + 1, m + 1), 0);
        }
    mesh.UpdateFaceNormals();
    return mesh;
}

} // namespace qvtest

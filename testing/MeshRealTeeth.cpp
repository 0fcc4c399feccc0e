// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/MeshRealTeeth.h"

#include "core/mesh/QvStlCorners.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>

#include "core/geometry/QvPlane.h"

namespace qvtest {

namespace {

constexpr double kCrownHeight = 8.0;    // tip to gum line, mm
constexpr double kCuspDepth = 0.8;      // tip to the cut across the cusps, mm
constexpr double kScallop = 1.0;        // rise and fall of a scalloped rim, mm
constexpr double kNoise = 0.02;         // scan noise, mm

bool IsUpper(int number) { return number >= 1 && number <= 16; }

// Deterministic noise in [-1, 1].
double Noise(std::uint64_t& state)
{
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / static_cast<double>(1ULL << 52) - 1.0;
}

// Height along the crown direction (crown tip highest) and the angle around the tooth.
struct ToothAxes
{
    double sign = 1.0; // +1: crown towards +z
    double cx = 0.0;
    double cy = 0.0;
    double tip = 0.0;

    double Height(const QvPoint& p) const { return sign * p[2]; }
    double Angle(const QvPoint& p) const { return std::atan2(p[1] - cy, p[0] - cx); }
};

ToothAxes AxesOf(int number, const QvMesh& tooth)
{
    ToothAxes axes;
    axes.sign = IsUpper(number) ? -1.0 : 1.0;
    axes.tip = -1e300;
    for (const QvVertex& v : tooth.m_vertices)
    {
        axes.cx += v.m_point[0];
        axes.cy += v.m_point[1];
        axes.tip = std::max(axes.tip, axes.Height(v.m_point));
    }
    axes.cx /= static_cast<double>(tooth.m_vertices.size());
    axes.cy /= static_cast<double>(tooth.m_vertices.size());
    return axes;
}

// Shifts every vertex along z by the rim's scallop, so that a plane cut of the shifted
// mesh is a scalloped cut of the real one; `back` undoes it.
void Shear(QvMesh& mesh, const ToothAxes& axes, double amplitude)
{
    for (int v = 0; v < static_cast<int>(mesh.m_vertices.size()); ++v)
    {
        QvPoint p = mesh.m_vertices[v].m_point;
        p[2] -= axes.sign * amplitude * std::cos(2.0 * axes.Angle(p));
        (void)mesh.SetVertexPosition(v, p);
    }
}

// Keeps the part whose height is at least h (up) or at most h (!up).
void CutAtHeight(QvMesh& mesh, const ToothAxes& axes, double h, bool up, QvMesh* removed)
{
    const double s = up ? axes.sign : -axes.sign;
    mesh.CutByPlane(QvPlane(QvPoint(axes.cx, axes.cy, axes.sign * h), QvVector(0.0, 0.0, s)), removed);
}

// Boundary loops lying on the height h.
std::vector<std::vector<int>> LoopsAtHeight(const QvMesh& mesh, const ToothAxes& axes, double h)
{
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    std::vector<std::vector<int>> out;
    for (auto& loop : loops)
        if (loop.size() >= 3 && std::abs(axes.Height(mesh.m_vertices[loop[0]].m_point) - h) < 1e-6)
            out.push_back(std::move(loop));
    return out;
}

void AddNoise(QvMesh& mesh, std::uint64_t seed)
{
    for (int v = 0; v < static_cast<int>(mesh.m_vertices.size()); ++v)
    {
        QvPoint p = mesh.m_vertices[v].m_point;
        for (int k = 0; k < 3; ++k)
            p[k] += kNoise * Noise(seed);
        (void)mesh.SetVertexPosition(v, p);
    }
}

} // namespace

std::vector<std::string> RealToothFiles()
{
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(RIVELA_REAL_TEETH_DIR, ec))
        if (entry.path().extension() == ".stl")
            out.push_back(entry.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

bool ReadBinaryStl(const std::string& path, QvMesh& mesh)
{
    std::vector<QvPoint> corners;
    if (!QvReadBinaryStlCorners(path, corners))
        return false;
    mesh.Clear();
    std::map<std::array<double, 3>, int> welded;
    for (std::size_t c = 0; c + 2 < corners.size(); c += 3)
    {
        int face[3];
        for (int k = 0; k < 3; ++k)
        {
            const QvPoint& p = corners[c + k];
            const auto [it, added] = welded.emplace(std::array<double, 3>{p[0], p[1], p[2]}, static_cast<int>(mesh.m_vertices.size()));
            if (added)
                mesh.AddVertex(p);
            face[k] = it->second;
        }
        (void)mesh.AddFace(face, kQvFaceTagPlain);
    }
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
    return true;
}

const std::vector<int>& RealToothNumbers()
{
    static const std::vector<int> numbers{3, 4, 5, 6, 7, 8, 9, 10, 29, 30};
    return numbers;
}

bool LoadRealTooth(int number, QvMesh& mesh)
{
    return ReadBinaryStl(std::string(RIVELA_REAL_TEETH_DIR) + "/tooth_" + std::to_string(number) + ".stl", mesh);
}

std::vector<QvRealHole> CutRealTooth(int number, QvRealCut cut, double band)
{
    std::vector<QvRealHole> holes;
    QvMesh tooth;
    if (!LoadRealTooth(number, tooth))
        return holes;
    const ToothAxes axes = AxesOf(number, tooth);
    const bool scalloped = cut == QvRealCut::Scalloped;
    const double h = cut == QvRealCut::Cusps ? axes.tip - kCuspDepth : axes.tip - kCrownHeight;
    // Gum-line cuts keep the crown (above h), cusp cuts the root side (below h).
    const bool keepUp = cut != QvRealCut::Cusps;

    // Noise first, as a scan's surface carries it, then the cut with its slivers.
    if (scalloped)
    {
        AddNoise(tooth, 0x5eedULL + static_cast<std::uint64_t>(number));
        Shear(tooth, axes, kScallop);
    }
    QvMesh removed;
    CutAtHeight(tooth, axes, h, keepUp, &removed);
    CutAtHeight(tooth, axes, keepUp ? h + band : h - band, !keepUp, nullptr);
    CutAtHeight(removed, axes, keepUp ? h - band : h + band, keepUp, nullptr);
    std::vector<std::vector<int>> loops = LoopsAtHeight(tooth, axes, h);
    if (scalloped)
    {
        Shear(tooth, axes, -kScallop);
        Shear(removed, axes, -kScallop);
    }
    tooth.UpdateFaceNormals();
    tooth.UpdateBBox();
    removed.UpdateFaceNormals();

    static const char* const kCutNames[] = {"gum", "cusps", "scallop"};
    for (std::size_t i = 0; i < loops.size(); ++i)
    {
        QvRealHole hole;
        hole.name = "tooth" + std::to_string(number) + "_" + kCutNames[static_cast<int>(cut)] +
                    (loops.size() > 1 ? "_" + std::to_string(i) : std::string());
        hole.mesh = tooth;
        hole.loop = loops[i];
        hole.removed = removed;
        holes.push_back(std::move(hole));
    }
    return holes;
}

std::vector<QvRealCrown> RealCrowns(int number)
{
    std::vector<QvRealCrown> crowns;
    QvMesh whole;
    if (!LoadRealTooth(number, whole))
        return crowns;
    const ToothAxes axes = AxesOf(number, whole);
    for (const bool scalloped : {false, true})
    {
        QvMesh tooth = whole;
        const double h = axes.tip - kCrownHeight;
        if (scalloped)
        {
            AddNoise(tooth, 0xc0ffeeULL + static_cast<std::uint64_t>(number));
            Shear(tooth, axes, kScallop);
        }
        CutAtHeight(tooth, axes, h, true, nullptr);
        if (scalloped)
            Shear(tooth, axes, -kScallop);
        tooth.UpdateFaceNormals();
        tooth.UpdateBBox();
        QvRealCrown crown;
        crown.name = "tooth" + std::to_string(number) + (scalloped ? "_scallop" : "_gum");
        crown.mesh = std::move(tooth);
        crown.axis = QvVector(0.0, 0.0, -axes.sign);
        crowns.push_back(std::move(crown));
    }
    return crowns;
}

} // namespace qvtest

// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/MeshRealTeeth.h"

#include "core/mesh/QvStlCorners.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <queue>
#include <utility>

#include "core/geometry/QvPlane.h"

namespace qvtest {

namespace {

constexpr double kCrownHeight = 8.0;    // tip to gum line, mm
constexpr double kScallop = 1.0;        // rise and fall of a scalloped rim, mm
constexpr double kCuspScallop = 0.2;    // the same across the cusps, mm
constexpr double kNoise = 0.02;         // scan noise, mm
constexpr double kPunchBand = 3.0;      // crown kept around a punched hole, mm

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

std::array<QvPoint, 3> TriangleOf(const QvMesh& mesh, int f)
{
    const std::int32_t* v = mesh.m_faces[f].m_vertices;
    return {mesh.m_vertices[v[0]].m_point, mesh.m_vertices[v[1]].m_point, mesh.m_vertices[v[2]].m_point};
}

QvPoint Centroid(const std::array<QvPoint, 3>& t)
{
    QvPoint c = t[0];
    c += t[1];
    c += t[2];
    return c / 3.0;
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

std::vector<QvRealHole> CutRealTooth(int number, QvRealCut cut, double band, double cuspDepth)
{
    std::vector<QvRealHole> holes;
    QvMesh tooth;
    if (!LoadRealTooth(number, tooth))
        return holes;
    const ToothAxes axes = AxesOf(number, tooth);
    const bool cusps = cut == QvRealCut::Cusps || cut == QvRealCut::NoisyCusps;
    const bool scalloped = cut == QvRealCut::Scalloped || cut == QvRealCut::NoisyCusps;
    const double scallop = cusps ? kCuspScallop : kScallop;
    const double h = cusps ? axes.tip - cuspDepth : axes.tip - kCrownHeight;
    // Gum-line cuts keep the crown (above h), cusp cuts the root side (below h).
    const bool keepUp = !cusps;

    // Noise first, as a scan's surface carries it, then the cut with its slivers.
    if (scalloped)
    {
        AddNoise(tooth, 0x5eedULL + static_cast<std::uint64_t>(number));
        Shear(tooth, axes, scallop);
    }
    QvMesh removed;
    CutAtHeight(tooth, axes, h, keepUp, &removed);
    CutAtHeight(tooth, axes, keepUp ? h + band : h - band, !keepUp, nullptr);
    CutAtHeight(removed, axes, keepUp ? h - band : h + band, keepUp, nullptr);
    std::vector<std::vector<int>> loops = LoopsAtHeight(tooth, axes, h);
    if (scalloped)
    {
        Shear(tooth, axes, -scallop);
        Shear(removed, axes, -scallop);
    }
    tooth.UpdateFaceNormals();
    tooth.UpdateBBox();
    removed.UpdateFaceNormals();

    static const char* const kCutNames[] = {"gum", "cusps", "scallop", "noisy_cusps"};
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


// A disc grown face by face by distance from the seed: a face sharing one side with the
// disc and bringing a fresh apex adds a boundary vertex, one filling a notch (two sides
// shared) removes one, so the count is met exactly. Faces at an existing hole are
// passed over, so that two holes never merge.
bool PunchHole(QvMesh& mesh, const QvVector& up, int boundary, std::vector<std::array<QvPoint, 3>>& removed)
{
    const int faceCount = static_cast<int>(mesh.m_faces.size());
    int seed = -1;
    double best = -1e300;
    for (int f = 0; f < faceCount; ++f)
    {
        const QvPoint c = Centroid(TriangleOf(mesh, f));
        const double z = up.Dot(QvVector(c[0], c[1], c[2]));
        if (z > best)
        {
            best = z;
            seed = f;
        }
    }
    const auto touchesHole = [&mesh](int f) {
        for (const int v : mesh.m_faces[f].m_vertices)
            if (mesh.IsBoundaryVertex(v))
                return true;
        return false;
    };
    if (seed == -1 || boundary < 3 || touchesHole(seed))
        return false;
    const QvPoint origin = Centroid(TriangleOf(mesh, seed));
    std::vector<char> inRegion(faceCount, 0);
    std::vector<int> facesAt(mesh.m_vertices.size(), 0);
    std::vector<int> region;
    using Entry = std::pair<double, int>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> candidates;
    const auto take = [&](int f) {
        inRegion[f] = 1;
        region.push_back(f);
        for (const int v : mesh.m_faces[f].m_vertices)
            ++facesAt[v];
        for (const int e : mesh.m_faces[f].m_edges)
        {
            const int g = mesh.m_edges[e].GetOtherFace(f);
            if (g != -1 && !inRegion[g])
                candidates.emplace(Centroid(TriangleOf(mesh, g)).Distance(origin), g);
        }
    };
    take(seed);
    int count = 3;
    while (count != boundary)
    {
        if (candidates.empty())
            return false;
        const int c = candidates.top().second;
        candidates.pop();
        if (inRegion[c] || touchesHole(c))
            continue;
        int shared = 0;
        int apex = -1;
        const QvFace& face = mesh.m_faces[c];
        for (const int e : face.m_edges)
        {
            const QvEdge& side = mesh.m_edges[e];
            const int g = side.GetOtherFace(c);
            if (g != -1 && inRegion[g])
            {
                ++shared;
                apex = face.GetThirdVertex(side.m_vertices[0], side.m_vertices[1]);
            }
        }
        if (shared == 1)
        {
            if (facesAt[apex] != 0)
                continue;
            ++count;
        }
        else if (shared == 2)
            --count;
        else
            continue;
        take(c);
    }
    std::sort(region.begin(), region.end(), std::greater<int>());
    for (const int f : region)
    {
        removed.push_back(TriangleOf(mesh, f));
        mesh.RemoveFace(f, true);
    }
    return true;
}


QvRealHole PunchRealTooth(int number, int boundary)
{
    QvRealHole hole;
    QvMesh tooth;
    if (!LoadRealTooth(number, tooth))
        return hole;
    const ToothAxes axes = AxesOf(number, tooth);
    CutAtHeight(tooth, axes, axes.tip - kPunchBand, true, nullptr);
    std::vector<std::array<QvPoint, 3>> removed;
    if (!PunchHole(tooth, QvVector(0.0, 0.0, axes.sign), boundary, removed))
        return hole;
    std::vector<std::vector<int>> loops;
    tooth.GetBoundaryLoops(loops);
    for (std::vector<int>& loop : loops)
        if (static_cast<int>(loop.size()) == boundary &&
            axes.Height(tooth.m_vertices[loop[0]].m_point) > axes.tip - kPunchBand + 1e-6)
            hole.loop = std::move(loop);
    if (hole.loop.empty())
        return hole;
    for (const std::array<QvPoint, 3>& t : removed)
    {
        int corners[3];
        for (int k = 0; k < 3; ++k)
            corners[k] = hole.removed.AddVertex(t[k]);
        (void)hole.removed.AddFace(corners, kQvFaceTagPlain);
    }
    tooth.UpdateFaceNormals();
    tooth.UpdateBBox();
    hole.name = "tooth" + std::to_string(number) + "_punch_" + std::to_string(boundary);
    hole.mesh = std::move(tooth);
    return hole;
}

} // namespace qvtest

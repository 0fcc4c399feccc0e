// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/MeshRealTeeth.h"

#include "core/mesh/QvStlCorners.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>

namespace qvtest {

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

} // namespace qvtest

// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/MeshRealTeeth.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
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
    std::ifstream in(path, std::ios::binary);
    char header[80];
    std::uint32_t count = 0;
    if (!in.read(header, sizeof header) || !in.read(reinterpret_cast<char*>(&count), sizeof count))
        return false;
    mesh.Clear();
    std::map<std::array<float, 3>, int> welded;
    for (std::uint32_t t = 0; t < count; ++t)
    {
        char record[50];
        if (!in.read(record, sizeof record))
            return false;
        int corners[3];
        for (int k = 0; k < 3; ++k)
        {
            std::array<float, 3> p;
            std::memcpy(p.data(), record + 12 + 12 * k, 12);
            const auto [it, added] = welded.emplace(p, static_cast<int>(mesh.m_vertices.size()));
            if (added)
                mesh.AddVertex(QvPoint(p[0], p[1], p[2]));
            corners[k] = it->second;
        }
        (void)mesh.AddFace(corners, kQvFaceTagPlain);
    }
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
    return true;
}

} // namespace qvtest

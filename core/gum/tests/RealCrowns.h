// SPDX-License-Identifier: GPL-3.0-or-later
// Eight real upper crowns, first molar to lateral incisor, cut from whole CT teeth at
// their cervical level, with FDI numbers and upright frames.
#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/model/QvTooth.h"
#include "testing/MeshRealTeeth.h"

namespace qvtest {

// Empty when the real teeth are not on this machine or cannot be read.
inline std::vector<std::unique_ptr<QvTooth>> RealUpperCrowns()
{
    std::vector<std::unique_ptr<QvTooth>> teeth;
    const std::vector<std::string> files = RealToothFiles();
    if (files.empty())
        return teeth;
    const std::string folder = files.front().substr(0, files.front().find_last_of('/') + 1);
    const int universal[] = {3, 4, 5, 6, 7, 8, 9, 10};
    const int fdi[] = {16, 15, 14, 13, 12, 11, 21, 22};
    for (int i = 0; i < 8; ++i)
    {
        auto tooth = std::make_unique<QvTooth>();
        if (!ReadBinaryStl(folder + "tooth_" + std::to_string(universal[i]) + ".stl", *tooth))
            return {};
        tooth->SetFdi(fdi[i]);
        double zmin = 1e300, zmax = -1e300;
        for (const QvVertex& v : tooth->m_vertices)
        {
            zmin = std::fmin(zmin, v.m_point[2]);
            zmax = std::fmax(zmax, v.m_point[2]);
        }
        // Upper crowns point down: keep the crown below its cervical level.
        tooth->CutByPlane(QvPlane(QvPoint(0, 0, zmin + 0.4 * (zmax - zmin)), QvVector(0, 0, -1)), nullptr);
        tooth->RemoveIsolatedVertices();
        tooth->SetFrame(QvFrame(tooth->GetCenter(), QvVector(1, 0, 0), QvVector(0, 1, 0)));
        teeth.push_back(std::move(tooth));
    }
    return teeth;
}

} // namespace qvtest

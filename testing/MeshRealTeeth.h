// SPDX-License-Identifier: GPL-3.0-or-later
// The real tooth meshes of the shared test data (binary STL, crown and root of each):
// geometry no generator makes, for the tests that read meshes.
#pragma once

#include <string>
#include <vector>

#include "core/mesh/QvMesh.h"

namespace qvtest {

// Paths of the STL files of the real-teeth folder, sorted; empty when the folder is not
// on this machine (the tests that need them then skip).
std::vector<std::string> RealToothFiles();

// Reads a binary STL into mesh: corners welded where their coordinates are equal, faces
// added in file order (those insertion refuses dropped), normals computed. False when
// the file cannot be read or runs short.
[[nodiscard]] bool ReadBinaryStl(const std::string& path, QvMesh& mesh);

} // namespace qvtest

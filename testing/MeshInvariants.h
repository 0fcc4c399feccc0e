// SPDX-License-Identifier: GPL-3.0-or-later
// Full consistency check of a mesh's cross-references, for tests of every operation
// that edits a mesh: run it after the edit and expect no violation.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "core/mesh/QvMesh.h"

namespace qvtest {

// Empty when the mesh keeps every invariant, otherwise a description of the first
// violation found:
// - element i of each vector has m_index i;
// - each vertex lists exactly its incident edges, each once;
// - every edge has two different valid ends, a first face, and a second face that is
//   -1 or another valid face; the faces it names list it as a side;
// - every face has three different valid corners and three different sides whose ends
//   are corners of the face, and each side names the face;
// - no two edges join the same pair of vertices.
std::string FindMeshInvariantViolation(const QvMesh& mesh);

// For EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh)).
::testing::AssertionResult MeshInvariantsHold(const QvMesh& mesh);

// True when every edge with two faces is run in opposite directions by them.
bool IsConsistentlyOriented(const QvMesh& mesh);

} // namespace qvtest

// SPDX-License-Identifier: GPL-3.0-or-later
// A generated case for the file tests and benchmarks: both jaws with 28 permanent
// teeth along two arches, gums, jaw bones, hinge axis, airway, reference planes and
// patient information. Sizes are chosen per call, from a few hundred faces a crown up
// to models of the size the planning service delivers.
#pragma once

#include <cstddef>
#include <vector>

class QvModel;

namespace qvtest {

struct CaseOptions
{
    // The teeth to make; empty: the 28 of CaseFdis.
    std::vector<int> fdis;
    // Crown caps of 1 + rings x around vertices and around x (2 rings - 1) faces.
    int crownRings = 6;
    int crownAround = 16;
    // Gums and jaw bones are bands around the arch; the airway a tube behind it.
    int gumAround = 48;
    int gumRings = 6;
    int boneAround = 40;
    int boneRings = 8;
    int airwayAround = 16;
    int airwayRings = 10;
    bool withBones = true;
    bool withHinge = true;
    bool withAirway = true;
    bool withPlanes = true;
    // A real root on the first molars, reference data (one feature point) on the incisors.
    bool withRoots = true;
    bool withToothRefs = true;
};

// 11 to 17, 21 to 27, 31 to 37, 41 to 47.
std::vector<int> CaseFdis();

// Fills an empty model: jaws, teeth, gums, then the optional parts. Every entity is
// added through QvModel::AddEntity and so carries a fresh id.
void FillCase(QvModel& model, const CaseOptions& options = CaseOptions());

// Faces of every mesh the model holds (teeth with their roots, gums, jaw bones, airway).
std::size_t CountCaseFaces(const QvModel& model);

} // namespace qvtest

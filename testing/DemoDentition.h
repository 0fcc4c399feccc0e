// SPDX-License-Identifier: GPL-3.0-or-later
// A generated dentition for tests, benchmarks and the demo case: crowns shaped by
// tooth kind (incisal edge, canine tip, premolar and molar cusps, a flatter labial face,
// a cervical rim) at realistic mesio-distal widths, on two arches, with jaws, gum
// bands, jaw bones, a hinge axis, the jaw reference set and per-tooth reference data.
//
// World axes: +x to the patient's right, +y anterior, +z superior. Jaw frames: X
// anterior, Z from the crowns towards the jaw's base, Y = Z x X (the patient's left
// for the upper jaw, the right for the lower), origin on the jaw's occlusal plane.
// Tooth frames: Z from crown to root, X mesial, Y = Z x X (lingual in quadrants 1
// and 3, buccal in 2 and 4), origin mid-crown.
//
// Every tooth is shaped in its own crown frame (x along the arch, y labial, z towards
// the occlusal plane, origin at the centre of the cervical rim) and placed by a pose:
// the aligned arch position carried through a crowding offset. The meshes stand at the
// crowded pose; a scheme moves them to the aligned one (DemoCase).
//
// Deterministic: the same options give the same model, ids included once the entity
// counter is reset (GenerateDentition does that).
#pragma once

#include <cstdint>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPoint.h"

class QvMesh;
class QvModel;

namespace qvtest {

struct DentitionOptions
{
    // Third molars as well (32 teeth).
    bool thirtyTwo = false;
    // Deciduous canines (53, 63, 73, 83) in place of the permanent ones.
    bool deciduousCanines = false;
    // About this many faces per crown (roots add to it).
    int facesPerTooth = 5000;
    // Crowding pattern.
    std::uint32_t seed = 1;
    // Scale of the crowding offsets (0: the aligned arch).
    double crowding = 1.0;
};

// How a tooth stands off its aligned position: along its labial axis (mm), turned
// about its long axis and tipped about its mesio-distal axis (radians).
struct CrowdOffset
{
    double labial = 0.0;
    double rotation = 0.0;
    double tip = 0.0;
};

struct DentitionTooth
{
    int fdi = 0;
    double width = 0.0;   // mesio-distal
    double height = 0.0;  // crown, cervical rim to cusp tips
    bool withRoot = false; // root faces tagged 4
    QvMatrix aligned;     // crown frame -> world, aligned arch
    CrowdOffset offset;   // initial crowding
};

// Mesio-distal width for a permanent or deciduous FDI number; 0 for an unknown one.
double ToothWidth(int fdi);

// The teeth of the options in arch order per quadrant (11..17, 21.., 31.., 41..).
std::vector<DentitionTooth> PlanDentition(const DentitionOptions& options);

// The crown (and root when withRoot) of a tooth in its crown frame. The last ring of
// crown faces is the cervical rim; root faces carry tag 4.
QvMesh MakeToothMesh(int fdi, int facesPerTooth, bool withRoot);

// Pose at treatment progress t (0 crowded, 1 aligned, beyond 1 over-corrected).
QvMatrix ToothPose(const DentitionTooth& tooth, double t);

// Fills an empty model: jaws, teeth at the crowded pose (with frames and reference
// data), gums, jaw bones, hinge axis, jaw reference set. Resets the entity counter
// first so that ids repeat from run to run.
void GenerateDentition(QvModel& model, const DentitionOptions& options);

// 4 x 4 helpers shared with the scheme builder.
QvMatrix Identity4();
QvMatrix Translation4(double x, double y, double z);
// Rigid inverse of a rotation-and-translation 4 x 4 matrix.
QvMatrix RigidInverse(const QvMatrix& m);

} // namespace qvtest

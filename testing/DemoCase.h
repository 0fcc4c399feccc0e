// SPDX-License-Identifier: GPL-3.0-or-later
// The demo case: the generated dentition, a treatment scheme that aligns the crowded
// arches, declared contacts between neighbours, and the case files written through the
// system's own writers (with damaged variants for the reader tests).
//
// Scheme layout for N steps (N >= 10): F = N - 4 is the upper final step, K = F / 2
// the upper key step, F + 1 .. F + 3 over-correction (the last of type 6). The lower
// teeth finish at FL = F - 2; lists FL + 1 and FL + 2 are bite lists whose jaw matrix
// advances the lower jaw (0.5 then 1.0 mm), filled by QvScheme::AddBiteSteps.
//
// Tooth 25 is extracted at the start and a pontic (a virtual tooth with the crown of
// 25) takes its place and its movement. Attachments from the generated template
// library sit on a few teeth between given steps.
//
// Contacts: at named steps named neighbours are set to a known signed clearance by
// moving the second tooth along the horizontal line between the two crown centres.
// The clearance of crowns A and B (both placed): over every vertex of one crown and
// every triangle of the other, both ways, the distance d to the triangle and the side
// (sign of (vertex - nearest point) . triangle normal). Vertices on the inner side
// with d < 2 mm give the depth (the largest such d); the value is -depth when there is
// one, else the smallest d (the gap).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/design/QvAttachGeo.h"
#include "core/design/QvBracketGeo.h"
#include "core/model/QvFileVersion.h"
#include "testing/DemoDentition.h"

class QvModel;
class QvScheme;
class QvVirtualTooth;

namespace qvtest {

struct DemoOptions
{
    DentitionOptions dentition;
    int steps = 30;
    // The date the generated files carry (headers, saved targets), whatever day it is.
    QvDate date{2024, 3, 7};
};

// Faces per crown of a named preset ("5k", "20k", "50k"); 0 for any other name.
int DemoFacesPreset(const std::string& name);

struct DemoAttachment
{
    int fdi = 0;
    std::string geometry; // template name
    int firstStep = 0;
    int lastStep = 0;
};

struct DemoContact
{
    int step = 0;
    int fdiA = 0;
    int fdiB = 0;
    bool overlap = false;
    double amount = 0.0; // overlap depth or gap width, mm
};

struct DemoCase
{
    std::unique_ptr<QvModel> model;
    QvScheme* scheme = nullptr; // the current scheme of the model's manager
    int finalStep = 0;
    int keyStep = 0;
    int lowerFinalStep = 0;
    std::vector<DemoContact> contacts;
    int extractedFdi = 0;
    QvVirtualTooth* pontic = nullptr; // owned by the scheme
    std::vector<DemoAttachment> attachments;
};

// The attachment templates of the demo library (fixed shapes, shared by every
// attachment that uses them), each with the template-file version it is written in.
struct DemoTemplate
{
    std::unique_ptr<QvAttachGeo> geo;
    int version = 0;
};
std::vector<DemoTemplate> MakeDemoTemplates();
// The one bracket series, code "DEMO": a body per tooth of the dentition.
std::unique_ptr<QvBracketGeoSeries> MakeDemoBracketSeries(const DentitionOptions& options);

// Builds the model and its scheme "default". False when the step count is below 10.
// Adds the demo templates the attachment library (QvAttachGeoMgr::Instance()) lacks:
// the attachments use them, so the library must outlive the case.
[[nodiscard]] bool BuildDemoCase(DemoCase& demo, const DemoOptions& options);

// Signed clearance (see above) of two meshes, each placed by a 4 x 4 matrix.
double DemoClearance(const QvMesh& a, const QvMatrix& placeA, const QvMesh& b, const QvMatrix& placeB);

// Where a tooth stands at a step: its step matrix (the initial step when none).
QvMatrix DemoStepMatrix(const QvScheme& scheme, const QvMesh* tooth, int step);

// The manifest: one contact a line, "contact STEP FDI_A FDI_B overlap|gap AMOUNT",
// after a few "key value" lines; written with the "C" locale.
std::string DemoManifest(const DemoCase& demo, const DemoOptions& options);

// The files, into folder (created when missing):
//   demo.OS        case document 0x413 (with the scheme)
//   demo-model.zip one entry "DEMO-0001/demo.DM", dental model 0x806
//   demo-1.RVS     scheme file 0x2007 with the scheme
//   demo-3.RVS     scheme file 0x2007 with it and two copies
//   Attachment/    one ATT template file per demo template, "<name>.ATT"
//   BKT/DEMO.bkt   the packed bracket series (BKT file packed by QvCompress)
//   manifest.txt   DemoManifest
//   corrupt/       damaged variants, listed in corrupt/README.txt with the code each
//                  reader answers
// Everything is dated options.date (QvSetFixedDate while writing), so that one seed
// gives the same bytes every day.
// False with a message when a file cannot be written.
[[nodiscard]] bool WriteDemoFiles(const std::string& folder, DemoCase& demo, const DemoOptions& options,
                                  std::string* error);

} // namespace qvtest

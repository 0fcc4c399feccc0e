// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/CaseFixtures.h"

#include <cmath>
#include <memory>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvMatrix.h"
#include "core/model/QvAirway.h"
#include "core/model/QvGum.h"
#include "core/model/QvHingeAxis.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvRoot.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"
#include "testing/MeshFixtures.h"

namespace qvtest {

namespace {

// A 4 x 4 placement: rotation about z by yaw, optionally turned upside down (about x),
// then moved to at.
QvMatrix Placement(double yaw, bool upsideDown, const QvPoint& at)
{
    QvMatrix turn(QvVector(0.0, 0.0, 1.0), yaw);
    if (upsideDown)
        turn = turn * QvMatrix(QvVector(1.0, 0.0, 0.0), kQvPi);
    QvMatrix m(4, 4);
    m.SetIdentity();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = turn[i][j];
    m[0][3] = at.m_coord[0];
    m[1][3] = at.m_coord[1];
    m[2][3] = at.m_coord[2];
    return m;
}

// Where a tooth stands: along a parabolic arch, right side (quadrants 1 and 4) at
// negative x, crowns meeting at z = 0.
QvPoint ArchPoint(int fdi, double* yaw)
{
    const int quadrant = fdi / 10;
    const int unit = fdi % 10;
    const double side = (quadrant == 1 || quadrant == 4) ? -1.0 : 1.0;
    const double x = side * (unit - 0.5) * 5.5;
    const double y = -0.012 * x * x * 6.0;
    const bool upper = quadrant == 1 || quadrant == 2;
    *yaw = std::atan(-0.144 * x);
    return QvPoint(x, y, upper ? 5.0 : -5.0);
}

void AddMesh(QvMesh& target, const QvMesh& source, const QvMatrix& placement)
{
    target.CopyMeshData(source);
    target.Transform(placement);
    target.UpdateFaceNormals();
    target.UpdateBBox();
}

} // namespace

std::vector<int> CaseFdis()
{
    std::vector<int> fdis;
    for (int quadrant = 1; quadrant <= 4; ++quadrant)
        for (int unit = 1; unit <= 7; ++unit)
            fdis.push_back(quadrant * 10 + unit);
    return fdis;
}

void FillCase(QvModel& model, const CaseOptions& options)
{
    if (QvPatientInfo* info = model.GetPatientInfo())
    {
        info->m_text1 = "generated case";
        info->m_text2 = "M";
        info->m_text3 = "2024-03-07";
        info->m_nPlan = 2;
        info->m_title = "C2024-0001";
    }

    QvJaw* jaws[2] = {new QvJaw(), new QvJaw()};
    for (int i = 0; i < 2; ++i)
    {
        jaws[i]->SetUpper(i == 0);
        jaws[i]->SetFrame(QvFrame(QvPoint(0.0, -10.0, i == 0 ? 5.0 : -5.0), QvVector(1.0, 0.0, 0.0),
                                  QvVector(0.0, 1.0, 0.0)));
        model.AddEntity(jaws[i]);
    }

    const QvMesh crown = MakeCrownCap(options.crownRings, options.crownAround);
    const QvMesh rootShape = MakeCrownCap(3, 8);
    for (const int fdi : options.fdis.empty() ? CaseFdis() : options.fdis)
    {
        double yaw = 0.0;
        const QvPoint at = ArchPoint(fdi, &yaw);
        const bool upper = fdi < 30;
        auto* tooth = new QvTooth();
        tooth->SetFdi(fdi);
        tooth->SetState(fdi % 10 == 7 ? kQvToothStateI : kQvToothOrdinary);
        tooth->SetJaw(jaws[upper ? 0 : 1]);
        AddMesh(*tooth, crown, Placement(yaw, upper, at));
        tooth->SetFrame(QvFrame(at, QvVector(std::cos(yaw), std::sin(yaw), 0.0),
                                QvVector(-std::sin(yaw), std::cos(yaw), 0.0)));
        if (options.withRoots && fdi % 10 == 6)
        {
            auto* root = new QvRoot(tooth);
            const QvPoint below(at.m_coord[0], at.m_coord[1], at.m_coord[2] + (upper ? 8.0 : -8.0));
            AddMesh(*root, rootShape, Placement(yaw, !upper, below));
            root->m_nValue = 3;
            tooth->SetRoot(root);
        }
        if (options.withToothRefs && fdi % 10 == 1)
        {
            auto* ref = new QvToothRef(tooth);
            QvFeaturePoint point(0);
            point.m_nKey = 1;
            point.m_position = tooth->m_vertices[0].m_point;
            ref->m_featurePoints.push_back(point);
            tooth->SetToothRef(ref);
        }
        model.AddEntity(tooth);
    }

    for (int i = 0; i < 2; ++i)
    {
        auto* gum = new QvGum();
        gum->SetJaw(jaws[i]);
        AddMesh(*gum, MakeBand(options.gumAround, options.gumRings, 22.0),
                Placement(0.0, i == 0, QvPoint(0.0, -15.0, i == 0 ? 12.0 : -12.0)));
        model.AddEntity(gum);
    }

    if (options.withBones)
        for (int i = 0; i < 2; ++i)
        {
            auto* bone = new QvJawBone();
            bone->SetUpper(i == 0);
            AddMesh(*bone, MakeBand(options.boneAround, options.boneRings, 28.0),
                    Placement(0.3, i == 0, QvPoint(0.0, -20.0, i == 0 ? 20.0 : -20.0)));
            bone->m_matrix[0][3] = i == 0 ? 1.5 : -1.5;
            model.AddEntity(bone);
        }

    if (options.withHinge)
    {
        auto* hinge = new QvHingeAxis();
        hinge->m_first = QvPoint(-50.0, -70.0, 8.0);
        hinge->m_second = QvPoint(50.0, -70.0, 8.0);
        hinge->m_bbox.Set(hinge->m_first, hinge->m_second);
        model.AddEntity(hinge);
    }

    if (options.withAirway)
    {
        auto* airway = new QvAirway();
        AddMesh(*airway, MakeBand(options.airwayAround, options.airwayRings, 6.0),
                Placement(0.0, false, QvPoint(0.0, -60.0, -30.0)));
        airway->m_frame = QvFrame(QvPoint(0.0, -60.0, -30.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
        const std::unique_ptr<QvBSplineCurve> curve(QvBSplineCurve::Interpolate(
            {QvPoint(0.0, -60.0, -30.0), QvPoint(0.0, -61.0, -20.0), QvPoint(0.0, -60.0, -10.0),
             QvPoint(0.0, -58.0, 0.0)},
            false));
        if (curve)
            airway->m_curve = *curve;
        model.AddEntity(airway);
    }

    if (options.withPlanes && model.GetJawRef())
    {
        const QvFrame mid(QvPoint(0.0, -40.0, -20.0), QvVector(0.0, 1.0, 0.0), QvVector(0.0, 0.0, 1.0));
        model.GetJawRef()->SetMiddlePlane(mid, {QvPoint(0.0, 0.0, 0.0), QvPoint(0.0, -30.0, 0.0)}, 60.0);
        const QvFrame beauty(QvPoint(-30.0, 20.0, -40.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 0.2, 1.0));
        model.GetJawRef()->SetBeautyPlane(
            beauty,
            {QvPoint(10.0, 5.0, 0.0), QvPoint(12.0, 40.0, 0.0), QvPoint(0.0, 18.0, 9.0), QvPoint(0.0, 16.0, -30.0)},
            {QvPoint(0.0, 14.0, 2.0), QvPoint(0.0, 13.0, -6.0)}, 60.0);
    }
}

std::size_t CountCaseFaces(const QvModel& model)
{
    std::size_t faces = 0;
    for (const std::vector<QvEntity*>* list : {&model.m_teeth, &model.m_gums, &model.m_jawBones})
        for (const QvEntity* entity : *list)
            faces += static_cast<const QvMesh*>(entity)->m_faces.size();
    for (const QvEntity* entity : model.m_teeth)
        if (const QvRoot* root = static_cast<const QvTooth*>(entity)->GetRoot())
            faces += root->m_faces.size();
    if (model.GetAirway())
        faces += model.GetAirway()->m_faces.size();
    return faces;
}

} // namespace qvtest

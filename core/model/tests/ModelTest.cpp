// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "core/model/QvEntityAnonymous.h"
#include "core/model/QvGum.h"
#include "core/model/QvHingeAxis.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvModel.h"
#include "core/model/QvRoot.h"
#include "core/model/QvToothEmbeded.h"
#include "core/model/QvToothList.h"
#include "core/model/QvVirtualTooth.h"
#include "ModelFixtures.h"

namespace {

using qvmodeltest::NewJaw;
using qvmodeltest::NewTooth;

class Model : public ::testing::Test
{
protected:
    void SetUp() override { QvEntity::SetNextId(100); }
    void TearDown() override
    {
        QvEntity::SetNextId(100);
        QvResetImageMeasureOps();
    }

    std::vector<int> Fdis() const
    {
        std::vector<int> out;
        for (const QvEntity* e : model.m_teeth)
            out.push_back(static_cast<const QvTooth*>(e)->GetFdi());
        return out;
    }

    QvModel model;
};

// A scheme manager whose current scheme has extracted the listed teeth.
class FakeSchemes : public QvModelSchemes
{
public:
    explicit FakeSchemes(std::set<const QvTooth*> extracted, int* clears = nullptr)
        : m_extracted(std::move(extracted)), m_clears(clears)
    {
    }
    void Clear() override
    {
        if (m_clears)
            ++*m_clears;
    }
    bool IsExtractedInCurrentScheme(const QvTooth* tooth) const override { return m_extracted.count(tooth) != 0; }
    void AppendCurrentVirtualTeeth(std::vector<QvEntity*>& out) const override
    {
        out.insert(out.end(), m_virtual.begin(), m_virtual.end());
    }

    std::set<const QvTooth*> m_extracted;
    std::vector<QvEntity*> m_virtual;
    int* m_clears;
};

TEST_F(Model, AddEntityFilesByTypeCodeAndRegistersFirstIdOnly)
{
    QvTooth* tooth = NewTooth(11);
    tooth->SetID(500);
    QvJaw* jaw = NewJaw(true);
    jaw->SetID(500);
    auto* gum = new QvGum();
    auto* bone = new QvJawBone();
    auto* mesh = new QvMesh();
    auto* embedded = new QvToothEmbeded();
    auto* list = new QvToothList();
    QvEntityAnonymous anonymous;
    QvVirtualTooth pontic;
    QvEntity plain; // code 2: no list

    for (QvEntity* e : std::initializer_list<QvEntity*>{tooth, jaw, gum, bone, mesh, embedded, list, &anonymous,
                                                        &pontic, &plain})
        model.AddEntity(e);
    EXPECT_EQ(model.m_teeth, std::vector<QvEntity*>{tooth});
    EXPECT_EQ(model.m_jaws, std::vector<QvEntity*>{jaw});
    EXPECT_EQ(model.m_gums, std::vector<QvEntity*>{gum});
    EXPECT_EQ(model.m_jawBones, std::vector<QvEntity*>{bone});
    EXPECT_EQ(model.m_meshes, std::vector<QvEntity*>{mesh});
    EXPECT_EQ(model.m_embeddedTeeth, std::vector<QvEntity*>{embedded});
    EXPECT_EQ(model.m_toothLists, std::vector<QvEntity*>{list});
    EXPECT_EQ(model.m_anonymous, std::vector<QvEntity*>{&anonymous});
    EXPECT_EQ(model.m_virtualTeeth, std::vector<QvEntity*>{&pontic});
    EXPECT_EQ(model.FindEntity(500), tooth); // the jaw came second
    EXPECT_EQ(model.FindEntity(plain.GetID()), &plain);

    // Listed twice an entity would be deleted twice: a second add changes nothing.
    model.AddEntity(tooth);
    EXPECT_EQ(model.m_teeth.size(), 1u);

    std::vector<QvEntity*> all;
    model.GetAllEntities(all);
    EXPECT_EQ(all.size(), 8u); // neither the tooth list nor the plain entity
    EXPECT_EQ(all.front(), tooth);

    model.Clear(false);
    EXPECT_TRUE(model.m_virtualTeeth.empty());
    EXPECT_EQ(model.m_anonymous.size(), 1u); // left as it is
    EXPECT_EQ(model.FindEntity(500), nullptr);
}

TEST_F(Model, ModelBoxGrowsByAddingAndIsRecomputedFromTheEntities)
{
    auto* mesh = new QvMesh();
    mesh->CopyMeshData(qvtest::MakeCube(2.0));
    auto* axis = new QvHingeAxis();
    axis->m_bbox.Set(QvPoint(-1.0, -1.0, -1.0), QvPoint(0.0, 0.0, 0.0));
    model.AddEntity(mesh);
    model.AddEntity(axis);
    EXPECT_TRUE(model.m_bbox.m_minPoint == QvPoint(-1.0, -1.0, -1.0));
    EXPECT_TRUE(model.m_bbox.m_maxPoint == QvPoint(2.0, 2.0, 2.0));

    mesh->m_bbox.Set(QvPoint(0.0, 0.0, 0.0), QvPoint(1.0, 1.0, 1.0));
    model.UpdateBBox();
    EXPECT_TRUE(model.m_bbox.m_maxPoint == QvPoint(1.0, 1.0, 1.0));

    model.Clear(true);
    EXPECT_TRUE(model.m_bbox.m_maxPoint == QvPoint(0.0, 0.0, 0.0));
    EXPECT_EQ(model.GetHingeAxis(), nullptr);
}

TEST_F(Model, SecondHingeAxisReplacesTheFirst)
{
    auto* first = new QvHingeAxis();
    const int firstId = first->GetID();
    model.AddEntity(first);
    auto* second = new QvHingeAxis();
    model.AddEntity(second); // deletes the first (ASan checks nobody touches it again)
    EXPECT_EQ(model.GetHingeAxis(), second);
    EXPECT_EQ(model.FindEntity(firstId), nullptr);
    model.AddEntity(second); // the present axis again: kept, not deleted
    EXPECT_EQ(model.GetHingeAxis(), second);

    const int secondId = second->GetID();
    model.RemoveEntity(secondId, true);
    EXPECT_EQ(model.GetHingeAxis(), nullptr);
    EXPECT_EQ(model.FindEntity(secondId), nullptr);
}

TEST_F(Model, RemoveEntityTakesOutOnlyTheRegisteredObject)
{
    QvTooth* first = NewTooth(11);
    first->SetID(7);
    QvTooth* twin = NewTooth(12);
    twin->SetID(7); // same id, stands in the list but not in the map
    model.AddEntity(twin);
    model.AddEntity(first);
    ASSERT_EQ(model.FindEntity(7), twin);

    model.RemoveEntity(12345, true); // unknown: nothing
    EXPECT_EQ(model.m_teeth.size(), 2u);

    model.RemoveEntity(7, true);
    EXPECT_EQ(model.m_teeth, std::vector<QvEntity*>{first});
    EXPECT_EQ(model.FindEntity(7), nullptr);

    // Not destroyed: the caller owns it again.
    auto* gum = new QvGum();
    model.AddEntity(gum);
    model.RemoveEntity(gum->GetID(), false);
    EXPECT_TRUE(model.m_gums.empty());
    delete gum;

    // An entity whose code has no list is only unregistered.
    QvEntity plain;
    model.AddEntity(&plain);
    model.RemoveEntity(plain.GetID(), true);
    EXPECT_EQ(model.FindEntity(plain.GetID()), nullptr);
}

TEST_F(Model, RemovingAJawTakesItsListsAndGumsAndLeavesNoPartBoundToIt)
{
    QvJaw* upper = NewJaw(true);
    QvJaw* lower = NewJaw(false);
    model.AddEntity(upper);
    model.AddEntity(lower);
    auto* upperList = new QvToothList();
    upperList->SetJaw(upper);
    model.AddEntity(upperList);
    auto* upperGum = new QvGum();
    upperGum->SetJaw(upper);
    auto* lowerGum = new QvGum();
    lowerGum->SetJaw(lower);
    model.AddEntity(upperGum);
    model.AddEntity(lowerGum);
    QvTooth* t11 = NewTooth(11, 1, upper);
    QvTooth* t21 = NewTooth(21, 1, upper);
    QvTooth* t31 = NewTooth(31, 1, lower);
    QvTooth* t41 = NewTooth(41, 1, lower);
    for (QvTooth* t : {t11, t21, t31, t41})
        model.AddEntity(t);
    QvVirtualTooth pontic; // owned by a scheme, listed by the model
    pontic.SetJaw(lower);
    model.AddEntity(&pontic);
    const int t11Id = t11->GetID();

    // The upper jaw has a tooth list: its teeth go with it.
    model.RemoveEntity(upper->GetID(), true);
    EXPECT_EQ(model.m_jaws, std::vector<QvEntity*>{lower});
    EXPECT_TRUE(model.m_toothLists.empty());
    EXPECT_EQ(model.m_gums, std::vector<QvEntity*>{lowerGum});
    EXPECT_EQ(Fdis(), (std::vector<int>{31, 41}));
    EXPECT_EQ(model.FindEntity(t11Id), nullptr);
    EXPECT_EQ(model.GetGum(true), nullptr);
    EXPECT_EQ(model.GetGum(false), lowerGum);

    // The lower jaw has none: its teeth stay, unbound, and answer by quadrant.
    model.RemoveEntity(lower->GetID(), true);
    EXPECT_TRUE(model.m_jaws.empty());
    EXPECT_TRUE(model.m_gums.empty());
    ASSERT_EQ(model.m_teeth.size(), 2u);
    EXPECT_EQ(t31->GetJaw(), nullptr);
    EXPECT_EQ(t41->GetJaw(), nullptr);
    EXPECT_FALSE(t31->IsUpper());
    EXPECT_EQ(pontic.GetJaw(), nullptr);
    model.RemoveEntity(pontic.GetID(), false);
}

TEST_F(Model, RemovingAJawWithoutDestroyingItStillUnbindsItsParts)
{
    QvJaw* jaw = NewJaw(false);
    model.AddEntity(jaw);
    QvTooth* tooth = NewTooth(36, 1, jaw);
    model.AddEntity(tooth);
    model.RemoveEntity(jaw->GetID(), false);
    EXPECT_EQ(tooth->GetJaw(), nullptr);
    EXPECT_EQ(model.GetJaw(false), nullptr);
    delete jaw;
}

TEST_F(Model, ToothListTakesOnlyTheTeethOfItsJaw)
{
    QvJaw* jaw = NewJaw(true);
    model.AddEntity(jaw);
    model.AddEntity(NewTooth(11, 1, jaw));
    model.AddEntity(NewTooth(31)); // no jaw
    auto* orphanList = new QvToothList();
    model.AddEntity(orphanList);
    model.RemoveEntity(orphanList->GetID(), true); // a list without jaw names no teeth
    EXPECT_EQ(Fdis(), (std::vector<int>{11, 31}));

    auto* list = new QvToothList();
    list->SetJaw(jaw);
    model.AddEntity(list);
    EXPECT_EQ(model.GetToothList(true), list);
    model.RemoveEntity(list->GetID(), true);
    EXPECT_EQ(Fdis(), (std::vector<int>{31}));
    EXPECT_EQ(model.m_jaws.size(), 1u);
}

TEST_F(Model, MarkDeletedCascadesFromJawsAndLists)
{
    QvJaw* jaw = NewJaw(true);
    model.AddEntity(jaw);
    auto* list = new QvToothList();
    list->SetJaw(jaw);
    auto* gum = new QvGum();
    gum->SetJaw(jaw);
    QvTooth* tooth = NewTooth(11, 1, jaw);
    QvTooth* other = NewTooth(31);
    auto* bone = new QvJawBone();
    for (QvEntity* e : std::initializer_list<QvEntity*>{list, gum, tooth, other, bone})
        model.AddEntity(e);

    model.MarkDeleted(jaw->GetID(), true);
    for (const QvEntity* e : std::initializer_list<const QvEntity*>{jaw, list, gum, tooth})
        EXPECT_NE(e->m_state & kQvStateDeleted, 0u);
    EXPECT_EQ(other->m_state & kQvStateDeleted, 0u);
    model.MarkDeleted(bone->GetID(), true);
    EXPECT_EQ(bone->m_state & kQvStateDeleted, 0u);

    EXPECT_TRUE(QvModel::HasUndeletedTooth(model.m_teeth));
    model.MarkDeleted(other->GetID(), true);
    EXPECT_FALSE(QvModel::HasUndeletedTooth(model.m_teeth));
    EXPECT_TRUE(QvModel::UndeletedTeethHaveValidFdi(model.m_teeth));
}

TEST_F(Model, SortTeethInArchOrder)
{
    for (const int fdi : {11, 21, 31, 41, 18, 28, 38, 48})
        model.AddEntity(NewTooth(fdi));
    model.SortTeeth();
    EXPECT_EQ(Fdis(), (std::vector<int>{18, 11, 21, 28, 48, 41, 31, 38}));
}

TEST_F(Model, ToothAtPositionPrefersDeciduousAndSkipsExcludedTeeth)
{
    QvTooth* permanent = NewTooth(13);
    QvTooth* deciduous = NewTooth(53);
    model.AddEntity(permanent);
    model.AddEntity(deciduous);
    model.AddEntity(NewTooth(44, kQvToothNotMeasured));
    EXPECT_EQ(model.FindToothAtPosition(13), deciduous);
    EXPECT_EQ(model.FindToothAtPosition(44), nullptr);
    EXPECT_EQ(model.FindToothAtPosition(53), nullptr); // positions are permanent numbers

    deciduous->SetState(kQvToothExtracted);
    EXPECT_EQ(model.FindToothAtPosition(13), permanent);

    deciduous->SetState(kQvToothOrdinary);
    model.SetSchemes(std::make_unique<FakeSchemes>(std::set<const QvTooth*>{deciduous}));
    EXPECT_EQ(model.FindToothAtPosition(13), permanent);
    model.SetSchemes(std::make_unique<FakeSchemes>(std::set<const QvTooth*>{deciduous, permanent}));
    EXPECT_EQ(model.FindToothAtPosition(13), nullptr);
}

TEST_F(Model, LookupsByNumberStateSideAndNeighbour)
{
    QvJaw* lower = NewJaw(false);
    model.AddEntity(lower);
    auto* bone = new QvJawBone();
    bone->SetUpper(false);
    model.AddEntity(bone);
    QvTooth* a = NewTooth(11, 2);
    QvTooth* b = NewTooth(11, 5);
    QvTooth* c = NewTooth(13);
    QvTooth* d = NewTooth(51);
    QvTooth* e = NewTooth(46);
    for (QvTooth* t : {a, b, c, d, e})
        model.AddEntity(t);

    EXPECT_EQ(model.FindTooth(11), a);
    EXPECT_EQ(model.FindToothInState(11, 5), b);
    EXPECT_EQ(model.FindToothInState(11, 1), nullptr);
    EXPECT_EQ(model.GetJaw(false), lower);
    EXPECT_EQ(model.GetJaw(true), nullptr);
    EXPECT_EQ(model.GetJawBone(false), bone);
    EXPECT_EQ(model.GetJawBone(true), nullptr);

    // Upper table ... 61, 51, 11, 52, 12, 53, 13 ...: towards its start from 13 the
    // nearest present tooth is 11 (12, 53 and 52 are missing); the other way none.
    EXPECT_EQ(model.FindArchNeighbour(c, true), a);
    EXPECT_EQ(model.FindArchNeighbour(d, false), a);
    EXPECT_EQ(model.FindArchNeighbour(d, true), nullptr);
    EXPECT_EQ(model.FindArchNeighbour(e, true), nullptr);

    std::vector<QvTooth*> sameNumber;
    QvModel::CollectTeethByFdi({a, b, c}, 11, sameNumber);
    EXPECT_EQ(sameNumber, (std::vector<QvTooth*>{a, b}));

    // Deciduous 51 stands in for the first permanent 11.
    const std::vector<QvTooth*> preferred = model.GetTeethPreferringDeciduous();
    EXPECT_EQ(preferred, (std::vector<QvTooth*>{b, c, d, e}));
}

TEST_F(Model, FindsTheMeshHoldingAnElement)
{
    auto* mesh = new QvMesh();
    mesh->CopyMeshData(qvtest::MakeTwoTriangleStrip());
    QvTooth* tooth = NewTooth(11);
    tooth->CopyMeshData(qvtest::MakeCube());
    model.AddEntity(mesh);
    model.AddEntity(tooth);
    EXPECT_EQ(model.FindMeshOfVertex(&tooth->m_vertices[3]), tooth);
    EXPECT_EQ(model.FindMeshOfEdge(&mesh->m_edges[0]), mesh);
    EXPECT_EQ(model.FindMeshOfFace(&tooth->m_faces[11]), tooth);

    QvVertex stray = mesh->m_vertices[1]; // same index, not the same object
    EXPECT_EQ(model.FindMeshOfVertex(&stray), nullptr);
    stray.m_index = -1;
    EXPECT_EQ(model.FindMeshOfVertex(&stray), nullptr);
    stray.m_index = 1000;
    EXPECT_EQ(model.FindMeshOfVertex(&stray), nullptr);
}

TEST_F(Model, AllMeshesIncludeRealRootsAndTheCurrentSchemesVirtualTeeth)
{
    QvTooth* tooth = NewTooth(11);
    tooth->SetRoot(new QvRoot());
    model.AddEntity(tooth);
    model.AddEntity(new QvJawBone());
    QvVirtualTooth pontic;
    auto schemes = std::make_unique<FakeSchemes>(std::set<const QvTooth*>{});
    schemes->m_virtual.push_back(&pontic);
    model.SetSchemes(std::move(schemes));
    std::vector<QvEntity*> meshes;
    model.GetAllMeshes(meshes);
    ASSERT_EQ(meshes.size(), 4u);
    EXPECT_EQ(meshes[1], tooth->GetRoot());
    EXPECT_EQ(meshes[3], &pontic);
}

// Image measures stand behind installed operations; these fakes count what happens.
struct FakeMeasure
{
    int type;
    int kind;
    bool flag;
};
int g_destroyed = 0;
int g_referenceClears = 0;

QvImageMeasure* AsMeasure(FakeMeasure* m) { return reinterpret_cast<QvImageMeasure*>(m); }
FakeMeasure* AsFake(const QvImageMeasure* m) { return reinterpret_cast<FakeMeasure*>(const_cast<QvImageMeasure*>(m)); }

QvImageMeasureOps FakeOps()
{
    QvImageMeasureOps ops;
    ops.create = [](int type) { return AsMeasure(new FakeMeasure{type, type == 1 ? 3 : 5, false}); };
    ops.destroy = [](QvImageMeasure* m) {
        ++g_destroyed;
        delete AsFake(m);
    };
    ops.getType = [](const QvImageMeasure* m) { return AsFake(m)->type; };
    ops.getImageKind = [](const QvImageMeasure* m) { return AsFake(m)->kind; };
    ops.getFlag = [](const QvImageMeasure* m) { return AsFake(m)->flag; };
    ops.setFlag = [](QvImageMeasure* m, bool f) { AsFake(m)->flag = f; };
    ops.clearImageReferences = [] { ++g_referenceClears; };
    return ops;
}

TEST_F(Model, ImageMeasuresThroughInstalledOperations)
{
    EXPECT_EQ(model.CreateImageMeasure(1, false), nullptr); // nothing installed yet
    QvImageMeasureOps partial = FakeOps();
    partial.destroy = nullptr;
    EXPECT_FALSE(QvSetImageMeasureOps(partial));
    ASSERT_TRUE(QvSetImageMeasureOps(FakeOps()));
    g_destroyed = 0;
    g_referenceClears = 0;

    QvImageMeasure* ceph = model.CreateImageMeasure(1, false);
    QvImageMeasure* cephCopy = model.CreateImageMeasure(1, true);
    QvImageMeasure* pan = model.CreateImageMeasure(5, false);
    EXPECT_EQ(model.FindImageMeasure(1, false), ceph);
    EXPECT_EQ(model.FindImageMeasure(1, true), cephCopy);
    EXPECT_EQ(model.FindImageMeasure(2, false), nullptr);

    std::vector<QvImageMeasure*> found;
    model.GetImageMeasures(0, found, false);
    EXPECT_TRUE(found.empty());
    model.GetImageMeasures(5, found, false);
    EXPECT_EQ(found, std::vector<QvImageMeasure*>{pan});

    EXPECT_EQ(model.DetachImageMeasure(0, false), nullptr);
    QvImageMeasure* detached = model.DetachImageMeasure(1, true);
    EXPECT_EQ(detached, cephCopy);
    EXPECT_EQ(model.m_imageMeasures.size(), 2u);
    QvGetImageMeasureOps().destroy(detached);

    model.Clear(true); // keeps image data
    EXPECT_EQ(model.m_imageMeasures.size(), 2u);
    model.Clear(false);
    EXPECT_TRUE(model.m_imageMeasures.empty());
    EXPECT_EQ(g_destroyed, 3);
    EXPECT_EQ(g_referenceClears, 1);
}

TEST_F(Model, ClearEmptiesEverythingAndClearsSchemesFirst)
{
    int clears = 0;
    model.SetSchemes(std::make_unique<FakeSchemes>(std::set<const QvTooth*>{}, &clears));
    QvJaw* jaw = NewJaw(true);
    model.AddEntity(jaw);
    model.AddEntity(NewTooth(11, 1, jaw));
    auto* gum = new QvGum();
    gum->SetJaw(jaw);
    model.AddEntity(gum);
    model.AddEntity(new QvToothEmbeded());
    model.AddEntity(new QvHingeAxis());

    const int jawId = jaw->GetID();
    model.ClearExceptJaws();
    EXPECT_EQ(clears, 1);
    EXPECT_TRUE(model.m_teeth.empty() && model.m_gums.empty() && model.m_embeddedTeeth.empty());
    EXPECT_EQ(model.GetHingeAxis(), nullptr);
    EXPECT_EQ(model.FindEntity(jaw->GetID()), jaw);

    model.Clear(false);
    EXPECT_EQ(clears, 2);
    EXPECT_TRUE(model.m_jaws.empty());
    EXPECT_EQ(model.FindEntity(jawId), nullptr);
    EXPECT_NE(model.GetJawRef(), nullptr);
    model.SetSchemes(nullptr); // before the counter above goes out of scope
    EXPECT_EQ(clears, 3);
}

} // namespace

namespace {

// Case records whose classes the model does not see are cleared and deleted through
// what their installer supplied.
struct FakeRecord
{
    int clears = 0;
};
int g_recordsDeleted = 0;
int g_recordClears = 0;

TEST(ModelRecords, InstalledRecordsAreClearedWithTheModelAndDeletedWithIt)
{
    g_recordsDeleted = 0;
    g_recordClears = 0;
    {
        QvModel model;
        model.m_patientInfo.Install(
            reinterpret_cast<QvPatientInfo*>(new FakeRecord),
            [](QvPatientInfo* p) {
                ++g_recordsDeleted;
                delete reinterpret_cast<FakeRecord*>(p);
            },
            [](QvPatientInfo*) { ++g_recordClears; });
        model.m_pointSet.Install(
            reinterpret_cast<QvModelPointSet*>(new FakeRecord),
            [](QvModelPointSet* p) {
                ++g_recordsDeleted;
                delete reinterpret_cast<FakeRecord*>(p);
            },
            [](QvModelPointSet*) { ++g_recordClears; });
        model.Clear(true); // patient information only
        EXPECT_EQ(g_recordClears, 1);
        model.ClearPatientInfo();
        EXPECT_EQ(g_recordClears, 2);
        model.Clear(false); // both
        EXPECT_EQ(g_recordClears, 4);
        EXPECT_EQ(g_recordsDeleted, 0);
    }
    EXPECT_EQ(g_recordsDeleted, 2);
}

} // namespace

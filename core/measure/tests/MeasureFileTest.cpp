// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>

#include "core/geometry/QvStreamIO.h"
#include "core/measure/QvMeasureFile.h"
#include "core/measure/QvModelPointRecords.h"
#include "core/measure/tests/MeasureTestSupport.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/tests/ScratchFolder.h"

namespace {

using namespace qvmeasuretest;

const int kRVMVersions[] = {0x8001, 0x8002, 0x8003, 0x8004, 0x8005};

class MeasureFile : public MeasureTest
{
protected:
    void SetUp() override
    {
        MeasureTest::SetUp();
        QvRegisterImageMeasures();
    }
};

void SetReferences(int seed)
{
    std::vector<QvImageReference>& refs = GetImageReferences();
    refs.clear();
    for (const int kind : {11, 2, 1})
    {
        QvImageReference ref;
        ref.m_nImageKind = kind;
        ref.m_keyPoints = Landmarks(kind == 2 ? 3 : 2, seed, 0.01 * kind);
        refs.push_back(ref);
    }
}

std::vector<QvImageReference> References() { return GetImageReferences(); }

void ExpectSameReferences(const std::vector<QvImageReference>& a, const std::vector<QvImageReference>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        EXPECT_EQ(a[i].m_nImageKind, b[i].m_nImageKind);
        ExpectSameKeyPoints(a[i].m_keyPoints, b[i].m_keyPoints);
    }
}

void ExpectSamePlane(const QvRefPlane* a, const QvRefPlane* b)
{
    ASSERT_EQ(a == nullptr, b == nullptr);
    if (!a)
        return;
    EXPECT_TRUE(a->m_frame == b->m_frame);
    EXPECT_EQ(a->m_dSize, b->m_dSize);
    ASSERT_EQ(a->m_points.size(), b->m_points.size());
    for (std::size_t i = 0; i < a->m_points.size(); ++i)
        ExpectSamePoint(a->m_points[i], b->m_points[i]);
}

std::vector<QvPoint> SomePoints(int count, double seed)
{
    std::vector<QvPoint> points;
    for (int i = 0; i < count; ++i)
        points.emplace_back(seed + i, seed * 2 - i, 0.5 * i);
    return points;
}

// A model with one measure of every kind (and a plain one), both reference planes and
// every point record filled.
void FillMeasureModel(QvModel& model, double seed)
{
    for (const int code : AllCodes())
        model.m_imageMeasures.push_back(MakeFilled(code, seed).release());
    const QvFrame frame(QvPoint(1, 2, 3), QvVector(1, 0, 0), QvVector(0, 0, 1));
    model.GetJawRef()->SetMiddlePlane(frame, SomePoints(3, seed), 40.0);
    model.GetJawRef()->SetBeautyPlane(frame, SomePoints(4, seed + 1), SomePoints(2, seed + 2), 30.0);
    QvInstallPointRecords(model);
    QvModelPointSet& set = *model.m_pointSet.Get();
    set.m_points = SomePoints(3, seed);
    set.m_attributes = {{1, 0.5}, {2, 1.5}, {-3, 2.5}};
    std::unique_ptr<QvBSplineCurve> curve(QvBSplineCurve::Interpolate(SomePoints(5, seed + 0.5), false));
    set.SetCurve(curve.get());
    model.m_pointLists.Get()->SetPoints(true, SomePoints(2, seed));
    model.m_pointLists.Get()->SetPoints(false, SomePoints(4, seed));
    model.m_pointListsEx.Get()->SetPoints(true, SomePoints(1, seed));
    model.m_pointListsEx.Get()->SetValue(true, 7.25);
    model.m_pointListsEx.Get()->SetValue(false, -1.5);
}

void ExpectSamePoints(const std::vector<QvPoint>& a, const std::vector<QvPoint>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        ExpectSamePoint(a[i], b[i]);
}

// What a body of the version carries of source is what back holds.
void ExpectSameBody(const QvModel& source, const QvModel& back, int version)
{
    ASSERT_EQ(back.m_imageMeasures.size(), source.m_imageMeasures.size());
    for (std::size_t i = 0; i < source.m_imageMeasures.size(); ++i)
    {
        SCOPED_TRACE(i);
        ExpectStoredEqual(*source.m_imageMeasures[i], *back.m_imageMeasures[i], version);
    }
    ExpectSamePlane(source.GetJawRef()->m_pMiddlePlane, back.GetJawRef()->m_pMiddlePlane);
    ExpectSamePlane(source.GetJawRef()->m_pBeautyPlane, back.GetJawRef()->m_pBeautyPlane);
    ExpectSamePoints(source.GetJawRef()->m_pBeautyPlane->m_lipPoints, back.GetJawRef()->m_pBeautyPlane->m_lipPoints);

    const QvModelPointSet& a = *source.m_pointSet.Get();
    const QvModelPointSet* b = back.m_pointSet.Get();
    ASSERT_NE(b, nullptr);
    ExpectSamePoints(a.m_points, b->m_points);
    EXPECT_EQ(a.m_attributes, b->m_attributes);
    // The curve is stored from 0x8003 on.
    ASSERT_EQ(b->m_pCurve != nullptr, version >= 0x8003);
    if (b->m_pCurve)
        ExpectSamePoints(a.m_pCurve->m_ctrlPoints, b->m_pCurve->m_ctrlPoints);

    const QvModelPointLists& lists = *back.m_pointLists.Get();
    EXPECT_EQ(lists.HasPoints(true), version >= 0x8004);
    if (version >= 0x8004)
    {
        ExpectSamePoints(source.m_pointLists.Get()->GetPoints(true), lists.GetPoints(true));
        ExpectSamePoints(source.m_pointLists.Get()->GetPoints(false), lists.GetPoints(false));
    }
    const QvModelPointListsEx& ex = *back.m_pointListsEx.Get();
    EXPECT_EQ(ex.HasPoints(true), version >= 0x8005);
    EXPECT_EQ(ex.GetValue(true), version >= 0x8005 ? 7.25 : 0.0);
    EXPECT_EQ(ex.GetValue(false), version >= 0x8005 ? -1.5 : 0.0);
}

std::string Body(const QvModel& model, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) { EXPECT_TRUE(QvMeasureFile::WriteRVM(os, version, model)); });
}

TEST_F(MeasureFile, EveryVersionReadsBackWhatWasWritten)
{
    for (const int version : kRVMVersions)
    {
        SCOPED_TRACE(testing::Message() << std::hex << version);
        SetReferences(version);
        const std::vector<QvImageReference> written = References();
        QvModel source;
        FillMeasureModel(source, 0.25);
        const std::string bytes = Body(source, version);

        // The list read replaces a longer one.
        SetReferences(0);
        GetImageReferences().resize(6);
        QvModel back;
        std::istringstream is(bytes);
        ASSERT_TRUE(QvMeasureFile::ReadRVM(is, version, back));
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
        ExpectSameReferences(written, GetImageReferences());
        ExpectSameBody(source, back, version);

        // The model's own lookups see what was read.
        EXPECT_EQ(back.FindImageMeasure(1, true), back.m_imageMeasures[0]);
        EXPECT_EQ(back.FindImageMeasure(1, false), nullptr);
    }
}

TEST_F(MeasureFile, ThroughTheFileLayer)
{
    qvtest::ScratchFolder folder;
    for (const int version : kRVMVersions)
    {
        SCOPED_TRACE(testing::Message() << std::hex << version);
        SetReferences(3);
        const std::vector<QvImageReference> written = References();
        QvModel source;
        FillMeasureModel(source, 1.0);
        const std::string path = folder / "case.RVM";
        QvReadWriteFile writer(&source, 0);
        ASSERT_TRUE(writer.WriteRVM(path, version));

        ResetImageReferences();
        QvModel back;
        QvReadWriteFile reader(&back, 0);
        ASSERT_TRUE(reader.ReadRVM(path));
        EXPECT_EQ(back.m_fileVersions[kQvFileRVM], version);
        ExpectSameReferences(written, GetImageReferences());
        ExpectSameBody(source, back, version);

        // A model that holds measures keeps them; clearing it empties the references.
        ASSERT_TRUE(reader.ReadRVM(path));
        EXPECT_EQ(back.m_imageMeasures.size(), 2 * source.m_imageMeasures.size());
        back.Clear(false);
        EXPECT_TRUE(back.m_imageMeasures.empty());
        EXPECT_TRUE(GetImageReferences().empty());
    }
}

// A measure whose record fails fails the file; nothing of the file is kept.
TEST_F(MeasureFile, AFailingMeasureFailsTheWholeBody)
{
    QvModel source;
    FillMeasureModel(source, 0.5);
    SetReferences(9);
    std::string bytes = Body(source, 0x8005);
    // The first measure's landmark count sits after the references, the measure count,
    // the type code, flag, type and kind.
    std::size_t at = 4;
    for (const QvImageReference& ref : GetImageReferences())
        at += 8 + 28 * ref.m_keyPoints.size();
    at += 4 + 4 + 1 + 4 + 4;
    std::int32_t stored = 0;
    std::memcpy(&stored, bytes.data() + at, 4);
    ASSERT_EQ(stored, static_cast<std::int32_t>(source.m_imageMeasures[0]->m_keyPoints.size()));

    for (const std::int32_t bad : {-1, 0x7fffffff})
    {
        SCOPED_TRACE(bad);
        std::string damaged = bytes;
        std::memcpy(damaged.data() + at, &bad, 4);
        SetReferences(42);
        const std::vector<QvImageReference> before = References();
        QvModel back;
        back.m_imageMeasures.push_back(QvImageMeasure::Create(3));
        std::istringstream is(damaged);
        EXPECT_FALSE(QvMeasureFile::ReadRVM(is, 0x8005, back));
        ExpectSameReferences(before, GetImageReferences());
        EXPECT_EQ(back.m_imageMeasures.size(), 1u);
        EXPECT_EQ(back.GetJawRef()->m_pMiddlePlane, nullptr);
        EXPECT_TRUE(back.m_pointSet.Get() == nullptr || back.m_pointSet.Get()->m_points.empty());
    }
}

TEST_F(MeasureFile, BodiesSurviveTruncationAndDamage)
{
    SetReferences(1);
    QvModel source;
    FillMeasureModel(source, 0.75);
    for (const int version : kRVMVersions)
    {
        SCOPED_TRACE(testing::Message() << std::hex << version);
        qvtest::ExpectReaderSurvivesDamage(
            Body(source, version),
            [&](std::istream& is) {
                QvModel back;
                return QvMeasureFile::ReadRVM(is, version, back);
            },
            200);
    }
}

TEST_F(MeasureFile, VersionsAndOperationsItNeeds)
{
    QvModel source;
    FillMeasureModel(source, 0.0);
    const std::string bytes = Body(source, 0x8003);
    for (const int version : {0x8000, 0x8006, 0x403, 0})
    {
        std::ostringstream os;
        EXPECT_FALSE(QvMeasureFile::WriteRVM(os, version, source));
        EXPECT_TRUE(os.str().empty());
        QvModel back;
        std::istringstream is(bytes);
        EXPECT_FALSE(QvMeasureFile::ReadRVM(is, version, back)) << version;
    }
    // Without the operations the model could not delete what it was given.
    QvUnregisterImageMeasures();
    QvModel back;
    std::istringstream is(bytes);
    EXPECT_FALSE(QvMeasureFile::ReadRVM(is, 0x8003, back));
    EXPECT_TRUE(back.m_imageMeasures.empty());
    QvRegisterImageMeasures();

    // The fixed-row readers read their rows whatever the version says.
    const std::string rows7 =
        qvtest::BytesOf([&](std::ostream& os) { ASSERT_TRUE(QvMeasureFile::WriteRVMWithLists(os, 0x8003, source)); });
    QvModel lists;
    std::istringstream ls(rows7);
    ASSERT_TRUE(QvMeasureFile::ReadRVMWithLists(ls, 0x8003, lists));
    EXPECT_EQ(ls.peek(), std::char_traits<char>::eof());
    EXPECT_EQ(lists.m_pointLists.Get()->GetPoints(false).size(), 4u);
    const std::string rows6 =
        qvtest::BytesOf([&](std::ostream& os) { ASSERT_TRUE(QvMeasureFile::WriteRVMBase(os, 0x8005, source)); });
    QvModel base;
    std::istringstream bs(rows6);
    ASSERT_TRUE(QvMeasureFile::ReadRVMBase(bs, 0x8005, base));
    EXPECT_EQ(bs.peek(), std::char_traits<char>::eof());
    const std::string rows8 = qvtest::BytesOf(
        [&](std::ostream& os) { ASSERT_TRUE(QvMeasureFile::WriteRVMWithListsEx(os, 0x8001, source)); });
    QvModel ex;
    std::istringstream es(rows8);
    ASSERT_TRUE(QvMeasureFile::ReadRVMWithListsEx(es, 0x8001, ex));
    EXPECT_EQ(ex.m_pointListsEx.Get()->GetValue(false), -1.5);

    // A model without records writes empty ones.
    QvModel empty;
    const std::string bare = Body(empty, 0x8005);
    QvModel again;
    std::istringstream as(bare);
    ASSERT_TRUE(QvMeasureFile::ReadRVM(as, 0x8005, again));
    EXPECT_TRUE(again.m_imageMeasures.empty());
}

TEST_F(MeasureFile, MeasuresByKindAndDocumentOrigin)
{
    QvModel model;
    for (const int code : {1, 2, 3, 42})
        model.m_imageMeasures.push_back(QvImageMeasure::Create(code));
    std::map<int, QvImageMeasure*> byKind;
    QvMeasureFile::GetImageMeasuresByKind(model, byKind);
    ASSERT_EQ(byKind.size(), 2u); // kinds 11 (twice: the later wins) and 2; kind 0 left out
    EXPECT_EQ(byKind[11], model.m_imageMeasures[1]);
    EXPECT_EQ(byKind[2], model.m_imageMeasures[2]);

    EXPECT_FALSE(QvMeasureFile::IsFromCaseDocument(model, false));
    model.SetFileVersion(kQvFileOS, 0x405);
    EXPECT_TRUE(QvMeasureFile::IsFromCaseDocument(model, false));
    EXPECT_FALSE(QvMeasureFile::IsFromCaseDocument(model, true));
    model.SetFileVersion(kQvFileOS, 0x401);
    EXPECT_TRUE(QvMeasureFile::IsFromCaseDocument(model, true));
}

// ---- Point records ---------------------------------------------------------------------------

TEST_F(MeasureFile, OldPointSetLayoutStoresTheNearestLowerJawVertex)
{
    QvModel model;
    auto* upper = new QvJaw();
    upper->AddVertex(QvPoint(0, 0, 0));
    model.AddEntity(upper);
    QvModelPointSet set;
    set.m_points = {QvPoint(0, 0, 0), QvPoint(5, 0, 0)};
    set.m_attributes = {{1, 1.0}, {2, 2.0}};
    const auto indexOf = [&](const QvModel* m, std::size_t point) {
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { EXPECT_TRUE(set.Write(os, 0x8002, m)); });
        EXPECT_EQ(bytes.size(), 4u + 2 * 40);
        std::int32_t index = 0;
        std::memcpy(&index, bytes.data() + 4 + 40 * point, 4);
        return index;
    };
    EXPECT_EQ(indexOf(nullptr, 0), -1);
    EXPECT_EQ(indexOf(&model, 0), -1); // only an upper jaw

    auto* lower = new QvJaw();
    lower->SetUpper(false);
    lower->AddVertex(QvPoint(9, 9, 9));
    lower->AddVertex(QvPoint(4, 1, 0)); // these two lie equally near (5, 0, 0)
    lower->AddVertex(QvPoint(6, -1, 0));
    lower->AddVertex(QvPoint(0.5, 0, 0));
    model.AddEntity(lower);
    EXPECT_EQ(indexOf(&model, 0), 3);
    EXPECT_EQ(indexOf(&model, 1), 1);

    // The index is skipped on reading; what is read is appended.
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { set.Write(os, 0x8002, &model); });
    QvModelPointSet back;
    back.m_points = {QvPoint(7, 7, 7)};
    back.m_attributes = {{9, 9.0}};
    std::istringstream is(bytes);
    ASSERT_TRUE(back.Read(is, 0x8002, nullptr));
    ASSERT_EQ(back.m_points.size(), 3u);
    EXPECT_EQ(back.m_points[2], QvPoint(5, 0, 0));
    EXPECT_EQ(back.m_attributes[2], (std::pair<std::int32_t, double>(2, 2.0)));
    EXPECT_FALSE(back.HasData(true));

    std::ostringstream none;
    EXPECT_FALSE(set.Write(none, 0x403, &model));
    EXPECT_TRUE(none.str().empty());
    std::istringstream empty("");
    EXPECT_FALSE(back.Read(empty, 0x403, nullptr));
}

TEST_F(MeasureFile, PointRecordsCopyClearAndRejectDamage)
{
    QvModelPointSet set;
    set.m_points = SomePoints(2, 1.0);
    set.m_attributes = {{1, 1.0}, {2, 2.0}};
    std::unique_ptr<QvBSplineCurve> curve(QvBSplineCurve::Interpolate(SomePoints(4, 0.0), false));
    set.SetCurve(curve.get());
    set.SetCurve(nullptr);
    ASSERT_TRUE(set.HasData(true));
    QvModelPointSet copy(set);
    ASSERT_NE(copy.m_pCurve, nullptr);
    EXPECT_NE(copy.m_pCurve.get(), set.m_pCurve.get());
    ExpectSamePoints(set.m_pCurve->m_ctrlPoints, copy.m_pCurve->m_ctrlPoints);
    copy.Clear();
    EXPECT_FALSE(copy.HasData(false));
    EXPECT_EQ(copy.m_pCurve, nullptr);

    // A curve flag other than 0 or 1 is damage.
    QvModelPointSet plain;
    std::string bytes = qvtest::BytesOf([&](std::ostream& os) { plain.Write(os, 0x8003, nullptr); });
    ASSERT_EQ(bytes.size(), 8u);
    bytes[4] = 2;
    std::istringstream is(bytes);
    EXPECT_FALSE(plain.Read(is, 0x8003, nullptr));

    qvtest::ExpectReaderSurvivesDamage(qvtest::BytesOf([&](std::ostream& os) { set.Write(os, 0x8005, nullptr); }),
                                       [](std::istream& s) {
                                           QvModelPointSet any;
                                           return any.Read(s, 0x8005, nullptr);
                                       });

    QvModelPointListsEx ex;
    ex.SetPoints(false, SomePoints(2, 0.0));
    ex.SetValue(false, 3.0);
    qvtest::ExpectReaderSurvivesDamage(qvtest::BytesOf([&](std::ostream& os) { ex.Write(os, 0x8005); }),
                                       [](std::istream& s) {
                                           QvModelPointListsEx any;
                                           return any.Read(s, 0x8005, nullptr);
                                       });
    ex.Clear();
    EXPECT_FALSE(ex.HasPoints(false));
    EXPECT_EQ(ex.GetValue(false), 0.0);

    QvModelVectorPair pair;
    EXPECT_FALSE(pair.IsValid());
    std::ostringstream os;
    QvPoint(1, 0, 0).Write(os);
    QvPoint(0, 1e-8, 0).Write(os);
    std::istringstream ps(os.str());
    ASSERT_TRUE(pair.Read(ps));
    EXPECT_EQ(pair.GetPoint(0), QvPoint(1, 0, 0));
    EXPECT_FALSE(pair.IsValid()); // the second point is zero by the zero test
    std::istringstream shortPair(os.str().substr(0, 40));
    EXPECT_FALSE(pair.Read(shortPair));
    EXPECT_EQ(pair.GetPoint(0), QvPoint(1, 0, 0));
    pair.m_second = QvPoint(0, 2, 0);
    EXPECT_TRUE(pair.IsValid());
    pair.Reset();
    EXPECT_FALSE(pair.IsValid());
}

} // namespace

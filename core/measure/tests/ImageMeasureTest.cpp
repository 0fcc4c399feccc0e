// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "core/base/QvText.h"
#include "core/geometry/QvStreamIO.h"
#include "core/measure/tests/MeasureTestSupport.h"

namespace {

using namespace qvmeasuretest;

class ImageMeasure : public MeasureTest
{
};

void AddReference(int kind, std::vector<QvPoint> points)
{
    QvImageReference ref;
    ref.m_nImageKind = kind;
    for (std::size_t i = 0; i < points.size(); ++i)
        ref.m_keyPoints.emplace_back(points[i], static_cast<int>(i));
    GetImageReferences().push_back(ref);
}

void ExpectVector(const QvVector& v, double x, double y, double z)
{
    EXPECT_NEAR(v[0], x, 1e-12);
    EXPECT_NEAR(v[1], y, 1e-12);
    EXPECT_NEAR(v[2], z, 1e-12);
}

template <typename T>
bool IsA(const QvImageMeasure* m)
{
    return dynamic_cast<const T*>(m) != nullptr;
}

TEST_F(ImageMeasure, FactoryMakesTheClassTypeKindAndNameOfEachCode)
{
    struct Row
    {
        int code;
        bool (*isA)(const QvImageMeasure*);
        int type;
        int kind;
        std::string name; // the stored bytes
    };
    const Row rows[] = {
        {1, IsA<QvCepMeasure>, 1, 11, Gb18030FromUtf8("头影测量")},
        {2, IsA<QvFaceGallMeasure>, 2, 11, "GALL"},
        {3, IsA<QvFaceRatioMeasure>, 3, 2, "三庭五眼"},
        {4, IsA<QvNoseVerticalLineMeasure>, 4, 1, Gb18030FromUtf8("鼻下垂线")},
        {5, IsA<QvPanMeasure>, 0, 0, ""},
        {6, IsA<QvBeautyLineMeasure>, 6, 1, Gb18030FromUtf8("审美线")},
        {7, IsA<QvMiddleLineMeasure>, 7, 3, Gb18030FromUtf8("中线")},
        {8, IsA<QvJawBoneHeightsMeasure>, 8, 11, "JawHeights"},
        {9, IsA<QvChinProminenceMeasure>, 9, 11, "ChinPro"},
        {0, IsA<QvImageMeasure>, 0, 0, ""},
        {10, IsA<QvImageMeasure>, 0, 0, ""},
        {-1, IsA<QvImageMeasure>, 0, 0, ""},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.code);
        std::unique_ptr<QvImageMeasure> m(QvImageMeasure::Create(row.code));
        ASSERT_NE(m, nullptr);
        EXPECT_TRUE(row.isA(m.get()));
        EXPECT_EQ(m->m_nType, row.type);
        EXPECT_EQ(m->m_nImageKind, row.kind);
        EXPECT_EQ(m->m_name, row.name);
        EXPECT_TRUE(m->m_keyPoints.empty());
        EXPECT_FALSE(m->m_bFlag);
        EXPECT_EQ(m->GetImage(), nullptr);
    }
    // The GB18030 names really are converted.
    EXPECT_NE(Gb18030FromUtf8("头影测量"), std::string("头影测量"));
    EXPECT_FALSE(Gb18030FromUtf8("头影测量").empty());
}

TEST_F(ImageMeasure, ReferenceLineInPixelsOfTheImage)
{
    QvImage image(1000, 800, 24);
    QvImageMeasure m;
    m.m_nImageKind = 11;

    // No reference, or no image: nothing, but the points without an image.
    EXPECT_EQ(m.GetReferenceAngle(), 0.0);
    AddReference(11, {QvPoint(0.1, 0.5, 0), QvPoint(0.9, 0.5, 0)});
    EXPECT_EQ(m.GetReferenceAngle(), 0.0);
    ExpectVector(m.GetReferenceDirection(), 0, 0, 0);
    ExpectVector(m.GetReferenceNormal(), 0, 0, 0);
    std::vector<QvPoint> points;
    m.GetReferencePoints(points);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1], QvPoint(0.9, 0.5, 0));

    m.SetImage(&image);
    EXPECT_NEAR(m.GetReferenceAngle(), 0.0, 1e-15);
    ExpectVector(m.GetReferenceDirection(), 0.8, 0, 0);
    ExpectVector(m.GetReferenceNormal(), 0, -1, 0);

    GetImageReferences()[0].m_keyPoints[0].m_point = QvPoint(0.5, 0.1, 0);
    GetImageReferences()[0].m_keyPoints[1].m_point = QvPoint(0.5, 0.9, 0);
    EXPECT_NEAR(m.GetReferenceAngle(), std::atan2(640.0, 0.0), 1e-15);
    ExpectVector(m.GetReferenceNormal(), 0.64, 0, 0);

    // The first entry of the kind decides: three points there mean no line.
    ResetImageReferences();
    AddReference(2, {QvPoint(0, 0, 0), QvPoint(1, 1, 0)});
    AddReference(11, {QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(1, 1, 0)});
    AddReference(11, {QvPoint(0.1, 0.5, 0), QvPoint(0.9, 0.5, 0)});
    EXPECT_EQ(m.FindReference(), &GetImageReferences()[1]);
    EXPECT_EQ(QvImageMeasure::FindImageReference(2), &GetImageReferences()[0]);
    EXPECT_EQ(QvImageMeasure::FindImageReference(5), nullptr);
    EXPECT_EQ(m.GetReferenceAngle(), 0.0);
    ExpectVector(m.GetReferenceDirection(), 0, 0, 0);
    ExpectVector(m.GetReferenceNormal(), 0, 0, 0);
    points.clear();
    m.GetReferencePoints(points);
    EXPECT_TRUE(points.empty());
}

TEST_F(ImageMeasure, NormalNeedsAnImageWithASize)
{
    AddReference(11, {QvPoint(0.1, 0.5, 0), QvPoint(0.9, 0.5, 0)});
    QvImageMeasure m;
    m.m_nImageKind = 11;
    QvImage empty(0, 0, 24);
    m.SetImage(&empty);
    const QvVector n = m.GetReferenceNormal();
    EXPECT_TRUE(std::isfinite(n[0]) && std::isfinite(n[1]));
    ExpectVector(n, 0, 0, 0);
}

TEST_F(ImageMeasure, BaseOverlayLandmarksAndAssignment)
{
    QvImageMeasure m;
    m.SetKeyPoints({QvKeyPoint(QvPoint(0.1, 0.2, 0), 7), QvKeyPoint(QvPoint(0.3, 0.4, 0), 9),
                    QvKeyPoint(QvPoint(0.5, 0.6, 0), 7)});
    std::vector<MeasurePoint> points(1); // never cleared
    m.GetPoints(points);
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(points[2].m_point, QvPoint(0.3, 0.4, 0));
    EXPECT_EQ(points[2].m_color.m_r, 255);
    EXPECT_EQ(points[2].m_color.m_g, 0);
    std::vector<MeasureLine> lines;
    std::vector<MeasureText> texts;
    m.GetLines(lines);
    m.GetTexts(texts);
    EXPECT_TRUE(lines.empty() && texts.empty());
    EXPECT_EQ(m.GetKeyPoint(1), QvPoint(0.3, 0.4, 0));
    EXPECT_EQ(m.GetKeyPoint(3), QvPoint());

    QvKeyPoint found(QvPoint(9, 9, 9), 99);
    ASSERT_TRUE(m.FindKeyPoint(7, found));
    EXPECT_EQ(found.m_point, QvPoint(0.1, 0.2, 0)); // the first of the key
    EXPECT_FALSE(m.FindKeyPoint(8, found));
    EXPECT_EQ(found.m_nKey, 7);

    EXPECT_FALSE(m.IsComplete());
    QvImage image(40, 30, 24);
    m.SetImage(&image);
    EXPECT_TRUE(m.IsComplete());
    EXPECT_NE(m.GetImage(), &image);

    // Assignment: an empty source image keeps the target's; the name stays.
    QvImageMeasure target;
    target.m_name = "mine";
    QvImage other(7, 5, 24);
    target.SetImage(&other);
    QvImageMeasure source;
    source.m_nType = 42;
    source.m_nImageKind = 7;
    source.m_bFlag = true;
    source.m_name = "theirs";
    source.SetKeyPoints(m.m_keyPoints);
    QvImage empty(0, 3, 24);
    source.SetImage(&empty);
    target = source;
    EXPECT_EQ(target.m_nType, 42);
    EXPECT_EQ(target.m_nImageKind, 7);
    EXPECT_TRUE(target.m_bFlag);
    EXPECT_EQ(target.m_name, "mine");
    ExpectSameKeyPoints(source.m_keyPoints, target.m_keyPoints);
    ASSERT_NE(target.GetImage(), nullptr);
    EXPECT_EQ(target.GetImage()->GetWidth(), 7);
    target = m;
    ASSERT_NE(target.GetImage(), nullptr);
    EXPECT_EQ(target.GetImage()->GetWidth(), 40);
    EXPECT_NE(target.GetImage(), m.GetImage());
    target = target;
    EXPECT_EQ(target.GetImage()->GetWidth(), 40);

    m.Clear();
    EXPECT_TRUE(m.m_keyPoints.empty());
    EXPECT_NE(m.GetImage(), nullptr);
}

TEST_F(ImageMeasure, VersionSelectsTheRecordForm)
{
    QvImageMeasure m;
    m.m_nType = 42;
    m.m_nImageKind = 7;
    m.m_bFlag = true;
    m.SetKeyPoints(Landmarks(2, 5, 0.0));
    const std::size_t landmarks = 4 + 2 * 28;
    struct Row
    {
        int version;
        StoredForm form;
    };
    const Row rows[] = {{0x401, StoredForm::Named},   {0x404, StoredForm::Named},   {0x413, StoredForm::Named},
                        {0x201, StoredForm::Named},   {0x204, StoredForm::Named},   {0x205, StoredForm::Flagged},
                        {0x206, StoredForm::Flagged}, {0x211, StoredForm::Flagged}, {0x8001, StoredForm::Flagged},
                        {0x8003, StoredForm::Flagged}, {0x8005, StoredForm::Flagged}, {0x100, StoredForm::Nothing},
                        {0x1003, StoredForm::Nothing}};
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << std::hex << row.version);
        const std::string bytes = RecordBytes(m, row.version);
        switch (row.form)
        {
        case StoredForm::Named: EXPECT_EQ(bytes.size(), 12 + landmarks); break;
        case StoredForm::Flagged: EXPECT_EQ(bytes.size(), 9 + landmarks); break;
        case StoredForm::Nothing: EXPECT_TRUE(bytes.empty()); break;
        }
        std::unique_ptr<QvImageMeasure> back(QvImageMeasure::Create(42));
        std::istringstream is(bytes);
        EXPECT_EQ(back->Read(is, row.version, nullptr), row.form != StoredForm::Nothing);
        if (row.form != StoredForm::Nothing)
            ExpectStoredEqual(m, *back, row.version);
    }
}

TEST_F(ImageMeasure, NamedRecordSkipsItsNameAndReplacesTheLandmarks)
{
    std::ostringstream os;
    qvio::WriteI32(os, 4);
    qvio::WriteI32(os, 1);
    qvio::WriteI32(os, 5);
    os.write("hello", 5);
    QvWriteKeyPoints(os, Landmarks(3, 1, 0.0));
    std::unique_ptr<QvImageMeasure> m(QvImageMeasure::Create(4));
    m->SetKeyPoints(Landmarks(5, 20, 0.1));
    const std::string name = m->m_name;
    std::istringstream is(os.str());
    ASSERT_TRUE(m->Read(is, 0x404, nullptr));
    EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
    EXPECT_EQ(m->m_name, name);
    ExpectSameKeyPoints(Landmarks(3, 1, 0.0), m->m_keyPoints);

    // A count of 0 empties the list.
    std::ostringstream zero;
    qvio::WriteU8(zero, 0);
    qvio::WriteI32(zero, 4);
    qvio::WriteI32(zero, 1);
    qvio::WriteI32(zero, 0);
    std::istringstream zs(zero.str());
    ASSERT_TRUE(m->Read(zs, 0x8003, nullptr));
    EXPECT_TRUE(m->m_keyPoints.empty());
}

// Damaged counts and names fail the record and leave the measure as it was.
TEST_F(ImageMeasure, BadCountsFailWithoutChangingTheMeasure)
{
    struct Case
    {
        const char* what;
        int version;
        std::int32_t nameLength;
        std::int32_t count;
    };
    const Case cases[] = {
        {"negative name length", 0x404, -1, 1},
        {"name longer than the record", 0x404, 1 << 30, 1},
        {"negative landmark count", 0x404, 0, -1},
        {"landmark count beyond the bytes", 0x8003, 0, 2},
        {"huge landmark count", 0x8003, 0, 0x7fffffff},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::ostringstream os;
        if (BaseFormOf(c.version) == StoredForm::Flagged)
            qvio::WriteU8(os, 1);
        qvio::WriteI32(os, 77);
        qvio::WriteI32(os, 78);
        if (BaseFormOf(c.version) == StoredForm::Named)
            qvio::WriteI32(os, c.nameLength);
        qvio::WriteI32(os, c.count);
        QvKeyPoint(QvPoint(0.5, 0.5, 0), 3).Write(os);

        std::unique_ptr<QvImageMeasure> m = MakeFilled(2);
        m->m_bFlag = false;
        std::unique_ptr<QvImageMeasure> before = MakeFilled(2);
        before->m_bFlag = false;
        std::istringstream is(os.str());
        EXPECT_FALSE(m->Read(is, c.version, nullptr));
        ExpectStoredEqual(*before, *m, 0x8003);
    }
}

TEST_F(ImageMeasure, RecordsSurviveTruncationAndDamage)
{
    for (const int version : {0x404, 0x8003})
    {
        SCOPED_TRACE(version);
        QvImageMeasure m;
        m.m_nType = 3;
        m.m_nImageKind = 2;
        m.SetKeyPoints(Landmarks(4, 0, 0.0));
        qvtest::ExpectReaderSurvivesDamage(RecordBytes(m, version), [&](std::istream& is) {
            QvImageMeasure back;
            return back.Read(is, version, nullptr);
        });
    }
    QvImageReference ref;
    ref.m_nImageKind = 11;
    ref.m_keyPoints = Landmarks(2, 0, 0.0);
    qvtest::ExpectReaderSurvivesDamage(qvtest::BytesOf([&](std::ostream& os) { ref.Write(os); }),
                                       [](std::istream& is) {
                                           QvImageReference back;
                                           return back.Read(is);
                                       });
}

TEST_F(ImageMeasure, ReferenceRecordRoundTripsAndFailsWhole)
{
    QvImageReference ref;
    ref.SetImageKind(11);
    ref.SetKeyPoints(Landmarks(2, 4, 0.2));
    ref.SetKeyPoints(ref.GetKeyPoints()); // the same vector: nothing happens
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { ref.Write(os); });
    EXPECT_EQ(bytes.size(), 8u + 2 * 28);
    QvImageReference back;
    back.SetKeyPoints(Landmarks(5, 0, 0.0));
    std::istringstream is(bytes);
    ASSERT_TRUE(back.Read(is));
    EXPECT_EQ(back.GetImageKind(), 11);
    ExpectSameKeyPoints(ref.GetKeyPoints(), back.GetKeyPoints());

    std::istringstream shortStream(bytes.substr(0, bytes.size() - 1));
    QvImageReference kept;
    kept.SetImageKind(3);
    EXPECT_FALSE(kept.Read(shortStream));
    EXPECT_EQ(kept.GetImageKind(), 3);
    EXPECT_TRUE(kept.GetKeyPoints().empty());
}

} // namespace

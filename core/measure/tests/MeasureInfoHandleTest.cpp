// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "core/measure/QvCepMeasure.h"
#include "core/measure/QvFaceMeasures.h"
#include "core/measure/QvModelPointRecords.h"
#include "core/measure/RVMInfoHandle.h"
#include "core/measure/tests/CepTracing.h"
#include "core/measure/tests/MeasureTestSupport.h"
#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/tests/ScratchFolder.h"

namespace {

using qvceptest::FillTracing;

class MeasureInfoHandle : public qvmeasuretest::MeasureTest
{
protected:
    void SetUp() override
    {
        MeasureTest::SetUp();
        QvRegisterImageMeasures();
    }

    // A measurement file with the tracing (landmark S at (0.5, 0.25)), a flagged copy
    // of it, two chin measures and a reference line of the radiograph's kind.
    std::string WriteFile(const std::vector<int>& leftOut = {})
    {
        QvModel model;
        QvInstallPointRecords(model);
        auto* tracing = new QvCepMeasure;
        FillTracing(*tracing, leftOut);
        for (QvKeyPoint& p : tracing->m_keyPoints)
            if (p.m_nKey == POINT_S)
                p.m_point = QvPoint(0.5, 0.25, 0);
        model.m_imageMeasures.push_back(tracing);
        auto* flagged = new QvCepMeasure;
        FillTracing(*flagged);
        flagged->m_bFlag = true;
        model.m_imageMeasures.push_back(flagged);
        for (const double value : {1.25, 2.5})
        {
            auto* chin = new QvChinProminenceMeasure;
            chin->SetValue(value);
            chin->SetKeyPoints({QvKeyPoint(QvPoint(0.1, 0.2, 0), 71)});
            model.m_imageMeasures.push_back(chin);
        }
        QvImageReference ref;
        ref.m_nImageKind = 11;
        ref.m_keyPoints = {QvKeyPoint(QvPoint(0.1, 0.1, 0), 0), QvKeyPoint(QvPoint(0.3, 0.3, 0), 1)};
        GetImageReferences() = {ref};
        const std::string path = m_folder / "case.RVM";
        QvReadWriteFile writer(&model, 0);
        EXPECT_TRUE(writer.WriteRVM(path, 0x8005));
        ResetImageReferences();
        return path;
    }

    qvtest::ScratchFolder m_folder;
};

// The radiograph is shown at 1000.7 x 800.2 points from 1000 x 800 pixels.
const RVImageInfo kShown{1000.7, 800.2, 1000, 800, 32};

TEST_F(MeasureInfoHandle, ReadsAFileAndScalesItsMeasures)
{
    RVMInfoHandle handle;
    EXPECT_FALSE(handle.openRVM(""));
    ASSERT_TRUE(handle.openRVM(WriteFile()));
    handle.setImageType(11, kShown);
    handle.loadData();
    // The flagged tracing is not collected; both chin measures are.
    EXPECT_EQ(handle.measureTypes(), (std::vector<unsigned>{1, 9, 9}));
    ASSERT_NE(handle.imageMeasureByType(1), nullptr);
    EXPECT_EQ(handle.imageMeasureByType(1)->GetImage()->GetWidth(), 1000);
    EXPECT_EQ(handle.imageMeasureByType(4), nullptr);

    const std::vector<RVImageMeasureLine> lines = handle.lineWithType(1);
    ASSERT_EQ(lines.size(), 13u);
    // Pair 3 runs from S, at (0.5, 0.25) of an image scaled by 1000 x 800.
    EXPECT_EQ(lines[2].start, (RVPointF{500, 200}));
    // The reference line in pixels: from (100, 80) to (300, 240).
    const double angle = std::atan2(160.0, 200.0);
    for (const RVImageMeasureLine& line : lines)
    {
        EXPECT_EQ(line.color, (RVColor{1, 1, 0, 1}));
        EXPECT_FALSE(line.isDash());
        EXPECT_NEAR(line.angle, angle, 1e-12);
    }

    const std::vector<RVImageMeasureText> texts = handle.textWithType(9);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "1.25mm");
    EXPECT_EQ(texts[1].text, "2.50mm");
    EXPECT_NEAR(texts[0].color.alpha, 1.0 / 3.0, 1e-12);
    const std::vector<RVImageMeasurePoint> points = handle.pointWithType(1);
    ASSERT_FALSE(points.empty());
    EXPECT_EQ(points[0].color, (RVColor{1, 0, 0, 1}));
    EXPECT_EQ(points[0].angle, 0.0);
    EXPECT_TRUE(handle.lineByCepmeasure().empty());

    // Another kind collects nothing; close forgets the measures.
    handle.setImageType(2, kShown);
    handle.loadData();
    EXPECT_TRUE(handle.measureTypes().empty());
    handle.setImageType(11, kShown);
    handle.loadData();
    handle.close();
    EXPECT_TRUE(handle.lineWithType(1).empty());
    EXPECT_TRUE(handle.measureTypes().empty());
    handle.loadData(); // no model: nothing
    EXPECT_TRUE(handle.measureTypes().empty());
}

TEST_F(MeasureInfoHandle, TracingPatterns)
{
    struct Row
    {
        std::vector<int> leftOut;
        bool complex;
        std::size_t lines;
    };
    for (const Row& row : {Row{{}, false, 13}, Row{{}, true, 11}, Row{{POINT_LI}, true, 10}, Row{{POINT_Go}, true, 10},
                           Row{{POINT_LI}, false, 12}})
    {
        SCOPED_TRACE(testing::Message() << row.complex << " " << row.lines);
        RVMInfoHandle handle;
        ASSERT_TRUE(handle.openRVM(WriteFile(row.leftOut)));
        EXPECT_FALSE(handle.isComplexPattern());
        handle.setComplexPattern(row.complex);
        handle.setImageType(11, kShown);
        handle.loadData();
        EXPECT_EQ(handle.lineWithType(1).size(), row.lines);
    }

    // The incisor-molar line joins the incisors' midpoint to the molars'.
    QvCepMeasure m;
    FillTracing(m);
    RVMInfoHandle handle;
    handle.setComplexPattern(true);
    const std::vector<MeasureLine> lines = handle.lineWithCepMeasure(&m);
    ASSERT_EQ(lines.size(), 11u);
    QvKeyPoint ui, li, u6, l6;
    ASSERT_TRUE(m.FindKeyPoint(POINT_UI, ui) && m.FindKeyPoint(POINT_LI, li) && m.FindKeyPoint(POINT_U6, u6) &&
                m.FindKeyPoint(POINT_L6, l6));
    EXPECT_NEAR(lines[8].m_start[0], (ui.m_point[0] + li.m_point[0]) / 2, 1e-15);
    EXPECT_NEAR(lines[8].m_end[1], (u6.m_point[1] + l6.m_point[1]) / 2, 1e-15);
    EXPECT_EQ(RVMInfoHandle::getBasicLinePairWithIsComplexPattern(false)[0],
              (std::pair<MEASURE_POINT, MEASURE_POINT>{POINT_CM, POINT_SN}));
    EXPECT_EQ(RVMInfoHandle::colorByTcColor(QvColor(255, 0, 51), 0.5), (RVColor{1.0, 0.0, 0.2, 0.5}));
}

} // namespace

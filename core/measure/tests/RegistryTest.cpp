// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "core/measure/tests/MeasureTestSupport.h"
#include "core/model/QvFileBodyLinks.h"
#include "core/model/QvModel.h"
#include "core/model/QvModelLinks.h"

namespace {

using namespace qvmeasuretest;

class Registry : public MeasureTest
{
};

TEST_F(Registry, TheModelReachesTheMeasuresThroughItsOperations)
{
    EXPECT_FALSE(QvGetImageMeasureOps().IsComplete());
    EXPECT_EQ(QvGetMeasureFileLink(), nullptr);
    QvRegisterImageMeasures();
    const QvImageMeasureOps& ops = QvGetImageMeasureOps();
    ASSERT_TRUE(ops.IsComplete());
    ASSERT_TRUE(ops.findKeyPoint && ops.isLandmarksComplete && ops.read);
    EXPECT_NE(QvGetMeasureFileLink(), nullptr);

    QvImageReference ref;
    ref.m_nImageKind = 11;
    GetImageReferences().push_back(ref);
    {
        QvModel model;
        QvImageMeasure* tracing = model.CreateImageMeasure(1, false);
        ASSERT_NE(dynamic_cast<QvCepMeasure*>(tracing), nullptr);
        QvImageMeasure* hidden = model.CreateImageMeasure(1, true);
        EXPECT_TRUE(hidden->m_bFlag);
        QvImageMeasure* ratio = model.CreateImageMeasure(3, false);
        EXPECT_EQ(model.FindImageMeasure(1, false), tracing);
        EXPECT_EQ(model.FindImageMeasure(1, true), hidden);
        std::vector<QvImageMeasure*> kind11;
        model.GetImageMeasures(11, kind11, false);
        EXPECT_EQ(kind11, std::vector<QvImageMeasure*>{tracing});
        std::vector<QvImageMeasure*> kind2;
        model.GetImageMeasures(2, kind2, false);
        EXPECT_EQ(kind2, std::vector<QvImageMeasure*>{ratio});

        tracing->SetKeyPoints({QvKeyPoint(QvPoint(0.25, 0.5, 0), 10)});
        QvPoint p(9, 9, 9);
        EXPECT_TRUE(ops.findKeyPoint(tracing, 10, p));
        EXPECT_EQ(p, QvPoint(0.25, 0.5, 0));
        p = QvPoint(9, 9, 9);
        EXPECT_FALSE(ops.findKeyPoint(tracing, 11, p));
        EXPECT_EQ(p, QvPoint(9, 9, 9));
        EXPECT_FALSE(ops.isLandmarksComplete(tracing, false, 2));
        tracing->SetKeyPoints(Landmarks(16, 0, 0.0));
        EXPECT_TRUE(ops.isLandmarksComplete(tracing, false, 2));
        // Only the tracing answers the completeness of an analysis.
        ratio->SetKeyPoints(Landmarks(16, 0, 0.0));
        EXPECT_FALSE(ops.isLandmarksComplete(ratio, false, 2));

        // Clearing the model's measures empties the process-wide references too.
        model.ClearImageMeasures();
        EXPECT_TRUE(model.m_imageMeasures.empty());
        EXPECT_TRUE(GetImageReferences().empty());
        model.CreateImageMeasure(9, false);
    } // the model deletes what it holds

    QvUnregisterImageMeasures();
    EXPECT_FALSE(QvGetImageMeasureOps().IsComplete());
    EXPECT_EQ(QvGetMeasureFileLink(), nullptr);
}

} // namespace

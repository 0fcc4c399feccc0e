// SPDX-License-Identifier: GPL-3.0-or-later
// For the measure tests: a fixture that leaves the process-wide state (operations,
// file link, image references) as it found it, filled measures of every kind, and
// the comparison of what a record stores.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/measure/QvCepMeasure.h"
#include "core/measure/QvFaceMeasures.h"
#include "core/measure/QvImageMeasure.h"
#include "core/measure/QvJawBoneMeasures.h"
#include "core/measure/QvMeasureRegistry.h"
#include "testing/ByteSweep.h"

namespace qvmeasuretest {

class MeasureTest : public testing::Test
{
protected:
    void SetUp() override
    {
        QvUnregisterImageMeasures();
        ResetImageReferences();
    }
    void TearDown() override
    {
        QvUnregisterImageMeasures();
        ResetImageReferences();
    }
};

// Every factory code, then one the factory does not know.
inline const std::vector<int>& AllCodes()
{
    static const std::vector<int> codes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 42};
    return codes;
}

inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof(double)) == 0; }

inline void ExpectSamePoint(const QvPoint& a, const QvPoint& b)
{
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(SameBits(a[k], b[k])) << "coordinate " << k << ": " << a[k] << " vs " << b[k];
}

inline void ExpectSameKeyPoints(const std::vector<QvKeyPoint>& a, const std::vector<QvKeyPoint>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        EXPECT_EQ(a[i].m_nKey, b[i].m_nKey) << "landmark " << i;
        ExpectSamePoint(a[i].m_point, b[i].m_point);
    }
}

inline void ExpectSameCurves(const std::vector<std::vector<QvPoint>>& a, const std::vector<std::vector<QvPoint>>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        ASSERT_EQ(a[i].size(), b[i].size()) << "curve " << i;
        for (std::size_t j = 0; j < a[i].size(); ++j)
            ExpectSamePoint(a[i][j], b[i][j]);
    }
}

inline std::vector<QvKeyPoint> Landmarks(int count, int firstKey, double seed)
{
    std::vector<QvKeyPoint> points;
    for (int i = 0; i < count; ++i)
        points.emplace_back(QvPoint(0.05 + 0.09 * i + seed, 0.93 - 0.07 * i - seed / 3.0, 0.0), firstKey + i);
    return points;
}

inline std::vector<std::vector<QvPoint>> Curves(int count, double seed)
{
    std::vector<std::vector<QvPoint>> curves;
    for (int c = 0; c < count; ++c)
    {
        std::vector<QvPoint> curve;
        for (int j = 0; j <= c + 1; ++j)
            curve.emplace_back(0.1 * j + seed, 0.2 * c - seed, 0.0);
        curves.push_back(curve);
    }
    return curves;
}

// A measure of the factory's class for code, with every stored field away from its
// default. The flag is set, so that a flagged record shows it.
inline std::unique_ptr<QvImageMeasure> MakeFilled(int code, double seed = 0.0)
{
    std::unique_ptr<QvImageMeasure> m(QvImageMeasure::Create(code));
    m->m_nType = code;
    m->m_nImageKind = 100 + code;
    m->m_bFlag = true;
    m->SetKeyPoints(Landmarks(3 + code % 5, 60 + code, seed + 0.001 * code));
    if (auto* chin = dynamic_cast<QvChinProminenceMeasure*>(m.get()))
        chin->SetValue(3.25 + seed);
    if (auto* gall = dynamic_cast<QvFaceGallMeasure*>(m.get()))
    {
        gall->m_nParam = 7;
        gall->SetValue(0, 4.5 + seed);
        gall->SetValue(-3, 1.0 / 3.0);
        gall->SetCurves(Curves(4, seed));
        gall->SetFrame(QvFrame(QvPoint(1, 2, 3), QvVector(0, 1, 0), QvVector(0, 0, 1)), 2.75);
    }
    if (auto* heights = dynamic_cast<QvJawBoneHeightsMeasure*>(m.get()))
    {
        heights->SetHeight(3, 12.5);
        heights->SetHeight(1, 9.25 + seed);
    }
    if (auto* cep = dynamic_cast<QvCepMeasure*>(m.get()))
    {
        cep->m_nParam1 = 11;
        cep->m_nParam2 = -4;
        cep->m_curves = Curves(3, seed);
    }
    return m;
}

enum class StoredForm
{
    Nothing,
    Named,
    Flagged,
};

// The base record form a version stores.
inline StoredForm BaseFormOf(int version)
{
    if (version & 0x400)
        return StoredForm::Named;
    if (version & 0x200)
        return version <= 516 ? StoredForm::Named : StoredForm::Flagged;
    if (version & 0x8000)
        return StoredForm::Flagged;
    return StoredForm::Nothing;
}

// Whether the tracing's record at the version carries its curves.
inline bool CepStoresCurves(int version)
{
    if (version & 0x400)
        return false;
    if (version & 0x200)
        return version >= 519;
    return version > 0x8001;
}

// What a record of the version stores of expected is what actual holds, when actual
// was fresh from the factory before it read the record.
inline void ExpectStoredEqual(const QvImageMeasure& expected, const QvImageMeasure& actual, int version)
{
    EXPECT_EQ(actual.m_nType, expected.m_nType);
    EXPECT_EQ(actual.m_nImageKind, expected.m_nImageKind);
    ExpectSameKeyPoints(expected.m_keyPoints, actual.m_keyPoints);
    EXPECT_EQ(actual.m_bFlag, BaseFormOf(version) == StoredForm::Flagged ? expected.m_bFlag : false);
    if (const auto* e = dynamic_cast<const QvChinProminenceMeasure*>(&expected))
    {
        const auto* a = dynamic_cast<const QvChinProminenceMeasure*>(&actual);
        ASSERT_NE(a, nullptr);
        EXPECT_TRUE(SameBits(a->m_dValue, e->m_dValue));
    }
    if (const auto* e = dynamic_cast<const QvFaceGallMeasure*>(&expected))
    {
        const auto* a = dynamic_cast<const QvFaceGallMeasure*>(&actual);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->m_nParam, e->m_nParam);
        EXPECT_EQ(a->m_values, e->m_values);
        ExpectSameCurves(e->m_curves, a->m_curves);
        ExpectSamePoint(a->m_frame.m_centre, e->m_frame.m_centre);
        for (int k = 0; k < 3; ++k)
        {
            EXPECT_TRUE(SameBits(a->m_frame.m_dirX[k], e->m_frame.m_dirX[k]));
            EXPECT_TRUE(SameBits(a->m_frame.m_dirY[k], e->m_frame.m_dirY[k]));
            EXPECT_TRUE(SameBits(a->m_frame.m_dirZ[k], e->m_frame.m_dirZ[k]));
        }
        EXPECT_TRUE(SameBits(a->m_dFrameValue, e->m_dFrameValue));
    }
    if (const auto* e = dynamic_cast<const QvJawBoneHeightsMeasure*>(&expected))
    {
        const auto* a = dynamic_cast<const QvJawBoneHeightsMeasure*>(&actual);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->m_heights, e->m_heights);
    }
    if (const auto* e = dynamic_cast<const QvCepMeasure*>(&expected))
    {
        const auto* a = dynamic_cast<const QvCepMeasure*>(&actual);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->m_nParam1, e->m_nParam1);
        EXPECT_EQ(a->m_nParam2, e->m_nParam2);
        if (CepStoresCurves(version))
            ExpectSameCurves(e->m_curves, a->m_curves);
        else
            EXPECT_TRUE(a->m_curves.empty());
    }
}

inline std::string RecordBytes(const QvImageMeasure& m, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) { EXPECT_TRUE(m.Write(os, version)); });
}

} // namespace qvmeasuretest

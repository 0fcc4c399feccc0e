// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>

#include "core/measure/tests/MeasureTestSupport.h"

namespace {

using namespace qvmeasuretest;

class RecordRoundTrip : public MeasureTest
{
};

// Case documents, the older family on both sides of each form change, measurement files.
const int kVersions[] = {0x401, 0x403, 0x404, 0x405, 0x413, 513, 514, 515, 516, 517, 518, 519, 529,
                         0x8001, 0x8002, 0x8003, 0x8004, 0x8005};

// The tracing writes nothing where only its old form is read.
bool WritesNothing(int code, int version)
{
    if (code != kQvMeasureCep)
        return false;
    return ((version & 0x400) && version <= 1027) || (!(version & 0x400) && (version & 0x200) && version <= 515);
}

TEST_F(RecordRoundTrip, EveryKindAtEveryVersion)
{
    for (const int code : AllCodes())
    {
        for (const int version : kVersions)
        {
            SCOPED_TRACE(testing::Message() << "code " << code << " version " << version);
            std::unique_ptr<QvImageMeasure> source = MakeFilled(code);
            const std::string bytes = RecordBytes(*source, version);
            if (WritesNothing(code, version))
            {
                EXPECT_TRUE(bytes.empty());
                continue;
            }
            std::unique_ptr<QvImageMeasure> back(QvImageMeasure::Create(code));
            std::istringstream is(bytes);
            ASSERT_TRUE(back->Read(is, version, nullptr));
            EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
            ExpectStoredEqual(*source, *back, version);
            // Written again, the same bytes.
            EXPECT_EQ(RecordBytes(*back, version), bytes);
        }
    }
}

TEST_F(RecordRoundTrip, EveryKindSurvivesTruncationAndDamage)
{
    for (const int code : AllCodes())
    {
        for (const int version : {0x404, 0x8001, 0x8005})
        {
            if (WritesNothing(code, version))
                continue;
            SCOPED_TRACE(testing::Message() << "code " << code << " version " << version);
            std::unique_ptr<QvImageMeasure> source = MakeFilled(code);
            qvtest::ExpectReaderSurvivesDamage(
                RecordBytes(*source, version),
                [&](std::istream& is) {
                    std::unique_ptr<QvImageMeasure> back(QvImageMeasure::Create(code));
                    return back->Read(is, version, nullptr);
                },
                150);
        }
    }
}

// A failed read leaves every kind as it was: type, kind, landmarks and own fields.
TEST_F(RecordRoundTrip, AShortRecordChangesNothing)
{
    for (const int code : AllCodes())
    {
        SCOPED_TRACE(code);
        const std::string bytes = RecordBytes(*MakeFilled(code, 0.125), 0x8005);
        std::unique_ptr<QvImageMeasure> target = MakeFilled(code);
        std::istringstream is(bytes.substr(0, bytes.size() - 1));
        EXPECT_FALSE(target->Read(is, 0x8005, nullptr));
        ExpectStoredEqual(*MakeFilled(code), *target, 0x8005);
    }
}

} // namespace

namespace {

template <typename T>
bool AssignAs(QvImageMeasure& target, const QvImageMeasure& source)
{
    auto* t = dynamic_cast<T*>(&target);
    const auto* s = dynamic_cast<const T*>(&source);
    if (!t || !s)
        return false;
    *t = *s;
    return true;
}

// The assignments of the kinds with fields of their own copy what their records store.
TEST_F(RecordRoundTrip, AssignmentCopiesTheStoredFields)
{
    for (const int code : {kQvMeasureCep, kQvMeasureFaceGall, kQvMeasureJawBoneHeights, kQvMeasureChinProminence})
    {
        SCOPED_TRACE(code);
        std::unique_ptr<QvImageMeasure> source = MakeFilled(code, 0.5);
        std::unique_ptr<QvImageMeasure> target(QvImageMeasure::Create(code));
        ASSERT_TRUE(AssignAs<QvCepMeasure>(*target, *source) || AssignAs<QvFaceGallMeasure>(*target, *source) ||
                    AssignAs<QvJawBoneHeightsMeasure>(*target, *source) ||
                    AssignAs<QvChinProminenceMeasure>(*target, *source));
        ExpectStoredEqual(*source, *target, 0x8005);
    }
}

} // namespace

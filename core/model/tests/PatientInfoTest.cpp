// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvImage.h"
#include "core/model/QvPatientInfo.h"
#include "testing/ByteSweep.h"

namespace {

QvPatientInfo& Filled(QvPatientInfo& info)
{
    info.m_text1 = "patient";
    info.m_text2 = "F";
    info.m_text3 = "1990-01-02";
    info.m_nPlan = 3;
    info.m_title = "C2024-0042";
    return info;
}

std::string WrittenWith(const QvPatientInfo& info, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) { info.Write(os, version); });
}

void ExpectSameTexts(const QvPatientInfo& a, const QvPatientInfo& b)
{
    EXPECT_EQ(a.m_text1, b.m_text1);
    EXPECT_EQ(a.m_text2, b.m_text2);
    EXPECT_EQ(a.m_text3, b.m_text3);
    EXPECT_EQ(a.m_nPlan, b.m_nPlan);
    EXPECT_EQ(a.m_title, b.m_title);
}

// The current form built by hand: three texts, plan, title.
void PutCurrent(std::ostream& os, const QvPatientInfo& info)
{
    for (const std::string* text : {&info.m_text1, &info.m_text2, &info.m_text3})
        qvio::WriteString(os, *text);
    qvio::WriteI32(os, info.m_nPlan);
    qvio::WriteString(os, info.m_title);
}

TEST(PatientInfo, NewRecordHasPlanOneAndNothingElse)
{
    QvPatientInfo info;
    EXPECT_EQ(info.m_nPlan, 1);
    EXPECT_TRUE(info.m_text1.empty() && info.m_title.empty());
    EXPECT_TRUE(info.m_images.empty());
    EXPECT_EQ(info.GetPlanName(), "P1");
    EXPECT_EQ(info.FindImage(3), nullptr);
}

// Which form each version word selects, read back through the matching reader; the
// byte counts pin the forms down.
TEST(PatientInfo, EveryFamilyRoundTripsInTheFormItsVersionSelects)
{
    QvPatientInfo info;
    Filled(info);
    const std::size_t current = 4 + 7 + 4 + 1 + 4 + 10 + 4 + 4 + 10;
    struct Row
    {
        int version;
        std::size_t bytes;
    } rows[] = {
        {1043, current}, {1028, current}, {1025, current}, // case documents always write the current form
        {2054, current}, {2050, current}, {8199, current}, {258, 1100}, {260, 1100},
        {262, current + 4}, // the 0x100 family from 261 writes the image form its reader reads
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.version);
        const std::string bytes = WrittenWith(info, row.version);
        EXPECT_EQ(bytes.size(), row.bytes);
        if (row.version == 1025)
            continue; // read as the old fixed form: the writer's form differs on purpose
        QvPatientInfo back;
        std::istringstream is(bytes);
        ASSERT_TRUE(back.Read(is, row.version));
        ExpectSameTexts(info, back);
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof()); // everything consumed
        EXPECT_TRUE(back.m_images.empty());
    }
}

TEST(PatientInfo, OldFixedFormCutsLongTextsAndStopsAtTheFirstZero)
{
    QvPatientInfo info;
    info.m_text1 = std::string(300, 'a');
    info.m_text2 = "123456789";
    info.m_title = std::string("ab\0cd", 5);
    const std::string bytes = WrittenWith(info, 258);
    ASSERT_EQ(bytes.size(), 1100u);
    QvPatientInfo back;
    std::istringstream is(bytes);
    ASSERT_TRUE(back.Read(is, 258));
    EXPECT_EQ(back.m_text1, std::string(256, 'a'));
    EXPECT_EQ(back.m_text2, "12345678");
    EXPECT_EQ(back.m_title, "ab");
    // Dental models up to 2049 and case documents up to 1026 read the same form.
    for (const int version : {2049, 1026})
    {
        std::istringstream again(bytes);
        ASSERT_TRUE(back.Read(again, version));
        EXPECT_EQ(again.tellg(), 1100);
    }
}

TEST(PatientInfo, ImageFormKeepsTheFirstRecordOfARepeatedKey)
{
    QvPatientInfo info;
    Filled(info);
    std::ostringstream os;
    PutCurrent(os, info);
    qvio::WriteI32(os, 2);
    qvio::WriteI32(os, 3);
    qvio::WriteString(os, "first.png");
    qvio::WriteI32(os, 3);
    qvio::WriteString(os, "second.png");
    QvPatientInfo back;
    std::istringstream is(os.str());
    ASSERT_TRUE(back.Read(is, 1027));
    ASSERT_EQ(back.m_images.size(), 1u);
    ASSERT_NE(back.FindImage(3), nullptr);
    EXPECT_EQ(back.FindImage(3)->m_name, "first.png");
    EXPECT_EQ(back.FindImage(3)->m_pImage, nullptr);
    EXPECT_EQ(back.FindImage(4), nullptr);
}

TEST(PatientInfo, UnknownFamiliesReadNothing)
{
    QvPatientInfo info;
    Filled(info);
    const std::string bytes = WrittenWith(info, 1043);
    for (const int version : {8200, 0x8001, 0x4005, 0x10001, 0x211})
    {
        QvPatientInfo back;
        std::istringstream is(bytes);
        EXPECT_FALSE(back.Read(is, version)) << version;
        EXPECT_EQ(is.tellg(), 0) << version;
    }
}

// A length or count that cannot be real fails the read instead of allocating it, and
// the record keeps what it had.
TEST(PatientInfo, ImpossibleLengthsFailWithoutChangingTheRecord)
{
    for (const std::int32_t bad : {-1, 0x7fffffff})
    {
        std::ostringstream os;
        qvio::WriteI32(os, bad);
        QvPatientInfo back;
        Filled(back);
        std::istringstream is(os.str());
        EXPECT_FALSE(back.Read(is, 1043));
        EXPECT_EQ(back.m_title, "C2024-0042");
    }
    QvPatientInfo info;
    std::ostringstream os;
    PutCurrent(os, info);
    qvio::WriteI32(os, 1 << 30); // image count
    QvPatientInfo back;
    std::istringstream is(os.str());
    EXPECT_FALSE(back.Read(is, 1027));
}

TEST(PatientInfo, SurvivesDamageInEveryForm)
{
    QvPatientInfo info;
    Filled(info);
    auto* image = new QvPatientImage();
    image->m_name = "photo.png";
    info.SetImage(3, image);
    struct Form
    {
        int version;
        std::string bytes;
    } forms[] = {
        {1043, WrittenWith(info, 1043)},
        {258, WrittenWith(info, 258)},
        {1027, qvtest::BytesOf([&](std::ostream& os) { info.WriteImageForm(os); })},
    };
    for (const Form& form : forms)
    {
        SCOPED_TRACE(form.version);
        qvtest::ExpectReaderSurvivesDamage(form.bytes, [&](std::istream& is) {
            QvPatientInfo back;
            return back.Read(is, form.version);
        });
    }
}

TEST(PatientInfo, ClearAssignmentAndImages)
{
    QvPatientInfo info;
    Filled(info);
    auto* record = new QvPatientImage();
    record->m_pImage = new QvImage(2, 2, 24);
    info.SetImage(3, record);
    info.SetImage(3, new QvPatientImage()); // the replaced record is deleted (no leak under ASan)
    QvPatientInfo copy;
    copy.SetImage(1, new QvPatientImage());
    copy = info;
    ExpectSameTexts(info, copy);
    EXPECT_TRUE(copy.m_images.empty()); // images are never copied
    EXPECT_TRUE(copy == info);
    copy.SetTitle("other");
    EXPECT_FALSE(copy == info);
    info.Clear();
    EXPECT_EQ(info.m_nPlan, 1);
    EXPECT_TRUE(info.m_title.empty() && info.m_images.empty());
}

} // namespace

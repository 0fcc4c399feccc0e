// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/model/QvFileVersion.h"

namespace {

struct Row
{
    int type;
    int code;
    const char* text;
};

// Every row of the version tables, written out independently of the code under test.
const std::vector<Row>& AllRows()
{
    static const std::vector<Row> rows = {
        {2, 0x101, "2.0"},   {2, 0x102, "2.1"},   {2, 0x104, "2.3"},   {2, 0x105, "3.0"},   {2, 0x106, "3.1"},
        {2, 0x107, "3.2"},   {3, 0x201, "2.0"},   {3, 0x202, "2.1"},   {3, 0x203, "2.2"},   {3, 0x204, "2.3"},
        {3, 0x205, "2.4"},   {3, 0x206, "3.0"},   {3, 0x207, "3.1"},   {3, 0x208, "3.2"},   {3, 0x209, "3.3"},
        {3, 0x210, "3.4"},   {3, 0x211, "3.5"},   {4, 0x2001, "1.0"},  {4, 0x2002, "1.1"},  {4, 0x2003, "1.2"},
        {4, 0x2004, "1.3"},  {4, 0x2005, "2.0"},  {4, 0x2006, "2.1"},  {4, 0x2007, "2.2"},  {5, 0x401, "1.0"},
        {5, 0x402, "2.0"},   {5, 0x403, "2.1"},   {5, 0x404, "2.2"},   {5, 0x405, "2.3"},   {5, 0x406, "3.0"},
        {5, 0x407, "3.1"},   {5, 0x408, "3.2"},   {5, 0x409, "3.3"},   {5, 0x410, "3.4"},   {5, 0x411, "3.5"},
        {5, 0x412, "3.6"},   {5, 0x413, "3.7"},   {6, 0x8001, "1.0"},  {6, 0x8002, "2.0"},  {6, 0x8003, "2.1"},
        {6, 0x8004, "2.2"},  {6, 0x8005, "2.3"},  {7, 0x4001, "1.0"},  {7, 0x4002, "2.0"},  {7, 0x4003, "3.0"},
        {7, 0x4004, "4.0"},  {7, 0x4005, "5.0"},  {8, 0x801, "1.0"},   {8, 0x802, "1.1"},   {8, 0x803, "2.0"},
        {8, 0x804, "2.1"},   {8, 0x805, "2.2"},   {8, 0x806, "2.3"},   {10, 0x10001, "1.0"},
    };
    return rows;
}

TEST(FileVersion, EveryTableRowLooksUpBothWays)
{
    const QvFileVersionMgr& mgr = QvFileVersionMgr::Instance();
    for (const Row& row : AllRows())
    {
        SCOPED_TRACE(testing::Message() << "type " << row.type << " code 0x" << std::hex << row.code);
        EXPECT_EQ(mgr.GetVersionText(row.type, row.code), row.text);
        EXPECT_EQ(mgr.GetVersionCode(row.type, row.text), row.code);
        // Every header the writers can produce parses back to its code.
        EXPECT_EQ(QvParseHeader(QvMakeHeader(row.type, row.code, 2024, 3, 7), row.type), row.code);
    }
}

TEST(FileVersion, CodesRiseWithinEachFamilyAcrossTheHexGap)
{
    const QvFileVersionMgr& mgr = QvFileVersionMgr::Instance();
    // 0x409 is followed by 0x410, 0x209 by 0x210: the codes between are no versions.
    for (int code = 0x40A; code <= 0x40F; ++code)
        EXPECT_EQ(mgr.GetVersionText(5, code), "") << std::hex << code;
    for (int code = 0x20A; code <= 0x20F; ++code)
        EXPECT_EQ(mgr.GetVersionText(3, code), "") << std::hex << code;
    EXPECT_LT(mgr.GetVersionCode(5, "3.3"), mgr.GetVersionCode(5, "3.4"));
    EXPECT_EQ(mgr.GetVersionCode(5, "3.4"), 1040);
}

struct LookupCase
{
    int type;
    const char* text;
    int code;
};

TEST(FileVersion, TextLookupEdgeCases)
{
    const std::vector<LookupCase> cases = {
        {5, "3.7", 0x413}, {5, "3.8", 0}, {2, "2.2", 0},  // TSD skipped 2.2
        {9, "1.0", 0},     {9, "1.1", 0}, {1, "1.0", 0}, {11, "1.0", 0},
        {5, "3.7 ", 0},    {5, "3.", 0},  {5, "", 0},    // exact length and bytes
    };
    for (const LookupCase& c : cases)
        EXPECT_EQ(QvFileVersionMgr::Instance().GetVersionCode(c.type, c.text), c.code) << c.type << " " << c.text;
}

TEST(FileVersion, CodeLookupEdgeCases)
{
    const QvFileVersionMgr& mgr = QvFileVersionMgr::Instance();
    EXPECT_EQ(mgr.GetVersionText(6, 0x8005), "2.3");
    EXPECT_EQ(mgr.GetVersionText(4, 0x204), ""); // an OSD code is not in the RVS table
    EXPECT_EQ(mgr.GetVersionText(9, 0x1001), "");
    EXPECT_EQ(mgr.GetVersionText(2, 0x103), "");
    EXPECT_EQ(mgr.GetVersionText(0, 0x401), "");
}

TEST(FileVersion, LatestVersionsAndTags)
{
    const QvFileVersionMgr& mgr = QvFileVersionMgr::Instance();
    const std::vector<std::pair<int, int>> latest = {{4, 0x2007}, {5, 0x413}, {8, 0x806}, {2, 0x107},
                                                     {3, -1},     {6, -1},    {7, -1},    {9, -1},
                                                     {10, -1},    {0, -1}};
    for (const auto& [type, code] : latest)
        EXPECT_EQ(mgr.GetLatestVersion(type), code) << type;

    const std::vector<std::pair<int, const char*>> tags = {{2, "TSD"}, {3, "OSD"}, {4, "RVS"}, {5, "OS"},
                                                           {6, "RVM"}, {7, "ATT"}, {8, "DM"},  {9, "RVT"},
                                                           {10, "BKT"}, {1, ""},   {11, ""}};
    for (const auto& [type, tag] : tags)
        EXPECT_EQ(mgr.GetTag(type), tag) << type;

    EXPECT_EQ(mgr.GetLatestVersionText(5), "3.7");
    EXPECT_EQ(mgr.GetLatestVersionText(2), "3.2");
    EXPECT_EQ(mgr.GetLatestVersionText(8), "");

    std::vector<std::string> texts{"kept"};
    mgr.GetVersionTexts(2, texts);
    EXPECT_EQ(texts, (std::vector<std::string>{"kept", "2.0", "2.1", "2.3", "3.0", "3.1", "3.2"}));
    mgr.GetVersionTexts(5, texts);
    EXPECT_EQ(texts.size(), 7u);
}

TEST(FileVersion, LastReadRecordHoldsOnePair)
{
    QvFileVersionMgr& mgr = QvFileVersionMgr::Instance();
    mgr.SetReadVersion(5, 0x413);
    mgr.SetReadVersion(8, 0x806);
    int code = 7;
    EXPECT_FALSE(mgr.GetReadVersion(5, code));
    EXPECT_EQ(code, 7);
    ASSERT_TRUE(mgr.GetReadVersion(8, code));
    EXPECT_EQ(code, 0x806);
}

TEST(FileVersion, HeaderText)
{
    EXPECT_EQ(QvMakeHeader(5, 0x413, 2024, 3, 7), "Rivela OS File #V3.7(B)@2024/3/7");
    EXPECT_EQ(QvMakeHeader(4, 0x2007, 2025, 1, 9), "Rivela RVS File #V2.2(B)@2025/1/9");
    EXPECT_EQ(QvMakeHeader(10, 0x10001, 2023, 12, 31), "Rivela BKT File #V1.0(B)@2023/12/31");
    // A code the type lacks leaves the text empty; no reader accepts that line.
    const std::string bad = QvMakeHeader(5, 0x806, 2024, 3, 7);
    EXPECT_EQ(bad, "Rivela OS File #V(B)@2024/3/7");
    EXPECT_EQ(QvParseHeader(bad, 5), 0);

    // Today's header: the date has no leading zeros and the text stays short.
    const std::string today = QvMakeHeader(5, 0x413);
    EXPECT_TRUE(std::regex_match(today, std::regex(R"(Rivela OS File #V3\.7\(B\)@[0-9]{4}/[1-9][0-9]?/[1-9][0-9]?)")))
        << today;
    EXPECT_LE(today.size(), 111u);
}

TEST(FileVersion, FixedDateStampsHeadersUntilCleared)
{
    const QvDate before = QvSetFixedDate(QvDate{2023, 12, 31});
    EXPECT_EQ(QvMakeHeader(5, 0x413), "Rivela OS File #V3.7(B)@2023/12/31");
    const QvDate previous = QvSetFixedDate(QvDate{1999, 2, 1});
    EXPECT_EQ(previous.year, 2023);
    EXPECT_EQ(QvToday().year, 1999);
    EXPECT_EQ(QvToday().month, 2);
    // A year of 0 hands the date back to the system clock.
    (void)QvSetFixedDate(QvDate{});
    EXPECT_GT(QvToday().year, 1999);
    (void)QvSetFixedDate(before);
}

struct ParseCase
{
    const char* line;
    int type;
    int code;
};

TEST(FileVersion, ParseHeaderEdgeCases)
{
    const std::vector<ParseCase> cases = {
        {"Rivela RVS File #V2.2(B)@2024/3/7", 4, 0x2007},
        {"Rivela RVS File #V2.2(B)@2024/3/7", 5, 0x404}, // the tag is not checked
        {"Rivela DM File #V2.1(B)@2024/3/7", 5, 0x403},
        {"Rivela OS File V3.7(B)@2024/3/7", 5, 0},      // no "#V"
        {"Rivela OS File #V3", 5, 0},                   // ends after one digit
        {"#V3.7", 5, 0x413},                            // ends right after the text
        {"#V3.7 and more", 5, 0x413},
        {"x #V3.7 #V2.0", 5, 0x413},                    // first occurrence only
        {"x #V9.9 #V2.0", 5, 0},
        {"", 5, 0},
        {"#V3.7", 9, 0},
    };
    for (const ParseCase& c : cases)
        EXPECT_EQ(QvParseHeader(c.line, c.type), c.code) << c.line << " as " << c.type;
}

TEST(FileVersion, HeaderLineIsReadToTheLineFeedAndCutAtNul)
{
    std::string body("\x01\x02\n\x03", 4);
    std::istringstream in("Rivela OS File #V3.7(B)@2024/3/7\n" + body);
    std::string line;
    ASSERT_TRUE(QvReadHeaderLine(in, line));
    EXPECT_EQ(line, "Rivela OS File #V3.7(B)@2024/3/7");
    EXPECT_EQ(in.get(), 1); // the body starts right after the line feed

    std::istringstream withNul(std::string("Rivela OS File #V3.7\0junk\nrest", 31));
    ASSERT_TRUE(QvReadHeaderLine(withNul, line));
    EXPECT_EQ(line, "Rivela OS File #V3.7");
    EXPECT_EQ(QvParseHeader(line, 5), 0x413);

    // No line feed: the stream fails and the line keeps its value.
    std::istringstream noFeed("Rivela OS File #V3.7");
    EXPECT_FALSE(QvReadHeaderLine(noFeed, line));
    EXPECT_EQ(line, "Rivela OS File #V3.7");
    std::istringstream endless(std::string(10000, 'x') + "\n");
    EXPECT_FALSE(QvReadHeaderLine(endless, line));
    EXPECT_TRUE(endless.fail());
}

} // namespace

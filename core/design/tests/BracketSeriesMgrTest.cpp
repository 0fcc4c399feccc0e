// SPDX-License-Identifier: GPL-3.0-or-later
// The bracket-series library: packed series files unpacked into this user's folder,
// loaded by bracket code, looked up by name.
#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/design/QvBracketGeo.h"
#include "core/design/QvBracketSeriesMgr.h"
#include "core/design/QvDesignFileLinks.h"
#include "core/model/QvFileBodyLinks.h"
#include "core/design/tests/BracketTestSupport.h"
#include "core/model/tests/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

class BracketLibrary : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_mgr = QvBracketSeriesMgr::Instance();
        m_mgr->ResetForTests();
        fs::create_directories(m_scratch.Path() / "BKT");
        fs::create_directories(m_scratch.Path() / "tmp");
        fs::create_directories(m_scratch.Path() / "work");
        m_mgr->m_baseFolder = m_scratch / "BKT";
        m_mgr->m_tempFolder = m_scratch / "tmp" + "/";
    }
    void TearDown() override { m_mgr->ResetForTests(); }

    // Packs a series of that code with bodies for the FDI numbers into the base folder.
    void Pack(const std::string& code, const std::vector<int>& fdis, int key = 3)
    {
        auto series = qvtest::MakeSeries(code, fdis, key);
        ASSERT_TRUE(qvtest::WritePackedSeries(*series, m_scratch / ("work/" + code), PackedPath(code)));
    }
    std::string PackedPath(const std::string& code) const { return m_scratch / ("BKT/" + code + ".bkt"); }
    std::string UnpackedPath(const std::string& code) const { return m_mgr->GetUnpackFolder() + code + ".bkt"; }

    // The unpack folder's entries.
    std::vector<std::string> UnpackFolderEntries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_mgr->GetUnpackFolder()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static void SetMtime(const std::string& path, std::time_t seconds)
    {
        const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    qvtest::ScratchFolder m_scratch;
    QvBracketSeriesMgr* m_mgr = nullptr;
};

} // namespace

TEST_F(BracketLibrary, LoadsACodeAndFindsItsSeriesAndBodies)
{
    Pack("ROTH", {11, 21, 36});
    // Loading installs what the file layer needs to read series files.
    QvSetBracketFileLink(nullptr);
    QvSetDesignFileLink(nullptr);
    QvBracketGeoSeries* series = m_mgr->ReadSeries("ROTH");
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(m_mgr->FindSeries("ROTH"), series);
    ASSERT_EQ(series->m_bodies.size(), 3u);
    for (const QvBracketGeo* body : series->m_bodies)
        EXPECT_EQ(body->m_state & kQvStateShown, 0u) << "loaded bodies start hidden";

    QvBracketGeo* body = m_mgr->FindGeo("ROTH-21");
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->m_nFdi, 21);
    EXPECT_EQ(body, series->m_bodies[1]);
    EXPECT_EQ(m_mgr->FindGeo("roth-21"), nullptr) << "names compare case-sensitively";
    EXPECT_EQ(m_mgr->FindSeries("roth"), nullptr);
    EXPECT_EQ(m_mgr->FindGeo("ROTH-2"), nullptr);

    // Unpacked into this user's folder, closed to others, with nothing else left there.
    struct stat st;
    ASSERT_EQ(::lstat(m_mgr->GetUnpackFolder().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(UnpackFolderEntries(), std::vector<std::string>{"ROTH.bkt"});
}

TEST_F(BracketLibrary, MissingCodeGivesNullAndCreatesNoFolder)
{
    EXPECT_EQ(m_mgr->ReadSeries("NONE"), nullptr);
    EXPECT_TRUE(m_mgr->m_series.empty());
    EXPECT_FALSE(fs::exists(m_mgr->GetUnpackFolder()));
}

TEST_F(BracketLibrary, CodesThatLeaveTheBaseFolderAreRefused)
{
    Pack("ROTH", {11});
    // A packed file reachable by a path step from the base folder.
    fs::create_directories(m_scratch.Path() / "BKT" / "sub");
    fs::copy_file(PackedPath("ROTH"), m_scratch / "BKT/sub/X.bkt");
    fs::copy_file(PackedPath("ROTH"), m_scratch / "X.bkt");
    for (const std::string& code : {std::string("sub/X"), std::string("../X"), std::string(".."),
                                    std::string("ROTH\0junk", 9)})
    {
        EXPECT_EQ(m_mgr->ReadSeries(code), nullptr) << code;
    }
    EXPECT_TRUE(m_mgr->m_series.empty());
}

TEST_F(BracketLibrary, SecondLoadReusesTheUnpackedFileAndAppendsAgain)
{
    Pack("MBT", {11});
    QvBracketGeoSeries* first = m_mgr->ReadSeries("MBT");
    ASSERT_NE(first, nullptr);
    struct stat before;
    ASSERT_EQ(::stat(UnpackedPath("MBT").c_str(), &before), 0);

    QvBracketGeoSeries* second = m_mgr->ReadSeries("MBT");
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    struct stat after;
    ASSERT_EQ(::stat(UnpackedPath("MBT").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "not unpacked again";
    EXPECT_EQ(m_mgr->m_series.size(), 2u);
    EXPECT_EQ(m_mgr->FindSeries("MBT"), first);
    EXPECT_EQ(m_mgr->FindGeo("MBT-11"), first->m_bodies[0]);
}

TEST_F(BracketLibrary, UnpackedCopyOlderThanItsPackedFileIsReplaced)
{
    Pack("MBT", {11}, 3);
    ASSERT_NE(m_mgr->ReadSeries("MBT"), nullptr);
    m_mgr->Clear();
    // A new delivery of the series, packed after the copy was made.
    Pack("MBT", {11, 12}, 4);
    SetMtime(UnpackedPath("MBT"), 1000000000);
    SetMtime(PackedPath("MBT"), 1000000100);

    QvBracketGeoSeries* series = m_mgr->ReadSeries("MBT");
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(series->m_nKey, 4);
    EXPECT_EQ(series->m_bodies.size(), 2u);
    EXPECT_EQ(UnpackFolderEntries(), std::vector<std::string>{"MBT.bkt"});
}

TEST_F(BracketLibrary, DamagedUnpackedCopyIsUnpackedAgain)
{
    Pack("MBT", {11});
    ASSERT_NE(m_mgr->ReadSeries("MBT"), nullptr);
    m_mgr->Clear();
    ASSERT_TRUE(qvtest::WriteWholeFile(UnpackedPath("MBT"), "Rivela BKT File #V1.0(B)@2024/1/1\n\x01"));
    QvBracketGeoSeries* series = m_mgr->ReadSeries("MBT");
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(series->m_bodies.size(), 1u);
}

TEST_F(BracketLibrary, DamagedPackedFileGivesNullAndLeavesNothingBehind)
{
    Pack("GOOD", {11});
    ASSERT_NE(m_mgr->ReadSeries("GOOD"), nullptr);

    // Not a package at all; then a package of a file that is not a series.
    ASSERT_TRUE(qvtest::WriteWholeFile(PackedPath("JUNK"), "this is no package"));
    EXPECT_EQ(m_mgr->ReadSeries("JUNK"), nullptr);
    ASSERT_TRUE(qvtest::WriteWholeFile(m_scratch / "work/plain", "Rivela BKT File #V1.0(B)@2024/1/1\nshort"));
    ASSERT_EQ(QvCompress::Compress(m_scratch / "work/plain", PackedPath("PLAIN")), 0);
    EXPECT_EQ(m_mgr->ReadSeries("PLAIN"), nullptr);

    EXPECT_EQ(m_mgr->m_series.size(), 1u);
    EXPECT_EQ(UnpackFolderEntries(), std::vector<std::string>{"GOOD.bkt"});
}

TEST_F(BracketLibrary, UnpackFolderMustBeThisUsersOwnRealFolder)
{
    Pack("MBT", {11});
    std::string folder = m_mgr->GetUnpackFolder();
    folder.pop_back();

    // A link planted where the folder belongs is not followed.
    fs::create_directories(m_scratch.Path() / "elsewhere");
    fs::create_directory_symlink(m_scratch.Path() / "elsewhere", folder);
    EXPECT_EQ(m_mgr->ReadSeries("MBT"), nullptr);
    EXPECT_TRUE(fs::is_empty(m_scratch.Path() / "elsewhere"));
    fs::remove(folder);

    // A plain file there is no folder either.
    ASSERT_TRUE(qvtest::WriteWholeFile(folder, "x"));
    EXPECT_EQ(m_mgr->ReadSeries("MBT"), nullptr);
    fs::remove(folder);

    // An own folder left open to others is closed before use.
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    EXPECT_NE(m_mgr->ReadSeries("MBT"), nullptr);
    struct stat st;
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(BracketLibrary, ClearEmptiesTheLibraryButKeepsTheFolders)
{
    Pack("MBT", {11});
    ASSERT_NE(m_mgr->ReadSeries("MBT"), nullptr);
    const std::string base = m_mgr->m_baseFolder;
    m_mgr->Clear();
    EXPECT_EQ(m_mgr->FindSeries("MBT"), nullptr);
    EXPECT_EQ(m_mgr->FindGeo("MBT-11"), nullptr);
    EXPECT_EQ(m_mgr->m_baseFolder, base);
    EXPECT_NE(m_mgr->ReadSeries("MBT"), nullptr) << "loads again from the kept folders";
}

TEST_F(BracketLibrary, LoadAllReadsEveryRegularFileOfTheBaseFolder)
{
    Pack("A1", {11});
    Pack("B2", {21, 22});
    fs::create_directories(m_scratch.Path() / "BKT" / "folder.bkt");
    ASSERT_TRUE(qvtest::WriteWholeFile(PackedPath("BAD"), "no package"));
    m_mgr->LoadAll();
    ASSERT_EQ(m_mgr->m_series.size(), 2u);
    EXPECT_NE(m_mgr->FindSeries("A1"), nullptr);
    EXPECT_NE(m_mgr->FindGeo("B2-22"), nullptr);

    m_mgr->m_baseFolder = m_scratch / "no-such-folder";
    m_mgr->LoadAll();
    EXPECT_EQ(m_mgr->m_series.size(), 2u);
}

TEST_F(BracketLibrary, ReadSeriesFileReturnsASeriesWithoutKeepingIt)
{
    auto series = qvtest::MakeSeries("X", {11});
    ASSERT_TRUE(qvtest::WritePackedSeries(*series, m_scratch / "work/X.bkt", m_scratch / "work/X.packed"));
    std::unique_ptr<QvBracketGeoSeries> read(m_mgr->ReadSeriesFile(m_scratch / "work/X.bkt"));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->m_name, "X");
    EXPECT_TRUE(m_mgr->m_series.empty());
    EXPECT_EQ(std::unique_ptr<QvBracketGeoSeries>(m_mgr->ReadSeriesFile(m_scratch / "work/X.packed")), nullptr);
}

// ---- Selection by attributes (series built in memory) ------------------------------------

namespace {

// key, attribute 6, 5, 1, 2 and the name.
QvBracketGeoSeries* Listed(int key, const char* a6, const char* a5, const char* a1, const char* a2, const char* name)
{
    auto* s = new QvBracketGeoSeries;
    s->m_nKey = key;
    s->m_attributes[5] = a6;
    s->m_attributes[4] = a5;
    s->m_attributes[0] = a1;
    s->m_attributes[1] = a2;
    s->m_name = name;
    return s;
}

} // namespace

TEST_F(BracketLibrary, StagedSelectionOffersDistinctSortedValues)
{
    m_mgr->m_series = {
        Listed(1, "Roth", "022", "metal", "hook", "S1"),  Listed(1, "MBT", "022", "metal", "plain", "S2"),
        Listed(1, "Roth", "018", "ceramic", "hook", "S3"), Listed(1, "Roth", "022", "metal", "plain", "S4"),
        Listed(2, "Alt", "022", "metal", "hook", "S5"),    Listed(1, "Roth", "022", "ceramic", "hook", "S6"),
    };
    struct Case
    {
        const char* what;
        std::vector<std::string> got;
        std::vector<std::string> want;
    };
    std::vector<std::string> a6, a5, a1, a2, none;
    m_mgr->ListAttribute6(1, a6);
    m_mgr->ListAttribute5(1, "Roth", a5);
    m_mgr->ListAttribute1(1, "Roth", "022", a1);
    m_mgr->ListAttribute2(1, "Roth", "022", "metal", a2);
    m_mgr->ListAttribute6(7, none);
    const Case cases[] = {
        {"attribute 6 of key 1", a6, {"MBT", "Roth"}},
        {"attribute 5", a5, {"018", "022"}},
        {"attribute 1", a1, {"ceramic", "metal"}},
        {"attribute 2", a2, {"hook", "plain"}},
        {"unknown key", none, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.want) << c.what;

    // Values already in the output are merged, not repeated.
    std::vector<std::string> merged{"Zeta", "Roth"};
    m_mgr->ListAttribute6(1, merged);
    EXPECT_EQ(merged, (std::vector<std::string>{"MBT", "Roth", "Zeta"}));

    EXPECT_EQ(m_mgr->FindSeriesByAttributes("Roth", "022", "metal", "plain", 1), m_mgr->m_series[3]);
    EXPECT_EQ(m_mgr->FindSeriesByAttributes("Roth", "022", "metal", "plain", 2), nullptr);
}

TEST_F(BracketLibrary, SeriesOfABodyIsTheFirstWhoseNameItContains)
{
    m_mgr->m_series = {Listed(0, "", "", "", "", "MBT"), Listed(0, "", "", "", "", "ROTH"),
                       Listed(0, "", "", "", "", "")};
    QvBracketGeo body;
    body.m_name = "U11-ROTH-022";
    EXPECT_EQ(m_mgr->FindSeriesOfGeo(&body), m_mgr->m_series[1]);
    body.m_name = "OTHER";
    EXPECT_EQ(m_mgr->FindSeriesOfGeo(&body), m_mgr->m_series[2]) << "an empty name matches every body";
    EXPECT_EQ(m_mgr->FindSeriesOfGeo(nullptr), nullptr);
}

TEST_F(BracketLibrary, MarkAllModifiedFlagsEveryBody)
{
    Pack("A", {11, 12});
    Pack("B", {21});
    ASSERT_NE(m_mgr->ReadSeries("A"), nullptr);
    ASSERT_NE(m_mgr->ReadSeries("B"), nullptr);
    for (QvBracketGeoSeries* s : m_mgr->m_series)
        for (QvBracketGeo* b : s->m_bodies)
            b->m_bModified = false;
    m_mgr->MarkAllModified();
    for (QvBracketGeoSeries* s : m_mgr->m_series)
        for (QvBracketGeo* b : s->m_bodies)
            EXPECT_TRUE(b->m_bModified) << b->m_name;
}

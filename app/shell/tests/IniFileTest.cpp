// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <unistd.h>

namespace {

std::string Write(const QTemporaryDir& dir, const char* name, const std::string& text)
{
    const std::string path = dir.filePath(name).toStdString();
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Expect {
    std::string section, key, value, comment;
};

struct ParseCase {
    const char* name;
    std::string text;
    std::vector<Expect> items;
    std::string stderrHas; // "" when nothing may be printed
};

TEST(IniFile, ParsesLinesAsTheConfigurationIsWritten)
{
    const std::string longValue(10000, 'x');
    const std::vector<ParseCase> cases = {
        {"tail comment after a blank", "[General]\nCEFGPU=1 #use the GPU\n", {{"General", "CEFGPU", "1", "#use the GPU"}}, ""},
        {"key before any header", "top=1\n[A]\nx=2\n", {{"", "top", "1", ""}, {"A", "x", "2", ""}}, ""},
        {"prefix inside a value", "[Url]\nRivelaApprovePlanURL=/index/#/planClient\nk=a;b\n",
         {{"Url", "RivelaApprovePlanURL", "/index/#/planClient", ""}, {"Url", "k", "a;b", ""}}, ""},
        {"CRLF and blanks around =", "[A]\r\nk = v \r\n\r\n", {{"A", "k ", " v", ""}}, ""},
        {"comment lines gather", "#one\n;two\n[A]\n#three\nk=v ;tail\n", {{"A", "k", "v", "#three;tail"}}, ""},
        {"a 10,000-byte line", "[A]\nlong=" + longValue + "\nafter=1", {{"A", "long", longValue, ""}, {"A", "after", "1", ""}}, ""},
        {"line without =", "[A]\nnoequals\nk=v\n", {{"A", "k", "v", ""}}, "解析参数失败[noequals]"},
        {"items after an empty header are dropped", "[]\nlost=1\n[B]\nk=v\n", {{"B", "k", "v", ""}}, "段为空"},
        {"empty key", "[A]\n=empty\n", {{"A", "", "empty", ""}}, ""},
        {"text after ] ignored", "[A] trailing\nk=v", {{"A", "k", "v", ""}}, ""},
        {"repeated key: first wins", "[A]\nk=1\nk=2\n", {{"A", "k", "1", ""}}, ""},
        {"comment at the end is dropped", "[A]\nk=v\n#last\n", {{"A", "k", "v", ""}}, ""},
    };
    QTemporaryDir dir;
    for (const ParseCase& c : cases) {
        IniFile ini;
        const std::string path = Write(dir, "case.ini", c.text);
        testing::internal::CaptureStderr();
        EXPECT_EQ(ini.Load(path), 0) << c.name;
        const std::string err = testing::internal::GetCapturedStderr();
        if (c.stderrHas.empty())
            EXPECT_EQ(err, "") << c.name;
        else
            EXPECT_NE(err.find(c.stderrHas), std::string::npos) << c.name << ": " << err;
        for (const Expect& e : c.items) {
            std::string value = "unset", comment = "unset";
            EXPECT_EQ(ini.GetValueAndComment(e.section, e.key, &value, &comment), 0) << c.name << " " << e.key;
            EXPECT_EQ(value, e.value) << c.name;
            EXPECT_EQ(comment, e.comment) << c.name;
        }
    }
    // The dropped item and the section comment of a header line.
    IniFile ini;
    testing::internal::CaptureStderr();
    ASSERT_EQ(ini.Load(Write(dir, "x.ini", "[]\nlost=1\n[Url] ;derived\nk=v\n")), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("解析参数失败[lost=1]"), std::string::npos);
    EXPECT_FALSE(ini.HasKey("", "lost"));
    std::string comment;
    EXPECT_EQ(ini.GetSectionComment("Url", &comment), 0);
    EXPECT_EQ(comment, ";derived");
    std::vector<std::string> values;
    ASSERT_EQ(ini.Load(Write(dir, "y.ini", "[A]\nk=1\nk=2\n")), 0);
    EXPECT_EQ(ini.GetValues("A", "k", &values), 0);
    EXPECT_EQ(values, (std::vector<std::string>{"1", "2"}));
}

TEST(IniFile, BadHeadersAndMissingFilesFail)
{
    QTemporaryDir dir;
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {{"[Domain]\nUdcDomain=h\n[Url\nk=v\n", "没有找到匹配的]"},
                 {"[Domain]\nUdcDomain=h\n[Domain]\n", "此段已存在:Domain"}};
    for (const Case& c : cases) {
        IniFile ini;
        testing::internal::CaptureStderr();
        EXPECT_EQ(ini.Load(Write(dir, "bad.ini", c.text)), -1);
        EXPECT_NE(testing::internal::GetCapturedStderr().find(c.message), std::string::npos);
        EXPECT_EQ(ini.GetValue("Domain", "UdcDomain"), "h"); // what was read stays
        EXPECT_FALSE(ini.HasKey("Url", "TicketUrl"));          // nothing derived
    }
    IniFile ini;
    EXPECT_EQ(ini.Load(dir.filePath("missing.ini").toStdString()), -1);
    int code = 0;
    EXPECT_EQ(ini.GetValue("Url", "RivelaWebUrl", &code), "");
    EXPECT_EQ(code, -1);
    std::string kept = "kept";
    EXPECT_EQ(ini.GetStringValue("Url", "RivelaWebUrl", &kept), -1);
    EXPECT_EQ(kept, "kept");
}

TEST(IniFile, SavesSectionsInByteOrderAndRoundTrips)
{
    QTemporaryDir dir;
    IniFile ini;
    ini.SetValue("Url", "RivelaApprovePlanURL", "/index/#/planClient");
    ini.SetValue("General", "CEFGPU", "1", "use the GPU");
    ini.SetValue("domain", "BVSTDomain", "http://b");
    ini.SetValue("Domain", "UdcDomain", "https://cas.example");
    ini.SetValue("", "top", "0");
    const std::string path = dir.filePath("saved.ini").toStdString();
    ASSERT_EQ(ini.SaveAs(path), 0);
    EXPECT_EQ(ReadAll(path), "top=0\n"
                             "[Domain]\nUdcDomain=https://cas.example\n"
                             "[General]\n#use the GPU\nCEFGPU=1\n"
                             "[Url]\nRivelaApprovePlanURL=/index/#/planClient\n"
                             "[domain]\nBVSTDomain=http://b\n");
    IniFile again;
    ASSERT_EQ(again.Load(path), 0);
    EXPECT_EQ(again.GetValue("Url", "RivelaApprovePlanURL"), "/index/#/planClient");
    std::string value, comment;
    ASSERT_EQ(again.GetValueAndComment("General", "CEFGPU", &value, &comment), 0);
    EXPECT_EQ(comment, "#use the GPU");
}

TEST(IniFile, OnlyAChangedExistingValueIsWritten)
{
    QTemporaryDir dir;
    const std::string path = Write(dir, "Rivela.ini", "[General]\nCEFGPU=0\n");
    IniFile ini;
    ASSERT_EQ(ini.Load(path), 0);
    const int afterLoad = ini.SaveCount(); // all derived keys are new: nothing written
    EXPECT_EQ(afterLoad, 0);
    const std::string before = ReadAll(path);

    ini.SetValue("General", "CEFGPU", "0");
    EXPECT_EQ(ini.SaveCount(), 0);
    ini.SetValue("General", "NewKey", "1");
    ini.SetValue("Brand", "New", "1");
    EXPECT_EQ(ini.SaveCount(), 0);
    EXPECT_EQ(ReadAll(path), before);

    ini.SetValue("General", "CEFGPU", "1");
    EXPECT_EQ(ini.SaveCount(), 1);
    const std::string after = ReadAll(path);
    EXPECT_NE(after.find("CEFGPU=1\n"), std::string::npos);
    EXPECT_NE(after.find("NewKey=1\n"), std::string::npos); // new keys reach the disk with the next write
    ini.SetValue("General", "CEFGPU", "1", "now with a comment");
    EXPECT_EQ(ini.SaveCount(), 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary file left
}

TEST(IniFile, ChangesGoToTheUserCopyWhichOverridesTheShippedFile)
{
    QTemporaryDir dir;
    const std::string shipped = Write(dir, "Rivela.ini", "[Domain]\nUdcDomain=https://cas.example\n[General]\nCEFGPU=0\n");
    const std::string user = dir.filePath("user/Rivela.ini").toStdString();
    QDir().mkpath(dir.filePath("user"));
    {
        IniFile ini;
        ini.SetUserFile(user);
        ASSERT_EQ(ini.Load(shipped), 0);
        ini.SetValue("General", "CEFGPU", "1");
        EXPECT_EQ(ReadAll(shipped), "[Domain]\nUdcDomain=https://cas.example\n[General]\nCEFGPU=0\n");
    }
    IniFile next;
    next.SetUserFile(user);
    ASSERT_EQ(next.Load(shipped), 0);
    EXPECT_EQ(next.GetValue("General", "CEFGPU"), "1");
    EXPECT_EQ(next.GetValue("Url", "TicketUrl"), "https://cas.example/v1/tickets");

    // Addresses derived from an earlier domain are not carried over: the load
    // rebuilds them without rewriting the copy.
    next.SetBusinessDomain("https://rvm.example/rvmds");
    next.BuildBusinessUrls();
    next.SetValue("General", "CEFGPU", "2");
    IniFile third;
    third.SetUserFile(user);
    ASSERT_EQ(third.Load(shipped), 0);
    EXPECT_EQ(third.SaveCount(), 0);
    EXPECT_EQ(third.GetValue("Url", "RivelaWebUrl"), "");
    EXPECT_EQ(third.GetValue("General", "CEFGPU"), "2");
}

// Writes that fail keep the old file whole and say so.
TEST(IniFile, AFailedWriteKeepsTheOldFile)
{
    QTemporaryDir dir;
    const std::string old = "[General]\nCEFGPU=0\n";

    if (::geteuid() != 0) { // root writes into read-only folders
        QDir().mkpath(dir.filePath("ro"));
        const std::string path = dir.filePath("ro/Rivela.ini").toStdString();
        std::ofstream(path) << old;
        IniFile ini;
        ASSERT_EQ(ini.Load(path), 0);
        QFile::setPermissions(dir.filePath("ro"), QFile::ReadOwner | QFile::ExeOwner);
        testing::internal::CaptureStderr();
        ini.SetValue("General", "CEFGPU", "1");
        EXPECT_NE(testing::internal::GetCapturedStderr().find("保存配置失败"), std::string::npos);
        QFile::setPermissions(dir.filePath("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(ReadAll(path), old);
    }

    // A file-size limit makes the write itself fail, for root too.
    const std::string path = Write(dir, "limited.ini", old);
    IniFile ini;
    ASSERT_EQ(ini.Load(path), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1024; // room for the message on the captured standard error
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStderr();
    ini.SetValue("General", "CEFGPU", std::string(4096, 'v'));
    const int result = ini.SaveAs(path);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, -1);
    EXPECT_NE(err.find("保存配置失败"), std::string::npos);
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList({"limited.ini*"}, QDir::Files).size(), 1);
}

TEST(IniFile, TicketKeysJoinTheLoginHostAsWritten)
{
    QTemporaryDir dir;
    IniFile ini;
    ASSERT_EQ(ini.Load(Write(dir, "a.ini", "[Domain]\nUdcDomain=https://cas.example/\n")), 0);
    EXPECT_EQ(ini.GetValue("Url", "TicketUrl"), "https://cas.example//v1/tickets");
    ASSERT_EQ(ini.Load(Write(dir, "b.ini", "[General]\nCEFGPU=1\n")), 0);
    EXPECT_EQ(ini.GetValue("Url", "ChangePasswordUrl"), "/client/changePasswd.do");
    EXPECT_EQ(ini.GetValue("Url", "RivelaWebUrl"), "");
    EXPECT_EQ(ini.GetValue("Url", "RivelaGetCaseInfo"), "/restful/getCaseInfo.htm");
}

TEST(IniFile, ReleaseAndDeletion)
{
    IniFile ini;
    ini.SetValue("A", "k", "1");
    ini.SetValue("A", "j", "2");
    ini.DeleteKey("A", "k");
    ini.DeleteKey("A", "missing");
    ini.DeleteKey("Missing", "k");
    EXPECT_FALSE(ini.HasKey("A", "k"));
    EXPECT_TRUE(ini.HasKey("A", "j"));
    EXPECT_EQ(ini.SetSectionComment("A", "#c"), 0);
    EXPECT_EQ(ini.SetSectionComment("B", "#c"), -1);
    ini.DeleteSection("A");
    EXPECT_FALSE(ini.HasSection("A"));
    ini.SetValue("B", "k", "1");
    ini.Release();
    EXPECT_FALSE(ini.HasSection("B"));
    EXPECT_EQ(ini.GetSection("B"), nullptr);
    ini.SetCommentFlags({"//"});
    ini.SetValue("C", "k", "v", "note");
    std::string comment;
    ini.GetValueAndComment("C", "k", nullptr, &comment);
    EXPECT_EQ(comment, "//note");
}

} // namespace

namespace {

TEST(IniFile, PrintListsEverySection)
{
    IniFile ini;
    ini.SetValue("General", "CEFGPU", "1", "gpu");
    testing::internal::CaptureStdout();
    ini.Print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "filename:[]\n"
                                                      "flags_:[ #  ; ]\n"
                                                      "section:[General]\n"
                                                      "comment:[]\n"
                                                      "    comment:#gpu\n"
                                                      "    parm   :CEFGPU=1\n");
}

} // namespace

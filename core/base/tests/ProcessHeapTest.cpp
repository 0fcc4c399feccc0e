// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "core/base/QvProcessHeap.h"

namespace {

// Whatever the user had set comes back unchanged in the started program; a user who
// set the huge-page tunable keeps it and is not started again.
TEST(ProcessHeap, TunablesRoundTripThroughTheStart)
{
    const char* users[] = {nullptr, "glibc.malloc.tcache_count=5", "glibc.a=1:glibc.b=2"};
    for (const char* user : users)
    {
        const std::optional<std::string> start = qvbase::HeapTunablesToStartWith(user);
        ASSERT_TRUE(start.has_value());
        EXPECT_NE(start->find("glibc.malloc.hugetlb=1"), std::string::npos);
        if (user)
        {
            EXPECT_EQ(start->rfind(user, 0), 0u) << user;
        }
        const std::optional<std::string> before = qvbase::TunablesBeforeStart(start->c_str());
        EXPECT_EQ(before.has_value(), user != nullptr);
        if (user && before)
        {
            EXPECT_EQ(*before, user);
        }
    }
    EXPECT_FALSE(qvbase::HeapTunablesToStartWith("glibc.malloc.hugetlb=0").has_value());
    EXPECT_EQ(qvbase::TunablesBeforeStart("glibc.malloc.hugetlb=0"), std::optional<std::string>("glibc.malloc.hugetlb=0"));
    EXPECT_FALSE(qvbase::TunablesBeforeStart(nullptr).has_value());
}

// The program started again by the test below: reports what it was started with and
// what its environment hands on.
TEST(ProcessHeap, StartedProgramReports)
{
    const char* probe = std::getenv("RIVELA_HEAP_PROBE");
    if (!probe)
        GTEST_SKIP() << "run only when started by StartsAgainAndHandsOnTheEnvironment";
    qvbase::ConfigureProcessHeap(nullptr);
    std::ifstream environ("/proc/self/environ", std::ios::binary);
    const std::string started((std::istreambuf_iterator<char>(environ)), std::istreambuf_iterator<char>());
    const char* now = std::getenv("GLIBC_TUNABLES");
    std::ofstream(probe) << (started.find("glibc.malloc.hugetlb=1") != std::string::npos) << "\n"
                         << (now ? now : "(unset)") << "\n";
}

TEST(ProcessHeap, StartsAgainAndHandsOnTheEnvironment)
{
    const std::string probe =
        (std::filesystem::temp_directory_path() / ("rivela_heap_probe_" + std::to_string(::getpid()))).string();
    std::filesystem::remove(probe);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        // The started test program's own report is of no interest here.
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0)
            ::dup2(null, 1);
        ::setenv("RIVELA_HEAP_PROBE", probe.c_str(), 1);
        ::setenv("GLIBC_TUNABLES", "glibc.malloc.tcache_count=5", 1);
        char self[] = "/proc/self/exe";
        char filter[] = "--gtest_filter=ProcessHeap.StartedProgramReports";
        char* args[] = {self, filter, nullptr};
        qvbase::ConfigureProcessHeap(args);
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "this kernel or C library gives no huge pages on request: no new start";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    std::ifstream in(probe);
    std::string hugePages;
    std::string handedOn;
    ASSERT_TRUE(std::getline(in, hugePages) && std::getline(in, handedOn));
    EXPECT_EQ(hugePages, "1");
    EXPECT_EQ(handedOn, "glibc.malloc.tcache_count=5");
    std::filesystem::remove(probe);
}

} // namespace

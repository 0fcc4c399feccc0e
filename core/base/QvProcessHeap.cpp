// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/QvProcessHeap.h"

#include <gnu/libc-version.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace qvbase {

namespace {

constexpr int kMmapThreshold = 32 << 20;
constexpr int kTrimThreshold = 512 << 20;
constexpr int kTopPad = 64 << 20;

// The same settings as the mallopt calls below, read by glibc at start; the huge-page
// one has no mallopt.
const std::string& OwnTunables()
{
    static const std::string text = "glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold=" +
                                    std::to_string(kMmapThreshold) +
                                    ":glibc.malloc.top_pad=" + std::to_string(kTopPad) +
                                    ":glibc.malloc.trim_threshold=" + std::to_string(kTrimThreshold);
    return text;
}

// True where huge pages go only to memory that asks for them ("always" gives them to
// the heap anyway, "never" to nobody).
bool KernelGivesHugePagesOnRequest()
{
    std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string line;
    return std::getline(file, line) && line.find("[madvise]") != std::string::npos;
}

// glibc asks for huge pages from 2.35 on.
bool LibcCanAsk()
{
    int major = 0;
    int minor = 0;
    return std::sscanf(gnu_get_libc_version(), "%d.%d", &major, &minor) == 2 &&
           (major > 2 || (major == 2 && minor >= 35));
}

} // namespace

std::optional<std::string> HeapTunablesToStartWith(const char* current)
{
    if (!current || !*current)
        return OwnTunables();
    if (std::strstr(current, "glibc.malloc.hugetlb"))
        return std::nullopt;
    return std::string(current) + ":" + OwnTunables();
}

std::optional<std::string> TunablesBeforeStart(const char* current)
{
    if (!current)
        return std::nullopt;
    const std::string value(current);
    const std::string& own = OwnTunables();
    if (value == own)
        return std::nullopt;
    if (value.size() > own.size() && value.compare(value.size() - own.size(), own.size(), own) == 0 &&
        value[value.size() - own.size() - 1] == ':')
        return value.substr(0, value.size() - own.size() - 1);
    return value;
}

void ConfigureProcessHeap(char** argv)
{
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
    mallopt(M_TOP_PAD, kTopPad);

    const char* current = std::getenv("GLIBC_TUNABLES");
    const std::optional<std::string> start = HeapTunablesToStartWith(current);
    if (!start)
    {
        // Started here (or set up by the user): hand on what was there before.
        const std::optional<std::string> before = TunablesBeforeStart(current);
        if (!before)
            ::unsetenv("GLIBC_TUNABLES");
        else if (*before != current)
            ::setenv("GLIBC_TUNABLES", before->c_str(), 1);
        return;
    }
    if (!argv || !argv[0] || !LibcCanAsk() || !KernelGivesHugePagesOnRequest())
        return;
    const std::string saved = current ? current : "";
    ::setenv("GLIBC_TUNABLES", start->c_str(), 1);
    ::execv("/proc/self/exe", argv);
    // Not started again: run on as is.
    if (current)
        ::setenv("GLIBC_TUNABLES", saved.c_str(), 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
}

} // namespace qvbase

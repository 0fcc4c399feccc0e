// SPDX-License-Identifier: GPL-3.0-or-later
// rivela-standin --case DIR: serves the case service and its case-list page on
// 127.0.0.1. The first line of output is the business domain; it stops on SIGINT
// or SIGTERM.
#include "tools/rivela-standin/Standin.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {
int g_stopPipe[2] = {-1, -1};
void OnSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = write(g_stopPipe[1], &c, 1);
}
} // namespace

int main(int argc, char** argv)
{
    std::string caseDir = ".";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--case") && i + 1 < argc) {
            caseDir = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--case DIR]\n", argv[0]);
            return 2;
        }
    }
    if (pipe(g_stopPipe) != 0)
        return 1;
    standin::Server server(caseDir);
    if (server.Start() <= 0) {
        std::fprintf(stderr, "rivela-standin: cannot bind 127.0.0.1\n");
        return 1;
    }
    std::printf("%s\n", server.Domain().c_str());
    std::fflush(stdout);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    char c;
    while (read(g_stopPipe[0], &c, 1) < 0) {
    }
    server.Stop();
    return 0;
}

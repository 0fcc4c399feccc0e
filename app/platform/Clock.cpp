// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/Clock.h"

#include <mutex>

namespace platform {
namespace {

std::mutex g_mutex;
std::function<QDateTime()> g_clock;

} // namespace

QDateTime CurrentDateTime()
{
    std::function<QDateTime()> clock;
    {
        std::lock_guard lock(g_mutex);
        clock = g_clock;
    }
    return clock ? clock() : QDateTime::currentDateTime();
}

void SetClockForTesting(std::function<QDateTime()> clock)
{
    std::lock_guard lock(g_mutex);
    g_clock = std::move(clock);
}

} // namespace platform

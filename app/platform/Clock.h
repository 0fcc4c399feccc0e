// SPDX-License-Identifier: GPL-3.0-or-later
// The current moment as every window and helper sees it; tests set it.
#pragma once

#include <QDateTime>

#include <functional>

namespace platform {

// The local date and time now (or what the test clock answers).
QDateTime CurrentDateTime();

// Replaces the clock; an empty function restores the system clock.
void SetClockForTesting(std::function<QDateTime()> clock);

} // namespace platform

// SPDX-License-Identifier: GPL-3.0-or-later
// Faults on the road, in two tables. Sign-in rows set up the service (discovery
// addresses, a fault of the stand-in), sign in through the real login window and
// expect either the main window or one clear message within a time limit. Case rows
// sign in once, then open the demo case from the page against one fault of the case
// service each, expecting the case or a message after which the same case opens.
#pragma once

#include "app/main/road/Service.h"

#include <QString>

namespace road {

struct FaultRun {
    Service* service = nullptr;
    QString resources; // the folder holding the configuration file
    QString screens;
    QString password;  // the demo account's
};

// Runs the sign-in rows and the rows of the case's details; the number that failed.
int RunFaultTable(FaultRun& run);
// Runs the rows of the case's file (cut, damaged, hanging); the number that failed.
int RunCaseFileFaults(FaultRun& run);

} // namespace road

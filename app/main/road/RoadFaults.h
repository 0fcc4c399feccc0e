// SPDX-License-Identifier: GPL-3.0-or-later
// Faults on the road, one table: each row sets up the service (discovery addresses,
// a fault of the stand-in), signs in through the real login window and expects
// either the main window or one clear message within a time limit.
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

// Runs every row; the number of rows that failed.
int RunFaultTable(FaultRun& run);

// Rows the table takes once the web case list and the design window are on the
// road; each names the stand-in fault and what the window must show:
//   CaseListBadJson      "/restful/getCaseInfo.htm" badjson: the case list's message,
//                        the window stays usable
//   CaseListStatus500    "/restful/getCaseInfo.htm" status 500: the same
//   DownloadCutMidway    "/files/demo-model.zip" cut: "文件下载失败", no partial file
//                        opened, opening again works
//   DamagedCaseFile      "/files/demo-model.zip" body (damaged bytes): the reader's
//                        "文件打开失败", the application keeps running, other cases open
// They are not in the table yet: opening a case needs the page's command.

} // namespace road
